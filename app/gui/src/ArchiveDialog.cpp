#include "gui/ArchiveDialog.h"

#include "archive/ArchiveHistory.h"
#include "compliance/SwitchOnStatus.h"
#include "textfit/TextFit.h"

#include <QAction>
#include <QCheckBox>
#include <QDate>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>
#include <utility>

#include "ReportExport.h"
#include "SaveNames.h"
#include "SessionTips.h"
#include "archive/ArchiveReport.h"
#include "archive/PersonalKey.h"
#include "archive/SessionArchive.h"
#include "archive/StoredText.h"
#include "core/LogImage.h"
#include "core/SessionTable.h"
#include "gui/BackgroundSync.h"
#include "gui/ChartPanel.h"
#include "gui/InstrumentsWindow.h"
#include "gui/LinkedViews.h"
#include "gui/MapPanel.h"
#include "gui/RtfView.h"
#include "gui/SignOffDialog.h"
#include "orvtime/OrvTime.h"
#include "orvtime/TimeFormat.h"

namespace {

// What a session's node of the tree keeps.
constexpr int kIdRole = Qt::UserRole;
constexpr int kInstrumentRole = Qt::UserRole + 1; // its instrument's id
constexpr int kNameRole = Qt::UserRole + 2;       // what the archive calls its instrument
constexpr int kDayRole = Qt::UserRole + 3;        // YYYY-MM-DD
constexpr int kStartRole = Qt::UserRole + 4;      // HH-MM-SS
constexpr int kStampRole = Qt::UserRole + 5;      // its start on the instrument's clock
constexpr int kDatedRole = Qt::UserRole + 6;      // whether that start is known
constexpr int kSlotRole = Qt::UserRole + 7;       // the instrument's slot it was in

QString Label(uint32_t stamp, const char* format) {
    return QString::fromStdString(FormatTime(COrvTime(stamp).Value(), format));
}

} // namespace

ArchiveDialog::ArchiveDialog(const QString& location, QWidget* parent)
    : QDialog(parent), location_(location), store_(new archive::SessionArchive),
      image_(new LogImage), table_(new SessionTable) {
    setWindowTitle("Archive");
    setObjectName("ArchiveDialog");
    QPushButton* search = nullptr;
    QPushButton* instruments = nullptr;
    QFormLayout* fields = MakeSearch(search, instruments);
    QSplitter* split = MakeBrowsing(fields);
    bytesWarning_ = new QLabel(this);
    bytesWarning_->setObjectName("bytesWarning");
    bytesWarning_->setStyleSheet("QLabel { color: #b00000; font-weight: bold; }");
    // One line a session, as tall as its lines: the search, the tree and the report keep their
    // places.
    bytesWarning_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    bytesWarning_->hide();
    QVBoxLayout* layout = new QVBoxLayout(this);
    layout->addWidget(bytesWarning_);
    layout->addWidget(split);
    resize(1000, 640);

    connect(search, &QPushButton::clicked, this, [this] { Search(); });
    for (QLineEdit* field : {job_, user_, from_, to_, instrument_}) {
        connect(field, &QLineEdit::returnPressed, this, [this] { Search(); });
    }
    connect(tree_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item) { OnSelection(item); });
    connect(next_, &QPushButton::clicked, this, [this] { Next(); });
    connect(save_, &QPushButton::clicked, this, [this] { Save(); });
    connect(export_, &QPushButton::clicked, this, [this] { Export(); });
    connect(instruments, &QPushButton::clicked, this, [this] { OpenInstruments(); });
    connect(signOff_, &QPushButton::clicked, this, [this] { OpenSignOff(); });
}

