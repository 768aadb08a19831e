#include "export/SessionExport.h"

#include "Writers.h"

namespace {

struct FormatName {
    ExportFormat Format;
    const char* Word;
    const char* Suffix;
};
const FormatName kFormats[] = {
    {ExportFormat::Csv, "csv", ".csv"},
    {ExportFormat::GeoJson, "geojson", ".geojson"},
    {ExportFormat::Gpx, "gpx", ".gpx"},
};

const FormatName& NameOf(ExportFormat format) {
    for (const FormatName& name : kFormats) {
        if (name.Format == format) {
            return name;
        }
    }
    return kFormats[0];
}

} // namespace

bool ParseExportFormat(const std::string& word, ExportFormat& format) {
    for (const FormatName& name : kFormats) {
        if (word == name.Word) {
            format = name.Format;
            return true;
        }
    }
    return false;
}

const char* ExportFormatWord(ExportFormat format) {
    return NameOf(format).Word;
}

const char* ExportFormatSuffix(ExportFormat format) {
    return NameOf(format).Suffix;
}

bool ExportFormatForPath(const QString& path, ExportFormat& format) {
    for (const FormatName& name : kFormats) {
        if (path.endsWith(QLatin1String(name.Suffix), Qt::CaseInsensitive)) {
            format = name.Format;
            return true;
        }
    }
    return false;
}

QByteArray ExportSessions(const std::vector<SessionValues>& sessions, ExportFormat format,
                          const LogFilter& filter, const QStringList& instruments) {
    switch (format) {
    case ExportFormat::GeoJson:
        return WriteGeoJson(sessions, filter, instruments);
    case ExportFormat::Gpx:
        return WriteGpx(sessions, filter, instruments);
    case ExportFormat::Csv:
        break;
    }
    return WriteCsv(sessions, filter, instruments);
}
