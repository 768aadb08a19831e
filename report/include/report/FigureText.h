#pragma once

// Units and figures as every view but the RTF report states them: the exports, the chart, the map
// and its survey record, the register's events and the windows. Each unit is spelt one way
// (UnitText) and each figure is as precise as the record holds it, so that one reading never
// reads two ways. The report keeps its designed texts ("Pk = 60 %Gas", "  500   501").

#include "report/SessionValues.h"

#include <cstdint>
#include <string>

enum class ReadingUnit : uint8_t {
    None, // the record does not say
    PercentLel,
    PercentGas,
    Percent, // the oxygen's and other gases' percent by volume
    Ppm,
    MilligramsPerCubicMetre,
};

// "% LEL", "% gas", "%", "ppm", "mg/m3"; empty for None. The one spelling of each unit.
const char* UnitText(ReadingUnit unit);
// A barhole reading's or a pipeline gas test's unit: percent gas, else percent LEL.
ReadingUnit PercentUnit(bool gas);
// The unit of gas code `code`'s readings (GasInfo::Unit spells it); None where it is not known.
ReadingUnit GasUnit(unsigned code);
// The unit of a tested sensor's values: its gas's unit where the record states their scale. A
// calibration or field calibration of the record version without results holds two numbers whose
// scale it never states (the report prints them as they are): they have none.
ReadingUnit SensorValueUnit(unsigned code, TestResult result);

// "60.3 % gas": a figure and its unit; the figure alone where the unit is None.
std::string WithUnit(const std::string& figure, ReadingUnit unit);
// A stored number divided by `divisor` (1, 10 or 100) with the decimals that gives: "30", "60.3",
// "60.0", "2.55", "-0.3".
std::string ScaledFigure(int32_t stored, int32_t divisor);
// A reading's figure by its gas's scale; "EEEE" for the over-range mark, as the report prints it.
std::string ReadingFigure(const GasReading& reading);
// A barhole's peak and sustained readings and a pipeline gas test's reading, with their units:
// "60.3 % gas", "4.5 % LEL", "95.0 % LEL".
std::string BarholePeakFigure(const BarholeValue& barhole);
std::string BarholeSustainedFigure(const BarholeValue& barhole);
std::string PipelineFigure(const RecordValue& pipelineTest);

// A tested sensor's values as its record holds them, each a figure of the sensor's scale ("50.0",
// "49.8"); a bump test holds one, so Second stays empty. A sensor not tested has none: the zeros
// its record holds there were never measured, and a view that shows them reads as a reading of 0.
struct SensorFigures {
    std::string First;
    std::string Second;
};
SensorFigures TestedSensorFigures(const SensorValue& sensor);
