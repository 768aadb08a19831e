#include "SessionTips.h"

QString SessionTip(const SessionTags& tags) {
    return QString::fromStdString(TagTip(tags));
}