QFormLayout* ArchiveDialog::MakeSearch(QPushButton*& search, QPushButton*& instruments) {
    job_ = new QLineEdit(this);
    user_ = new QLineEdit(this);
    from_ = new QLineEdit(this);
    to_ = new QLineEdit(this);
    instrument_ = new QLineEdit(this);
    for (QLineEdit* date : {from_, to_}) {
        date->setPlaceholderText("YYYY-MM-DD");
        FitPlaceholder(*date);
        date->setInputMask("0000-00-00;_");
        date->clear();
    }
    instrument_->setPlaceholderText("every instrument");
    FitPlaceholder(*instrument_);
    alarms_ = new QCheckBox("Alarms only", this);
    search = new QPushButton("Search", this);
    search->setObjectName("searchButton");

    QFormLayout* fields = new QFormLayout;
    fields->addRow("Job number", job_);
    fields->addRow("User", user_);
    QHBoxLayout* dates = new QHBoxLayout;
    dates->addWidget(from_);
    dates->addWidget(to_);
    fields->addRow("From, to", dates);
    fields->addRow("Instrument", instrument_);
    QHBoxLayout* buttons = new QHBoxLayout;
    buttons->addWidget(alarms_);
    buttons->addStretch();
    sync_ = new QPushButton("Sync Now", this);
    sync_->setObjectName("syncButton");
    sync_->hide();
    buttons->addWidget(sync_);
    instruments = new QPushButton("Instruments...", this);
    instruments->setObjectName("instrumentsButton");
    buttons->addWidget(instruments);
    signOff_ = new QPushButton("Sign Off...", this);
    signOff_->setObjectName("signOffButton");
    buttons->addWidget(signOff_);
    buttons->addWidget(search);
    fields->addRow(buttons);
    return fields;
}

QSplitter* ArchiveDialog::MakeBrowsing(QFormLayout* fields) {
    tree_ = new QTreeWidget(this);
    tree_->setHeaderHidden(true);
    fullDay_ = new QCheckBox("Full Day", this);
    next_ = new QPushButton("Next", this);
    next_->setObjectName("nextButton");
    next_->setEnabled(false);
    save_ = new QPushButton("Save", this);
    save_->setObjectName("saveButton");
    save_->setEnabled(false);
    export_ = new QPushButton("Export...", this);
    export_->setObjectName("exportButton");
    export_->setEnabled(false);
    QWidget* left = new QWidget(this);
    QVBoxLayout* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addLayout(fields);
    leftLayout->addWidget(tree_, 1);
    QHBoxLayout* below = new QHBoxLayout;
    below->addWidget(fullDay_);
    below->addWidget(next_);
    below->addStretch();
    below->addWidget(save_);
    below->addWidget(export_);
    leftLayout->addLayout(below);

    report_ = new RtfView(this);
    QSplitter* split = new QSplitter(this);
    split->addWidget(left);
    split->addWidget(report_);
    chart_ = ChartPanel::InstallBeside(report_);
    map_ = MapPanel::InstallBeside(report_);
    links_ = new LinkedViews(*report_, *chart_, this);
    connect(links_, &LinkedViews::chartTimeChosen, map_, &MapPanel::ShowPlaceAt);
    connect(map_, &MapPanel::placeChosen, links_, &LinkedViews::ChooseRecord);
    split->setStretchFactor(1, 2);
    return split;
}

