#include "map/SessionMap.h"

#include "orvtime/TimeFormat.h"
#include "report/FigureText.h"
#include "textcodec/Cp1252.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace mapping {

namespace {

bool HasPlace(const RecordValue& record) {
    return record.HasGps && record.Gps.Located();
}

bool ReadsGas(const RecordValue& record) {
    switch (record.Kind) {
    case RecordKind::Survey:
    case RecordKind::Alarm:
    case RecordKind::Manual:
    case RecordKind::Timed:
        return true;
    default:
        return false;
    }
}

MapGas GasOf(const GasReading& reading) {
    const GasInfo& info = GasInfoOf(reading.Code);
    return MapGas{info.Name, info.Unit};
}

// The top of a gas code's sensor range ("0..100 % LEL": 100); 0 where its range names none.
double FullScaleOf(unsigned code) {
    const char* range = GasInfoOf(code).Range;
    const char* dots = std::strstr(range, "..");
    if (dots == nullptr) {
        return 0;
    }
    // Whole numbers, read alike in every locale.
    char* end = nullptr;
    const long top = std::strtol(dots + 2, &end, 10);
    return end != dots + 2 && top > 0 ? static_cast<double>(top) : 0;
}

// The widest sensor range of `gas` among the readings at a place: the codes of one gas may
// differ in range (flammable ppm to 1000 or to 10000).
double FullScaleRead(const std::vector<SessionValues>& sessions, const MapGas& gas) {
    double widest = 0;
    for (const SessionValues& session : sessions) {
        for (const RecordValue& record : session.Records) {
            if (!HasPlace(record)) {
                continue;
            }
            for (const GasReading& reading : record.Readings) {
                if (GasOf(reading) == gas) {
                    widest = std::max(widest, FullScaleOf(reading.Code));
                }
            }
        }
    }
    return widest;
}

bool SameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

SceneRecord RecordOf(size_t session, size_t index, const RecordValue& record) {
    SceneRecord ref;
    ref.session = static_cast<int32_t>(session);
    ref.record = static_cast<int32_t>(index);
    ref.stamped = record.Stamped;
    ref.stamp = record.Stamp;
    return ref;
}

// The point of a record at its place, with its reading of `gas` where it has one (the first, as
// the report's columns read them first).
TrackPoint PointOf(const RecordValue& record, const MapGas& gas, const SceneRecord& ref) {
    TrackPoint point;
    point.position = GeoPoint{record.Gps.Latitude(), record.Gps.Longitude()};
    point.time = record.Time;
    point.hasValue = false;
    point.record = ref;
    for (const GasReading& reading : record.Readings) {
        if (GasOf(reading) == gas) {
            point.hasValue = true;
            point.overRange = reading.OverRange();
            point.value = point.overRange ? 0.0 : reading.Value();
            break;
        }
    }
    return point;
}

std::string Utf8(const std::string& instrumentText) {
    return FromCp1252(instrumentText).toStdString();
}

std::string Joined(const std::string& a, const std::string& b) {
    return a.empty() ? b : (b.empty() ? a : a + ' ' + b);
}

// The marker a record puts on the map, if it puts one there; GPS averages carry no fix of their
// own and are placed by the caller.
bool MarkerOf(const RecordValue& record, Marker& marker) {
    Indication indication;
    switch (record.Kind) {
    case RecordKind::Alarm:
        IndicationOf(record, indication);
        marker.kind = MarkerKind::Alarm;
        marker.label = Joined("Alarm", Joined(indication.Gas, indication.Value));
        return true;
    case RecordKind::Barhole:
        marker.kind = MarkerKind::Barhole;
        marker.label = "Barhole " + std::to_string(record.Barhole.Number) + ": " +
                       BarholePeakFigure(record.Barhole);
        return true;
    case RecordKind::PipelineTest:
        marker.kind = MarkerKind::PipelineGasTest;
        marker.label = "Pipeline test " + PipelineFigure(record);
        return true;
    case RecordKind::Manual:
        marker.kind = MarkerKind::ManualReading;
        marker.label = Utf8(record.Place);
        return true;
    default:
        return false;
    }
}

} // namespace

std::string MapGasText(const MapGas& gas) {
    return gas.unit.empty() ? gas.name : gas.name + " (" + gas.unit + ")";
}

std::vector<MapGas> GasesWithPlaces(const std::vector<SessionValues>& sessions,
                                    const LogFilter& filter) {
    std::vector<MapGas> gases;
    for (const SessionValues& session : sessions) {
        for (const RecordValue& record : session.Records) {
            if (!ReadsGas(record) || !HasPlace(record) || !FilterShows(filter, record)) {
                continue;
            }
            for (const GasReading& reading : record.Readings) {
                const MapGas gas = GasOf(reading);
                if (!gas.name.empty() &&
                    std::find(gases.begin(), gases.end(), gas) == gases.end()) {
                    gases.push_back(gas);
                }
            }
        }
    }
    return gases;
}

bool ChooseMapGas(const std::vector<MapGas>& gases, const std::string& asked, MapGas& chosen) {
    for (const MapGas& gas : gases) {
        if (asked.empty() || SameText(asked, gas.name) || SameText(asked, MapGasText(gas))) {
            chosen = gas;
            return true;
        }
    }
    return false;
}

MapScene SceneOfSessions(const std::vector<SessionValues>& sessions, const MapGas& gas,
                         const LogFilter& filter) {
    MapScene scene;
    scene.gas = gas.name;
    scene.unit = gas.unit;
    scene.fullScale = FullScaleRead(sessions, gas);
    for (size_t s = 0; s < sessions.size(); ++s) {
        const std::vector<RecordValue>& records = sessions[s].Records;
        for (const ::TrackPiece& track : TrackPieces(sessions[s])) {
            TrackPiece piece;
            for (const TrackPosition& position : track) {
                const size_t index = static_cast<size_t>(position.Record - records.data());
                piece.points.push_back(
                    PointOf(*position.Record, gas, RecordOf(s, index, *position.Record)));
            }
            scene.pieces.push_back(std::move(piece));
        }
        // A GPS average is taken standing still and holds no position of its own: it is drawn
        // where the last fix before it was, and says so.
        const RecordValue* lastPlace = nullptr;
        for (size_t i = 0; i < records.size(); ++i) {
            const RecordValue& record = records[i];
            if (!FilterShows(filter, record)) {
                continue;
            }
            const SceneRecord ref = RecordOf(s, i, record);
            if (record.Kind == RecordKind::GpsAverage) {
                if (lastPlace != nullptr) {
                    scene.markers.push_back(Marker{
                        MarkerKind::GpsAverage,
                        GeoPoint{lastPlace->Gps.Latitude(), lastPlace->Gps.Longitude()},
                        "GPS average (at the fix of " + FormatTime(lastPlace->Time, "%X") + ")",
                        ref});
                }
                continue;
            }
            if (record.Kind == RecordKind::SwitchOn || record.Kind == RecordKind::SwitchOff) {
                lastPlace = nullptr;
            }
            if (!HasPlace(record)) {
                continue;
            }
            lastPlace = &record;
            if (ReadsGas(record) && record.Kind != RecordKind::Survey) {
                scene.spots.push_back(PointOf(record, gas, ref));
            }
            Marker marker;
            if (MarkerOf(record, marker)) {
                marker.position = GeoPoint{record.Gps.Latitude(), record.Gps.Longitude()};
                marker.record = ref;
                scene.markers.push_back(std::move(marker));
            }
        }
    }
    return scene;
}

} // namespace mapping
