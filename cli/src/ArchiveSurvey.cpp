// tavon-datalog archive survey: the survey record of archived sessions, as survey writes it from
// a dump, each session's instrument named as the archive knows it and its register status at
// switch-on beside it.
#include <string>
#include <vector>

#include "ArchiveCommand.h"
#include "archive/ArchiveReport.h"
#include "archive/SessionArchive.h"
#include "cli/ArchiveOptions.h"
#include "compliance/SwitchOnStatus.h"
#include "download/CommandArguments.h"
#include "download/ExitStatus.h"
#include "download/ReportOutput.h"
#include "export/SurveyExport.h"
#include "map/SurveyRecord.h"

int RunArchiveSurvey(const QStringList& arguments) {
    ArchiveSurveyOptions options;
    std::string message;
    if (!ParseArchiveSurveyOptions(ArchiveWords(arguments), options, message)) {
        return ArchiveUsageError(message, arguments);
    }
    archive::SessionArchive store;
    if (!OpenArchive(store, QString::fromLocal8Bit(options.archiveAt.c_str()))) {
        return kExitArchive;
    }
    std::vector<archive::ListedSession> chosen;
    int status = ChooseArchived(options, options.ids, store, chosen);
    if (status != kExitOk) {
        return status;
    }
    std::vector<long long> ids;
    QVector<qint64> chosenIds;
    for (const archive::ListedSession& session : chosen) {
        ids.push_back(session.id);
        chosenIds << session.id;
    }
    std::vector<SessionValues> sessions;
    status = DecodeArchivedSessions(ids, options.archiveAt, sessions);
    if (status != kExitOk) {
        return status;
    }
    QStringList instruments;
    if (!archive::ArchivedInstruments(store, chosenIds, instruments)) {
        PrintError(store.Error().toLocal8Bit().toStdString());
        return kExitArchive;
    }
    compliance::SwitchOnStatus registerStatus(store);
    std::vector<SurveyHeading> headings;
    for (size_t i = 0; i < sessions.size() && i < chosen.size(); ++i) {
        const archive::ListedSession& listed = chosen[i];
        headings.push_back(
            {{instruments.value(static_cast<int>(i)).toStdString(),
              listed.summary.day.toStdString(), listed.summary.startTime.toStdString()},
             registerStatus.At(listed.instrumentId, listed.dated, listed.stamp)});
    }
    return WriteOutput(options.output,
                       WriteSurveys(SurveysOf(sessions, headings), options.format).toStdString());
}
