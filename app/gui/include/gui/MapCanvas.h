#pragma once

#include "map/MapScene.h"

#include <QMetaType>
#include <QPoint>
#include <QString>
#include <QWidget>

#include <memory>

class QLabel;

namespace mapping {
class TileSource;
}

// The map itself: the scene painted by the map picture, zoomed with the wheel about the mouse,
// panned by dragging, fitted to the scene by a double click; a click chooses the marker or the
// position under it. A hint stands over it while there is nothing to draw.
class MapCanvas : public QWidget {
    Q_OBJECT
public:
    // How far from a marker or a position a click still chooses it.
    static constexpr double kPickPixels = 8;

    explicit MapCanvas(QWidget* parent = nullptr);

    // A scene of new sessions is fitted whole (`fit`); another gas's scene of the same sessions
    // keeps the view.
    void SetScene(mapping::MapScene scene, bool fit);
    const mapping::MapScene& Scene() const { return scene_; }
    mapping::MapView View() const { return view_; }
    // Shows everything again, as a double click does.
    void Fit();

    void SetBackground(std::shared_ptr<mapping::TileSource> background);
    // The text over the map; empty: none.
    void SetHint(const QString& text);
    // Rings the point at `position`; HideMark takes the ring away.
    void Mark(mapping::GeoPoint position);
    void HideMark();

    // The marker within kPickPixels of `at` (the nearest), else the nearest position there;
    // false when there is neither.
    bool PickAt(const QPointF& at, mapping::SceneRecord& record, bool& marker) const;

signals:
    // A click on a marker (`marker`) or a position.
    void picked(mapping::SceneRecord record, bool marker);
    // The background reported a new trouble while drawing.
    void backgroundTrouble(QString text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QRectF Area() const;
    void ZoomAbout(const QPointF& at, int steps);
    void PlaceHint();

    mapping::MapScene scene_;
    mapping::MapView view_;
    std::shared_ptr<mapping::TileSource> background_;
    QString shownTrouble_;
    QLabel* hint_ = nullptr;
    bool marked_ = false;
    mapping::GeoPoint mark_;
    // Until the user zooms or pans, the view follows the canvas's size, fitted.
    bool moved_ = false;
    int wheelAngle_ = 0;
    bool pressed_ = false;
    bool dragging_ = false;
    QPoint pressAt_;
    mapping::MapView pressView_;
};

Q_DECLARE_METATYPE(mapping::SceneRecord)
