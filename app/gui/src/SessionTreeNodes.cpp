#include "SessionTreeNodes.h"

#include "SessionTips.h"
#include "gui/ProgramArchiving.h"

#include "app/SessionBrowser.h"
#include "core/LogImage.h"
#include "core/SessionTable.h"
#include "session/SessionReader.h"
#include "textcodec/Cp1252.h"

#include <QColor>
#include <QTimer>
#include <QTreeWidget>

namespace {

const int kTreeIdRole = Qt::UserRole + 1;
const int kItemDataRole = Qt::UserRole;

const char* const kNotHeldTip =
    "Not in this dump: the session was never uploaded into it. Connect the instrument and press "
    "GO to read it.";

const char* const kInArchiveTip = "Not in this dump, but in the archive (id %1): choosing "
                                  "it shows the archive's copy.";

const char* const kNotUploadedTip =
    "Not uploaded: the session was not read before another instrument was connected. Connect "
    "that instrument and press GO to read it.";

// The slot of a session node; -1 for a month or day node.
int SlotOf(const QTreeWidgetItem* item) {
    const uint data = item->data(0, kItemDataRole).toUInt() & 0xFFFF;
    return data == SessionTable::kFolderData ? -1 : static_cast<int>(data);
}

} // namespace

SessionTreeNodes::SessionTreeNodes(QTreeWidget& tree, SessionBrowser& browser,
                                   const SessionReader& reader, const LogImage& image,
                                   const ProgramArchiving& archiving)
    : tree_(tree), browser_(browser), reader_(reader), image_(image), archiving_(archiving) {
    connect(&tree_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { OnSelection(current); });
}

void SessionTreeNodes::Clear() {
    selectingFromBrowser_ = true;
    tree_.clear();
    selectingFromBrowser_ = false;
    nodes_.clear();
}

void SessionTreeNodes::Insert(int id, int parent, const std::string& text, uint32_t itemData,
                              bool makeVisible) {
    if (id < 0) {
        return;
    }
    auto* item = new QTreeWidgetItem(QStringList{FromCp1252(text)});
    item->setData(0, kItemDataRole, static_cast<uint>(itemData));
    item->setData(0, kTreeIdRole, id);
    if ((itemData & 0xFFFF) != SessionTable::kFolderData) {
        // The tip comes from the entry's name, as the label's tags do, never from the label.
        const SessionEntry* entry =
            reader_.Table().FindSlot(static_cast<int16_t>(itemData & 0xFFFF));
        item->setToolTip(0,
                         SessionTip(entry != nullptr ? TagsOfName(entry->name, sizeof entry->name)
                                                     : SessionTags()));
    }
    if (parent >= 0 && static_cast<size_t>(parent) < nodes_.size() && nodes_[parent] != nullptr) {
        nodes_[parent]->addChild(item);
        if (makeVisible) {
            nodes_[parent]->setExpanded(true);
        }
    } else {
        tree_.addTopLevelItem(item);
    }
    if (static_cast<size_t>(id) >= nodes_.size()) {
        nodes_.resize(static_cast<size_t>(id) + 1, nullptr);
    }
    nodes_[id] = item;
    archiving_.Mark(*item);
}

void SessionTreeNodes::Select(int id) {
    ShowSelected(id);
    if (inSelection_) {
        // The browser put the selection back while the tree was still taking the user's click,
        // which selects the node clicked once this returns: it is put back again after that.
        QTimer::singleShot(0, this, [this, id] {
            if (browser_.SelectedNode() == id) {
                ShowSelected(id);
            }
        });
    }
}

void SessionTreeNodes::ShowSelected(int id) {
    QTreeWidgetItem* item = nullptr;
    if (id >= 0 && static_cast<size_t>(id) < nodes_.size()) {
        item = nodes_[id];
    }
    selectingFromBrowser_ = true;
    tree_.setCurrentItem(item);
    if (item == nullptr) {
        tree_.clearSelection();
    }
    selectingFromBrowser_ = false;
    if (item != nullptr) {
        tree_.scrollToItem(item);
    }
}

void SessionTreeNodes::OnSelection(QTreeWidgetItem* current) {
    if (selectingFromBrowser_) {
        return;
    }
    inSelection_ = true;
    browser_.OnSessionSelected(current != nullptr ? current->data(0, kTreeIdRole).toInt() : -1);
    inSelection_ = false;
}

void SessionTreeNodes::MarkNotHeld() {
    // A dump saved after the index upload (or the image of an instrument connected before) holds
    // only the sessions that were chosen; the others are still listed, greyed, so that the user
    // knows what is missing.
    const QColor grey = tree_.window()->palette().color(QPalette::Disabled, QPalette::Text);
    for (QTreeWidgetItem* item : nodes_) {
        if (item == nullptr) {
            continue;
        }
        const int slot = SlotOf(item);
        if (slot < 0 || image_.SessionHeld(static_cast<int16_t>(slot))) {
            continue;
        }
        const int64_t copy = browser_.CopyOf(static_cast<int16_t>(slot));
        if (copy >= 0) {
            item->setToolTip(0, QString(kInArchiveTip).arg(copy));
            continue;
        }
        item->setForeground(0, grey);
        item->setToolTip(0, browser_.OfflineSource() == DataSource::EarlierInstrument
                                ? kNotUploadedTip
                                : kNotHeldTip);
    }
}

int SessionTreeNodes::SessionCount() const {
    int sessions = 0;
    for (const QTreeWidgetItem* item : nodes_) {
        sessions += item != nullptr && SlotOf(item) >= 0 ? 1 : 0;
    }
    return sessions;
}

int SessionTreeNodes::CopiesShown() const {
    int copies = 0;
    for (const QTreeWidgetItem* item : nodes_) {
        const int slot = item != nullptr ? SlotOf(item) : -1;
        copies += slot >= 0 && !image_.SessionHeld(static_cast<int16_t>(slot)) &&
                          browser_.CopyOf(static_cast<int16_t>(slot)) >= 0
                      ? 1
                      : 0;
    }
    return copies;
}
