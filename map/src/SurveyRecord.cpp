#include "map/SurveyRecord.h"

#include "report/FigureText.h"

#include <algorithm>
#include <cmath>

namespace {

// The earth's mean radius (IUGG), in metres.
constexpr double kEarthRadius = 6371008.8;
constexpr double kPi = 3.14159265358979323846;

bool HasFix(const RecordValue& record) {
    return record.HasGps && record.Gps.Located();
}

void ClosePiece(std::vector<TrackPiece>& pieces, TrackPiece& piece) {
    if (piece.empty()) {
        return;
    }
    std::stable_sort(piece.begin(), piece.end(),
                     [](const TrackPosition& a, const TrackPosition& b) {
                         return a.Record->Time < b.Record->Time;
                     });
    pieces.push_back(std::move(piece));
    piece.clear();
}

void AddOnce(std::vector<std::string>& texts, const std::string& text) {
    if (!text.empty() && std::find(texts.begin(), texts.end(), text) == texts.end()) {
        texts.push_back(text);
    }
}

// The alarm's gas and the reading of that gas, where the record names one.
void DescribeAlarm(const RecordValue& record, Indication& indication) {
    if (record.AlarmGas == RecordValue::kNoGas) {
        return;
    }
    const GasInfo& gas = GasInfoOf(record.AlarmGas);
    indication.Gas = gas.Name;
    for (const GasReading& reading : record.Readings) {
        if (reading.Code == record.AlarmGas) {
            indication.Value = WithUnit(ReadingFigure(reading), GasUnit(reading.Code));
            return;
        }
    }
}

bool PipelineGasFound(const RecordValue& record) {
    return record.PipelineResult == 'G' || record.PipelineResult == 'L';
}

} // namespace

bool IndicationOf(const RecordValue& record, Indication& indication) {
    indication = Indication();
    switch (record.Kind) {
    case RecordKind::Alarm:
        indication.Kind = IndicationKind::Alarm;
        DescribeAlarm(record, indication);
        break;
    case RecordKind::Barhole:
        if (record.Barhole.Peak <= 0) {
            return false;
        }
        indication.Kind = IndicationKind::Barhole;
        indication.Gas = record.Barhole.PeakGas ? "GAS" : "LEL";
        indication.Value = BarholePeakFigure(record.Barhole);
        break;
    case RecordKind::PipelineTest:
        if (!PipelineGasFound(record)) {
            return false;
        }
        indication.Kind = IndicationKind::PipelineGas;
        indication.Gas = record.PipelineResult == 'L' ? "LEL" : "GAS";
        indication.Value = PipelineFigure(record);
        break;
    default:
        return false;
    }
    indication.Time = record.Time;
    indication.Located = HasFix(record);
    if (indication.Located) {
        indication.Latitude = record.Gps.Latitude();
        indication.Longitude = record.Gps.Longitude();
    }
    return true;
}

namespace {

void CountSurvey(const RecordValue& record, SessionSurvey& survey) {
    ++survey.SurveyRecords;
    if (HasFix(record)) {
        ++survey.Fixes;
    }
    if (!record.Stamped) {
        return;
    }
    if (!survey.HasSurveyTime) {
        survey.FirstSurvey = survey.LastSurvey = record.Time;
        survey.HasSurveyTime = true;
    }
    survey.FirstSurvey = std::min(survey.FirstSurvey, record.Time);
    survey.LastSurvey = std::max(survey.LastSurvey, record.Time);
}

} // namespace

std::vector<TrackPiece> TrackPieces(const SessionValues& session) {
    std::vector<TrackPiece> pieces;
    TrackPiece piece;
    for (const RecordValue& record : session.Records) {
        const bool off =
            record.Kind == RecordKind::SwitchOff || record.Kind == RecordKind::SwitchOn;
        if (off || (record.Kind == RecordKind::Survey && !HasFix(record))) {
            ClosePiece(pieces, piece);
        } else if (record.Kind == RecordKind::Survey) {
            piece.push_back({record.Gps.Latitude(), record.Gps.Longitude(), &record});
        }
    }
    ClosePiece(pieces, piece);
    return pieces;
}

