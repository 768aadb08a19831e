#include "download/DownloadExport.h"

#include "download/ExitStatus.h"
#include "download/ReportOutput.h"
#include "export/SessionExport.h"
#include "report/Report.h"

std::string ExportPath(const std::string& reportPath, ExportFormat format) {
    const std::string suffix = ".rtf";
    const bool hasSuffix =
        reportPath.size() >= suffix.size() &&
        reportPath.compare(reportPath.size() - suffix.size(), suffix.size(), suffix) == 0;
    const std::string stem =
        hasSuffix ? reportPath.substr(0, reportPath.size() - suffix.size()) : reportPath;
    return stem + ExportFormatSuffix(format);
}

bool WriteSessionExports(const std::string& reportPath, const std::vector<int16_t>& sessionSlots,
                         SessionByteSource& source, const ReportState& report,
                         const std::vector<ExportFormat>& formats, const std::string& instrument,
                         const FileWriter& write) {
    if (formats.empty()) {
        return true;
    }
    std::vector<SessionValues> sessions;
    for (int16_t slot : sessionSlots) {
        sessions.push_back(DecodeSessionValues(source, slot, report.ModeNames));
    }
    const LogFilter filter = ReportFilter(report);
    const QStringList instruments(static_cast<qsizetype>(sessions.size()),
                                  QString::fromLocal8Bit(instrument.c_str()));
    bool ok = true;
    for (ExportFormat format : formats) {
        const QByteArray data = ExportSessions(sessions, format, filter, instruments);
        const std::string path = ExportPath(reportPath, format);
        const bool written = write ? write(path, data.toStdString())
                                   : WriteOutput(path, data.toStdString()) == kExitOk;
        ok = written && ok;
    }
    return ok;
}
