#include "gui/MapCanvas.h"

#include "map/AsyncTiles.h"

#include "map/MapPicture.h"
#include "map/MapProjection.h"
#include "map/TileSource.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// One notch of an ordinary wheel; touchpads send parts of it, gathered until they make one.
constexpr int kNotch = 120;

double Distance(const QPointF& a, const QPointF& b) {
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

// The world pixel at the middle of `view`.
mapping::WorldPoint Middle(const mapping::MapView& view) {
    return mapping::ToWorld(view.centre, view.zoom);
}

// The view whose middle is world pixel `middle` at `zoom`, held inside the world from north to
// south; east and west it goes round.
mapping::MapView ViewAt(mapping::WorldPoint middle, int zoom) {
    const double size = mapping::WorldSize(zoom);
    middle.y = std::clamp(middle.y, 0.0, size);
    middle.x = std::fmod(std::fmod(middle.x, size) + size, size);
    return mapping::MapView{zoom, mapping::ToGeo(middle, zoom)};
}

} // namespace

MapCanvas::MapCanvas(QWidget* parent) : QWidget(parent) {
    setObjectName("mapCanvas");
    setMinimumSize(120, 90);
    setMouseTracking(false);
    setCursor(Qt::OpenHandCursor);
    hint_ = new QLabel(this);
    hint_->setObjectName("mapHint");
    hint_->setAlignment(Qt::AlignCenter);
    hint_->setWordWrap(true);
    hint_->setAttribute(Qt::WA_TransparentForMouseEvents);
    hint_->setStyleSheet("QLabel { background: rgba(255, 255, 255, 220); color: #282828; "
                         "padding: 8px; border: 1px solid #c8c4bc; }");
    hint_->hide();
}

QRectF MapCanvas::Area() const {
    return QRectF(rect());
}

void MapCanvas::SetScene(mapping::MapScene scene, bool fit) {
    scene_ = std::move(scene);
    marked_ = false;
    if (fit) {
        Fit();
    } else {
        update();
    }
}

void MapCanvas::Fit() {
    moved_ = false;
    view_ = mapping::FitScene(scene_, QSizeF(size()));
    update();
}

void MapCanvas::SetBackground(std::shared_ptr<mapping::TileSource> background) {
    background_ = std::move(background);
    shownTrouble_.clear();
    // A source that reads its tiles on another thread says when they came.
    if (auto* async = dynamic_cast<mapping::AsyncTiles*>(background_.get())) {
        connect(async, &mapping::AsyncTiles::tilesArrived, this, qOverload<>(&QWidget::update),
                Qt::UniqueConnection);
    }
    update();
}

void MapCanvas::SetHint(const QString& text) {
    hint_->setText(text);
    hint_->setVisible(!text.isEmpty());
    PlaceHint();
}

void MapCanvas::PlaceHint() {
    if (hint_->isHidden()) {
        return;
    }
    const int across = std::min(width() - 16, std::max(200, width() / 2));
    const int down = hint_->heightForWidth(across);
    hint_->setGeometry((width() - across) / 2, (height() - down) / 2, across, down);
}

void MapCanvas::Mark(mapping::GeoPoint position) {
    marked_ = true;
    mark_ = position;
    update();
}

void MapCanvas::HideMark() {
    if (marked_) {
        marked_ = false;
        update();
    }
}

bool MapCanvas::PickAt(const QPointF& at, mapping::SceneRecord& record, bool& marker) const {
    const QRectF area = Area();
    double best = std::numeric_limits<double>::infinity();
    for (const mapping::Marker& candidate : scene_.markers) {
        const double distance = Distance(mapping::PictureAt(area, view_, candidate.position), at);
        if (distance <= kPickPixels && distance < best) {
            best = distance;
            record = candidate.record;
        }
    }
    if (std::isfinite(best)) {
        marker = true;
        return true;
    }
    mapping::ForEachPoint(scene_, [&](const mapping::TrackPoint& point) {
        const double distance = Distance(mapping::PictureAt(area, view_, point.position), at);
        if (distance <= kPickPixels && distance < best) {
            best = distance;
            record = point.record;
        }
    });
    marker = false;
    return std::isfinite(best);
}

void MapCanvas::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRectF area = Area();
    mapping::DrawMap(painter, area, scene_, view_, background_.get());
    if (marked_) {
        const QPointF at = mapping::PictureAt(area, view_, mark_);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Qt::white, 5));
        painter.drawEllipse(at, 11, 11);
        painter.setPen(QPen(QColor(20, 20, 20), 2.5));
        painter.drawEllipse(at, 11, 11);
    }
    // A tile that turned out broken while drawing is told once, not at every repaint.
    const QString trouble = background_ != nullptr ? background_->Error() : QString();
    if (trouble != shownTrouble_) {
        shownTrouble_ = trouble;
        if (!trouble.isEmpty()) {
            emit backgroundTrouble(trouble);
        }
    }
}

void MapCanvas::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!moved_) {
        view_ = mapping::FitScene(scene_, QSizeF(size()));
    }
    PlaceHint();
}

void MapCanvas::ZoomAbout(const QPointF& at, int steps) {
    const int zoom = std::clamp(view_.zoom + steps, 0, mapping::kMaxZoom);
    if (zoom == view_.zoom) {
        return;
    }
    // The place under the mouse stays under it.
    const QPointF offset = at - Area().center();
    const mapping::WorldPoint middle = Middle(view_);
    const mapping::GeoPoint place =
        mapping::ToGeo({middle.x + offset.x(), middle.y + offset.y()}, view_.zoom);
    const mapping::WorldPoint there = mapping::ToWorld(place, zoom);
    view_ = ViewAt({there.x - offset.x(), there.y - offset.y()}, zoom);
    moved_ = true;
    update();
}

void MapCanvas::wheelEvent(QWheelEvent* event) {
    wheelAngle_ += event->angleDelta().y();
    const int steps = wheelAngle_ / kNotch;
    wheelAngle_ -= steps * kNotch;
    if (steps != 0) {
        ZoomAbout(event->position(), steps);
    }
    event->accept();
}

void MapCanvas::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    pressed_ = true;
    dragging_ = false;
    pressAt_ = event->position().toPoint();
    pressView_ = view_;
}

void MapCanvas::mouseMoveEvent(QMouseEvent* event) {
    if (!pressed_) {
        return;
    }
    const QPoint moved = event->position().toPoint() - pressAt_;
    if (!dragging_ && moved.manhattanLength() < QApplication::startDragDistance()) {
        return;
    }
    if (!dragging_) {
        dragging_ = true;
        setCursor(Qt::ClosedHandCursor);
    }
    const mapping::WorldPoint middle = Middle(pressView_);
    view_ = ViewAt({middle.x - moved.x(), middle.y - moved.y()}, pressView_.zoom);
    moved_ = true;
    update();
}

void MapCanvas::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressed_) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    pressed_ = false;
    if (dragging_) {
        dragging_ = false;
        setCursor(Qt::OpenHandCursor);
        return;
    }
    mapping::SceneRecord record;
    bool marker = false;
    if (PickAt(event->position(), record, marker)) {
        emit picked(record, marker);
    }
}

void MapCanvas::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        Fit();
    }
}
