#include "gui/InstrumentsWindow.h"

#include "ElidedLabel.h"

#include <QCheckBox>
#include <QDate>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "SaveNames.h"
#include "archive/ArchiveHistory.h"
#include "archive/HistorySigning.h"
#include "archive/SessionArchive.h"
#include "archive/TrustedKeys.h"
#include "compliance/CivilDay.h"
#include "compliance/CompliancePack.h"

using compliance::InstrumentRecord;
using compliance::ServiceStatus;

namespace {

constexpr int kRowRole = Qt::UserRole; // the record's index

enum Column { kName, kSerial, kFirmware, kStatus, kDue, kUsed, kColumns };

QString Std(const std::string& text) {
    return QString::fromStdString(text);
}

// Light grounds that keep black text readable; the words carry the meaning.
QColor Ground(ServiceStatus status) {
    switch (status) {
    case ServiceStatus::Ok:
        return QColor(205, 235, 205);
    case ServiceStatus::NoTests:
        return QColor(225, 225, 225);
    case ServiceStatus::Due:
        return QColor(250, 235, 180);
    case ServiceStatus::Overdue:
        return QColor(250, 205, 160);
    default:
        return QColor(245, 180, 180);
    }
}

QString Word(ServiceStatus status) {
    const QString word = QString::fromLatin1(compliance::ServiceStatusWord(status));
    return word.left(1).toUpper() + word.mid(1);
}

// "CO: bump 2026-12-09, calibration 2027-05-30" per sensor, a line each, after the instrument's
// own checks that failed ("Filter check failed on 2026-12-01").
QString DueDays(const InstrumentRecord& r) {
    if (r.status.status == ServiceStatus::NoTests) {
        return QString::fromLatin1(compliance::ServiceStatusWord(ServiceStatus::NoTests));
    }
    QStringList lines;
    for (const std::string& line : compliance::CheckLines(r.status)) {
        lines << Std(line);
    }
    for (const compliance::SensorStatus& s : r.status.sensors) {
        auto due = [](const compliance::KindVerdict& v) {
            return v.dueDay ? Std(compliance::DueDayText(v)) : QString("never tested");
        };
        lines << Std(compliance::SensorGasName(s.sensor)) + ": bump " + due(s.bump) +
                     ", calibration " + due(s.calibration);
    }
    return lines.isEmpty() ? QString("no sensor tested") : lines.join('\n');
}

// "CO: 0..1000 PPM CO; status failed; failures since pass: 3" per sensor: the range its records
// label it with and the register's verdict on it, as the compliance pack's sensor table has them.
QString SensorLines(const InstrumentRecord& r) {
    QStringList lines;
    for (const compliance::SensorStatus& s : r.status.sensors) {
        const std::string range = compliance::SensorRange(s.sensor);
        lines << Std(compliance::SensorGasName(s.sensor)) + ": " +
                     (range.empty() ? QString("range not known") : Std(range)) + "; status " +
                     QString::fromLatin1(compliance::ServiceStatusWord(s.status)) +
                     "; failures since pass: " + QString::number(s.failuresSincePass);
    }
    return lines.join('\n');
}

// A read-only table sized to its texts.
QTableWidget* TextTable(const QStringList& headings, const std::vector<QStringList>& rows,
                        const QString& name, QWidget* parent) {
    QTableWidget* table =
        new QTableWidget(static_cast<int>(rows.size()), static_cast<int>(headings.size()), parent);
    table->setObjectName(name);
    table->setHorizontalHeaderLabels(headings);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    for (size_t k = 0; k < rows.size(); ++k) {
        for (int c = 0; c < rows[k].size() && c < headings.size(); ++c) {
            table->setItem(static_cast<int>(k), c, new QTableWidgetItem(rows[k][c]));
        }
    }
    table->resizeColumnsToContents();
    return table;
}

// Each sensor's number, gas, status and failures since its last pass: the register's verdict
// beside the events it came from.
QTableWidget* SensorTable(const InstrumentRecord& r, QWidget* parent) {
    std::vector<QStringList> rows;
    for (const compliance::SensorStatus& s : r.status.sensors) {
        rows.push_back({QString::number(s.number), Std(compliance::SensorGasName(s.sensor)),
                        Word(s.status), QString::number(s.failuresSincePass)});
    }
    QTableWidget* table =
        TextTable({"Sensor", "Gas", "Status", "Failures since pass"}, rows, "sensorTable", parent);
    for (size_t k = 0; k < r.status.sensors.size(); ++k) {
        QTableWidgetItem* status = table->item(static_cast<int>(k), 2);
        status->setBackground(Ground(r.status.sensors[k].status));
        status->setForeground(Qt::black);
    }
    table->resizeRowsToContents();
    // As tall as its rows, so the events below keep the room.
    const int height = table->horizontalHeader()->sizeHint().height() + 2 * table->frameWidth() +
                       table->verticalHeader()->length();
    table->setFixedHeight(height);
    table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return table;
}

} // namespace

