#include "CsvCells.h"

// A field holding a comma, quote or line end goes in quotes, its quotes doubled (RFC 4180).
QString CsvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n'))) {
        return text;
    }
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// Spreadsheets run a cell that begins with one of these as a formula; an apostrophe in front
// makes it text.
QString CsvTextField(const QString& text) {
    static const QString kFormulaStarts = QStringLiteral("=+-@\t\r");
    if (!text.isEmpty() && kFormulaStarts.contains(text.front())) {
        return CsvField(QLatin1Char('\'') + text);
    }
    return CsvField(text);
}
