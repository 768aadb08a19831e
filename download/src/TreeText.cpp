#include "download/TreeText.h"

#include "core/SessionTable.h"

std::string SessionTreeText(const SessionTable& table, const SessionBoxes& boxes,
                            const std::function<bool(int16_t)>& archived) {
    std::string text;
    for (const SessionNode& node : table.Nodes(boxes)) {
        switch (node.level) {
        case SessionNode::Month:
            break;
        case SessionNode::Day:
            text += "  ";
            break;
        case SessionNode::Session:
            text += "    slot ";
            text += std::to_string(node.itemData);
            text += ": ";
            break;
        }
        text += node.text;
        if (node.level == SessionNode::Session && archived &&
            archived(static_cast<int16_t>(node.itemData))) {
            text += " archived";
        }
        text += '\n';
    }
    return text;
}