InstrumentsWindow::InstrumentsWindow(const QString& location, QWidget* parent)
    : QDialog(parent), location_(location), store_(new archive::SessionArchive) {
    setWindowTitle("Instruments");
    setObjectName("InstrumentsWindow");
    attentionOnly_ = new QCheckBox("Overdue and failed only", this);
    summary_ = new QLabel(this);
    table_ = new QTableWidget(0, kColumns, this);
    table_->setHorizontalHeaderLabels({"Instrument", "Serial", "Firmware", "Status",
                                       "Next due per sensor", "Used while\noverdue"});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    intervals_ = new QPushButton("Intervals...", this);
    intervals_->setObjectName("intervalsButton");
    save_ = new QPushButton("Save Compliance Report as PDF...", this);
    save_->setObjectName("savePackButton");
    QPushButton* close = new QPushButton("Close", this);

    QHBoxLayout* top = new QHBoxLayout;
    top->addWidget(attentionOnly_);
    top->addStretch();
    top->addWidget(summary_);
    QHBoxLayout* buttons = new QHBoxLayout;
    buttons->addWidget(intervals_);
    buttons->addStretch();
    buttons->addWidget(save_);
    buttons->addWidget(close);
    status_ = new ElidedLabel(0, this);
    status_->setObjectName("instrumentsStatus");
    QVBoxLayout* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(table_);
    layout->addLayout(buttons);
    layout->addWidget(status_);
    // Small enough for a laptop beside the main window, large enough for a row of four sensors.
    setMinimumSize(640, 300);
    resize(900, 500);

    connect(attentionOnly_, &QCheckBox::toggled, this, [this] { Fill(); });
    connect(table_, &QTableWidget::cellActivated, this, [this](int row, int) {
        if (QDialog* history = OpenHistory(row)) {
            history->show();
        }
    });
    connect(intervals_, &QPushButton::clicked, this, [this] { EditIntervals(); });
    connect(save_, &QPushButton::clicked, this, [this] { SaveAs(); });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
}

InstrumentsWindow::~InstrumentsWindow() = default;

void InstrumentsWindow::Tell(const QString& text) {
    QMessageBox::warning(this, "Instruments", text);
}

bool InstrumentsWindow::Open() {
    // Showing the register makes no archive.
    if (!store_->Open(location_, archive::SessionArchive::OpenMode::ExistingOnly)) {
        Tell(store_->Error());
        return false;
    }
    register_.reset(new compliance::InstrumentRegister(*store_));
    return Reload();
}

bool InstrumentsWindow::Reload() {
    const QString unread = Refill();
    if (!unread.isEmpty()) {
        Tell(unread);
        return false;
    }
    return true;
}

QString InstrumentsWindow::Refill() {
    if (!register_ || register_->Refresh() < 0 ||
        !register_->Instruments(atDay_ >= 0 ? atDay_ : compliance::Today(), {}, records_)) {
        return register_ ? register_->Error() : QString("the archive is not open");
    }
    Fill();
    return QString();
}

