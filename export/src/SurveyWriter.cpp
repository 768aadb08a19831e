#include "export/SurveyExport.h"

#include "CsvCells.h"
#include "RecordFields.h"

#include "report/SessionName.h"
#include "textcodec/Cp1252.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>

namespace {

QStringList Texts(const std::vector<std::string>& texts) {
    QStringList list;
    for (const std::string& text : texts) {
        list << FromCp1252(text);
    }
    return list;
}

QString ListText(const std::vector<std::string>& texts) {
    return texts.empty() ? QStringLiteral("none") : Texts(texts).join(QStringLiteral(", "));
}

QString Metres(double metres) {
    return QString::number(metres, 'f', 1);
}

QString CoverageText(const SessionSurvey& survey) {
    return survey.HasCoverage() ? QString::number(survey.Coverage(), 'f', 4) : QString();
}

QJsonValue Degrees(const Indication& indication, double degrees) {
    return indication.Located ? QJsonValue(degrees) : QJsonValue(QJsonValue::Null);
}

QJsonObject IndicationJson(const Indication& indication) {
    return QJsonObject{
        {QStringLiteral("time"), WallClockText(indication.Time)},
        {QStringLiteral("kind"), QLatin1String(IndicationKindWord(indication.Kind))},
        {QStringLiteral("latitude"), Degrees(indication, indication.Latitude)},
        {QStringLiteral("longitude"), Degrees(indication, indication.Longitude)},
        {QStringLiteral("gas"), QString::fromStdString(indication.Gas)},
        {QStringLiteral("value"), QString::fromStdString(indication.Value)},
    };
}

QJsonValue SurveyTime(const SessionSurvey& survey, int64_t time) {
    return survey.HasSurveyTime ? QJsonValue(WallClockText(time)) : QJsonValue(QJsonValue::Null);
}

QJsonObject SurveyJson(const SessionSurvey& survey) {
    QJsonArray indications;
    for (const Indication& indication : survey.Indications) {
        indications.append(IndicationJson(indication));
    }
    return QJsonObject{
        {QStringLiteral("slot"), survey.Slot},
        {QStringLiteral("instrument"), QString::fromStdString(survey.Instrument)},
        {QStringLiteral("register_status"),
         survey.RegisterStatus.empty() ? QJsonValue(QJsonValue::Null)
                                       : QJsonValue(QString::fromStdString(survey.RegisterStatus))},
        {QStringLiteral("users"), QJsonArray::fromStringList(Texts(survey.Users))},
        {QStringLiteral("job_numbers"), QJsonArray::fromStringList(Texts(survey.JobNumbers))},
        {QStringLiteral("route_m"), survey.RouteMetres},
        {QStringLiteral("pieces"), survey.Pieces},
        {QStringLiteral("survey_records"), survey.SurveyRecords},
        {QStringLiteral("fixes"), survey.Fixes},
        {QStringLiteral("coverage"),
         survey.HasCoverage() ? QJsonValue(survey.Coverage()) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("surveyed_s"), static_cast<qint64>(survey.SurveyedSeconds)},
        {QStringLiteral("first_survey"), SurveyTime(survey, survey.FirstSurvey)},
        {QStringLiteral("last_survey"), SurveyTime(survey, survey.LastSurvey)},
        {QStringLiteral("indications"), indications},
    };
}

QString IndicationCells(const Indication& indication) {
    QStringList cells = {WallClockText(indication.Time),
                         QLatin1String(IndicationKindWord(indication.Kind))};
    cells << (indication.Located ? DegreesText(indication.Latitude) : QString());
    cells << (indication.Located ? DegreesText(indication.Longitude) : QString());
    cells << CsvTextField(QString::fromStdString(indication.Gas))
          << CsvTextField(QString::fromStdString(indication.Value));
    return cells.join(QLatin1Char(','));
}

QByteArray SurveyCsv(const std::vector<SessionSurvey>& surveys) {
    QString text = QStringLiteral("slot,instrument,users,job numbers,route_m,pieces,"
                                  "survey_records,fixes,coverage,surveyed_s,register_status,time,"
                                  "kind,latitude,longitude,gas,value\r\n");
    for (const SessionSurvey& survey : surveys) {
        const QStringList session = {
            QString::number(survey.Slot),
            CsvTextField(QString::fromStdString(survey.Instrument)),
            CsvTextField(Texts(survey.Users).join(QStringLiteral("; "))),
            CsvTextField(Texts(survey.JobNumbers).join(QStringLiteral("; "))),
            Metres(survey.RouteMetres),
            QString::number(survey.Pieces),
            QString::number(survey.SurveyRecords),
            QString::number(survey.Fixes),
            CoverageText(survey),
            QString::number(survey.SurveyedSeconds),
            CsvTextField(QString::fromStdString(survey.RegisterStatus))};
        const QString figures = session.join(QLatin1Char(','));
        if (survey.Indications.empty()) {
            text += figures + QStringLiteral(",,,,,,\r\n");
        }
        for (const Indication& indication : survey.Indications) {
            text +=
                figures + QLatin1Char(',') + IndicationCells(indication) + QStringLiteral("\r\n");
        }
    }
    return text.toUtf8();
}

QString CoverageWords(bool has, double coverage) {
    return has ? QStringLiteral("%1 %").arg(coverage * 100, 0, 'f', 1)
               : QStringLiteral("none (no survey records)");
}

QString SessionText(const SessionSurvey& survey) {
    // Named as the tree and the listing name it, its slot said as such.
    QString text =
        QString::fromStdString(SessionCalled({survey.Instrument, survey.Day, survey.Start}) + " (" +
                               SlotNumber(survey.Slot) + ")\n");
    if (!survey.RegisterStatus.empty()) {
        text += QStringLiteral("  Register:       %1 at switch-on\n")
                    .arg(QString::fromStdString(survey.RegisterStatus));
    }
    text += QStringLiteral("  Users:          %1\n").arg(ListText(survey.Users));
    text += QStringLiteral("  Job numbers:    %1\n").arg(ListText(survey.JobNumbers));
    text += QStringLiteral("  Route walked:   %1 m in %2 piece(s)\n")
                .arg(Metres(survey.RouteMetres))
                .arg(survey.Pieces);
    if (survey.HasSurveyTime) {
        text += QStringLiteral("  Time surveyed:  %1 s, %2 to %3\n")
                    .arg(survey.SurveyedSeconds)
                    .arg(WallClockText(survey.FirstSurvey), WallClockText(survey.LastSurvey));
    }
    text += QStringLiteral("  Survey records: %1, %2 with a fix; coverage %3\n")
                .arg(survey.SurveyRecords)
                .arg(survey.Fixes)
                .arg(CoverageWords(survey.HasCoverage(), survey.Coverage()));
    text += QStringLiteral("  Indications:    %1\n").arg(survey.Indications.size());
    for (const Indication& indication : survey.Indications) {
        const QString place = indication.Located
                                  ? DegreesText(indication.Latitude) + QLatin1Char(',') +
                                        DegreesText(indication.Longitude)
                                  : QStringLiteral("no position");
        text += QStringLiteral("    %1  %2  %3 %4  at %5\n")
                    .arg(WallClockText(indication.Time),
                         QLatin1String(IndicationKindWord(indication.Kind)),
                         QString::fromStdString(indication.Gas),
                         QString::fromStdString(indication.Value), place);
    }
    return text;
}

QByteArray SurveyText(const std::vector<SessionSurvey>& surveys) {
    QString text;
    for (const SessionSurvey& survey : surveys) {
        text += SessionText(survey) + QLatin1Char('\n');
    }
    if (surveys.size() > 1) {
        const SurveyTotals totals = SumSurveys(surveys);
        text +=
            QStringLiteral("Total of %1 sessions: route %2 m, %3 s surveyed, %4 survey records, "
                           "%5 with a fix; coverage %6; %7 indications\n")
                .arg(totals.Sessions)
                .arg(Metres(totals.RouteMetres))
                .arg(totals.SurveyedSeconds)
                .arg(totals.SurveyRecords)
                .arg(totals.Fixes)
                .arg(CoverageWords(totals.HasCoverage(), totals.Coverage()))
                .arg(totals.Indications);
    }
    return text.toUtf8();
}

} // namespace

bool ParseSurveyFormat(const std::string& word, SurveyFormat& format) {
    if (word == "text") {
        format = SurveyFormat::Text;
    } else if (word == "csv") {
        format = SurveyFormat::Csv;
    } else if (word == "json") {
        format = SurveyFormat::Json;
    } else {
        return false;
    }
    return true;
}

QByteArray WriteSurveys(const std::vector<SessionSurvey>& surveys, SurveyFormat format) {
    switch (format) {
    case SurveyFormat::Csv:
        return SurveyCsv(surveys);
    case SurveyFormat::Json: {
        QJsonArray array;
        for (const SessionSurvey& survey : surveys) {
            array.append(SurveyJson(survey));
        }
        return QJsonDocument(array).toJson(QJsonDocument::Indented);
    }
    case SurveyFormat::Text:
        break;
    }
    return SurveyText(surveys);
}
