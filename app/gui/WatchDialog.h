#pragma once

#include <QDialog>

class QFormLayout;
class QLabel;

// File > Download Automatically...: the settings a watcher (tavon-datalog watch, tavon-watch)
// started here would run with, from the [Watch] keys of Settings.ini in the working folder, and
// whether one is running and which (its claim in the runtime folder). Refresh reads both again.
class WatchDialog : public QDialog {
    Q_OBJECT
public:
    explicit WatchDialog(QWidget* parent = nullptr);

    // Reads Settings.ini and the watcher's claim again.
    void Refresh();

    // What the dialog says, for the tests: the settings (each "Name: value") or why they are
    // wrong, and whether a watcher runs.
    QString SettingsText() const;
    QString RunningText() const;

private:
    QFormLayout* settings_;
    QLabel* problem_;
    QLabel* running_;
};
