#pragma once

#include <QFont>
#include <QString>
#include <QStringList>
#include <vector>

class QPainter;
class QPdfWriter;

namespace compliance {

// One cell of a table; bold for what needs attention.
struct PageCell {
    QString text;
    bool bold = false;
};
using PageRow = std::vector<PageCell>;

// Headings, paragraphs and tables laid out down A4 pages, a table that runs over a page
// continuing on the next under its heading row, each page numbered "Page N of M". Drawn
// directly with the painter: a pack of thousands of rows is made in seconds. Black on white
// only, thin ruled cells.
//
// Everything is laid out twice: once to count the pages, then to draw them with the count.
class PdfPages {
public:
    // `painter` is active on `writer`; nullptr for the counting pass.
    PdfPages(QPdfWriter& writer, QPainter* painter, int totalPages);

    void Heading(const QString& text, int level); // 1: the page's title, 2: a section
    void Paragraph(const QString& text);
    // Each column as wide as its longest line of text; when they do not all fit, the columns
    // whose texts can wrap give up room first, never below their longest word.
    void Table(const QStringList& headings, const std::vector<PageRow>& rows);
    void NewPage();
    // Ends the last page (its number); the number of pages.
    int Finish();

private:
    std::vector<double> ColumnWidths(const std::vector<PageCell>& headings,
                                     const std::vector<PageRow>& rows) const;
    double TextHeight(const QFont& font, const QString& text, double width) const;
    void Text(const QFont& font, const QString& text, double x, double width, double height);
    void Space(double height); // a new page when less is left
    void Row(const std::vector<PageCell>& cells, const std::vector<double>& widths,
             const QFont& font, const QFont& bold, bool shaded);
    void Footer();

    QPdfWriter& m_writer;
    QPainter* m_painter;
    int m_total;
    int m_page = 1;
    double m_width = 0;
    double m_bottom = 0; // of the body, above the page number
    double m_y = 0;
    double m_pad = 0;
    QFont m_body;
    QFont m_bodyBold;
    QFont m_title;
    QFont m_section;
    // The heading row of the table being drawn, repeated at the top of each page it runs onto.
    const std::vector<PageCell>* m_headings = nullptr;
    const std::vector<double>* m_widths = nullptr;
};

} // namespace compliance
