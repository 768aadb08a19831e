#include "SaveNames.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace {

struct KindOfFile {
    const char* filter;
    const char* suffix;
};

const KindOfFile& Of(SavedKind kind) {
    static const KindOfFile kReport{"Rich Text Files (*.Rtf)", "Rtf"};
    static const KindOfFile kPdf{"PDF Files (*.pdf)", "pdf"};
    return kind == SavedKind::Report ? kReport : kPdf;
}

// An instrument's name as part of a file name: what no file system takes becomes '-'.
QString FileNamePart(const QString& text) {
    QString part = text;
    for (QChar& c : part) {
        if (c.unicode() < 0x20 || QStringLiteral("/\\:*?\"<>|").contains(c)) {
            c = '-';
        }
    }
    return part.trimmed();
}

} // namespace

QString SavedName(const QString& day, const QString& start, int slot, const QString& instrument) {
    QStringList parts{day.isEmpty() ? "slot " + QString::number(slot) : day};
    if (!day.isEmpty() && !start.isEmpty()) {
        parts << start;
    }
    const QString named = FileNamePart(instrument);
    if (!named.isEmpty()) {
        parts << named;
    }
    return parts.join(' ');
}

QString InSavingFolder(const QString& name) {
    return QDir::current().absoluteFilePath(name);
}

QString SuggestedPath(const QString& name, SavedKind kind) {
    return InSavingFolder(name + '.' + FileSuffix(kind));
}

QString FileFilter(SavedKind kind) {
    return QString::fromLatin1(Of(kind).filter);
}

QString FileSuffix(SavedKind kind) {
    return QString::fromLatin1(Of(kind).suffix);
}

QString WithSuffix(const QString& path, SavedKind kind) {
    return QFileInfo(path).suffix().isEmpty() ? path + '.' + FileSuffix(kind) : path;
}
