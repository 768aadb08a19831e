#pragma once

// The figures of a reading, a barhole peak and a pipeline gas test as the report's lines print
// them, without the padding of its columns. The report's own lines are written from these, so a
// figure quoted elsewhere (the survey record) never reads differently from the report.

#include "report/SessionValues.h"

#include <string>

// A reading as the report's reading columns show it: "2.5", "30", "EEEE" for over range.
std::string ReadingFigure(const GasReading& reading);
// A barhole's peak as the report's barhole line shows it: "0.5 %Gas", "12 %LEL".
std::string BarholePeakFigure(const RecordValue& barhole);
// A pipeline gas test's reading as the report's line shows it: "0.5% GAS", "12% LEL".
std::string PipelineFigure(const RecordValue& pipelineTest);
