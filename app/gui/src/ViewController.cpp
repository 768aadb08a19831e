#include "ViewController.h"

#include "FindBar.h"
#include "ShownReportNames.h"
#include "gui/ChartPanel.h"
#include "gui/FilterDialog.h"
#include "gui/LinkedViews.h"
#include "gui/MainDialogEnvironment.h"
#include "gui/MapBackground.h"
#include "gui/MapBackgroundDialog.h"
#include "gui/MapPanel.h"
#include "gui/StatusLine.h"
#include "ui_MainDialog.h"

#include "app/SessionBrowser.h"
#include "linkselect/Settings.h"
#include "report/Report.h"
#include "session/DownloadSettings.h"
#include "session/InstrumentSession.h"
#include "textcodec/Cp1252.h"

#include <QAction>
#include <QSignalBlocker>
#include <QTabWidget>

ViewController::ViewController(QDialog& window, Ui::MainDialog& ui,
                               const MainDialogEnvironment& env, InstrumentSession& session,
                               SessionBrowser& browser, StatusLine& status,
                               const ShownReportNames& names)
    : window_(window), ui_(ui), env_(env), session_(session), browser_(browser), status_(status),
      names_(names) {
    InstallPanels();
    connect(ui_.nextButton, &QPushButton::clicked, this, [this] { OnNext(); });
    connect(ui_.fullDayBox, &QCheckBox::clicked, this, [this] { OnFullDay(); });
    connect(ui_.allSessionsBox, &QCheckBox::clicked, this,
            [this](bool checked) { browser_.OnAllSessions(checked); });
    connect(ui_.alarmSessionsBox, &QCheckBox::clicked, this,
            [this](bool checked) { browser_.OnAlarmSessions(checked); });
    connect(ui_.calSessionsBox, &QCheckBox::clicked, this,
            [this](bool checked) { browser_.OnCalSessions(checked); });
    MakeFilter();
}

void ViewController::InstallPanels() {
    chart_ = ChartPanel::InstallBeside(ui_.reportView);
    map_ = MapPanel::InstallBeside(ui_.reportView);
    MapBackgroundChoice background = ReadMapBackground();
    if (!env_.tiles.isEmpty()) {
        background.kind = MapBackgroundChoice::Kind::TileFile;
        background.tileFile = env_.tiles;
    }
    UseMapBackground(background);
    links_ = new LinkedViews(*ui_.reportView, *chart_, &window_);
    connect(links_, &LinkedViews::chartTimeChosen, map_, &MapPanel::ShowPlaceAt);
    connect(map_, &MapPanel::placeChosen, links_, &LinkedViews::ChooseRecord);
    findBar_ = new FindBar(*ui_.reportView, &window_);
    ui_.clientLayout->insertWidget(ui_.clientLayout->indexOf(ui_.progressBar), findBar_);
    // The report is the main thing to read: it takes most of the room the window gains.
    ui_.treeAndReport->setStretchFactor(0, 1);
    ui_.treeAndReport->setStretchFactor(1, 3);
    ui_.treeAndReport->setSizes({216, 782});
}

void ViewController::MakeFilter() {
    // A small window of its own, not a frame inside the report; closing it only hides it.
    filter_ = new FilterDialog(&window_);
    filter_->setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    filter_->setWindowTitle("Filter Logs");
    filter_->installEventFilter(this);
    filter_->hide();
    connect(filter_, &FilterDialog::changed, this, [this] { OnFilterChanged(); });
}

void ViewController::Start() {
    filter_->InitDialog();
    filter_->hide();

    ReportState& report = session_.Report();
    report.ShowBarholeGraph = ReadSetting("Show Barhole Graph") == "TRUE" ? 1 : 0;
    report.HeaderCountdown = 0;
    const bool fast = ReadDownloadSettings().fastUpload;
    window_.findChild<QAction*>("actionFastUpload")->setChecked(fast);
    session_.SetFastUpload(fast);
}

void ViewController::OnNext() {
    browser_.OnNext();
}

void ViewController::OnFullDay() {
    browser_.OnFullDay(ui_.fullDayBox->isChecked());
}

void ViewController::FindInReport() {
    if (QTabWidget* tabs = window_.findChild<QTabWidget*>("reportTabs")) {
        tabs->setCurrentWidget(ui_.reportView);
    }
    findBar_->Open();
}

