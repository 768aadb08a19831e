#pragma once

#include <QString>

#include "core/SessionTags.h"

// The tooltip of a session node in either tree: what its tags mean (TagTip).
QString SessionTip(const SessionTags& tags);
