#pragma once

#include <QString>

// The cells of this program's CSV files (RFC 4180), in one place for every file it writes.

// A field holding a comma, quote or line end in quotes, its quotes doubled.
QString CsvField(const QString& text);
// A text a spreadsheet would take for a formula with an apostrophe in front, then as CsvField.
QString CsvTextField(const QString& text);
