#include "gui/MapPanel.h"

#include "map/AsyncTiles.h"
#include "map/SessionMap.h"

#include "charts/SessionChartSource.h"
#include "charts/SessionSnapshot.h"
#include "charts/SurveyColumn.h"
#include "export/RecordText.h"
#include "export/SurveyExport.h"
#include "map/SurveyRecord.h"
#include "map/TileSource.h"
#include "report/Report.h"
#include "report/ShownReport.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const char* const kNoSessions = "Choose a session: its positions are drawn here.";
const char* const kNoPositions = "No positions in these sessions.";
const char* const kHowTo = "Click a marker or a position to see its time and readings; drag to "
                           "move, wheel to zoom, double-click for all.";

// The line above the map. It wraps rather than cutting its words off in a narrow window (the
// archive's), and it always keeps the room the how-to takes at its width, so that the map does
// not jump as read-outs come and go with the chart's cursor; a longer read-out takes more. Its
// height is the one its width needs: a layout asking it for a height at each width would ask at
// its least width too, and give it the height of a tower.
class ReadOutLine : public QLabel {
public:
    ReadOutLine() : QLabel(kHowTo), howTo_(new QLabel(kHowTo, this)) {
        setWordWrap(true);
        howTo_->setWordWrap(true);
        howTo_->hide();
    }

    bool hasHeightForWidth() const override { return false; }
    QSize sizeHint() const override { return QSize(QLabel::sizeHint().width(), Needed()); }
    QSize minimumSizeHint() const override { return QSize(1, Needed()); }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        if (event->size().width() != event->oldSize().width()) {
            updateGeometry();
        }
    }

private:
    int Needed() const {
        return std::max(QLabel::heightForWidth(width()), howTo_->heightForWidth(width()));
    }

    QLabel* howTo_;
};

// The record a scene's point or marker was drawn from; null when `sessions` do not hold it.
const RecordValue* RecordOf(const std::vector<SessionValues>& sessions,
                            const mapping::SceneRecord& ref) {
    if (ref.session < 0 || static_cast<size_t>(ref.session) >= sessions.size()) {
        return nullptr;
    }
    const std::vector<RecordValue>& records = sessions[static_cast<size_t>(ref.session)].Records;
    if (ref.record < 0 || static_cast<size_t>(ref.record) >= records.size()) {
        return nullptr;
    }
    return &records[static_cast<size_t>(ref.record)];
}

} // namespace

MapPanel::MapPanel(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    auto* bar = new QHBoxLayout;
    gasLabel_ = new QLabel("Gas");
    gas_ = new QComboBox;
    gas_->setObjectName("mapGas");
    gas_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    gasLabel_->setBuddy(gas_);
    readOut_ = new ReadOutLine;
    readOut_->setObjectName("mapReadOut");
    readOut_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long read-out wraps rather than widening the window.
    readOut_->setMinimumWidth(1);
    readOut_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    bar->addWidget(gasLabel_);
    bar->addWidget(gas_);
    bar->addWidget(readOut_, 1);
    layout->addLayout(bar);
    message_ = new QLabel;
    message_->setObjectName("mapMessage");
    message_->setWordWrap(true);
    message_->setStyleSheet("QLabel { color: #a02020; }");
    message_->hide();
    layout->addWidget(message_);

    split_ = new QSplitter(Qt::Horizontal);
    canvas_ = new MapCanvas;
    survey_ = new QPlainTextEdit;
    survey_->setObjectName("mapSurvey");
    survey_->setReadOnly(true);
    // A narrow pane wraps a long line rather than hiding its end behind a scroll bar.
    survey_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    survey_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    survey_->setMinimumWidth(100);
    split_->addWidget(canvas_);
    split_->addWidget(survey_);
    split_->setStretchFactor(0, 1);
    split_->setStretchFactor(1, 0);
    split_->setCollapsible(0, false);
    // Until a record comes (FitSurvey), a third for it.
    split_->setSizes({600, 300});
    layout->addWidget(split_, 1);

    gasLabel_->hide();
    gas_->hide();
    canvas_->SetHint(kNoSessions);
    connect(gas_, &QComboBox::activated, this, [this](int index) { OnGasChosen(index); });
    connect(canvas_, &MapCanvas::picked, this,
            [this](mapping::SceneRecord record, bool marker) { OnPicked(record, marker); });
    connect(canvas_, &MapCanvas::backgroundTrouble, this,
            [this](const QString& text) { SetBackgroundMessage(text); });
    connect(&watcher_, &QFutureWatcher<Making>::finished, this, &MapPanel::PutUp);
}

