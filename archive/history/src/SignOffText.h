#pragma once

#include <QString>

#include "archive/HistorySigning.h"

namespace archive {

// A sign-off's history row says in its text what it covers, so that the row's hash and signature
// cover the scope too: "signed off as \"reviewed\": instrument \"van 7\" from 2026-01-01 to
// 2026-01-31, 12 sessions" ("every instrument" when not narrowed; " from DAY", " up to DAY" for
// a period open at one end). A quote or backslash in the meaning or the instrument is written
// after a backslash, so that the text reads back as it was meant.
QString SignOffText(const SignOffScope& scope, qint64 sessions);

// What of the sessions it covers: "instrument \"van 7\" from 2026-01-01 to 2026-01-31".
QString SignOffScopeText(const SignOffScope& scope);

// The scope such a text says; false for a text that is not one.
bool ReadSignOffText(const QString& text, SignOffScope& scope);

} // namespace archive
