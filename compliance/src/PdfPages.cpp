#include "PdfPages.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>
#include <QPen>
#include <algorithm>

namespace compliance {
namespace {

QFont Font(double points, bool bold) {
    QFont font("sans-serif");
    font.setPointSizeF(points);
    font.setBold(bold);
    // No ligatures: the pack's text is read back and searched ("fi" stays two letters).
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

constexpr int kWrap = Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop;

} // namespace

PdfPages::PdfPages(QPdfWriter& writer, QPainter* painter, int totalPages)
    : m_writer(writer), m_painter(painter), m_total(totalPages), m_body(Font(8, false)),
      m_bodyBold(Font(8, true)), m_title(Font(15, true)), m_section(Font(11, true)) {
    const double dpi = writer.resolution();
    const QRectF area = writer.pageLayout().paintRectPixels(writer.resolution());
    m_width = area.width();
    m_bottom = area.height() - dpi * 0.3;
    m_pad = dpi * 0.02;
}

double PdfPages::TextHeight(const QFont& font, const QString& text, double width) const {
    const QFontMetricsF metrics(font, &m_writer);
    // Most cells are one short line: no layout needed to know it.
    if (!text.contains('\n') && metrics.horizontalAdvance(text) <= width) {
        return metrics.height();
    }
    return metrics.boundingRect(QRectF(0, 0, width, 1e6), kWrap, text).height();
}

void PdfPages::Text(const QFont& font, const QString& text, double x, double width, double height) {
    if (m_painter != nullptr) {
        m_painter->setFont(font);
        m_painter->drawText(QRectF(x, m_y, width, height), kWrap, text);
    }
}

void PdfPages::Footer() {
    if (m_painter == nullptr) {
        return;
    }
    m_painter->setFont(m_body);
    const QString number = m_total > 0 ? QString("Page %1 of %2").arg(m_page).arg(m_total)
                                       : QString("Page %1").arg(m_page);
    m_painter->drawText(QRectF(0, m_bottom, m_width, m_writer.resolution() * 0.3),
                        Qt::AlignRight | Qt::AlignBottom, number);
}

void PdfPages::NewPage() {
    Footer();
    if (m_painter != nullptr) {
        m_writer.newPage();
    }
    ++m_page;
    m_y = 0;
}

void PdfPages::Space(double height) {
    if (m_y > 0 && m_y + height > m_bottom) {
        NewPage();
        if (m_headings != nullptr) {
            Row(*m_headings, *m_widths, m_bodyBold, m_bodyBold, true);
        }
    }
}

void PdfPages::Heading(const QString& text, int level) {
    const QFont& font = level == 1 ? m_title : m_section;
    const double gap = level == 1 ? 0 : m_writer.resolution() * 0.08;
    const double height = TextHeight(font, text, m_width);
    // A section heading never ends a page: it keeps a few lines below it.
    Space(gap + height + QFontMetricsF(m_body, &m_writer).height() * 4);
    m_y += gap;
    Text(font, text, 0, m_width, height);
    m_y += height + m_pad * 2;
}

void PdfPages::Paragraph(const QString& text) {
    const double height = TextHeight(m_body, text, m_width);
    Space(height);
    Text(m_body, text, 0, m_width, height);
    m_y += height + m_pad * 3;
}

void PdfPages::Row(const std::vector<PageCell>& cells, const std::vector<double>& widths,
                   const QFont& font, const QFont& bold, bool shaded) {
    double height = 0;
    for (size_t k = 0; k < cells.size() && k < widths.size(); ++k) {
        height = std::max(
            height, TextHeight(cells[k].bold ? bold : font, cells[k].text, widths[k] - 2 * m_pad));
    }
    height += 2 * m_pad;
    Space(height);
    double x = 0;
    for (size_t k = 0; k < widths.size(); ++k) {
        if (m_painter != nullptr) {
            const QRectF box(x, m_y, widths[k], height);
            if (shaded) {
                m_painter->fillRect(box, QColor(225, 225, 225));
            }
            m_painter->setPen(QPen(Qt::black, m_writer.resolution() / 150.0));
            m_painter->drawRect(box);
        }
        if (k < cells.size()) {
            m_y += m_pad;
            Text(cells[k].bold ? bold : font, cells[k].text, x + m_pad, widths[k] - 2 * m_pad,
                 height - 2 * m_pad);
            m_y -= m_pad;
        }
        x += widths[k];
    }
    m_y += height;
}

std::vector<double> PdfPages::ColumnWidths(const std::vector<PageCell>& headings,
                                           const std::vector<PageRow>& rows) const {
    const QFontMetricsF body(m_body, &m_writer);
    const QFontMetricsF bold(m_bodyBold, &m_writer);
    const size_t columns = headings.size();
    // Per column: its widest line; the same with the heading wrapped; its widest word, below
    // which a text is cut.
    std::vector<double> full(columns, 0);
    std::vector<double> cells(columns, 0);
    std::vector<double> narrow(columns, 0);
    auto measure = [&](const PageCell& cell, size_t k, bool heading) {
        const QFontMetricsF& metrics = cell.bold ? bold : body;
        for (const QString& line : cell.text.split('\n')) {
            const double width = metrics.horizontalAdvance(line);
            full[k] = std::max(full[k], width);
            if (!heading) {
                cells[k] = std::max(cells[k], width);
            }
            if (width <= narrow[k]) {
                continue; // no word of it is wider than the line
            }
            for (const QString& word : line.split(' ', Qt::SkipEmptyParts)) {
                narrow[k] = std::max(narrow[k], metrics.horizontalAdvance(word));
            }
        }
    };
    for (size_t k = 0; k < columns; ++k) {
        measure(headings[k], k, true);
    }
    for (const PageRow& row : rows) {
        for (size_t k = 0; k < columns && k < row.size(); ++k) {
            measure(row[k], k, false);
        }
    }
    const double pad = 2 * m_pad + 1; // a pixel more, for the rounding of glyph positions
    double sums[3] = {0, 0, 0};
    for (size_t k = 0; k < columns; ++k) {
        cells[k] = std::max(cells[k], narrow[k]) + pad;
        full[k] += pad;
        narrow[k] += pad;
        sums[0] += full[k];
        sums[1] += cells[k];
        sums[2] += narrow[k];
    }
    // Room to spare goes to each column in its share, so the table spans the page; short of
    // room, the headings wrap first, then the cells with blanks in them.
    std::vector<double> widths(columns, 0);
    for (size_t k = 0; k < columns; ++k) {
        auto between = [&](const std::vector<double>& low, double lowSum,
                           const std::vector<double>& high, double highSum) {
            return low[k] + (high[k] - low[k]) * (m_width - lowSum) / (highSum - lowSum);
        };
        if (sums[0] <= m_width) {
            widths[k] = full[k] * m_width / sums[0];
        } else if (sums[1] <= m_width) {
            widths[k] = between(cells, sums[1], full, sums[0]);
        } else if (sums[2] <= m_width) {
            widths[k] = between(narrow, sums[2], cells, sums[1]);
        } else {
            widths[k] = narrow[k] * m_width / sums[2]; // too many columns for the page
        }
    }
    return widths;
}

void PdfPages::Table(const QStringList& headings, const std::vector<PageRow>& rows) {
    std::vector<PageCell> heads;
    for (const QString& h : headings) {
        heads.push_back({h, true});
    }
    const std::vector<double> widths = ColumnWidths(heads, rows);
    // The heading row and the first row stay together.
    Space(QFontMetricsF(m_body, &m_writer).height() * 5);
    Row(heads, widths, m_bodyBold, m_bodyBold, true);
    m_headings = &heads;
    m_widths = &widths;
    for (const PageRow& row : rows) {
        Row(row, widths, m_body, m_bodyBold, false);
    }
    m_headings = nullptr;
    m_widths = nullptr;
    m_y += m_pad * 4;
}

int PdfPages::Finish() {
    Footer();
    return m_page;
}

} // namespace compliance