MapPanel::~MapPanel() {
    watcher_.waitForFinished();
}

MapPanel* MapPanel::InstallBeside(QWidget* reportView) {
    auto* panel = new MapPanel;
    for (QWidget* up = reportView->parentWidget(); up != nullptr; up = up->parentWidget()) {
        if (auto* tabs = qobject_cast<QTabWidget*>(up);
            tabs != nullptr && tabs->objectName() == QLatin1String("reportTabs")) {
            tabs->addTab(panel, "Map");
            break;
        }
    }
    return panel;
}

void MapPanel::Show(const ShownReport& shown, SessionByteSource& image, const ReportState& report,
                    std::vector<SurveyHeading> headings) {
    // The bytes are copied here, on the window's thread: uploads change the image under it.
    auto snapshot = std::make_shared<charts::SessionSnapshot>();
    std::vector<int16_t> sessionSlots;
    for (const ShownReport::Section& section : shown.Sections()) {
        if (section.slot != ShownReport::kNoSession) {
            sessionSlots.push_back(section.slot);
            snapshot->Take(image, section.slot);
        }
    }
    auto modes = std::make_shared<std::vector<std::string>>(report.ModeNames, report.ModeNames + 4);
    Make(
        [=] {
            ModeNameList names;
            for (int i = 0; i < 4; ++i) {
                names[i] = (*modes)[static_cast<size_t>(i)];
            }
            auto sessions = std::make_shared<std::vector<SessionValues>>();
            for (int16_t slot : sessionSlots) {
                sessions->push_back(DecodeSessionValues(*snapshot, slot, names));
            }
            return Sessions(std::move(sessions));
        },
        ReportFilter(report), std::move(headings), -1);
}

void MapPanel::ShowValues(std::vector<SessionValues> sessions, const LogFilter& filter,
                          std::vector<SurveyHeading> headings) {
    Sessions decoded = std::make_shared<const std::vector<SessionValues>>(std::move(sessions));
    Make([decoded] { return decoded; }, filter, std::move(headings), -1);
}

void MapPanel::Make(std::function<Sessions()> sessions, const LogFilter& filter,
                    std::vector<SurveyHeading> headings, int gasIndex) {
    const unsigned generation = ++generation_;
    const bool newSessions = gasIndex < 0;
    newSessionsDue_ = newSessions || newSessionsDue_;
    watcher_.setFuture(QtConcurrent::run([=] {
        Making making;
        making.generation = generation;
        making.newSessions = newSessions;
        making.sessions = sessions();
        making.filter = filter;
        making.gases = mapping::GasesWithPlaces(*making.sessions, filter);
        mapping::MapGas gas;
        if (gasIndex >= 0 && static_cast<size_t>(gasIndex) < making.gases.size()) {
            gas = making.gases[static_cast<size_t>(gasIndex)];
        } else {
            mapping::ChooseMapGas(making.gases, std::string(), gas);
        }
        making.scene = mapping::SceneOfSessions(*making.sessions, gas, filter);
        if (newSessions) {
            const std::vector<SessionSurvey> surveys =
                SurveysOf(*making.sessions, headings, making.filter);
            making.survey = QString::fromUtf8(WriteSurveys(surveys, SurveyFormat::Text));
            // What the column is measured by: each session's record; the totals of several may
            // be broken.
            for (const SessionSurvey& survey : surveys) {
                making.sessionLines
                    << QString::fromUtf8(WriteSurveys({survey}, SurveyFormat::Text)).split('\n');
            }
        }
        return making;
    }));
}

QString MapPanel::GasText() {
    Finish();
    const mapping::MapScene& scene = Scene();
    return scene.gas.empty() ? QString()
                             : QString::fromStdString(mapping::MapGasText({scene.gas, scene.unit}));
}

bool MapPanel::Busy() const {
    return watcher_.isRunning();
}

void MapPanel::Finish() {
    watcher_.waitForFinished();
    PutUp();
}

