#include "core/SessionTree.h"

void SessionTree::Build(const SessionTable& table, const SessionBoxes& boxes) {
    m_nodes.clear();
    int month = -1;
    int day = -1;
    // The last child inserted under each parent, to chain the siblings (index 0: the root).
    std::vector<int> lastChild;
    lastChild.push_back(-1);
    for (const SessionNode& node : table.Nodes(boxes)) {
        int parent = -1;
        if (node.level == SessionNode::Day) {
            parent = month;
        } else if (node.level == SessionNode::Session) {
            parent = day;
        }
        const int id = Count();
        m_nodes.push_back({parent, node.level, node.text, node.itemData, -1});
        lastChild.push_back(-1);
        int& previous = lastChild[static_cast<size_t>(parent + 1)];
        if (previous >= 0) {
            m_nodes[static_cast<size_t>(previous)].nextSibling = id;
        }
        previous = id;
        if (node.level == SessionNode::Month) {
            month = id;
        } else if (node.level == SessionNode::Day) {
            day = id;
        }
    }
}

std::string SessionTree::Text(int id) const {
    return Valid(id) ? At(id).text : std::string();
}

int SessionTree::FindSession(int16_t slot) const {
    for (int id = 0; id < Count(); ++id) {
        if (At(id).level == SessionNode::Session &&
            At(id).itemData == static_cast<uint32_t>(slot)) {
            return id;
        }
    }
    return -1;
}
