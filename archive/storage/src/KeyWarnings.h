#pragma once

#include <QString>

class QSqlDatabase;

namespace archive {

class SigningKey;

// What is said on standard error when the operating-system user's key about to sign a row of this
// archive's own chain is not the one the archive knows for the row's writer, so that the writer
// learns it before verify and the trusted lists do: a key just made (`made`) where rows of this
// chain by the same user and computer are signed by another key (its file was lost or moved: the
// new key is a new signer), or a key whose first row in the chain names another writer than
// `user`@`host` ($USER set to another name, or a configuration folder shared). The names are read
// from the chain's rows, which their hashes cover; history_keys' copies of them are in no hash.
// False only when the archive cannot be read.
bool WarnOfUserKey(QSqlDatabase& db, const SigningKey& key, bool made, const QString& user,
                   const QString& host, QString& error);

} // namespace archive
