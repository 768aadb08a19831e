// What verify holds a chain's sign-offs and personal keys to.
#include "PersonalSignOffs.h"

#include "archive/HistoryChain.h"
#include "archive/HistorySigning.h"
#include "archive/KeyBinding.h"

namespace archive {
namespace {

QString KeyWords(const QString& publicHex) {
    const QString fingerprint = KeyFingerprint(publicHex);
    return fingerprint.isEmpty() ? QString("an unreadable key") : "key " + fingerprint;
}

} // namespace

void PersonalSignOffs::CheckBinding(const HistoryRow& row, const QString& at,
                                    QStringList& mismatches) {
    QString publicHex;
    QString name;
    if (!ReadBindingText(row.detail, publicHex, name)) {
        mismatches << at + " is a key's binding whose text does not bind a key to a name";
        return;
    }
    const QString bound =
        QString("%1 binds key %2 to %3").arg(at, KeyFingerprint(publicHex), QuotedName(name));
    if (row.signer != publicHex) {
        mismatches << bound + ", but is signed by " + KeyWords(row.signer) +
                          " (a key binds its own name)";
        return;
    }
    const auto before = m_bound.constFind(publicHex);
    if (before != m_bound.constEnd()) {
        mismatches << QString("%1, which row %2 bound to %3 already (a printed name, once bound,"
                              " stays)")
                          .arg(bound)
                          .arg(before->row)
                          .arg(QuotedName(before->name));
        return;
    }
    if (m_signers.contains(publicHex)) {
        mismatches << bound + ", which signed rows of the chain before it (a personal key's first"
                              " row is its binding)";
        return;
    }
    m_bound.insert(publicHex, {name, row.seq});
}

void PersonalSignOffs::Check(const HistoryRow& row, const QString& at, QStringList& mismatches) {
    ++m_rows;
    m_lastSeq = row.seq;
    if (m_ruleFrom == 0 && IsPersonalRuleRow(row)) {
        m_ruleFrom = row.seq;
    }
    const bool binding = row.kind == ChangeKindName(ChangeKind::Signer);
    const bool signOff = row.kind == ChangeKindName(ChangeKind::SignOff);
    if (binding) {
        CheckBinding(row, at, mismatches);
    }
    const auto personal = m_bound.constFind(row.signer);
    if (signOff && m_ruleFrom > 0 && personal == m_bound.constEnd()) {
        mismatches << QString("%1 is a sign-off signed by %2, which no row before it binds to a"
                              " printed name: from row %3 on, a sign-off is signed by a personal"
                              " key")
                          .arg(at, row.signer.isEmpty() ? QString("no key") : KeyWords(row.signer))
                          .arg(m_ruleFrom);
    } else if (!binding && !signOff && personal != m_bound.constEnd()) {
        mismatches << QString("%1 (%2) is signed by %3, the personal key of %4: a personal key"
                              " signs only its binding and sign-offs")
                          .arg(at, row.kind, KeyWords(row.signer), QuotedName(personal->name));
    }
    if (!row.signer.isEmpty()) {
        m_signers.insert(row.signer);
    }
}

void PersonalSignOffs::Finish(const QString& whose, VerifySummary& summary) const {
    if (m_rows == 0 || m_ruleFrom == 1) {
        return;
    }
    summary.signing << (m_ruleFrom == 0
                            ? QString("%1history rows 1 to %2 were written before sign-offs were"
                                      " signed by personal keys: its sign-offs are checked as"
                                      " before")
                                  .arg(whose)
                                  .arg(m_lastSeq)
                            : QString("%1history rows 1 to %2 were written before sign-offs were"
                                      " signed by personal keys; a sign-off needs one from row %3"
                                      " on")
                                  .arg(whose)
                                  .arg(m_ruleFrom - 1)
                                  .arg(m_ruleFrom));
}

void PersonalSignOffs::RequireRule(VerifySummary& summary) const {
    if (m_rows == 0 || m_ruleFrom > 0) {
        return;
    }
    summary.mismatches << QString("history rows 1 to %1 hold no row saying that sign-offs are"
                                  " signed by personal keys, which every history of this schema"
                                  " has (the row was taken out)")
                              .arg(m_lastSeq);
}

} // namespace archive
