#pragma once

#include <QDialog>

class QTextBrowser;

// The program's own short user guide, shipped inside it, for when the instrument's manual is not
// beside the program. Not modal: it stays open beside the main window while the user tries things.
class UserGuide : public QDialog {
    Q_OBJECT
public:
    explicit UserGuide(QWidget* parent = nullptr);

    QString Text() const;

private:
    QTextBrowser* browser_;
};
