#pragma once

// Files of the chart library: written to a QSaveFile, so that a failure never leaves half a file.
#include <QString>

class QCPPainter;
class QPdfWriter;
class QSaveFile;

// Each returns false with `error` saying why; BeginDrawing gives the file up when it fails.
bool OpenForWriting(QSaveFile& file, QString& error);
// Begins a vector drawing on a PDF writer whose output is `file`.
bool BeginDrawing(QCPPainter& painter, QPdfWriter& writer, QSaveFile& file, QString& error);
bool CommitWriting(QSaveFile& file, QString& error);
