#include "report/FigureText.h"

#include <cstdio>
#include <cstdlib>

const char* UnitText(ReadingUnit unit) {
    switch (unit) {
    case ReadingUnit::PercentLel:
        return "% LEL";
    case ReadingUnit::PercentGas:
        return "% gas";
    case ReadingUnit::Percent:
        return "%";
    case ReadingUnit::Ppm:
        return "ppm";
    case ReadingUnit::MilligramsPerCubicMetre:
        return "mg/m3";
    case ReadingUnit::None:
        break;
    }
    return "";
}

ReadingUnit PercentUnit(bool gas) {
    return gas ? ReadingUnit::PercentGas : ReadingUnit::PercentLel;
}

ReadingUnit SensorValueUnit(unsigned code, TestResult result) {
    // Only the record versions that carry no result leave their values' scale unsaid.
    return result == TestResult::None ? ReadingUnit::None : GasUnit(code);
}

std::string WithUnit(const std::string& figure, ReadingUnit unit) {
    return unit == ReadingUnit::None ? figure : figure + ' ' + UnitText(unit);
}

std::string ScaledFigure(int32_t stored, int32_t divisor) {
    char text[32];
    const long long magnitude = std::llabs(static_cast<long long>(stored));
    const char* sign = stored < 0 ? "-" : "";
    if (divisor == 100) {
        std::snprintf(text, sizeof text, "%s%lld.%02lld", sign, magnitude / 100, magnitude % 100);
    } else if (divisor == 10) {
        std::snprintf(text, sizeof text, "%s%lld.%lld", sign, magnitude / 10, magnitude % 10);
    } else {
        std::snprintf(text, sizeof text, "%ld", static_cast<long>(stored));
    }
    return text;
}

std::string ReadingFigure(const GasReading& reading) {
    return reading.OverRange() ? std::string("EEEE")
                               : ScaledFigure(reading.Raw, GasInfoOf(reading.Code).Scale);
}

std::string BarholePeakFigure(const BarholeValue& barhole) {
    return WithUnit(ScaledFigure(barhole.Peak, 10), PercentUnit(barhole.PeakGas));
}

std::string BarholeSustainedFigure(const BarholeValue& barhole) {
    return WithUnit(ScaledFigure(barhole.Sustained, 10), PercentUnit(barhole.SustainedGas));
}

std::string PipelineFigure(const RecordValue& pipelineTest) {
    // As the report's line: only the two LEL letters are in percent LEL.
    const uint8_t result = pipelineTest.PipelineResult;
    return WithUnit(ScaledFigure(pipelineTest.PipelineReading, 10),
                    PercentUnit(result != 'L' && result != 'l'));
}

SensorFigures TestedSensorFigures(const SensorValue& sensor) {
    SensorFigures figures;
    if (sensor.Result == TestResult::NotTested) {
        return figures;
    }
    const int32_t divisor = sensor.Divisor > 0 ? sensor.Divisor : 1;
    figures.First = ScaledFigure(sensor.First, divisor);
    if (sensor.HasSecond) {
        figures.Second = ScaledFigure(sensor.Second, divisor);
    }
    return figures;
}
