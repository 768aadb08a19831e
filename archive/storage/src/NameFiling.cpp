// Whether a session is filed under the slot and start its index entry gives it.
#include "archive/NameFiling.h"

#include "archive/SessionCapture.h"
#include "core/LogImage.h"
#include "orvtime/OrvTime.h"
#include "orvtime/TimeFormat.h"

namespace archive {
namespace {

constexpr qint64 kUndated = 0xFFFFFFFFLL;

// A start as the instrument's clock gives it, as `archive list` shows it.
QString StartWords(bool dated, qint64 stamp) {
    if (!dated) {
        return QStringLiteral("undated");
    }
    return QString::fromStdString(
        FormatTime(COrvTime(static_cast<uint32_t>(stamp)).Value(), "%Y-%m-%d %H:%M:%S"));
}

} // namespace

QString FilingAgainstName(qint64 slot, qint64 stamp, bool dated, const QByteArray& name) {
    if (slot < 0 || slot >= LogImage::kSlotCount) {
        return QString("is filed under slot %1, which no index has").arg(slot);
    }
    const qint64 named = StampOfName(name);
    const bool namedDated = named != kUndated;
    if (stamp == named && dated == namedDated) {
        return QString();
    }
    const bool inRange = stamp >= 0 && stamp <= kUndated;
    QString filed = inRange ? StartWords(dated, stamp) : QString();
    const QString says = StartWords(namedDated, named);
    // Columns whose words read as the name's (an undated row's stamp changed): the numbers.
    if (!inRange || filed == says) {
        return QString("is filed under the stamp %1, but its index entry says %2")
            .arg(stamp)
            .arg(named);
    }
    return QString("is filed under %1, but its index entry says %2")
        .arg(dated ? "the start " + filed : QString("no start (undated)"),
             namedDated ? says : QString("it is undated"));
}

} // namespace archive
