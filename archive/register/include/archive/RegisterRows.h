#pragma once

// The instrument register's rows in the archive: each session's tests as the register's decoder
// made them (one row per test, and their outcomes packed in a column of the session, marked with
// the decoder's version), the instruments with their own service intervals, and the few facts of
// the sessions that the register shows. What the rows mean is the register's; this reads and
// writes them on the archive's connection, so that no other module runs SQL on it.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "archive/IntervalStore.h"

class LogImage;

namespace archive {

class SessionArchive;

// One test of a session as kept; its kind and result are the register's words for them.
struct StoredTest {
    QString kind;
    int sensor = 0;
    qint64 stamp = 0;
    QString result;
    QString reading;
    QString user;
    QString job;
};

// What the register's decoder makes of one session.
struct MadeTests {
    std::vector<StoredTest> tests;
    QString packed; // the outcomes that decide the status, in the register's packing
};

// Makes the tests of the session in `slot` of an image that holds it as if just uploaded.
using TestMaker = std::function<MadeTests(LogImage& image, int16_t slot)>;

struct RegisterInstrument {
    qint64 id = 0;
    QString name; // what the archive calls it
    QString serial;
    QString firmware;
    IntervalDays own; // its own intervals; empty where it follows the archive's
};

// A session as the register weighs it.
struct TestedSession {
    qint64 instrumentId = 0;
    qint64 id = 0;
    bool dated = false;
    uint32_t stamp = 0;
    QString packed; // as MadeTests::packed; empty until made
};

// Which kept tests to read; empty and unset members filter nothing.
struct TestQuery {
    QStringList kinds;
    std::optional<QString> result;
    std::optional<qint64> fromStamp; // inclusive
    std::optional<qint64> beforeStamp;
    std::vector<qint64> instruments;
    QString user; // part of the user's name, any case
    QString job;  // part of the job number, any case
};

struct KeptTest {
    qint64 id = 0;
    qint64 sessionId = 0;
    qint64 instrumentId = 0;
    QString instrument; // what the archive calls it
    QString serial;
    StoredTest test;
};

// A session with an alarm: when it was switched on, and the gases of its alarms.
struct AlarmSession {
    bool dated = false;
    uint32_t stamp = 0; // meaningless when undated
    QStringList gases;
};

struct SessionStartRow {
    qint64 id = 0;
    uint32_t stamp = 0;
    QStringList jobs;
    QStringList users;
};

// Every call returns false (or -1) on a database error and leaves the message in Error().
class RegisterRows {
public:
    // The archive must be open, and stay so while this is used.
    explicit RegisterRows(SessionArchive& archive);

    // Makes again the tests of every session (of `instrument`, when not 0) not marked with
    // `version`: a few hundred sessions per transaction, so that memory stays bounded and a killed
    // program loses at most those. A session replaced while its tests were made keeps its old
    // mark and is made on the next call. Returns how many were marked, or -1.
    int RemakeTests(int version, qint64 instrument, const TestMaker& make);

    // The archive's own service intervals; empty where it sets none.
    bool ArchiveIntervals(IntervalDays& days);
    // Every instrument (or those in `only`, when not empty), in the order of what the archive
    // calls them.
    bool Instruments(const std::vector<qint64>& only, std::vector<RegisterInstrument>& out);
    // Every session (of those instruments in `only`, when not empty), an instrument's together and
    // in the order of their switch-on.
    bool ForEachTested(const std::vector<qint64>& only,
                       const std::function<void(const TestedSession&)>& take);
    // In time order.
    bool Tests(const TestQuery& query, std::vector<KeptTest>& out);
    // Every session of the instrument with an alarm, dated or not.
    bool AlarmSessions(qint64 instrument, std::vector<AlarmSession>& out);
    // These sessions in the order given; ids the archive does not hold are left out.
    bool SessionStarts(const std::vector<int64_t>& ids, std::vector<SessionStartRow>& out);

    const QString& Error() const { return m_error; }

private:
    SessionArchive& m_archive;
    QString m_error;
};

} // namespace archive
