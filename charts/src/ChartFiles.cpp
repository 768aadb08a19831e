#include "charts/ChartFiles.h"

#include "PdfFile.h"
#include "charts/BarholePlot.h"
#include "charts/SessionChartPlot.h"

#include <QBuffer>
#include <QPdfWriter>
#include <QPixmap>
#include <QSaveFile>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kScreenDpi = 96;
// The share of a picture's height the chart keeps however many profiles are under it.
constexpr double kChartShare = 3.0 / 5;

int RowsPerPage(QSize size) {
    return std::max(1, size.height() / BarholePlot::kCellHeight);
}

int ProfilesPerPage(QSize size) {
    return RowsPerPage(size) * BarholePlot::ColumnsFor(size.width());
}

// Qt writes the moment the PDF was made as "/CreationDate (D:20261208074607Z)" in the document's
// information at its top. It is left out, blanked where it stood so that no byte moves: a date of
// making would give a report made again other bytes, and any other date would be untrue.
QByteArray WithoutCreationDate(QByteArray bytes) {
    static const QByteArray kKey("/CreationDate (");
    const qsizetype start = bytes.indexOf(kKey);
    const qsizetype end = start < 0 ? -1 : bytes.indexOf(')', start + kKey.size());
    if (end >= 0) {
        bytes.replace(start, end + 1 - start, QByteArray(end + 1 - start, ' '));
    }
    return bytes;
}

} // namespace

bool WriteChartPng(SessionChartPlot& plot, const QString& path, QSize size, QString& error) {
    QSaveFile file(path);
    if (!OpenForWriting(file, error)) {
        return false;
    }
    const auto& profiles = plot.Chart().barholes;
    const PictureLayout layout = LayOutPicture(size, profiles.size());
    QPixmap pixmap(layout.picture);
    pixmap.fill(Qt::white);
    {
        QCPPainter painter(&pixmap);
        plot.PaintTo(painter, layout.chart.width(), layout.chart.height());
        if (!layout.profiles.isEmpty()) {
            BarholePlot under;
            under.SetProfiles(profiles, 0, profiles.size());
            painter.translate(layout.profiles.topLeft());
            under.toPainter(&painter, layout.profiles.width(), layout.profiles.height());
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
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        const SteadyHashing steady;
        QPdfWriter writer(&pdf);
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
    return CommitPdf(file, pdf, error);
}

PictureLayout LayOutPicture(QSize size, size_t profiles) {
    PictureLayout layout;
    const int width = std::max(1, size.width());
    const int height = std::max(1, size.height());
    layout.columns = BarholePlot::ColumnsFor(width);
    layout.rows = BarholePlot::RowsFor(profiles, width);
    const int grid = layout.rows * BarholePlot::kCellHeight;
    const int chart = std::max(height - grid, static_cast<int>(std::ceil(height * kChartShare)));
    layout.chart = QRect(0, 0, width, chart);
    if (grid > 0) {
        layout.profiles = QRect(0, chart, width, grid);
    }
    layout.picture = QSize(width, chart + grid);
    return layout;
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
        plot.toPainter(
            &painter, size.width(),
            BarholePlot::HeightFor(static_cast<size_t>(plot.ProfileCount()), size.width()));
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

bool CommitPdf(QSaveFile& file, const QBuffer& pdf, QString& error) {
    const QByteArray bytes = WithoutCreationDate(pdf.data());
    if (file.write(bytes) != bytes.size()) {
        error = QString("cannot write \"%1\": %2").arg(file.fileName(), file.errorString());
        file.cancelWriting();
        return false;
    }
    return CommitWriting(file, error);
}

bool CommitWriting(QSaveFile& file, QString& error) {
    if (file.commit()) {
        return true;
    }
    error = QString("cannot write \"%1\": %2").arg(file.fileName(), file.errorString());
    return false;
}
