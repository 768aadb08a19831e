#pragma once

class ArchiveController;
class FileController;
class HelpController;
class LinkController;
class QDialog;
class QMenuBar;
class SessionBrowser;
class ViewController;

// The main window's menu bar, each item handed to the controller that does it: File, View and
// Help, the keys other programs use for the same things beside the items. Every action has an
// object name ("actionSave") for the views that enable it and for tests.
class MainMenus {
public:
    struct Controllers {
        LinkController& link;
        FileController& files;
        ViewController& view;
        ArchiveController& archive;
        HelpController& help;
        SessionBrowser& browser;
    };

    // Puts the menu bar into `window`'s layout.
    static QMenuBar* Build(QDialog& window, const Controllers& to);

private:
    static void BuildFile(QDialog& window, QMenuBar& bar, const Controllers& to);
    static void BuildView(QMenuBar& bar, const Controllers& to);
};
