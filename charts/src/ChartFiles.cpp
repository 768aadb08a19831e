#include "charts/ChartFiles.h"

#include "PdfFile.h"
#include "charts/BarholePlot.h"
#include "charts/SessionChartPlot.h"

#include <QPdfWriter>
#include <QPixmap>
#include <QSaveFile>

#include <algorithm>

namespace {

constexpr int kScreenDpi = 96;
// The share of a picture's height the profiles may take under the chart.
constexpr double kProfileShare = 1.0 / 3;

int ProfilesPerPage(QSize size) {
    return std::max(1, size.height() / BarholePlot::kRowHeight) * BarholePlot::kColumns;
}

} // namespace

bool WriteChartPng(SessionChartPlot& plot, const QString& path, QSize size, QString& error) {
    QSaveFile file(path);
    if (!OpenForWriting(file, error)) {
        return false;
    }
    const auto& profiles = plot.Chart().barholes;
    const int rows = std::min(
        BarholePlot::RowsFor(profiles.size()),
        std::max(1, static_cast<int>(size.height() * kProfileShare) / BarholePlot::kRowHeight));
    const int profileHeight = profiles.empty() ? 0 : rows * BarholePlot::kRowHeight;
    QPixmap pixmap(size);
    pixmap.fill(Qt::white);
    {
        QCPPainter painter(&pixmap);
        plot.PaintTo(painter, size.width(), size.height() - profileHeight);
        if (profileHeight > 0) {
            BarholePlot under;
            under.SetProfiles(profiles, 0, static_cast<size_t>(rows * BarholePlot::kColumns));
            painter.translate(0, size.height() - profileHeight);
            under.toPainter(&painter, size.width(), profileHeight);
        }
    }
    if (!pixmap.save(&file, "PNG")) {
        file.cancelWriting();
        error = QString("cannot write \"%1\" as PNG").arg(path);
        return false;
    }
    return CommitWriting(file, error);
}

bool WriteChartPdf(SessionChartPlot& plot, const QString& path, QSize size, QString& error) {
    QSaveFile file(path);
    if (!OpenForWriting(file, error)) {
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
        if (!BeginDrawing(painter, writer, file, error)) {
            return false;
        }
        plot.PaintTo(painter, size.width(), size.height());
        PaintProfilePages(painter, plot.Chart().barholes, size, [&writer] {
            writer.newPage();
            return QPoint(0, 0);
        });
        painter.end();
    }
    return CommitWriting(file, error);
}

int ProfilePageCount(size_t profiles, QSize size) {
    const size_t perPage = static_cast<size_t>(ProfilesPerPage(size));
    return static_cast<int>((profiles + perPage - 1) / perPage);
}

void PaintProfilePages(QCPPainter& painter, const std::vector<charts::BarholeProfile>& profiles,
                       QSize size, const std::function<QPoint()>& newPage) {
    const size_t perPage = static_cast<size_t>(ProfilesPerPage(size));
    BarholePlot plot;
    for (size_t first = 0; first < profiles.size(); first += perPage) {
        const QPoint at = newPage();
        plot.SetProfiles(profiles, first, perPage);
        painter.save();
        painter.translate(at);
        plot.toPainter(&painter, size.width(),
                       std::min(size.height(), plot.RowCount() * BarholePlot::kRowHeight));
        painter.restore();
    }
}

bool OpenForWriting(QSaveFile& file, QString& error) {
    if (file.open(QIODevice::WriteOnly)) {
        return true;
    }
    error = QString("cannot create \"%1\": %2").arg(file.fileName(), file.errorString());
    return false;
}

bool BeginDrawing(QCPPainter& painter, QPdfWriter& writer, QSaveFile& file, QString& error) {
    if (!painter.begin(&writer)) {
        file.cancelWriting();
        error = QString("cannot draw into \"%1\"").arg(file.fileName());
        return false;
    }
    painter.setMode(QCPPainter::pmVectorized);
    return true;
}

bool CommitWriting(QSaveFile& file, QString& error) {
    if (file.commit()) {
        return true;
    }
    error = QString("cannot write \"%1\": %2").arg(file.fileName(), file.errorString());
    return false;
}
