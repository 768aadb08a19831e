#pragma once

// The room a map picture has left for words while its layout is worked out: what is taken (the
// corners' panels, the markers' symbols, the labels placed so far, the leader lines to moved
// labels) and whether a label's box or a leader fits between them. What is taken is filed by the
// square cells of the area it touches, so that a crowded picture of a thousand markers is
// searched cell by cell rather than box by box.
#include <QLineF>
#include <QPointF>
#include <QRectF>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mapping {

class LabelRoom {
public:
    // What Take files nothing under: a box empty or wholly outside the area.
    static constexpr size_t kNone = static_cast<size_t>(-1);

    explicit LabelRoom(const QRectF& area);

    // Takes `box` and gives the number it is filed under, for Clear to pass it by. A symbol's
    // box is one a leader may start among (OutOfSymbols).
    size_t Take(const QRectF& box, bool symbol = false);
    void Take(const QLineF& leader);

    // Whether `box` lies inside the area and meets nothing taken: no box, and no leader within
    // the leaders' clearance.
    bool Free(const QRectF& box) const;
    // Whether a leader can run along `line`: within the clearance of no box but the one
    // numbered `own` (its symbol, which it starts from), and crossing no other leader.
    bool Clear(const QLineF& line, size_t own) const;
    // Where the line from `from` to `to` comes out of the symbols (with the clearance) it starts
    // among, markers a few pixels apart or on one spot; `to` where it never does.
    QPointF OutOfSymbols(QPointF from, const QPointF& to) const;
    // Whether more than `most` symbols other than the one numbered `own` meet `window`.
    bool MoreSymbolsThan(size_t most, const QRectF& window, size_t own) const;

private:
    // A box as four plain numbers: the room asks a great many of them whether they meet, and
    // this keeps every such question a few comparisons.
    struct Box {
        double left;
        double top;
        double right;
        double bottom;
    };

    static Box BoxOf(const QRectF& rect);
    static Box Widened(const Box& box);
    static bool Meet(const Box& a, const Box& b);
    static bool Holds(const Box& outer, const Box& inner);
    static bool Holds(const Box& box, const QPointF& point);
    // Where along `line` (0 its start, 1 its end) it enters and leaves the inside of `box`;
    // leave <= enter where it never runs through it.
    static void Passage(const QLineF& line, const Box& box, double& enter, double& leave);
    static bool Crosses(const QLineF& line, const Box& box);

    size_t Cells(double side) const;
    size_t Column(double x) const;
    size_t Row(double y) const;
    size_t CellAt(double x, double y) const;
    // Visits the cells `box` touches while `visit` says go on; false when it said stop.
    template <typename Visit> bool ForCells(const Box& box, Visit visit) const;

    Box m_area;
    double m_cell;
    size_t m_columns;
    size_t m_rows;
    std::vector<Box> m_boxes;
    std::vector<bool> m_symbols;
    std::vector<QLineF> m_leaders;
    std::vector<std::vector<uint32_t>> m_boxCells;
    std::vector<std::vector<uint32_t>> m_leaderCells;
};

} // namespace mapping