const InstrumentRecord* InstrumentsWindow::RecordOf(int row) const {
    const QTableWidgetItem* item = table_->item(row, kName);
    if (item == nullptr) {
        return nullptr;
    }
    const int index = item->data(kRowRole).toInt();
    return index >= 0 && index < static_cast<int>(records_.size()) ? &records_[index] : nullptr;
}

void InstrumentsWindow::Fill() {
    table_->setRowCount(0);
    int attention = 0;
    for (size_t k = 0; k < records_.size(); ++k) {
        const InstrumentRecord& r = records_[k];
        const bool needs = compliance::NeedsAction(r.status.status);
        attention += needs ? 1 : 0;
        if (attentionOnly_->isChecked() && !needs) {
            continue;
        }
        const int row = table_->rowCount();
        table_->insertRow(row);
        QStringList why;
        for (const std::string& line : compliance::AttentionLines(r.status)) {
            why << Std(line);
        }
        const QStringList cells = {r.name,     r.serial,
                                   r.firmware, Word(r.status.status),
                                   DueDays(r), QString::number(r.status.usedWhileOverdue.size())};
        for (int c = 0; c < kColumns; ++c) {
            QTableWidgetItem* item = new QTableWidgetItem(cells[c]);
            if (c == kStatus) {
                item->setBackground(Ground(r.status.status));
                item->setForeground(Qt::black);
                item->setToolTip(why.join('\n'));
            } else if (c == kDue) {
                item->setToolTip(SensorLines(r));
            }
            table_->setItem(row, c, item);
        }
        table_->item(row, kName)->setData(kRowRole, static_cast<int>(k));
    }
    table_->resizeColumnsToContents();
    // Sized to its contents the last column no longer stretches to the table's edge, which left
    // an empty band after a refill in a window already shown: stretched again.
    table_->horizontalHeader()->setStretchLastSection(false);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->resizeRowsToContents();
    summary_->setText(QString("%1 instrument%2, %3 overdue or failed")
                          .arg(records_.size())
                          .arg(records_.size() == 1 ? "" : "s")
                          .arg(attention));
}

QDialog* InstrumentsWindow::OpenHistory(int row) {
    const InstrumentRecord* r = RecordOf(row);
    if (r == nullptr) {
        return nullptr;
    }
    compliance::EventFilter filter;
    filter.instruments = {r->id};
    std::vector<compliance::EventRow> events;
    if (!register_->Events(filter, events)) {
        Tell(register_->Error());
        return nullptr;
    }
    QDialog* history = new QDialog(this);
    history->setAttribute(Qt::WA_DeleteOnClose);
    history->setObjectName("InstrumentHistory");
    history->setWindowTitle("Events of " + r->name);
    std::vector<QStringList> rows;
    for (const compliance::EventRow& e : events) {
        const bool sensor = e.sensor != compliance::kNoSensor;
        rows.push_back({Std(compliance::StampText(e.stamp)),
                        QString::fromLatin1(compliance::EventKindWord(e.kind)),
                        sensor ? QString::number(e.number) : QString(),
                        sensor ? Std(compliance::SensorGasName(e.sensor)) : QString("instrument"),
                        QString::fromLatin1(compliance::EventResultText(e.result)),
                        Std(compliance::EventValueText(e.value.toStdString(), e.sensor, e.result)),
                        e.user, e.job});
    }
    // The sensor numbered as the table above and `archive events` number it, its gas beside.
    QTableWidget* table =
        TextTable({"Time", "Test", "Sensor", "Gas", "Result", "Value", "User", "Job"}, rows,
                  "eventTable", history);
    table->scrollToBottom();
    QVBoxLayout* layout = new QVBoxLayout(history);
    if (!r->status.sensors.empty()) {
        layout->addWidget(SensorTable(*r, history));
    }
    layout->addWidget(table);
    history->resize(800, 500);
    return history;
}

