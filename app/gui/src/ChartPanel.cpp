#include "gui/ChartPanel.h"

#include "charts/BarholePlot.h"
#include "charts/ChartText.h"
#include "charts/ReportPdf.h"
#include "charts/SessionChartPlot.h"
#include "charts/SessionChartSource.h"
#include "charts/SessionSnapshot.h"
#include "map/MapPageContent.h"
#include "map/MapTiles.h"
#include "report/Report.h"
#include "report/ShownReport.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <memory>

ChartPanel::ChartPanel(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    auto* bar = new QHBoxLayout;
    hint_ = new QLabel("Drag across the chart to zoom into a time range; double-click for all.");
    auto* whole = new QPushButton("Whole Session");
    whole->setObjectName("chartWhole");
    bar->addWidget(hint_, 1);
    bar->addWidget(whole);
    layout->addLayout(bar);
    // The chart over its barhole profiles, which scroll when a session has many.
    auto* split = new QSplitter(Qt::Vertical);
    split_ = split;
    plot_ = new SessionChartPlot;
    plot_->setObjectName("sessionChart");
    profiles_ = new BarholePlot;
    profiles_->setObjectName("barholeProfiles");
    profileArea_ = new QScrollArea;
    profileArea_->setWidgetResizable(true);
    profileArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    profileArea_->setWidget(profiles_);
    profileArea_->setMinimumHeight(BarholePlot::kCellHeight + 2 * profileArea_->frameWidth());
    profileArea_->hide();
    split->addWidget(plot_);
    split->addWidget(profileArea_);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    layout->addWidget(split, 1);
    connect(whole, &QPushButton::clicked, plot_, &SessionChartPlot::ResetZoom);
    connect(&watcher_, &QFutureWatcher<Drawing>::finished, this, &ChartPanel::PutUp);
}

ChartPanel::~ChartPanel() {
    watcher_.waitForFinished();
}

ChartPanel* ChartPanel::InstallBeside(QWidget* reportView) {
    QWidget* parent = reportView->parentWidget();
    // Made without a parent: a splitter refuses to put one of its own children in a place.
    auto* tabs = new QTabWidget;
    tabs->setObjectName("reportTabs");
    tabs->setDocumentMode(true);
    // The place's share of a growing window (a splitter keeps it in the size policy) goes along.
    tabs->setSizePolicy(reportView->sizePolicy());
    auto* panel = new ChartPanel;
    if (auto* splitter = qobject_cast<QSplitter*>(parent)) {
        splitter->replaceWidget(splitter->indexOf(reportView), tabs);
    } else if (parent != nullptr && parent->layout() != nullptr) {
        parent->layout()->replaceWidget(reportView, tabs);
    } else {
        // A report view placed by coordinates: the tabs take its place and size.
        tabs->setParent(parent);
        tabs->setGeometry(reportView->geometry());
    }
    tabs->addTab(reportView, "Report");
    tabs->addTab(panel, "Chart");
    return panel;
}

void ChartPanel::Show(const ShownReport& shown, SessionByteSource& image,
                      const ReportState& report) {
    // The bytes are copied here, on the window's thread: uploads change the image under it.
    auto snapshot = std::make_shared<charts::SessionSnapshot>();
    std::vector<int16_t> sessionSlots;
    std::string day;
    std::string month;
    for (const ShownReport::Section& section : shown.Sections()) {
        if (section.slot == ShownReport::kNoSession) {
            continue;
        }
        if (sessionSlots.empty()) {
            day = section.headingDay;
            month = section.headingMonth;
        }
        sessionSlots.push_back(section.slot);
        snapshot->Take(image, section.slot);
    }
    auto modes = std::make_shared<std::vector<std::string>>(report.ModeNames, report.ModeNames + 4);
    const LogFilter filter = ReportFilter(report);
    Draw(
        [=](Drawing& drawing) {
            ModeNameList names;
            for (int i = 0; i < 4; ++i) {
                names[i] = (*modes)[static_cast<size_t>(i)];
            }
            drawing.chart = charts::ChartOfSessions(*snapshot, sessionSlots, names, filter);
            auto sessions = std::make_shared<std::vector<SessionValues>>();
            for (const int16_t slot : sessionSlots) {
                sessions->push_back(DecodeSessionValues(*snapshot, slot, names));
            }
            drawing.sessions = std::move(sessions);
            drawing.filter = filter;
        },
        day, month);
}

