#include "map/MapPicture.h"

#include <QFile>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

namespace mapping {

namespace {

// Larger than any page or screen, small enough that the image's memory stays sane.
constexpr int kMaxSide = 20000;

QString SizeTrouble(const QString& path, const QSize& size) {
    if (size.width() < 1 || size.height() < 1 || size.width() > kMaxSide ||
        size.height() > kMaxSide) {
        return QStringLiteral("The map picture %1 cannot be %2 x %3: each side is to lie "
                              "between 1 and %4.")
            .arg(path)
            .arg(size.width())
            .arg(size.height())
            .arg(kMaxSide);
    }
    return {};
}

QString OpenTrouble(const QString& path, QFile& file) {
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return {};
    }
    return QStringLiteral("The map picture cannot be written to %1: %2.")
        .arg(path, file.errorString());
}

} // namespace

QString WriteMapPng(const QString& path, const QSize& size, const MapScene& scene,
                    const MapView& view, TileSource* background) {
    if (QString trouble = SizeTrouble(path, size); !trouble.isEmpty()) {
        return trouble;
    }
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        return QStringLiteral("There is not memory enough for the map picture %1.").arg(path);
    }
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        DrawMap(painter, QRectF(QPointF(0, 0), QSizeF(size)), scene, view, background);
    }
    QFile file(path);
    if (QString trouble = OpenTrouble(path, file); !trouble.isEmpty()) {
        return trouble;
    }
    if (!image.save(&file, "PNG") || !file.flush()) {
        const QString why = file.errorString();
        file.close();
        file.remove();
        return QStringLiteral("The map picture could not be written to %1: %2.").arg(path, why);
    }
    return {};
}

QString WriteMapPdf(const QString& path, const QSize& size, const MapScene& scene,
                    const MapView& view, TileSource* background) {
    if (QString trouble = SizeTrouble(path, size); !trouble.isEmpty()) {
        return trouble;
    }
    QFile file(path);
    if (QString trouble = OpenTrouble(path, file); !trouble.isEmpty()) {
        return trouble;
    }
    {
        // One point a pixel, so that the page lays out as the PNG of the same size does.
        QPdfWriter writer(&file);
        writer.setResolution(72);
        writer.setPageLayout(QPageLayout(QPageSize(QSizeF(size), QPageSize::Point),
                                         QPageLayout::Portrait, QMarginsF()));
        QPainter painter;
        if (!painter.begin(&writer)) {
            file.close();
            file.remove();
            return QStringLiteral("The map picture could not be written to %1.").arg(path);
        }
        DrawMap(painter, QRectF(QPointF(0, 0), QSizeF(size)), scene, view, background);
        painter.end();
    }
    if (!file.flush() || file.error() != QFileDevice::NoError) {
        const QString why = file.errorString();
        file.close();
        file.remove();
        return QStringLiteral("The map picture could not be written to %1: %2.").arg(path, why);
    }
    return {};
}

} // namespace mapping
