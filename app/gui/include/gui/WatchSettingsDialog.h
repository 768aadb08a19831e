#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

// File > Download Automatically...: the settings of `tavon-datalog watch` as the [Watch] section
// of the watcher service's settings file keeps them (WatchSettingsPath: the folder template, the
// files beside each report, fast uploads, the interval), where that file is, and whether a
// watcher is running now, and which. OK writes the section; the watcher reads it when it starts.
class WatchSettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit WatchSettingsDialog(QWidget* parent = nullptr);

    // Checks the folder template and writes the section; false with the reason shown when either
    // fails (the dialog then stays open).
    bool Save();
    void accept() override;

private:
    void Load();
    void ShowWatcher();

    QLineEdit* m_out;
    QCheckBox* m_csv;
    QCheckBox* m_geojson;
    QCheckBox* m_gpx;
    QComboBox* m_plot;
    QCheckBox* m_pdf;
    QCheckBox* m_fast;
    QSpinBox* m_every;
    QLabel* m_watcher;
    QLabel* m_file;
};
