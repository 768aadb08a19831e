// What it is for a session's bytes to have grown: the one rule the writers, the sync and verify
// share.
#include "archive/SessionGrowth.h"

namespace archive {

int UsedLength(const QByteArray& sector) {
    int used = sector.size();
    while (used > 0 && static_cast<unsigned char>(sector[used - 1]) == 0xFF) {
        --used;
    }
    return used;
}

bool Extends(const QByteArray& longer, const QByteArray& shorter) {
    const int used = UsedLength(shorter);
    return UsedLength(longer) > used && longer.left(used) == shorter.left(used);
}

bool Grows(const QByteArray& oldName, const QByteArray& oldSector, const QByteArray& newName,
           const QByteArray& newSector) {
    return oldName == newName && Extends(newSector, oldSector);
}

} // namespace archive
