#pragma once

#include <QString>

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

// A name as the views show it: quoted, a quote or backslash after a backslash, and a control
// character as \xHH, so that no stored name can make a line look like another.
QString QuotedName(const QString& name);

} // namespace archive
