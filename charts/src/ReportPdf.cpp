#include "charts/ReportPdf.h"

#include "MapPages.h"
#include "PdfFile.h"
#include "charts/ChartFiles.h"
#include "charts/SessionChartPlot.h"
#include "reportdoc/RtfReader.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFontDatabase>
#include <QPagedPaintDevice>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace {

// Device units are pixels at 96 per inch, so that the chart is drawn at the size it has on
// screen and the report's point sizes mean what they mean in the view.
constexpr int kDpi = 96;
constexpr double kMarginMm = 12;

class PageFrame {
public:
    PageFrame(QPainter& painter, const QRect& page, const QString& heading,
              const QString& instrument, int pageCount)
        : painter_(painter), page_(page), heading_(heading), instrument_(instrument),
          pageCount_(pageCount) {
        QFont font;
        font.setPointSize(9);
        font_ = font;
        lineHeight_ = QFontMetrics(font_, painter_.device()).height();
    }

    // The part of the page between header and footer.
    QRect Body() const { return page_.adjusted(0, lineHeight_ * 2, 0, -lineHeight_ * 2); }

    void Draw(int pageNumber) {
        painter_.save();
        painter_.setFont(font_);
        painter_.setPen(Qt::black);
        const QRect header(page_.left(), page_.top(), page_.width(), lineHeight_);
        painter_.drawText(header, Qt::AlignLeft | Qt::AlignVCenter,
                          instrument_.isEmpty() ? QString("Tavon Datalogging")
                                                : "Tavon Datalogging   Instrument " + instrument_);
        painter_.drawText(header, Qt::AlignRight | Qt::AlignVCenter, heading_);
        painter_.drawLine(page_.left(), header.bottom() + lineHeight_ / 2, page_.right(),
                          header.bottom() + lineHeight_ / 2);
        const QRect footer(page_.left(), page_.bottom() - lineHeight_, page_.width(), lineHeight_);
        painter_.drawText(footer, Qt::AlignHCenter | Qt::AlignVCenter,
                          QString("Page %1 of %2").arg(pageNumber).arg(pageCount_));
        painter_.restore();
    }

private:
    QPainter& painter_;
    QRect page_;
    QString heading_;
    QString instrument_;
    int pageCount_;
    QFont font_;
    int lineHeight_ = 0;
};

// Where each page's last whole line ends, in the document's coordinates. A page shows its lines
// down to there and no further: the next page's first line may begin a fraction above the page's
// end, and its highlight would show as a sliver at this page's foot.
std::vector<double> PageEnds(const QTextDocument& document, double pageHeight, int pages) {
    std::vector<double> ends(static_cast<size_t>(pages), 0.0);
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QTextLayout* layout = block.layout();
        if (layout == nullptr) {
            continue;
        }
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            const double top = layout->position().y() + line.y();
            const double bottom = top + line.height();
            const int page = static_cast<int>(std::floor(top / pageHeight));
            if (page >= 0 && page < pages && bottom <= (page + 1) * pageHeight + 0.01) {
                ends[static_cast<size_t>(page)] = std::max(ends[static_cast<size_t>(page)], bottom);
            }
        }
    }
    for (int page = 0; page < pages; ++page) {
        double& end = ends[static_cast<size_t>(page)];
        // A page without a whole line of its own shows all of its height.
        if (end <= page * pageHeight) {
            end = (page + 1) * pageHeight;
        }
    }
    return ends;
}

// The view's document, laid out in the writer's metrics and never wrapped.
void LayOutReport(const std::string& rtf, QPagedPaintDevice& writer, QTextDocument& document) {
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSize(10);
    document.setDefaultFont(fixed);
    document.documentLayout()->setPaintDevice(&writer);
    ReadRtfIntoDocument(rtf, document);
    QTextOption noWrap = document.defaultTextOption();
    noWrap.setWrapMode(QTextOption::NoWrap);
    document.setDefaultTextOption(noWrap);
    document.setDocumentMargin(0);
}

