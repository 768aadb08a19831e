#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/SessionTable.h"

// The session tree: months, their days, each day's sessions, numbered in insertion order. The
// program's view shows it and the download plans its days by it; selection, headings and "next
// sibling" are worked out here so that they do not depend on any widget.
class SessionTree {
public:
    struct Node {
        int parent; // -1 for a month node
        int level;  // SessionNode::Month, Day or Session
        std::string text;
        uint32_t itemData; // 0xFFFF for month and day nodes, else the session slot
        int nextSibling;   // -1 when this is the last child of its parent
    };

    // Rebuilds from the table's node sequence for the given boxes.
    void Build(const SessionTable& table, const SessionBoxes& boxes);
    void Clear() { m_nodes.clear(); }

    int Count() const { return static_cast<int>(m_nodes.size()); }
    bool Valid(int id) const { return id >= 0 && id < Count(); }
    // Only valid ids.
    const Node& At(int id) const { return m_nodes[static_cast<size_t>(id)]; }
    const std::vector<Node>& Nodes() const { return m_nodes; }

    // The text of a node, empty for -1 or an unknown id.
    std::string Text(int id) const;
    int Parent(int id) const { return Valid(id) ? At(id).parent : -1; }
    int NextSibling(int id) const { return Valid(id) ? At(id).nextSibling : -1; }
    // The first session node whose item data is `slot`, or -1.
    int FindSession(int16_t slot) const;

private:
    std::vector<Node> m_nodes;
};
