#pragma once

#include <QByteArray>
#include <QString>

namespace archive {

// The files that hold a user's signing keys (the operating-system user's, a personal one), read
// and made under the same rules: anyone who can read a key can sign as its owner, and anyone who
// can write its folder can put a key of their own in its place.

// The key file's bytes (at most `mostBytes`), read only when its folder belongs to this user and
// nobody else may write it, and the file is a regular one of this user's own that nobody else may
// read or write. The file is opened without following a link, and checked on what was opened, not
// on its name. `what` names it in the messages ("the signing key"); `missing`: there is no such
// file (or folder), which the caller may make.
bool ReadKeyFile(const QString& file, const QString& what, qint64 mostBytes, QByteArray& text,
                 bool& missing, QString& error);

// Makes the key file's folder when there is none, private to this user (mode 0700), and checks
// it as ReadKeyFile does.
bool MakeKeyFolder(const QString& file, const QString& what, QString& error);

// Writes a new key file (mode 0600), never over one that is there: two writers making a key at once
// both end with the one that got there first (`existed` set for the second), and a reader never
// sees half a key.
bool PutNewKeyFile(const QString& file, const QString& what, const QByteArray& text, bool& existed,
                   QString& error);

// A file path as the messages show it.
QString ShownPath(const QString& file);

} // namespace archive
