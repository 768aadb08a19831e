#include "archive/ArchiveValues.h"

#include <QDateTime>
#include <QList>
#include <QUuid>

namespace archive {

QString InstrumentLabel() {
    return QStringLiteral("CASE WHEN i.name <> '' THEN i.name WHEN i.serial_number <> ''"
                          " THEN i.serial_number ELSE 'unnamed ' || CAST(i.id AS TEXT) END");
}

QString InstrumentNamed() {
    return "(" + InstrumentLabel() + " = ? OR i.serial_number = ? OR i.fingerprint = ?)";
}

namespace {
const char kSyncSource[] = "sync from ";
} // namespace

QString SyncDownloadSource(const QString& words) {
    return kSyncSource + words;
}

QString MadeBySync() {
    return QString("substr(COALESCE(d.source, ''), 1, %1) = '%2'")
        .arg(QString::number(sizeof kSyncSource - 1), kSyncSource);
}

qint64 Now() {
    return QDateTime::currentMSecsSinceEpoch();
}

QString NewInstrumentUid() {
    return QUuid::createUuid().toString(QUuid::Id128);
}

QByteArray Bytes(const QByteArray& bytes) {
    return bytes.isNull() ? QByteArray("") : bytes;
}

QString Text(const QString& text) {
    return text.isNull() ? QString("") : text;
}

QByteArray JoinedNames(const QByteArray (&names)[4]) {
    QByteArray joined;
    for (int k = 0; k < 4; ++k) {
        joined.append(names[k]);
        joined.append('\0');
    }
    return joined;
}

void SplitNames(const QByteArray& joined, QByteArray (&names)[4]) {
    const QList<QByteArray> parts = joined.split('\0');
    for (int k = 0; k < 4; ++k) {
        names[k] = k < parts.size() ? parts[k] : QByteArray();
    }
}

} // namespace archive