double GreatCircleMetres(double latitude1, double longitude1, double latitude2, double longitude2) {
    const double toRadians = kPi / 180.0;
    const double phi1 = latitude1 * toRadians;
    const double phi2 = latitude2 * toRadians;
    const double halfDPhi = (phi2 - phi1) / 2;
    const double halfDLambda = (longitude2 - longitude1) * toRadians / 2;
    const double h = std::sin(halfDPhi) * std::sin(halfDPhi) + std::cos(phi1) * std::cos(phi2) *
                                                                   std::sin(halfDLambda) *
                                                                   std::sin(halfDLambda);
    // Rounding can carry h a hair past 1 for antipodal points.
    return 2 * kEarthRadius * std::asin(std::sqrt(std::min(1.0, h)));
}

double RouteMetres(const std::vector<TrackPiece>& pieces) {
    double metres = 0;
    for (const TrackPiece& piece : pieces) {
        for (size_t i = 1; i < piece.size(); ++i) {
            metres += GreatCircleMetres(piece[i - 1].Latitude, piece[i - 1].Longitude,
                                        piece[i].Latitude, piece[i].Longitude);
        }
    }
    return metres;
}

const char* IndicationKindWord(IndicationKind kind) {
    switch (kind) {
    case IndicationKind::Alarm:
        return "alarm";
    case IndicationKind::Barhole:
        return "barhole";
    case IndicationKind::PipelineGas:
        return "pipeline gas";
    }
    return "";
}

double SessionSurvey::Coverage() const {
    return SurveyRecords > 0 ? static_cast<double>(Fixes) / SurveyRecords : 0.0;
}

double SurveyTotals::Coverage() const {
    return SurveyRecords > 0 ? static_cast<double>(Fixes) / SurveyRecords : 0.0;
}

SessionSurvey SurveySession(const SessionValues& session, const std::string& instrument,
                            const LogFilter& filter) {
    SessionSurvey survey;
    survey.Slot = session.Slot;
    survey.Instrument = instrument;
    const std::vector<TrackPiece> pieces = TrackPieces(session);
    survey.RouteMetres = RouteMetres(pieces);
    survey.Pieces = static_cast<int32_t>(pieces.size());
    Indication indication;
    for (const RecordValue& record : session.Records) {
        if (record.Kind == RecordKind::Survey) {
            CountSurvey(record, survey);
        } else if (record.Kind == RecordKind::UserName) {
            AddOnce(survey.Users, record.Text);
        } else if (record.Kind == RecordKind::JobNumber) {
            AddOnce(survey.JobNumbers, record.Text);
        } else if (FilterShows(filter, record) && IndicationOf(record, indication)) {
            survey.Indications.push_back(indication);
        }
    }
    survey.SurveyedSeconds = survey.LastSurvey - survey.FirstSurvey;
    return survey;
}

std::vector<SessionSurvey> SurveysOf(const std::vector<SessionValues>& sessions,
                                     const std::vector<SurveyHeading>& headings,
                                     const LogFilter& filter) {
    std::vector<SessionSurvey> surveys;
    surveys.reserve(sessions.size());
    for (size_t i = 0; i < sessions.size(); ++i) {
        const SurveyHeading heading = i < headings.size() ? headings[i] : SurveyHeading();
        surveys.push_back(SurveySession(sessions[i], heading.Naming.Instrument, filter));
        surveys.back().Day = heading.Naming.Day;
        surveys.back().Start = heading.Naming.Start;
        surveys.back().RegisterStatus = heading.RegisterStatus;
    }
    return surveys;
}

SurveyTotals SumSurveys(const std::vector<SessionSurvey>& surveys) {
    SurveyTotals totals;
    for (const SessionSurvey& survey : surveys) {
        ++totals.Sessions;
        totals.RouteMetres += survey.RouteMetres;
        totals.SurveyRecords += survey.SurveyRecords;
        totals.Fixes += survey.Fixes;
        totals.SurveyedSeconds += survey.SurveyedSeconds;
        totals.Indications += static_cast<int32_t>(survey.Indications.size());
    }
    return totals;
}
