#pragma once

#include <QMap>
#include <QString>
#include <QVariant>
#include <initializer_list>

class QSqlDatabase;

namespace archive {

// A history row as one archive stores it, its sessions column as text: what a verify against
// another archive compares, column by column, with the same row as the other holds it.
struct StoredRow {
    qint64 seq = 0;
    qint64 at = 0;
    QString user, host, kind, detail, sessions, previous, hash;
    QString signer, signature; // empty where either archive's schema has no signatures
    // The columns its hash covers.
    bool SameText(const StoredRow& o) const {
        return seq == o.seq && at == o.at && user == o.user && host == o.host && kind == o.kind &&
               detail == o.detail && sessions == o.sessions && previous == o.previous &&
               hash == o.hash;
    }
    bool operator==(const StoredRow& o) const {
        return SameText(o) && signer == o.signer && signature == o.signature;
    }
};

// The rows `sql` selects ("SELECT %1 FROM ..."; %1 the columns, the signatures' only with
// `signing`), by their seq.
bool ReadStored(QSqlDatabase& db, const QString& sql, std::initializer_list<QVariant> values,
                bool signing, QMap<qint64, StoredRow>& rows, QString& error);

// What the row's text hashes to now; false where its list of sessions is unreadable.
bool HashOfText(const StoredRow& row, QString& hash);

// Why the row as the other archive holds it (`there`) is not the row as this one holds it
// (`here`), whichever of them was changed: the hash a changed text hashes to against the hash it
// carries ("there it hashes to A, here to B", "here it hashes to A, but carries the hash B",
// "there it hashes to A as here, but carries the hash B"), or, where the text is the same, the
// column of its signature that differs (the row signed again on one side).
QString HowItDiffers(const StoredRow& there, const StoredRow& here);

// A consistent read of one archive for the whole check; rolled back when done.
class ReadSnapshot {
public:
    ReadSnapshot(QSqlDatabase& db, bool server) : m_db(db), m_server(server) {}
    ~ReadSnapshot();
    ReadSnapshot(const ReadSnapshot&) = delete;
    ReadSnapshot& operator=(const ReadSnapshot&) = delete;
    bool Begun(QString& error);

private:
    QSqlDatabase& m_db;
    bool m_server;
    bool m_open = false;
};

} // namespace archive
