// The other archive's history head, as a sync's row records it and a verify against that archive
// reads it back.
#include "archive/RecordedHeads.h"

#include <QRegularExpression>

namespace archive {

QString HeadWords(qint64 seq, const QString& hash) {
    return seq == 0 ? QString("empty") : QString("row %1, %2").arg(seq).arg(hash);
}

QString RecordedHeadText(const QString& party, const QString& head) {
    return party + ", its history's head " + head;
}

QVector<RecordedHead> RecordedHeadsIn(const QString& detail) {
    static const QRegularExpression kHead(
        "\\(identity ([0-9A-Za-z{}-]+)\\), its history's head row ([0-9]{1,18}), ([0-9a-f]{64})");
    QVector<RecordedHead> heads;
    for (auto it = kHead.globalMatch(detail); it.hasNext();) {
        const QRegularExpressionMatch found = it.next();
        heads.append({found.captured(1), found.captured(2).toLongLong(), found.captured(3), 0});
    }
    return heads;
}

bool ParseRecordedHead(const QString& detail, RecordedHead& head) {
    // The party's words end "(identity ID)", and the head follows them; a location may hold
    // anything, so the last such phrase is the one the row wrote.
    const QVector<RecordedHead> heads = RecordedHeadsIn(detail);
    if (heads.isEmpty()) {
        return false;
    }
    head = heads.last();
    return head.seq > 0;
}

} // namespace archive
