#pragma once

#include <QDialog>
#include <QStringList>
#include <QVector>
#include <memory>

#include "map/SurveyRecord.h"
#include "report/Report.h"
#include "report/SessionValues.h"

#include <vector>

class ChartPanel;
class QAction;
class LinkedViews;
class MapPanel;
class LogImage;
class QCheckBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSplitter;
class QTreeWidget;
class QTreeWidgetItem;
class RtfView;
class SessionTable;

namespace archive {
class SessionArchive;
}

// File > Open Archive...: the archived sessions in the month, day and session tree, searched by
// job number, user, dates and alarms, across every instrument or one; a chosen session (with
// Full Day, the rest of its instrument's day after it) shown as its report, its chart and its map,
// the window's title naming its instrument; Next goes on to that instrument's next session of the
// day; Save writes the report as RTF, Export... the sessions as CSV, GeoJSON or GPX, both
// suggesting a name of the day and the instrument; Sign Off... signs the searched instrument's
// and days' sessions off with the user's personal key.
class ArchiveDialog : public QDialog {
    Q_OBJECT
public:
    // location: as tavon-datalog's --archive (empty: the default archive).
    explicit ArchiveDialog(const QString& location, QWidget* parent = nullptr);
    ~ArchiveDialog() override;

    // False with a message shown when the archive could not be opened.
    bool Open();
    // Fills the tree with what the search fields keep; returns the number of sessions.
    int Search();
    void ChooseSession(qint64 id);
    // The chosen instrument's next session of the day chosen, as if chosen in the tree; false
    // when there is none.
    bool Next();
    // "2026-08-17 unit 7" for a Full Day, "2026-08-17 09-12-44 unit 7" for one session, without
    // an extension; empty before a session is shown.
    QString SuggestedName() const;
    // Writes the shown report; a path without an extension gets ".rtf".
    bool SaveTo(const QString& path);
    // The instrument register of this archive, in a window of its own; nullptr when it could not
    // be read (a message was shown).
    QDialog* OpenInstruments();
    // Sign Off...: this user's personal key read and the sign-off window shown, its scope the
    // search's instrument and days; nullptr when there is no key to sign with (said).
    QDialog* OpenSignOff();
    // Empty, or what went wrong for the user.
    QString ExportTo(const QString& path);
    // Sync Now beside Instruments...: the program's own File > Sync Now, `syncNow`, enabled while
    // Settings.ini names an archive to sync into (looked at again each time the window is
    // activated). Not shown until offered.
    void OfferSync(QAction* syncNow);

    QTreeWidget* Tree() const { return tree_; }
    const std::string& ReportText() const { return state_.ReportText; }
    QLineEdit* JobField() const { return job_; }
    QLineEdit* UserField() const { return user_; }
    QLineEdit* FromField() const { return from_; }
    QLineEdit* ToField() const { return to_; }
    QLineEdit* InstrumentField() const { return instrument_; }
    QCheckBox* AlarmsOnly() const { return alarms_; }
    QCheckBox* FullDay() const { return fullDay_; }
    QPushButton* NextButton() const { return next_; }
    QPushButton* SyncButton() const { return sync_; }
    QPushButton* SignOffButton() const { return signOff_; }
    ChartPanel* Chart() const { return chart_; }
    MapPanel* Map() const { return map_; }
    // The report and the chart kept on the same moment (and the map with them).
    LinkedViews* Links() const { return links_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    // The search fields and their buttons; the Search and Instruments... buttons are given back.
    QFormLayout* MakeSearch(QPushButton*& search, QPushButton*& instruments);
    // The tree under `fields` with its buttons, beside the report and its tabs.
    QSplitter* MakeBrowsing(QFormLayout* fields);
    void EnableSync();
    void OnSelection(QTreeWidgetItem* item);
    QTreeWidgetItem* FindSession(qint64 id) const;
    // After a search: the sessions shown kept, selected, where the tree still lists them all;
    // otherwise the report, chart, map, Save and Export cleared.
    void KeepOrClearShown();
    void ClearShown();
    // Marks the window when a session shown holds bytes its history does not say it holds.
    void MarkAgainstHistory(const QVector<qint64>& ids);
    // The survey record's heading of each of `ids`, as the tree and Export... name them, with
    // the register's status at its switch-on.
    std::vector<SurveyHeading> Headings(const QVector<qint64>& ids);
    // The sessions of the item's day after it that belong to its instrument.
    QVector<QTreeWidgetItem*> LaterOfInstrument(QTreeWidgetItem* item) const;
    void Save();
    void Export();
    void Tell(const QString& text);

    QString location_;
    std::unique_ptr<archive::SessionArchive> store_;
    std::unique_ptr<LogImage> image_;
    std::unique_ptr<SessionTable> table_;
    ReportState state_;
    std::vector<SessionValues> values_; // the sessions shown, for the chart and Export...
    QStringList valueInstruments_;      // what Export... calls each one's instrument

    QLineEdit* job_;
    QLineEdit* user_;
    QLineEdit* from_;
    QLineEdit* to_;
    QLineEdit* instrument_;
    QCheckBox* alarms_;
    QCheckBox* fullDay_;
    QTreeWidget* tree_;
    QTreeWidgetItem* chosen_ = nullptr; // the session shown first; nullptr when none
    QVector<qint64> shownIds_;          // the sessions of the report shown, in order
    bool shownFullDay_ = false;
    QLabel* bytesWarning_;
    RtfView* report_;
    ChartPanel* chart_;
    MapPanel* map_;
    LinkedViews* links_;
    QPushButton* next_;
    QPushButton* save_;
    QPushButton* export_;
    QPushButton* sync_;
    QPushButton* signOff_;
    QAction* syncNow_ = nullptr;
};
