#include "MainMenus.h"

#include "ArchiveController.h"
#include "FileController.h"
#include "HelpController.h"
#include "LinkController.h"
#include "ViewController.h"
#include "gui/WatchSettingsDialog.h"

#include "app/SessionBrowser.h"

#include <QAction>
#include <QDialog>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>

QMenuBar* MainMenus::Build(QDialog& window, const Controllers& to) {
    QMenuBar* bar = new QMenuBar(&window);
    window.layout()->setMenuBar(bar);
    BuildFile(window, *bar, to);
    BuildView(*bar, to);
    // The manual of this program, and the instrument's own where it is beside it.
    QMenu* manuals = bar->addMenu(QObject::tr("&Help"));
    manuals->setObjectName("menuHelp");
    HelpController& help = to.help;
    QAction* guide = manuals->addAction("User Guide", &help, [&help] { help.ShowGuide(); });
    guide->setObjectName("actionUserGuide");
    guide->setShortcut(QKeySequence(Qt::Key_F1));
    manuals->addAction("Instrument Manual", &help, [&help] { help.OpenManual(); })
        ->setObjectName("actionHelp");
    return bar;
}

void MainMenus::BuildFile(QDialog& window, QMenuBar& bar, const Controllers& to) {
    QMenu* file = bar.addMenu(QObject::tr("&File"));
    file->setObjectName("menuFile");
    LinkController& link = to.link;
    file->addAction("Connect...", &link, [&link] { link.Connect(); })
        ->setObjectName("actionConnect");
    // The keys are the ones other programs use for the same thing, shown beside each item.
    QAction* go = file->addAction("GO", &link, [&link] { link.OnGo(); });
    go->setObjectName("actionGo");
    go->setShortcut(QKeySequence(Qt::Key_F5));
    go->setEnabled(false); // as the button, until an instrument is connected
    FileController& files = to.files;
    file->addAction("Open Dump...", &files, [&files] { files.OpenDump(); })
        ->setObjectName("actionOpenDump");
    ArchiveController& archive = to.archive;
    file->addAction("Open Archive...", &archive, [&archive] { archive.OpenArchive(); })
        ->setObjectName("actionOpenArchive");
    QAction* save = file->addAction("Save", &files, [&files] { files.SaveReport(); });
    save->setObjectName("actionSave");
    save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    file->addAction("Save as PDF...", &files, [&files] { files.SaveReportPdf(); })
        ->setObjectName("actionSavePdf");
    QAction* print = file->addAction("Print...", &files, [&files] { files.PrintReport(); });
    print->setObjectName("actionPrint");
    print->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    file->addAction("Export...", &files, [&files] { files.ExportReport(); })
        ->setObjectName("actionExport");
    file->addAction("Download Automatically...", &window,
                    [&window] {
                        WatchSettingsDialog settings(&window);
                        settings.exec();
                    })
        ->setObjectName("actionDownloadAutomatically");
    file->addAction("Sync Now", &archive, [&archive] { archive.SyncNow(); })
        ->setObjectName("actionSyncNow");
    // Settings.ini may change while the program runs: the item asks each time the menu opens.
    QObject::connect(file, &QMenu::aboutToShow, &archive, [&archive] { archive.EnableSyncNow(); });
    file->addSeparator();
    // Quit ends the dialog without closing the link first, as the close box does.
    file->addAction("Quit", &window, [&window] { window.done(1); })->setObjectName("actionQuit");
    file->addSeparator();
    HelpController& help = to.help;
    file->addAction("About Tavon Datalogging...", &help, [&help] { help.ShowAbout(); })
        ->setObjectName("actionAbout");
    archive.AddActions(*file, save);
}

void MainMenus::BuildView(QMenuBar& bar, const Controllers& to) {
    QMenu* view = bar.addMenu(QObject::tr("&View"));
    view->setObjectName("menuView");
    ViewController& shown = to.view;
    QAction* find =
        view->addAction("Find in Report...", &shown, [&shown] { shown.FindInReport(); });
    find->setObjectName("actionFind");
    find->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    QAction* filter = view->addAction("Filter Logs...", &shown, [&shown] { shown.ToggleFilter(); });
    filter->setObjectName("actionFilter");
    filter->setCheckable(true);
    QMenu* sessions = view->addMenu("Sessions");
    sessions->setObjectName("menuSessions");
    SessionBrowser& browser = to.browser;
    const struct {
        const char* text;
        const char* name;
        void (SessionBrowser::*choose)(bool);
    } boxes[] = {{"All", "actionSessionsAll", &SessionBrowser::OnAllSessions},
                 {"Alarm", "actionSessionsAlarm", &SessionBrowser::OnAlarmSessions},
                 {"Cal", "actionSessionsCal", &SessionBrowser::OnCalSessions}};
    for (const auto& box : boxes) {
        QAction* action = sessions->addAction(box.text);
        action->setObjectName(box.name);
        action->setCheckable(true);
        QObject::connect(action, &QAction::triggered, &shown,
                         [&browser, choose = box.choose](bool c) { (browser.*choose)(c); });
    }
    ArchiveController& archive = to.archive;
    view->addAction("Instruments...", &archive, [&archive] { archive.OpenInstruments(); })
        ->setObjectName("actionInstruments");
    view->addAction("Map Background...", &shown, [&shown] { shown.ChooseMapBackground(); })
        ->setObjectName("actionMapBackground");
    // Uploads at the speed of the line instead of one read per tick; remembered in Settings.ini.
    QAction* fast = view->addAction("Fast Upload");
    fast->setObjectName("actionFastUpload");
    fast->setCheckable(true);
    QObject::connect(fast, &QAction::triggered, &shown,
                     [&shown](bool checked) { shown.SetFastUpload(checked); });
}