void ChartPanel::ShowValues(std::vector<SessionValues> sessions, const LogFilter& filter,
                            const std::string& day, const std::string& month) {
    auto decoded = std::make_shared<const std::vector<SessionValues>>(std::move(sessions));
    Draw(
        [=](Drawing& drawing) {
            drawing.chart = charts::ChartOfValues(*decoded, filter);
            drawing.sessions = decoded;
            drawing.filter = filter;
        },
        day, month);
}

void ChartPanel::Draw(std::function<void(Drawing&)> make, const std::string& day,
                      const std::string& month) {
    const unsigned generation = ++generation_;
    watcher_.setFuture(QtConcurrent::run([=] {
        Drawing drawing;
        drawing.generation = generation;
        make(drawing);
        drawing.title = charts::ChartTitle(day, month, drawing.chart);
        return drawing;
    }));
}

bool ChartPanel::Busy() const {
    // A drawing done but not yet put up (its signal still queued) is not the chart on screen.
    return generation_ != shownGeneration_;
}

void ChartPanel::Finish() {
    watcher_.waitForFinished();
    PutUp();
}

void ChartPanel::PutUp() {
    if (watcher_.future().resultCount() == 0) {
        return;
    }
    const Drawing& drawing = watcher_.future().result();
    // A chart overtaken by a newer choice is not shown (the newer one follows), and one already
    // up is not drawn again when Finish() and the watcher's signal both arrive.
    if (drawing.generation != generation_ || drawing.generation == shownGeneration_) {
        return;
    }
    shownGeneration_ = drawing.generation;
    plot_->SetChart(drawing.chart, drawing.title);
    sessions_ = drawing.sessions;
    filter_ = drawing.filter;
    const auto& barholes = drawing.chart.barholes;
    profiles_->SetProfiles(barholes, 0, barholes.size());
    profileArea_->setVisible(!barholes.empty());
    shareDue_ = !barholes.empty();
    if (shareDue_ && isVisible()) {
        ShareWithProfiles(barholes.size());
    }
    emit chartShown();
}

void ChartPanel::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shareDue_) {
        ShareWithProfiles(static_cast<size_t>(profiles_->ProfileCount()));
    }
}

void ChartPanel::ShareWithProfiles(size_t profiles) {
    shareDue_ = false;
    const int total = split_->height() - split_->handleWidth();
    const int frame = 2 * profileArea_->frameWidth();
    const int scrollBar = profileArea_->verticalScrollBar()->sizeHint().width();
    const int all = BarholePlot::HeightFor(profiles, profileArea_->width() - frame - scrollBar);
    const int share = std::max(BarholePlot::kCellHeight, std::min(all, total * 2 / 5)) + frame;
    split_->setSizes({std::max(0, total - share), share});
}

mapping::MapPageContent ChartPanel::MapPage(const std::vector<SurveyHeading>& headings,
                                            const QString& mapTilesFile, const QString& mapGas,
                                            mapping::MapTiles& background) const {
    mapping::MapPageContent page;
    if (sessions_ != nullptr) {
        page = mapping::MapPageOf(*sessions_, filter_, headings, mapGas.toStdString());
    }
    if (!mapTilesFile.isEmpty() && mapping::SceneHasPlaces(page.scene) &&
        background.Open(mapTilesFile)) {
        page.background = &background;
    }
    return page;
}

bool ChartPanel::SaveReportPdf(const std::string& rtf, const QString& path, QString& error,
                               const QString& instrument,
                               const std::vector<SurveyHeading>& headings,
                               const QString& mapTilesFile, const QString& mapGas) {
    Finish();
    mapping::MapTiles background;
    const mapping::MapPageContent map = MapPage(headings, mapTilesFile, mapGas, background);
    return WriteReportPdf(rtf, plot_->Title(), plot_, path, error, instrument, &map);
}

bool ChartPanel::PrintReport(const std::string& rtf, QPagedPaintDevice& printer, QString& error,
                             const QString& instrument, const std::vector<SurveyHeading>& headings,
                             const QString& mapTilesFile, const QString& mapGas) {
    Finish();
    mapping::MapTiles background;
    const mapping::MapPageContent map = MapPage(headings, mapTilesFile, mapGas, background);
    return DrawReportPages(rtf, plot_->Title(), plot_, printer, error, instrument, &map);
}
