#pragma once

#include "linkselect/PortDialogLogic.h"

#include <QDialog>
#include <QTimer>

#include <memory>

namespace Ui {
class PortDialog;
}

// The selection dialog's window: shows what PortDialogLogic holds and hands it every event.
class CPort : public QDialog {
    Q_OBJECT
public:
    explicit CPort(PortDialogLogic& logic, QWidget* parent = nullptr);
    ~CPort() override;

    // Initialises the logic, shows the dialog modally and returns its result.
    int Run();
    // The control with the given template id; null for an unknown id.
    QWidget* Control(int id) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    bool HandleKey(int key);
    void Tick();
    void AfterEvent();
    void Render();
    // Grows the list (and the dialog, where it must) so that its edit field shows its
    // placeholder whole; never shrinks either.
    void FitList();

    PortDialogLogic& logic_;
    std::unique_ptr<Ui::PortDialog> ui_;
    QTimer timer_;
    bool rendering_ = false;
};