void MapPanel::PutUp() {
    if (watcher_.future().resultCount() == 0) {
        return;
    }
    const Making& making = watcher_.future().result();
    // A scene overtaken by a newer request is not shown (the newer one follows), and one already
    // up is not put up again when Finish() and the watcher's signal both arrive.
    if (making.generation != generation_ || making.generation == shownGeneration_) {
        return;
    }
    shownGeneration_ = making.generation;
    newSessionsDue_ = false;
    sessions_ = making.sessions;
    filter_ = making.filter;
    if (making.newSessions) {
        gas_->clear();
        for (const mapping::MapGas& gas : making.gases) {
            gas_->addItem(QString::fromStdString(mapping::MapGasText(gas)));
        }
        // A choice is offered only where there is one to make.
        gasLabel_->setVisible(making.gases.size() > 1);
        gas_->setVisible(making.gases.size() > 1);
        survey_->setPlainText(making.survey);
        surveyLines_ = making.sessionLines;
        FitSurvey();
        readOut_->setText(kHowTo);
    }
    canvas_->SetScene(making.scene, making.newSessions);
    canvas_->SetHint(sessions_->empty()                           ? QString(kNoSessions)
                     : !mapping::SceneHasPlaces(canvas_->Scene()) ? QString(kNoPositions)
                                                                  : QString());
    emit mapShown();
}

void MapPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (event->size().width() != event->oldSize().width()) {
        FitSurvey();
    }
}

void MapPanel::FitSurvey() {
    // The record's column asks for its sessions' widest line, its document's margins, its frame
    // and the scroll bar a long record has: its lines are broken only where that is more than
    // its share on screen allows (the report's map page gives its column the same, within the
    // page's share).
    const double around = 2 * survey_->document()->documentMargin() + 2 * survey_->frameWidth() +
                          survey_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr,
                                                        survey_->verticalScrollBar()) +
                          survey_->cursorWidth() + 1;
    const int shared = split_->width() - split_->handleWidth();
    if (shared <= 0) {
        return;
    }
    const int column = std::max(
        survey_->minimumWidth(),
        SurveyColumnWidth(WidestLine(surveyLines_, QFontMetricsF(survey_->font())) + around, shared,
                          kScreenColumn));
    split_->setSizes({shared - column, column});
}

void MapPanel::OnGasChosen(int index) {
    // New sessions on their way bring their own gases; the choice was of the old ones.
    if (sessions_ == nullptr || newSessionsDue_ || index < 0) {
        return;
    }
    const Sessions shown = sessions_;
    Make([shown] { return shown; }, filter_, {}, index);
}

void MapPanel::OnPicked(mapping::SceneRecord record, bool marker) {
    readOut_->setText(ReadOutOf(record, marker));
    emit placeChosen(record);
}

QString MapPanel::ReadOutOf(const mapping::SceneRecord& record, bool marker) const {
    QStringList parts;
    const RecordValue* value = sessions_ != nullptr ? RecordOf(*sessions_, record) : nullptr;
    if (value != nullptr) {
        parts << WallClockText(*value);
    }
    if (marker) {
        for (const mapping::Marker& candidate : canvas_->Scene().markers) {
            if (candidate.record.session == record.session &&
                candidate.record.record == record.record) {
                parts << QString::fromStdString(candidate.label);
                break;
            }
        }
    }
    if (value != nullptr) {
        parts << ReadingsText(*value);
    }
    parts.removeAll(QString());
    return parts.join(QStringLiteral("   "));
}

void MapPanel::SetBackground(std::shared_ptr<mapping::TileSource> background) {
    background_ = background;
    canvas_->SetBackground(std::move(background));
    SetBackgroundMessage(background_ != nullptr ? background_->Error() : QString());
    // A server found out of reach (or back) later says so when it does, in the same place.
    if (auto* async = dynamic_cast<mapping::AsyncTiles*>(background_.get())) {
        connect(async, &mapping::AsyncTiles::statusChanged, this, [this, async] {
            if (background_.get() == async) {
                SetBackgroundMessage(async->Error());
                canvas_->update();
            }
        });
    }
}

void MapPanel::SetBackgroundMessage(const QString& message) {
    message_->setText(message);
    message_->setVisible(!message.isEmpty());
}

void MapPanel::ShowPlaceAt(int64_t chartTime) {
    const mapping::TrackPoint* nearest = nullptr;
    int64_t best = std::numeric_limits<int64_t>::max();
    mapping::ForEachPoint(canvas_->Scene(), [&](const mapping::TrackPoint& point) {
        if (!point.record.stamped) {
            return;
        }
        const int64_t time = charts::ChartTime(point.record.stamp);
        const int64_t apart = time > chartTime ? time - chartTime : chartTime - time;
        if (apart <= kNearSeconds && apart < best) {
            best = apart;
            nearest = &point;
        }
    });
    // The line above the map tells of the place ringed, never of one chosen before.
    if (nearest != nullptr) {
        canvas_->Mark(nearest->position);
        readOut_->setText(ReadOutOf(nearest->record, false));
    } else {
        canvas_->HideMark();
        readOut_->setText(kHowTo);
    }
}
