#pragma once

// The survey record of a session: the route walked, the time surveyed, how many survey records
// had a position, and every indication of gas with its place. Plain C++, from the report
// library's typed record values (report/SessionValues.h).
//
//     SessionValues session = DecodeSessionValues(source, slot, modes);
//     SessionSurvey survey = SurveySession(session, InstrumentCalled(serial, name));
//     double metres = survey.RouteMetres;
//
// The track is cut into pieces by TrackPieces alone; the route, the GPX export's track segments
// and the map all take their pieces from it, so that they always agree.

#include "report/SessionName.h"
#include "report/SessionValues.h"

#include <cstdint>
#include <string>
#include <vector>

// One position of the track: a survey record with a valid fix.
struct TrackPosition {
    double Latitude = 0;  // WGS 84 decimal degrees, south negative
    double Longitude = 0; // west negative
    const RecordValue* Record = nullptr;
};
using TrackPiece = std::vector<TrackPosition>;

// The unbroken pieces of a session's track: the survey records with a valid fix (GpsValue's
// Located), each piece in time order (records of equal time keep stream order), the pieces in
// stream order. A piece ends where the instrument was switched off or on, and at a survey record
// without a valid fix; a track never runs from one session into the next. No piece is empty.
// The positions point into `session`, which must outlive them.
std::vector<TrackPiece> TrackPieces(const SessionValues& session);

// The great-circle distance in metres between two positions in decimal degrees (haversine, on a
// sphere of the earth's mean radius, 6,371,008.8 m: within half a percent of the ellipsoid).
double GreatCircleMetres(double latitude1, double longitude1, double latitude2, double longitude2);

// Metres along the pieces: summed within each piece, never across a break.
double RouteMetres(const std::vector<TrackPiece>& pieces);

enum class IndicationKind : uint8_t {
    Alarm,       // an alarm, the gas that raised it named
    Barhole,     // a barhole test with a peak above zero
    PipelineGas, // a pipeline gas test that found pipeline gas
};
// "alarm", "barhole", "pipeline gas".
const char* IndicationKindWord(IndicationKind kind);

// An indication of gas. Gas is the report's word for it; Value its figure and unit as every view
// but the report states them (report/FigureText.h).
struct Indication {
    IndicationKind Kind = IndicationKind::Alarm;
    int64_t Time = 0;     // as RecordValue::Time: the instrument's wall clock
    bool Located = false; // the record has a valid fix; else the place is unknown
    double Latitude = 0;
    double Longitude = 0;
    std::string Gas;   // "LEL", "CO", ...; a barhole or pipeline test: "GAS" or "LEL"
    std::string Value; // "2.5 % LEL", "EEEE ppm", "0.5 % gas", "12.0 % LEL"
};

// The record's indication of gas, if it is one: the one test of what counts, which the survey
// record's list and the map's markers both ask.
bool IndicationOf(const RecordValue& record, Indication& indication);

struct SessionSurvey {
    int16_t Slot = 0;
    std::string Instrument; // as given (InstrumentCalled); empty where none is known
    // Its day ("YYYY-MM-DD") and start ("HH:MM:SS") as its index entry gives them, which the
    // record names it by with its instrument (SessionCalled); an empty day: undated.
    std::string Day;
    std::string Start;
    // The instrument's register status at the session's switch-on, as the register words it
    // (ServiceStatusWord: "ok", "due", ...); empty where it is not known (no archive).
    std::string RegisterStatus;
    // The instrument's texts as they are, in its code page (Windows-1252), in stream order,
    // each once.
    std::vector<std::string> Users;
    std::vector<std::string> JobNumbers;
    double RouteMetres = 0;
    int32_t Pieces = 0;
    int32_t SurveyRecords = 0;
    int32_t Fixes = 0; // survey records with a valid fix
    // From the earliest to the latest time-stamped survey record, in seconds; HasSurveyTime
    // false without one.
    bool HasSurveyTime = false;
    int64_t FirstSurvey = 0;
    int64_t LastSurvey = 0;
    int64_t SurveyedSeconds = 0;
    std::vector<Indication> Indications; // in stream order

    // Fixes / survey records, 0 to 1; HasCoverage false without survey records.
    bool HasCoverage() const { return SurveyRecords > 0; }
    double Coverage() const;
};

// The record of one session. `filter` leaves out the indications of records it hides, as the
// report beside the record leaves out their lines (alarms); the track, the route and the counts
// of survey records, which no filter hides, stay whole.
SessionSurvey SurveySession(const SessionValues& session, const std::string& instrument,
                            const LogFilter& filter = LogFilter());

// What heads a session's survey record beyond its records, as whoever decoded it knows it.
struct SurveyHeading {
    SessionNaming Naming;
    // The register's status at its switch-on (ServiceStatusWord); empty where it is not known.
    std::string RegisterStatus;
};

// The survey record of `sessions`, each headed by the heading in the same place (none where
// `headings` is shorter): the one record that the Map tab, the report's map page, the PDFs and
// `survey` write.
std::vector<SessionSurvey> SurveysOf(const std::vector<SessionValues>& sessions,
                                     const std::vector<SurveyHeading>& headings,
                                     const LogFilter& filter = LogFilter());

// Several sessions together (a Full Day, a search): the sums of their figures.
struct SurveyTotals {
    int32_t Sessions = 0;
    double RouteMetres = 0;
    int32_t SurveyRecords = 0;
    int32_t Fixes = 0;
    int64_t SurveyedSeconds = 0; // the sum of each session's time surveyed
    int32_t Indications = 0;

    bool HasCoverage() const { return SurveyRecords > 0; }
    double Coverage() const;
};
SurveyTotals SumSurveys(const std::vector<SessionSurvey>& surveys);