// One page of the report: the document's part in `visible`, set at the body's corner.
void PaintReportPage(QPainter& painter, QTextDocument& document, QPoint corner, double scale,
                     const QRectF& visible) {
    painter.save();
    painter.translate(corner);
    painter.scale(scale, scale);
    painter.translate(0, -visible.top());
    painter.setClipRect(visible);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = visible;
    document.documentLayout()->draw(&painter, context);
    painter.restore();
}

} // namespace

bool WriteReportPdf(const std::string& rtf, const QString& heading, SessionChartPlot* chart,
                    const QString& path, QString& error, const QString& instrument,
                    const mapping::MapPageContent* map) {
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
        writer.setTitle(heading);
        writer.setResolution(kDpi);
        writer.setPageLayout(ReportPageLayout());
        if (!DrawReportPages(rtf, heading, chart, writer, error, instrument, map)) {
            file.cancelWriting();
            error = QString("cannot draw into \"%1\"").arg(file.fileName());
            return false;
        }
    }
    return CommitPdf(file, pdf, error);
}

QPageLayout ReportPageLayout() {
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                       QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                       QPageLayout::Millimeter);
}

bool DrawReportPages(const std::string& rtf, const QString& heading, SessionChartPlot* chart,
                     QPagedPaintDevice& writer, QString& error, const QString& instrument,
                     const mapping::MapPageContent* map) {
    {
        QTextDocument document;
        LayOutReport(rtf, writer, document);
        QCPPainter painter;
        if (writer.logicalDpiX() != kDpi || !painter.begin(&writer)) {
            error = "cannot draw the report's pages";
            return false;
        }
        painter.setMode(QCPPainter::pmVectorized);
        const QRect page = writer.pageLayout().paintRectPixels(kDpi);
        const QRect pageArea(0, 0, page.width(), page.height());
        PageFrame probe(painter, pageArea, heading, instrument, 0);
        const QRect body = probe.Body();

        // The widest line decides the scale; a scale below 1 sets the whole report smaller.
        const double ideal = document.idealWidth();
        const double scale = ideal > body.width() ? body.width() / ideal : 1.0;
        document.setPageSize(QSizeF(body.width() / scale, body.height() / scale));
        const int reportPages = std::max(1, document.pageCount());
        const int profilePages =
            chart != nullptr ? ProfilePageCount(chart->Chart().barholes.size(), body.size()) : 0;
        std::optional<MapPages> mapPages;
        if (map != nullptr) {
            mapPages.emplace(*map, writer, body);
        }
        const int mapPageCount = mapPages ? mapPages->PageCount() : 0;
        const int pageCount =
            reportPages + (chart != nullptr ? 1 : 0) + profilePages + mapPageCount;
        PageFrame frame(painter, pageArea, heading, instrument, pageCount);

        const QSizeF docPage = document.pageSize();
        const std::vector<double> ends = PageEnds(document, docPage.height(), reportPages);
        for (int i = 0; i < reportPages; ++i) {
            if (i > 0) {
                writer.newPage();
            }
            frame.Draw(i + 1);
            const double top = i * docPage.height();
            PaintReportPage(painter, document, body.topLeft(), scale,
                            QRectF(0, top, docPage.width(), ends[static_cast<size_t>(i)] - top));
        }
        if (chart != nullptr) {
            writer.newPage();
            frame.Draw(reportPages + 1);
            painter.save();
            painter.translate(body.topLeft());
            chart->PaintTo(painter, body.width(), body.height());
            painter.restore();
            int pageNumber = reportPages + 1;
            PaintProfilePages(painter, chart->Chart().barholes, body.size(), [&] {
                writer.newPage();
                frame.Draw(++pageNumber);
                return body.topLeft();
            });
        }
        for (int i = 0; i < mapPageCount; ++i) {
            writer.newPage();
            frame.Draw(pageCount - mapPageCount + i + 1);
            mapPages->Draw(painter, i);
        }
        painter.end();
    }
    return true;
}