QDialog* ArchiveDialog::OpenSignOff() {
    std::unique_ptr<archive::PersonalKey> key(new archive::PersonalKey);
    QString error;
    if (!store_->IsOpen() || !archive::FindPersonalKey(*store_, *key, error)) {
        Tell(error.isEmpty() ? store_->Error() : error);
        return nullptr;
    }
    const auto day = [](QLineEdit* field) {
        const QDate d = QDate::fromString(field->text(), "yyyy-MM-dd");
        return d.isValid() ? d.toString("yyyy-MM-dd") : QString();
    };
    SignOffDialog* window = new SignOffDialog(
        *store_, std::move(key), instrument_->text().trimmed(), day(from_), day(to_), this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return window;
}

QDialog* ArchiveDialog::OpenInstruments() {
    InstrumentsWindow* window = new InstrumentsWindow(location_, this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (!window->Open()) {
        window->close();
        return nullptr;
    }
    window->show();
    return window;
}

ArchiveDialog::~ArchiveDialog() = default;

bool ArchiveDialog::Open() {
    // Showing an archive makes none: a location that holds none (a mistyped Archive= in
    // Settings.ini, or nothing archived yet) is said so.
    if (!store_->Open(location_, archive::SessionArchive::OpenMode::ExistingOnly)) {
        const QString error = store_->Error();
        Tell(error.startsWith("no archive at ")
                 ? "There is no archive at " + error.mid(14) +
                       " yet: the first upload or import archived makes it."
                 : error);
        return false;
    }
    Search();
    return true;
}

int ArchiveDialog::Search() {
    // A search text is one line, as the command line's --job, --user and --instrument are.
    for (const auto& [field, what] :
         {std::make_pair(job_, "job number"), std::make_pair(user_, "user"),
          std::make_pair(instrument_, "instrument")}) {
        const QString problem = archive::OneLineProblem(field->text());
        if (!problem.isEmpty()) {
            Tell(QString("The %1 searched for %2.").arg(QString::fromLatin1(what), problem));
            return 0;
        }
    }
    archive::ListFilter filter;
    filter.job = job_->text().trimmed();
    filter.user = user_->text().trimmed();
    // An empty masked field reads as "--"; a half-typed date is no date.
    const auto date = [](QLineEdit* field) {
        const QDate d = QDate::fromString(field->text(), "yyyy-MM-dd");
        return d.isValid() ? d.toString("yyyy-MM-dd") : QString();
    };
    filter.from = date(from_);
    filter.to = date(to_);
    filter.instrument = instrument_->text().trimmed();
    filter.alarmOnly = alarms_->isChecked();
    // The tree is built anew below, with signals held: the report shown is kept or cleared
    // afterwards as a whole, never re-rendered by a selection the rebuild moves.
    const QSignalBlocker quiet(tree_);
    tree_->clear();
    chosen_ = nullptr;
    next_->setEnabled(false);
    int count = 0;
    QTreeWidgetItem* month = nullptr;
    QTreeWidgetItem* day = nullptr;
    const bool listed = store_->ForEach(
        filter,
        [&](const archive::ListedSession& s) {
            if (!s.dated) {
                return; // the tree shows dated sessions only, as the program's does
            }
            const QString monthText = Label(s.stamp, "%b %Y");
            const QString dayText = Label(s.stamp, "%A %d");
            if (month == nullptr || month->text(0) != monthText) {
                month = new QTreeWidgetItem(tree_, QStringList(monthText));
                day = nullptr;
            }
            if (day == nullptr || day->text(0) != dayText) {
                day = new QTreeWidgetItem(month, QStringList(dayText));
            }
            QString text = Label(s.stamp, "%X");
            for (const std::string& tag : TagWords(s.tags)) {
                text += " " + QString::fromStdString(tag);
            }
            text += "  " + archive::OneLine(s.instrument);
            QTreeWidgetItem* item = new QTreeWidgetItem(day, QStringList(text));
            item->setToolTip(0, SessionTip(s.tags));
            item->setData(0, kIdRole, s.id);
            item->setData(0, kInstrumentRole, s.instrumentId);
            item->setData(0, kNameRole, s.instrument);
            item->setData(0, kDayRole, s.summary.day);
            item->setData(0, kStartRole, Label(s.stamp, "%H-%M-%S"));
            item->setData(0, kStampRole, s.stamp);
            item->setData(0, kDatedRole, s.dated);
            item->setData(0, kSlotRole, s.slot);
            ++count;
        },
        archive::ListDetail::Brief);
    if (!listed) {
        Tell(store_->Error());
    }
    tree_->expandAll();
    KeepOrClearShown();
    return count;
}

void ArchiveDialog::KeepOrClearShown() {
    for (const qint64 id : shownIds_) {
        if (FindSession(id) == nullptr) {
            ClearShown();
            return;
        }
    }
    if (shownIds_.isEmpty()) {
        return;
    }
    chosen_ = FindSession(shownIds_.front());
    tree_->setCurrentItem(chosen_);
    next_->setEnabled(!LaterOfInstrument(chosen_).isEmpty());
}

void ArchiveDialog::ClearShown() {
    // What is shown, saved or exported is always a session the tree lists.
    shownIds_.clear();
    chosen_ = nullptr;
    state_ = ReportState();
    values_.clear();
    valueInstruments_.clear();
    report_->SetRtf(std::string());
    links_->SetReport(state_.Anchors);
    chart_->ShowValues(values_, ReportFilter(state_), state_.HeadingDay, state_.HeadingMonth);
    map_->ShowValues(values_, ReportFilter(state_));
    bytesWarning_->clear();
    bytesWarning_->hide();
    save_->setEnabled(false);
    export_->setEnabled(false);
    next_->setEnabled(false);
    setWindowTitle("Archive");
}

void ArchiveDialog::OnSelection(QTreeWidgetItem* item) {
    if (item == nullptr || !item->data(0, kIdRole).isValid()) {
        return;
    }
    ChooseSession(item->data(0, kIdRole).toLongLong());
}

QTreeWidgetItem* ArchiveDialog::FindSession(qint64 id) const {
    for (QTreeWidgetItemIterator it(tree_); *it; ++it) {
        const QVariant data = (*it)->data(0, kIdRole);
        if (data.isValid() && data.toLongLong() == id) {
            return *it;
        }
    }
    return nullptr;
}

QVector<QTreeWidgetItem*> ArchiveDialog::LaterOfInstrument(QTreeWidgetItem* item) const {
    QVector<QTreeWidgetItem*> later;
    QTreeWidgetItem* day = item != nullptr ? item->parent() : nullptr;
    if (day == nullptr) {
        return later;
    }
    // A search across every instrument puts their sessions of a day side by side: a day's
    // report is one instrument's.
    const QVariant instrument = item->data(0, kInstrumentRole);
    for (int i = day->indexOfChild(item) + 1; i < day->childCount(); ++i) {
        if (day->child(i)->data(0, kInstrumentRole) == instrument) {
            later << day->child(i);
        }
    }
    return later;
}

void ArchiveDialog::ChooseSession(qint64 id) {
    QVector<qint64> ids{id};
    QTreeWidgetItem* item = FindSession(id);
    // Full Day: the chosen session and its instrument's after it on the same day, as one report.
    if (fullDay_->isChecked()) {
        for (QTreeWidgetItem* later : LaterOfInstrument(item)) {
            ids << later->data(0, kIdRole).toLongLong();
        }
    }
    chosen_ = item;
    shownFullDay_ = fullDay_->isChecked();
    next_->setEnabled(!LaterOfInstrument(item).isEmpty());
    setWindowTitle(item != nullptr ? "Archive - " + item->data(0, kNameRole).toString()
                                   : QString("Archive"));
    state_ = ReportState();
    if (!archive::RenderArchived(*store_, ids, *image_, *table_, state_)) {
        Tell(store_->Error());
        return;
    }
    shownIds_ = ids;
    report_->SetRtf(state_.ReportText);
    MarkAgainstHistory(ids);
    // The archive's sessions are all sessions, in the order the map numbers them.
    links_->SetReport(state_.Anchors);
    save_->setEnabled(true);
    values_.clear();
    valueInstruments_.clear();
    if (!archive::DecodeArchived(*store_, ids, *image_, values_) ||
        !archive::ArchivedInstruments(*store_, ids, valueInstruments_)) {
        Tell(store_->Error());
        values_.clear();
    }
    export_->setEnabled(!values_.empty());
    chart_->ShowValues(values_, ReportFilter(state_), state_.HeadingDay, state_.HeadingMonth);
    map_->ShowValues(values_, ReportFilter(state_), Headings(ids));
}

void ArchiveDialog::MarkAgainstHistory(const QVector<qint64>& ids) {
    QSet<qint64> failing;
    QString error;
    QStringList said;
    if (!archive::SessionsAgainstHistory(*store_, ids, failing, error)) {
        said << "The sessions' bytes could not be checked against the history: " + error;
    }
    for (const qint64 id : ids) {
        if (failing.contains(id)) {
            const QTreeWidgetItem* item = FindSession(id);
            said << (item != nullptr ? item->text(0) : "Session id " + QString::number(id)) + ": " +
                        archive::BytesNotInHistoryText() + " (archive verify says more)";
        }
    }
    bytesWarning_->setText(said.join('\n'));
    bytesWarning_->setVisible(!said.isEmpty());
}

std::vector<SurveyHeading> ArchiveDialog::Headings(const QVector<qint64>& ids) {
    compliance::SwitchOnStatus atSwitchOn(*store_);
    std::vector<SurveyHeading> headings;
    for (qsizetype i = 0; i < ids.size(); ++i) {
        SurveyHeading heading;
        heading.Naming.Instrument = valueInstruments_.value(i).toStdString();
        if (const QTreeWidgetItem* item = FindSession(ids[i])) {
            const uint32_t stamp = item->data(0, kStampRole).toUInt();
            heading.Naming.Day = item->data(0, kDayRole).toString().toStdString();
            heading.Naming.Start = Label(stamp, "%H:%M:%S").toStdString();
            heading.RegisterStatus = atSwitchOn.At(item->data(0, kInstrumentRole).toLongLong(),
                                                   item->data(0, kDatedRole).toBool(), stamp);
        }
        headings.push_back(std::move(heading));
    }
    return headings;
}

bool ArchiveDialog::Next() {
    const QVector<QTreeWidgetItem*> later = LaterOfInstrument(chosen_);
    if (later.isEmpty()) {
        return false;
    }
    tree_->setCurrentItem(later.first());
    return true;
}

QString ArchiveDialog::SuggestedName() const {
    if (chosen_ == nullptr) {
        return QString();
    }
    return SavedName(chosen_->data(0, kDayRole).toString(),
                     shownFullDay_ ? QString() : chosen_->data(0, kStartRole).toString(),
                     chosen_->data(0, kSlotRole).toInt(), chosen_->data(0, kNameRole).toString());
}

void ArchiveDialog::Save() {
    const QString path = QFileDialog::getSaveFileName(
        this, "Save", SuggestedPath(SuggestedName(), SavedKind::Report),
        FileFilter(SavedKind::Report));
    if (!path.isEmpty()) {
        SaveTo(path);
    }
}

bool ArchiveDialog::SaveTo(const QString& chosen) {
    const QString path = WithSuffix(chosen, SavedKind::Report);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(state_.ReportText.data(), static_cast<qint64>(state_.ReportText.size())) !=
            static_cast<qint64>(state_.ReportText.size()) ||
        !file.flush()) {
        Tell(QString("Cannot write the file \"%1\".\n%2").arg(path, file.errorString()));
        return false;
    }
    return true;
}

void ArchiveDialog::Export() {
    const QString path = ReportExport::AskPath(this, InSavingFolder(SuggestedName()));
    if (path.isEmpty()) {
        return;
    }
    const QString error = ExportTo(path);
    if (!error.isEmpty()) {
        Tell(error);
    }
}

QString ArchiveDialog::ExportTo(const QString& path) {
    return ReportExport::WriteValues(path, values_, ReportFilter(state_), valueInstruments_);
}

void ArchiveDialog::OfferSync(QAction* syncNow) {
    syncNow_ = syncNow;
    if (syncNow_ == nullptr) {
        sync_->hide();
        return;
    }
    sync_->setText(syncNow_->text());
    connect(sync_, &QPushButton::clicked, syncNow_, &QAction::trigger, Qt::UniqueConnection);
    EnableSync();
    sync_->show();
}

void ArchiveDialog::EnableSync() {
    if (syncNow_ == nullptr) {
        return;
    }
    // The menu's item follows the same rule, so that the button never triggers a stale one.
    const QString why = BackgroundSync::Unavailable();
    syncNow_->setEnabled(why.isEmpty());
    syncNow_->setToolTip(why.isEmpty() ? syncNow_->text() : why);
    sync_->setEnabled(why.isEmpty());
    sync_->setToolTip(why);
}

void ArchiveDialog::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && syncNow_ != nullptr) {
        EnableSync();
    }
}

void ArchiveDialog::Tell(const QString& text) {
    QMessageBox::warning(this, "Archive", text);
}
