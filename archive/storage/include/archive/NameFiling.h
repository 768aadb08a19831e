#pragma once

#include <QByteArray>
#include <QString>

namespace archive {

// Why a session's row is not filed as its index entry says, or empty when it is. The slot, start
// stamp and dated columns are in no hash; the index name is (it holds the start): a row whose
// columns an edit made disagree with its name is told by this, not by verify. The words follow
// the session's own ("session 5 (...)"): "is filed under the start 2026-08-18 14:33:02, but its
// index entry says 2026-08-18 13:33:02", or "is filed under slot 612, which no index has".
QString FilingAgainstName(qint64 slot, qint64 stamp, bool dated, const QByteArray& name);

} // namespace archive
