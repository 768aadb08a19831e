// The other archive's history head, as a sync's row records it and a verify against that archive
// reads it back.
#include "RecordedHeads.h"

#include <QRegularExpression>

namespace archive {

QString HeadWords(qint64 seq, const QString& hash) {
    return seq == 0 ? QString("empty") : QString("row %1, %2").arg(seq).arg(hash);
}

QString RecordedHeadText(const QString& party, const QString& head) {
    return party + ", its history's head " + head;
}

bool ParseRecordedHead(const QString& detail, RecordedHead& head) {
    // The party's words end "(identity ID)", and the head follows them; a location may hold
    // anything, so the last such phrase is the one the row wrote.
    static const QRegularExpression kHead(
        "\\(identity ([0-9A-Za-z{}-]+)\\), its history's head row ([0-9]{1,18}), ([0-9a-f]{64})");
    QRegularExpressionMatch found;
    for (auto it = kHead.globalMatch(detail); it.hasNext();) {
        found = it.next();
    }
    if (!found.hasMatch()) {
        return false;
    }
    head.identity = found.captured(1);
    head.seq = found.captured(2).toLongLong();
    head.hash = found.captured(3);
    return head.seq > 0;
}

} // namespace archive
