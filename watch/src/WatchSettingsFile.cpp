#include "watch/WatchSettingsFile.h"

#include <QDir>
#include <QStandardPaths>

std::string WatchSettingsPath() {
#ifdef _WIN32
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty()) {
        documents = QDir::homePath();
    }
    const QString folder = QDir(documents).filePath("Tavon Datalogging");
#else
    const QString folder = QDir::homePath();
#endif
    return QDir::toNativeSeparators(QDir(folder).filePath("Settings.ini"))
        .toLocal8Bit()
        .toStdString();
}
