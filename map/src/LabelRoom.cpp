#include "LabelRoom.h"

#include <algorithm>
#include <cmath>

namespace mapping {

namespace {

// A leader keeps this far from every box it passes, so that its one-pixel pen and its smoothing
// never touch another's pixels.
constexpr double kLeaderClearance = 1;

double Turn(const QPointF& a, const QPointF& b, const QPointF& c) {
    return (b.x() - a.x()) * (c.y() - a.y()) - (b.y() - a.y()) * (c.x() - a.x());
}

// Whether two lines cross each other (meeting at an end is not crossing).
bool Cross(const QLineF& a, const QLineF& b) {
    const double a1 = Turn(b.p1(), b.p2(), a.p1());
    const double a2 = Turn(b.p1(), b.p2(), a.p2());
    const double b1 = Turn(a.p1(), a.p2(), b.p1());
    const double b2 = Turn(a.p1(), a.p2(), b.p2());
    return ((a1 > 0 && a2 < 0) || (a1 < 0 && a2 > 0)) && ((b1 > 0 && b2 < 0) || (b1 < 0 && b2 > 0));
}

} // namespace

template <typename Visit> bool LabelRoom::ForCells(const Box& box, Visit visit) const {
    const size_t right = Column(box.right);
    const size_t bottom = Row(box.bottom);
    for (size_t row = Row(box.top); row <= bottom; ++row) {
        for (size_t column = Column(box.left); column <= right; ++column) {
            if (!visit(row * m_columns + column)) {
                return false;
            }
        }
    }
    return true;
}

LabelRoom::LabelRoom(const QRectF& area)
    : m_area(BoxOf(area)), m_cell(std::max(32.0, std::max(area.width(), area.height()) / 128)),
      m_columns(Cells(area.width())), m_rows(Cells(area.height())), m_boxCells(m_columns * m_rows),
      m_leaderCells(m_columns * m_rows) {}

size_t LabelRoom::Take(const QRectF& rect, bool symbol) {
    const Box box = BoxOf(rect);
    if (rect.isEmpty() || !Meet(box, m_area)) {
        return kNone;
    }
    const size_t index = m_boxes.size();
    m_boxes.push_back(box);
    m_symbols.push_back(symbol);
    ForCells(box, [&](size_t cell) {
        m_boxCells[cell].push_back(static_cast<uint32_t>(index));
        return true;
    });
    return index;
}

void LabelRoom::Take(const QLineF& leader) {
    const size_t index = m_leaders.size();
    m_leaders.push_back(leader);
    ForCells(BoxOf(QRectF(leader.p1(), leader.p2())), [&](size_t cell) {
        m_leaderCells[cell].push_back(static_cast<uint32_t>(index));
        return true;
    });
}

bool LabelRoom::Free(const QRectF& rect) const {
    const Box box = BoxOf(rect);
    if (!Holds(m_area, box)) {
        return false;
    }
    const Box kept = Widened(box);
    return ForCells(kept, [&](size_t cell) {
        for (uint32_t index : m_boxCells[cell]) {
            if (Meet(m_boxes[index], box)) {
                return false;
            }
        }
        for (uint32_t index : m_leaderCells[cell]) {
            if (Crosses(m_leaders[index], kept)) {
                return false;
            }
        }
        return true;
    });
}

bool LabelRoom::Clear(const QLineF& line, size_t own) const {
    return ForCells(Widened(BoxOf(QRectF(line.p1(), line.p2()))), [&](size_t cell) {
        for (uint32_t index : m_boxCells[cell]) {
            if (index != own && Crosses(line, Widened(m_boxes[index]))) {
                return false;
            }
        }
        for (uint32_t index : m_leaderCells[cell]) {
            if (Cross(line, m_leaders[index])) {
                return false;
            }
        }
        return true;
    });
}

QPointF LabelRoom::OutOfSymbols(QPointF from, const QPointF& to) const {
    // Each step leaves one box for good, so there are no more steps than boxes.
    for (size_t step = 0; step <= m_boxes.size(); ++step) {
        const QLineF rest(from, to);
        double leave = -1;
        ForCells(Widened(Box{from.x(), from.y(), from.x(), from.y()}), [&](size_t cell) {
            for (uint32_t index : m_boxCells[cell]) {
                const Box box = Widened(m_boxes[index]);
                double in = 0;
                double out = 0;
                if (m_symbols[index] && Holds(box, from)) {
                    Passage(rest, box, in, out);
                    if (in < out) {
                        leave = std::max(leave, out);
                    }
                }
            }
            return true;
        });
        if (leave < 0) {
            return from;
        }
        if (leave >= 1) {
            return to;
        }
        // A hair past the edge, so that the rest starts outside that box, not on it.
        from = rest.pointAt(leave) + (to - from) * 1e-9;
    }
    return to;
}

bool LabelRoom::MoreSymbolsThan(size_t most, const QRectF& rect, size_t own) const {
    const Box window = BoxOf(rect);
    size_t count = 0;
    return !ForCells(window, [&](size_t cell) {
        for (uint32_t index : m_boxCells[cell]) {
            const Box& box = m_boxes[index];
            // Counted once, in the cell where it first meets the window.
            if (index != own && m_symbols[index] && Meet(box, window) &&
                cell == CellAt(std::max(box.left, window.left), std::max(box.top, window.top)) &&
                ++count > most) {
                return false;
            }
        }
        return true;
    });
}

LabelRoom::Box LabelRoom::BoxOf(const QRectF& rect) {
    const QRectF box = rect.normalized();
    return {box.left(), box.top(), box.right(), box.bottom()};
}

LabelRoom::Box LabelRoom::Widened(const Box& box) {
    return {box.left - kLeaderClearance, box.top - kLeaderClearance, box.right + kLeaderClearance,
            box.bottom + kLeaderClearance};
}

// Touching is not meeting: the boxes must share some room.
bool LabelRoom::Meet(const Box& a, const Box& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

bool LabelRoom::Holds(const Box& outer, const Box& inner) {
    return outer.left <= inner.left && inner.right <= outer.right && outer.top <= inner.top &&
           inner.bottom <= outer.bottom;
}

bool LabelRoom::Holds(const Box& box, const QPointF& point) {
    return box.left <= point.x() && point.x() <= box.right && box.top <= point.y() &&
           point.y() <= box.bottom;
}

// The line clipped side by side; running along or touching an edge is not running through.
void LabelRoom::Passage(const QLineF& line, const Box& box, double& enter, double& leave) {
    enter = 0;
    leave = 1;
    const double toward[4] = {-line.dx(), line.dx(), -line.dy(), line.dy()};
    const double room[4] = {line.x1() - box.left, box.right - line.x1(), line.y1() - box.top,
                            box.bottom - line.y1()};
    for (int side = 0; side < 4 && enter < leave; ++side) {
        if (toward[side] == 0) {
            if (room[side] <= 0) {
                leave = enter;
            }
            continue;
        }
        const double t = room[side] / toward[side];
        if (toward[side] < 0) {
            enter = std::max(enter, t);
        } else {
            leave = std::min(leave, t);
        }
    }
}

bool LabelRoom::Crosses(const QLineF& line, const Box& box) {
    double enter = 0;
    double leave = 0;
    Passage(line, box, enter, leave);
    return enter < leave;
}

size_t LabelRoom::Cells(double side) const {
    return static_cast<size_t>(std::max(1.0, std::ceil(side / m_cell)));
}

size_t LabelRoom::Column(double x) const {
    const double column = std::floor((x - m_area.left) / m_cell);
    return static_cast<size_t>(std::clamp(column, 0.0, static_cast<double>(m_columns - 1)));
}

size_t LabelRoom::Row(double y) const {
    const double row = std::floor((y - m_area.top) / m_cell);
    return static_cast<size_t>(std::clamp(row, 0.0, static_cast<double>(m_rows - 1)));
}

size_t LabelRoom::CellAt(double x, double y) const {
    return Row(y) * m_columns + Column(x);
}

} // namespace mapping