bool InstrumentsWindow::SetIntervals(int row, int bumpDays, int calibrationDays, int warningDays) {
    const InstrumentRecord* r = RecordOf(row);
    if (r == nullptr) {
        return false;
    }
    compliance::IntervalOverride own;
    own.bumpDays = bumpDays;
    own.calibrationDays = calibrationDays;
    own.warningDays = warningDays;
    if (!register_->SetIntervals(r->id, own)) {
        Tell(register_->Error());
        return false;
    }
    return Reload();
}

void InstrumentsWindow::EditIntervals() {
    const int row = table_->currentRow();
    const InstrumentRecord* r = RecordOf(row);
    if (r == nullptr) {
        Tell("Choose an instrument first.");
        return;
    }
    QDialog dialog(this);
    dialog.setWindowTitle("Intervals of " + r->name);
    QSpinBox* bump = new QSpinBox(&dialog);
    QSpinBox* calibration = new QSpinBox(&dialog);
    QSpinBox* warning = new QSpinBox(&dialog);
    bump->setRange(1, 3650);
    calibration->setRange(1, 3650);
    warning->setRange(0, 3650);
    bump->setValue(r->intervals.bumpDays);
    calibration->setValue(r->intervals.calibrationDays);
    warning->setValue(r->intervals.warningDays);
    for (QSpinBox* box : {bump, calibration, warning}) {
        // "1 day", never "1 days".
        auto unit = [box](int days) { box->setSuffix(days == 1 ? " day" : " days"); };
        unit(box->value());
        QObject::connect(box, qOverload<int>(&QSpinBox::valueChanged), box, unit);
    }
    QDialogButtonBox* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QFormLayout* form = new QFormLayout(&dialog);
    form->addRow("Bump test every", bump);
    form->addRow("Calibration every", calibration);
    form->addRow("Calibration due before", warning);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() == QDialog::Accepted) {
        SetIntervals(row, bump->value(), calibration->value(), warning->value());
    }
}

QString InstrumentsWindow::SavePack(const QString& path) {
    // The pack names the history's head as it is now: its rows must be the register's of now
    // too, not those of when the window was filled (intervals may have been set since).
    const QString unread = Refill();
    if (!unread.isEmpty()) {
        return unread;
    }
    std::vector<InstrumentRecord> shown;
    for (int row = 0; row < table_->rowCount(); ++row) {
        if (const InstrumentRecord* r = RecordOf(row)) {
            shown.push_back(*r);
        }
    }
    compliance::PackSettings settings;
    settings.atDay = atDay_ >= 0 ? atDay_ : compliance::Today();
    settings.archiveName = store_->WhereFromAnywhere();
    settings.madeAt = archive::PinTimeText(QDateTime::currentMSecsSinceEpoch());
    // The verdict the command line gives, with the same trusted keys.
    archive::TrustedKeys trusted;
    QString error;
    if (!archive::ReadTrustedKeys({}, trusted, error)) {
        return error;
    }
    settings.verification = archive::VerifyTrusted(*store_, trusted).Line();
    if (!compliance::PackHistoryLines(*store_, settings.atDay, shown, settings.history, error)) {
        return error;
    }
    return compliance::WriteCompliancePack(*register_, shown, settings, path, error) ? QString()
                                                                                     : error;
}

void InstrumentsWindow::SaveAs() {
    const QString chosen = QFileDialog::getSaveFileName(
        this, "Save Compliance Report as PDF",
        SuggestedPath("compliance-" + QDate::currentDate().toString("yyyy-MM-dd"), SavedKind::Pdf),
        FileFilter(SavedKind::Pdf));
    if (chosen.isEmpty()) {
        return;
    }
    SaveReportTo(WithSuffix(chosen, SavedKind::Pdf));
}

bool InstrumentsWindow::SaveReportTo(const QString& path) {
    const QString error = SavePack(path);
    if (!error.isEmpty()) {
        Tell(error);
        return false;
    }
    const int shown = table_->rowCount();
    status_->SetWholeText(QString("Saved the compliance report of %1 instrument%2 to %3")
                              .arg(shown)
                              .arg(shown == 1 ? "" : "s")
                              .arg(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath())));
    return true;
}