void ViewController::ToggleFilter() {
    const bool show = !filter_->isVisible();
    if (show && !filterPlaced_) {
        PlaceFilter();
    }
    filter_->setVisible(show);
    if (show) {
        filter_->raise();
    }
    if (QAction* action = window_.findChild<QAction*>("actionFilter")) {
        action->setChecked(show);
    }
}

void ViewController::PlaceFilter() {
    // The first time, at the top right of the report, where it hides the least; afterwards
    // wherever the user left it.
    filterPlaced_ = true;
    const QWidget* report = ui_.reportView;
    const QPoint topRight = report->mapToGlobal(QPoint(report->width(), 0));
    filter_->move(topRight.x() - filter_->width() - 24, topRight.y() + 8);
}

bool ViewController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == filter_ && (event->type() == QEvent::Hide || event->type() == QEvent::Show)) {
        // The close button hides the panel; the menu's tick follows it.
        if (QAction* action = window_.findChild<QAction*>("actionFilter")) {
            action->setChecked(event->type() == QEvent::Show);
        }
    }
    return QObject::eventFilter(watched, event);
}

void ViewController::OnFilterChanged() {
    CopyFilterFlags();
    ++renderCount_;
    browser_.RenderAgain();
    status_.SetFilterNote(filter_->HiddenNote());
}

void ViewController::CopyFilterFlags() {
    ReportState& report = session_.Report();
    report.ShowAlarmLogs = filter_->Alarm;
    report.ShowTimedLogs = filter_->Timed;
    report.ShowManualLogs = filter_->Manual;
    report.ShowCalibrationLogs = filter_->Calibration;
    report.ShowBumpLogs = filter_->BumpTest;
    showAllLogs_ = filter_->ShowAllLogs;
    const QSignalBlocker block(ui_.showAllLogsBox);
    ui_.showAllLogsBox->setChecked(showAllLogs_ != 0);
}

void ViewController::ChooseMapBackground() {
    MapBackgroundChoice choice = ReadMapBackground();
    bool chosen = false;
    if (env_.askMapBackground) {
        chosen = env_.askMapBackground(choice, &window_);
    } else {
        MapBackgroundDialog dialog(choice, &window_);
        chosen = dialog.exec() == QDialog::Accepted;
        choice = dialog.Choice();
    }
    if (!chosen) {
        return;
    }
    if (!WriteMapBackground(choice)) {
        status_.SetActivity("The map background could not be kept in Settings.ini: it is used "
                            "until the program ends.");
    }
    UseMapBackground(choice);
}

void ViewController::UseMapBackground(const MapBackgroundChoice& choice) {
    std::shared_ptr<mapping::TileSource> background = MakeBackground(choice, mapMessage_);
    map_->SetBackground(std::move(background));
    map_->SetBackgroundMessage(mapMessage_);
    reportMapTiles_ = ::ReportMapTiles(choice);
}

void ViewController::SetFastUpload(bool fast) {
    WriteSetting("Fast Upload", fast ? "TRUE" : "FALSE");
    session_.SetFastUpload(fast);
}

void ViewController::ShowReport(const std::string& rtf) {
    ReportState& report = session_.Report();
    ui_.reportView->SetRtf(rtf);
    chart_->Show(browser_.Shown(), session_.Image(), report);
    links_->SetReport(browser_.Shown().SessionAnchors(report));
    map_->Show(browser_.Shown(), session_.Image(), report, names_.Headings());
    const size_t shown = browser_.ShownSlots().size();
    if (shown > 0) {
        status_.SetActivity(QString("Report: %1%2, %3 session%4")
                                .arg(FromCp1252(report.HeadingDay), FromCp1252(report.HeadingMonth))
                                .arg(shown)
                                .arg(shown == 1 ? "" : "s") +
                            names_.CopiesShown());
    }
}

void ViewController::SetFullDayBox(bool checked) {
    const QSignalBlocker block(ui_.fullDayBox);
    ui_.fullDayBox->setChecked(checked);
}

void ViewController::SetSessionBoxes(const SessionBoxes& boxes) {
    const struct {
        QCheckBox* box;
        const char* action;
        bool checked;
    } mirrors[] = {{ui_.allSessionsBox, "actionSessionsAll", boxes.all},
                   {ui_.alarmSessionsBox, "actionSessionsAlarm", boxes.alarm},
                   {ui_.calSessionsBox, "actionSessionsCal", boxes.cal}};
    for (const auto& m : mirrors) {
        const QSignalBlocker block(m.box);
        m.box->setChecked(m.checked);
        if (QAction* action = window_.findChild<QAction*>(m.action)) {
            action->setChecked(m.checked);
        }
    }
}
