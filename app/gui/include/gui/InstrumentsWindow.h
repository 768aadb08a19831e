#pragma once

#include <QDialog>
#include <cstdint>
#include <memory>
#include <vector>

#include "compliance/InstrumentRegister.h"

class ElidedLabel;
class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace archive {
class SessionArchive;
}

// View > Instruments... (and the archive window's Instruments...): the instrument register. One
// row per instrument with its status in words on a coloured ground (the words alone say it, for
// print and for those who do not tell the colours apart), the day each sensor's next bump test
// and calibration are due (each sensor's range, status and failures since pass in its tooltip),
// and how many sessions were used while overdue or failed; a filter for the overdue and failed
// ones; a row opened (double-click or Enter) shows that instrument's sensors with their status
// and failures since pass, and its events; Intervals... sets the chosen instrument's own intervals;
// Save Compliance Report as PDF... writes the compliance pack of the instruments shown.
class InstrumentsWindow : public QDialog {
    Q_OBJECT
public:
    // location: as tavon-datalog's --archive (empty: the default archive).
    explicit InstrumentsWindow(const QString& location, QWidget* parent = nullptr);
    ~InstrumentsWindow() override;

    // False with a message shown when the archive could not be opened or read.
    bool Open();
    // Reads the register again at the end of today (or of `atDay`, for tests) and fills the table.
    bool Reload();
    void SetDay(int64_t atDay) { atDay_ = atDay; }
    // The pack of the instruments shown, the register read again first so that its rows are of
    // the moment its history head is; empty, or what went wrong.
    QString SavePack(const QString& path);
    // Save Compliance Report as PDF... once the file is chosen: the pack written and where told
    // on the window's status line, or what went wrong told in a box (false).
    bool SaveReportTo(const QString& path);
    // The chosen instrument's own intervals; false with a message shown on an error.
    bool SetIntervals(int row, int bumpDays, int calibrationDays, int warningDays);
    // The sensors' verdicts and the event history of the instrument of that row, as a window of
    // its own.
    QDialog* OpenHistory(int row);

    QTableWidget* Table() const { return table_; }
    QCheckBox* AttentionOnly() const { return attentionOnly_; }
    QLabel* Summary() const { return summary_; }

private:
    // Reload without the message: empty, or what went wrong.
    QString Refill();
    void Fill();
    void EditIntervals();
    void SaveAs();
    void Tell(const QString& text);
    const compliance::InstrumentRecord* RecordOf(int row) const;

    QString location_;
    std::unique_ptr<archive::SessionArchive> store_;
    std::unique_ptr<compliance::InstrumentRegister> register_;
    std::vector<compliance::InstrumentRecord> records_;
    int64_t atDay_ = -1; // -1: today
    QTableWidget* table_;
    QCheckBox* attentionOnly_;
    QLabel* summary_;
    ElidedLabel* status_; // the last result
    QPushButton* intervals_;
    QPushButton* save_;
};
