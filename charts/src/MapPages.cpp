#include "MapPages.h"

#include "charts/SurveyColumn.h"
#include "export/SurveyExport.h"
#include "map/MapPageContent.h"
#include "map/MapPicture.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kRecordPoints = 7.5;

QStringList RecordLines(const mapping::MapPageContent& content) {
    QStringList lines = QString::fromUtf8(WriteSurveys(content.surveys, SurveyFormat::Text))
                            .split(QLatin1Char('\n'));
    while (!lines.isEmpty() && lines.back().trimmed().isEmpty()) {
        lines.removeLast();
    }
    lines.prepend(QString());
    lines.prepend(QStringLiteral("Survey record"));
    return lines;
}

// A line wider than the column, broken at its spaces into lines that fit, the later ones set in
// under the first's words; a word wider than the column is cut.
QStringList Wrapped(const QString& line, const QFontMetricsF& metrics, double width) {
    QStringList parts;
    int leading = 0;
    while (leading < line.size() && line[leading] == QLatin1Char(' ')) {
        ++leading;
    }
    const QString indent(leading + 2, QLatin1Char(' '));
    QString rest = line;
    int prefix = leading;
    while (metrics.horizontalAdvance(rest) > width) {
        int fits = rest.size() - 1;
        while (fits > prefix + 1 && metrics.horizontalAdvance(rest.left(fits)) > width) {
            --fits;
        }
        const int space = rest.lastIndexOf(QLatin1Char(' '), fits);
        const int cut = std::max(space > prefix ? space : fits, prefix + 1);
        parts << rest.left(cut);
        const QString tail = rest.mid(cut).trimmed();
        if (tail.isEmpty()) {
            return parts;
        }
        rest = indent + tail;
        prefix = static_cast<int>(indent.size());
    }
    parts << rest;
    return parts;
}

} // namespace

MapPages::MapPages(const mapping::MapPageContent& content, const QPaintDevice& device,
                   const QRect& body)
    : content_(content), body_(body) {
    if (!mapping::SceneHasPlaces(content.scene)) {
        return;
    }
    font_ = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font_.setPointSizeF(kRecordPoints);
    const QFontMetricsF metrics(font_, &device);
    const QStringList record = RecordLines(content);
    // The record's column, as the Map tab's: its widest line, within its share of the page.
    column_ = SurveyColumnWidth(WidestLine(record, metrics), body.width(), kPageColumn);
    for (const QString& line : record) {
        lines_ << Wrapped(line, metrics, column_);
    }
    lineHeight_ = metrics.lineSpacing();
    gap_ = static_cast<int>(std::ceil(lineHeight_));
    rows_ = std::max(1, static_cast<int>(std::floor(body.height() / lineHeight_)));
    columnsPerPage_ = std::max(1, (body.width() + gap_) / (column_ + gap_));
    const int perPage = rows_ * columnsPerPage_;
    const int rest = std::max(0, static_cast<int>(lines_.size()) - rows_);
    pageCount_ = 1 + (rest + perPage - 1) / perPage;
}

void MapPages::Draw(QPainter& painter, int index) const {
    if (index < 0 || index >= pageCount_) {
        return;
    }
    if (index == 0) {
        const QRectF map(body_.left(), body_.top(), body_.width() - column_ - gap_, body_.height());
        mapping::DrawMap(painter, map, content_.scene,
                         mapping::FitScene(content_.scene, map.size()), content_.background);
        DrawLines(painter, 0, rows_, static_cast<int>(map.right()) + gap_);
        return;
    }
    const int perPage = rows_ * columnsPerPage_;
    const int first = rows_ + (index - 1) * perPage;
    for (int c = 0; c < columnsPerPage_; ++c) {
        DrawLines(painter, first + c * rows_, rows_, body_.left() + c * (column_ + gap_));
    }
}

void MapPages::DrawLines(QPainter& painter, int first, int count, int left) const {
    painter.save();
    painter.setFont(font_);
    painter.setPen(Qt::black);
    const int end = std::min(static_cast<int>(lines_.size()), first + count);
    for (int i = first; i < end; ++i) {
        // The gap beside the column takes what a device measures wider than the layout did.
        const QRectF row(left, body_.top() + (i - first) * lineHeight_, column_ + gap_,
                         lineHeight_);
        painter.drawText(row, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, lines_[i]);
    }
    painter.restore();
}
