#pragma once

#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include <cstddef>
#include <cstdint>
#include <memory>

class QCheckBox;

namespace Ui {
class FilterDialog;
}

// The log filter (template 130): six boxes in a small panel of the main window, hidden until
// View > Filter Logs... shows it. Every change the user makes is signalled, and the report
// follows it at once.
class FilterDialog : public QWidget {
    Q_OBJECT
public:
    explicit FilterDialog(QWidget* parent = nullptr);
    ~FilterDialog() override;

    // The flags, 0 or 1, in the order the dialog keeps them.
    int32_t Calibration = 0;
    int32_t ShowAllLogs = 0;
    int32_t Alarm = 0;
    int32_t BumpTest = 0;
    int32_t Manual = 0;
    int32_t Timed = 0;

    // Sets every box, as the dialog's initialisation does.
    void InitDialog();

    // Data exchange: true reads the boxes into the flags, false writes the flags to the boxes.
    void UpdateData(bool saveAndValidate);

    // Which kinds of log line the flags hide, for the status line ("Alarm and timed lines
    // hidden"); empty when none is hidden.
    QString HiddenNote() const;

signals:
    // The user changed the flags: the report is to be rendered again with them.
    void changed();

protected:
    void changeEvent(QEvent* event) override;

private:
    void FitBoxes();
    void OnShowAllLogs();
    void OnKindBox();

    std::unique_ptr<Ui::FilterDialog> ui_;

    // The template geometry, which FitBoxes starts from whenever the font changes.
    struct BoxPlace {
        QCheckBox* box;
        int row;
        QRect rect;
    };
    static constexpr size_t kBoxCount = 6;
    BoxPlace places_[kBoxCount] = {};
    QRect groupRect_;
    QSize templateSize_;
};
