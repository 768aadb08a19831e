#pragma once

#include <QString>

#include "archive/ArchiveHistory.h"

namespace archive {

// How a chain binds a personal key to the printed name it signs with: a row of its own (kind
// "signer"), signed by that key, written just before the key's first sign-off in the chain and in
// the same transaction. Its text says both:
//     key 64HEX is the personal key of "Dr Jane QA"
// (a quote or backslash in the name after a backslash, as a sign-off's texts have them). The row's
// hash and signature cover it, so the name cannot be changed afterwards.
QString BindingText(const QString& publicHex, const QString& name);
// The key and name such a text says; false for a text that is not one.
bool ReadBindingText(const QString& text, QString& publicHex, QString& name);

// From which row a chain's sign-offs must be signed by personal keys: the first row whose kind is
// "started" and whose text is kPersonalRule or ends with "; " and it. This program writes it in
// the row that begins a new archive's history, and as a row of its own when it first opens an
// archive made before (schema version 12), so that the sign-offs written before keep verifying as
// they did.
extern const char kPersonalRule[];
bool IsPersonalRuleRow(const HistoryRow& row);

// A name as the views show it: quoted, a quote or backslash after a backslash, and a control
// character as \xHH, so that no stored name can make a line look like another.
QString QuotedName(const QString& name);

} // namespace archive
