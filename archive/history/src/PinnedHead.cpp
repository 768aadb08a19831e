// A history head kept outside the archive, and the archive's own history checked against it.
#include "archive/PinnedHead.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include "archive/HistoryChain.h"
#include "archive/SessionArchive.h"
#include "archive/SqlSteps.h"

namespace archive {

bool OwnHead(SessionArchive& archive, PinnedHead& head, QString& error, qint64 until) {
    head = PinnedHead();
    if (!archive.IsOpen()) {
        error = "the archive is not open";
        return false;
    }
    QSqlDatabase db = QSqlDatabase::database(archive.ConnectionName(), false);
    return HistoryHead(db, head.row, head.hash, error, until);
}

QString HeadText(const PinnedHead& head, QChar between) {
    return QString::number(head.row) + between + head.hash;
}

bool ParsePinnedHead(const QString& text, PinnedHead& head) {
    static const QRegularExpression kPin("^([1-9][0-9]{0,17}):([0-9A-Fa-f]{64})$");
    const QRegularExpressionMatch match = kPin.match(text);
    if (!match.hasMatch()) {
        return false;
    }
    head.row = match.captured(1).toLongLong();
    head.hash = match.captured(2).toLower();
    return true;
}

bool CheckPinnedHead(SessionArchive& archive, const PinnedHead& pinned, QStringList& mismatches,
                     QString& error) {
    if (!archive.IsOpen()) {
        error = "the archive is not open";
        return false;
    }
    QSqlDatabase db = QSqlDatabase::database(archive.ConnectionName(), false);
    const QString pin = "the pinned head " + HeadText(pinned);
    QSqlQuery row(db);
    row.setForwardOnly(true);
    if (!Run(row, "SELECT hash FROM archive_history WHERE seq = ?", {pinned.row}, error)) {
        return false;
    }
    if (row.next()) {
        const QString hash = row.value(0).toString();
        if (hash != pinned.hash) {
            mismatches << QString("history row %1 is not %2: it carries the hash %3 (the history"
                                  " was rewritten)")
                              .arg(pinned.row)
                              .arg(pin, hash);
        }
        return true;
    }
    row.finish();
    PinnedHead now;
    if (!OwnHead(archive, now, error)) {
        return false;
    }
    if (now.row == 0) {
        mismatches << "the history holds no row, where " + pin + " was: rows were deleted";
    } else if (now.row < pinned.row) {
        mismatches << QString("the history ends at row %1, before %2: rows were deleted")
                          .arg(now.row)
                          .arg(pin);
    } else {
        mismatches << QString("history row %1, %2, is missing (deleted)").arg(pinned.row).arg(pin);
    }
    return true;
}

} // namespace archive
