#include "ReportExport.h"

#include "app/SessionBrowser.h"
#include "core/InstrumentFacts.h"
#include "export/SessionExport.h"
#include "report/Report.h"
#include "session/SessionReader.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QSaveFile>

namespace {

struct FileType {
    ExportFormat format;
    const char* filter;
};
const FileType kFileTypes[] = {
    {ExportFormat::Csv, "Spreadsheet CSV (*.csv)"},
    {ExportFormat::GeoJson, "GeoJSON map features (*.geojson)"},
    {ExportFormat::Gpx, "GPX waypoints and tracks (*.gpx)"},
};

} // namespace

QString ReportExport::AskPath(QWidget* parent, const QString& suggested) {
    QStringList filters;
    for (const FileType& type : kFileTypes) {
        filters << QString::fromLatin1(type.filter);
    }
    QString selected;
    QString path = QFileDialog::getSaveFileName(parent, QStringLiteral("Export"), suggested,
                                                filters.join(QStringLiteral(";;")), &selected);
    ExportFormat format = ExportFormat::Csv;
    if (path.isEmpty() || ExportFormatForPath(path, format)) {
        return path;
    }
    for (const FileType& type : kFileTypes) {
        if (selected == QLatin1String(type.filter)) {
            return path + QLatin1String(ExportFormatSuffix(type.format));
        }
    }
    return path + QLatin1String(ExportFormatSuffix(ExportFormat::Csv));
}

QString ReportExport::Write(const QString& path, const std::vector<int16_t>& sessionSlots,
                            SessionByteSource& source, const ReportState& report,
                            const QString& instrument) {
    std::vector<SessionValues> sessions;
    for (int16_t slot : sessionSlots) {
        sessions.push_back(DecodeSessionValues(source, slot, report.ModeNames));
    }
    return WriteValues(path, sessions, ReportFilter(report),
                       QStringList(static_cast<qsizetype>(sessions.size()), instrument));
}

QString ReportExport::ShownInstrument(const SessionBrowser& browser, const SessionReader& reader,
                                      const QString& archiveName) {
    if (browser.Offline() || !reader.StartUpComplete()) {
        return QString();
    }
    return QString::fromStdString(
        InstrumentCalled(reader.Facts().serialNumber, archiveName.toStdString()));
}

QString ReportExport::WriteValues(const QString& path, const std::vector<SessionValues>& sessions,
                                  const LogFilter& filter, const QStringList& instruments) {
    ExportFormat format = ExportFormat::Csv;
    if (!ExportFormatForPath(path, format)) {
        return QStringLiteral("Choose a file ending in .csv, .geojson or .gpx for \"%1\".")
            .arg(QFileInfo(path).fileName());
    }
    if (sessions.empty()) {
        return QStringLiteral("No session is shown: choose one in the tree first.");
    }
    const QByteArray data = ExportSessions(sessions, format, filter, instruments);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        return QStringLiteral("Cannot write the file \"%1\".\n%2").arg(path, file.errorString());
    }
    return QString();
}
