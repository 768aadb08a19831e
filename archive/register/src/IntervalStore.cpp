// The service intervals' one writer: a change and its history row together, and no row for what
// is no change.
#include "archive/IntervalStore.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include "archive/HistoryChain.h"
#include "archive/SessionArchive.h"
#include "archive/SqlSteps.h"

namespace archive {
namespace {

// The values of one scope's row, empty where it sets none (or has no row).
bool ReadScope(QSqlDatabase& db, qint64 scope, IntervalDays& days, QString& error) {
    QSqlQuery query(db);
    if (!Run(query,
             "SELECT bump_days, calibration_days, warning_days FROM service_intervals"
             " WHERE scope = ?",
             {scope}, error)) {
        return false;
    }
    days = IntervalDays();
    if (query.next()) {
        const auto value = [&query](int column) {
            return query.isNull(column) ? std::optional<int>() : query.value(column).toInt();
        };
        days.bumpDays = value(0);
        days.calibrationDays = value(1);
        days.warningDays = value(2);
    }
    query.finish();
    return true;
}

QVariant Optional(const std::optional<int>& value) {
    return value ? QVariant(*value) : QVariant(QMetaType::fromType<int>());
}

} // namespace

bool ReadServiceIntervals(SessionArchive& archive, qint64 scope, IntervalDays& days,
                          QString& error) {
    QSqlDatabase db = QSqlDatabase::database(archive.ConnectionName(), false);
    return ReadScope(db, scope, days, error);
}

IntervalWrite SetServiceIntervals(SessionArchive& archive, qint64 scope, const IntervalDays& change,
                                  const IntervalDays& fallback, QString& error) {
    if (!archive.IsOpen()) {
        error = "the archive is not open";
        return IntervalWrite::Failed;
    }
    QSqlDatabase db = QSqlDatabase::database(archive.ConnectionName(), false);
    const bool server = archive.IsServer();
    SqlTransaction transaction(db, server);
    if (!transaction.Begun(error)) {
        return IntervalWrite::Failed;
    }
    IntervalDays own;
    IntervalDays inherited = fallback;
    if (!ReadScope(db, scope, own, error)) {
        return IntervalWrite::Failed;
    }
    if (scope != 0) {
        IntervalDays shared;
        if (!ReadScope(db, 0, shared, error)) {
            return IntervalWrite::Failed;
        }
        inherited.bumpDays = shared.bumpDays ? shared.bumpDays : fallback.bumpDays;
        inherited.calibrationDays =
            shared.calibrationDays ? shared.calibrationDays : fallback.calibrationDays;
        inherited.warningDays = shared.warningDays ? shared.warningDays : fallback.warningDays;
    }
    struct Field {
        const char* text;
        const std::optional<int>& given;
        std::optional<int>& own;
        const std::optional<int>& inherited;
    } fields[] = {
        {"bump test every %1 days", change.bumpDays, own.bumpDays, inherited.bumpDays},
        {"calibration every %1 days", change.calibrationDays, own.calibrationDays,
         inherited.calibrationDays},
        {"warning %1 days before a calibration", change.warningDays, own.warningDays,
         inherited.warningDays},
    };
    QStringList said;
    for (Field& f : fields) {
        const std::optional<int> inForce = f.own ? f.own : f.inherited;
        if (!f.given || f.given == inForce) {
            continue;
        }
        said << QString(f.text).arg(*f.given) +
                    (inForce ? QString(" (was %1)").arg(*inForce) : QString());
        f.own = f.given;
    }
    if (said.isEmpty()) {
        return IntervalWrite::Unchanged;
    }
    QString scopeWords = "the archive";
    if (scope != 0) {
        QString words;
        if (!DescribeInstrument(db, scope, words, error)) {
            return IntervalWrite::Failed;
        }
        scopeWords = "instrument " + words;
    }
    QSqlQuery write(db);
    const bool done =
        Run(write,
            "INSERT INTO service_intervals (scope, bump_days, calibration_days, warning_days)"
            " VALUES (?, ?, ?, ?) ON CONFLICT (scope) DO UPDATE SET"
            " bump_days = excluded.bump_days, calibration_days = excluded.calibration_days,"
            " warning_days = excluded.warning_days",
            {scope, Optional(own.bumpDays), Optional(own.calibrationDays),
             Optional(own.warningDays)},
            error) &&
        AppendHistory(db, server, ChangeKind::Interval,
                      "intervals of " + scopeWords + ": " + said.join(", "), {}, error) &&
        transaction.Commit(error);
    return done ? IntervalWrite::Changed : IntervalWrite::Failed;
}

} // namespace archive
