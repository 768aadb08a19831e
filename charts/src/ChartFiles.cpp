#include "charts/ChartFiles.h"

#include "charts/SessionChartPlot.h"

#include <QPdfWriter>
#include <QPixmap>
#include <QRegularExpression>
#include <QSaveFile>

namespace {

constexpr int kScreenDpi = 96;

bool Open(QSaveFile& file, QString& error) {
    if (file.open(QIODevice::WriteOnly)) {
        return true;
    }
    error = QString("cannot create \"%1\": %2").arg(file.fileName(), file.errorString());
    return false;
}

bool Commit(QSaveFile& file, QString& error) {
    if (file.commit()) {
        return true;
    }
    error = QString("cannot write \"%1\": %2").arg(file.fileName(), file.errorString());
    return false;
}

} // namespace

bool WriteChartPng(SessionChartPlot& plot, const QString& path, QSize size, QString& error) {
    QSaveFile file(path);
    if (!Open(file, error)) {
        return false;
    }
    const QPixmap pixmap = plot.toPixmap(size.width(), size.height(), 1.0);
    if (!pixmap.save(&file, "PNG")) {
        file.cancelWriting();
        error = QString("cannot write \"%1\" as PNG").arg(path);
        return false;
    }
    return Commit(file, error);
}

bool WriteChartPdf(SessionChartPlot& plot, const QString& path, QSize size, QString& error) {
    QSaveFile file(path);
    if (!Open(file, error)) {
        return false;
    }
    {
        QPdfWriter writer(&file);
        writer.setCreator("Tavon Datalogging");
        writer.setResolution(kScreenDpi);
        const QSizeF points(size.width() * 72.0 / kScreenDpi, size.height() * 72.0 / kScreenDpi);
        writer.setPageLayout(QPageLayout(QPageSize(points, QPageSize::Point), QPageLayout::Portrait,
                                         QMarginsF(0, 0, 0, 0)));
        QCPPainter painter;
        if (!painter.begin(&writer)) {
            file.cancelWriting();
            error = QString("cannot draw into \"%1\"").arg(path);
            return false;
        }
        painter.setMode(QCPPainter::pmVectorized);
        plot.PaintTo(painter, size.width(), size.height());
        painter.end();
    }
    return Commit(file, error);
}

bool ParseChartSize(const QString& text, QSize& size) {
    static const QRegularExpression pattern("^([0-9]{3,5})[xX]([0-9]{3,5})$");
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch()) {
        return false;
    }
    const int width = match.captured(1).toInt();
    const int height = match.captured(2).toInt();
    if (width < 100 || width > 10000 || height < 100 || height > 10000) {
        return false;
    }
    size = QSize(width, height);
    return true;
}
