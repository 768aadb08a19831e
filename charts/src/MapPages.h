#pragma once

// The report's map page: the map on most of the page, the survey record in a column beside it;
// a record longer than the column runs on in columns over pages of its own.
#include <QFont>
#include <QRect>
#include <QStringList>

class QPainter;
class QPaintDevice;

namespace mapping {
struct MapPageContent;
}

class MapPages {
public:
    // Lays `content` out in `body`, the part of a page between its header and footer, in the
    // metrics of `device`. `content` must outlive this.
    MapPages(const mapping::MapPageContent& content, const QPaintDevice& device, const QRect& body);

    // None when the scene has no place to show.
    int PageCount() const { return pageCount_; }
    // Page `index` (0, the map's, to PageCount() - 1).
    void Draw(QPainter& painter, int index) const;

private:
    void DrawLines(QPainter& painter, int first, int count, int left) const;

    const mapping::MapPageContent& content_;
    QRect body_;
    QStringList lines_;
    QFont font_;
    double lineHeight_ = 0;
    int column_ = 0;
    int gap_ = 0;
    int rows_ = 1;
    int columnsPerPage_ = 1;
    int pageCount_ = 0;
};
