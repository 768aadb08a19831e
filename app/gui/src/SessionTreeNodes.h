#pragma once

#include <QObject>

#include <cstdint>
#include <string>
#include <vector>

class LogImage;
class ProgramArchiving;
class QTreeWidget;
class QTreeWidgetItem;
class SessionBrowser;
class SessionReader;

// The session tree on screen: the browser's nodes as items of the window's tree, with the tips
// of their tags and the archive's marks; the sessions a dump lacks greyed, or marked as the
// archive's copies; and the user's choice told to the browser.
class SessionTreeNodes : public QObject {
public:
    SessionTreeNodes(QTreeWidget& tree, SessionBrowser& browser, const SessionReader& reader,
                     const LogImage& image, const ProgramArchiving& archiving);

    void Clear();
    void Insert(int id, int parent, const std::string& text, uint32_t itemData, bool makeVisible);
    // Selects the node the browser chose (none: -1).
    void Select(int id);
    // The sessions listed that the image does not hold: what the archive holds of them is said
    // in their tips, the others are greyed and say what is missing.
    void MarkNotHeld();
    // The session nodes in the tree (not its month and day nodes).
    int SessionCount() const;
    // The sessions listed that the image lacks and the archive's copies stand in for.
    int CopiesShown() const;

private:
    // Selects the node in the tree without telling the browser.
    void ShowSelected(int id);
    void OnSelection(QTreeWidgetItem* current);

    QTreeWidget& tree_;
    SessionBrowser& browser_;
    const SessionReader& reader_;
    const LogImage& image_;
    const ProgramArchiving& archiving_;
    std::vector<QTreeWidgetItem*> nodes_;
    bool selectingFromBrowser_ = false;
    bool inSelection_ = false; // the browser is being told of the user's choice
};
