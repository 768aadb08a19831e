#pragma once

#include <QByteArray>
#include <QString>

namespace archive {

// Milliseconds since 1970, UTC: when a row was written.
qint64 Now();

// Qt binds a null byte array or text as SQL NULL; an empty one must stay an empty value.
QByteArray Bytes(const QByteArray& bytes);
QString Text(const QString& text);

// The four mode names in one column, each ended by a zero byte.
QByteArray JoinedNames(const QByteArray (&names)[4]);
void SplitNames(const QByteArray& joined, QByteArray (&names)[4]);

} // namespace archive
