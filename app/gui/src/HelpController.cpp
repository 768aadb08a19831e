#include "HelpController.h"

#include "WindowPrompt.h"
#include "gui/AboutDialog.h"
#include "gui/MainDialogEnvironment.h"
#include "gui/UserGuide.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

void HelpController::OpenManual() {
    // The instrument's manual where the program is run from, else where it is installed; without
    // it, the program's own guide.
    const QString name = QString::fromStdString(env_.manualFile);
    QFileInfo manual(QDir::current(), name);
    if (!manual.exists()) {
        manual = QFileInfo(QDir(QCoreApplication::applicationDirPath()), name);
    }
    if (!manual.exists()) {
        prompt_.Tell(QString("The instrument's manual \"%1\" is in neither the working folder (%2) "
                             "nor the program's folder (%3): the program's own User Guide opens "
                             "instead (Help > User Guide, F1).")
                         .arg(name, QDir::toNativeSeparators(QDir::currentPath()),
                              QDir::toNativeSeparators(QCoreApplication::applicationDirPath())),
                     "Help");
        ShowGuide();
        return;
    }
    const QUrl url = QUrl::fromLocalFile(manual.absoluteFilePath());
    const bool opened = env_.openUrl ? env_.openUrl(url) : QDesktopServices::openUrl(url);
    if (!opened) {
        prompt_.Tell(
            QString("No program could open the manual \"%1\".").arg(manual.absoluteFilePath()),
            "Help");
    }
}

void HelpController::ShowGuide() {
    if (guide_ == nullptr) {
        guide_ = new UserGuide(&window_);
    }
    guide_->show();
    guide_->raise();
    guide_->activateWindow();
}

void HelpController::ShowAbout() {
    AboutDialog about(&window_);
    about.exec();
}
