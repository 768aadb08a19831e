#pragma once

// Files of the chart library: written to a QSaveFile, so that a failure never leaves half a file.
#include <QHashSeed>
#include <QString>

class QBuffer;
class QCPPainter;
class QPdfWriter;
class QSaveFile;

// Each returns false with `error` saying why; BeginDrawing gives the file up when it fails.
bool OpenForWriting(QSaveFile& file, QString& error);
// Begins a vector drawing on a PDF writer whose drawing is to become `file`.
bool BeginDrawing(QCPPainter& painter, QPdfWriter& writer, QSaveFile& file, QString& error);
bool CommitWriting(QSaveFile& file, QString& error);
// The PDF drawn into `pdf` as the file's bytes, committed. Qt stamps a PDF with the moment it was
// made, so that the same drawing would never give the same bytes twice: the stamp is left out.
bool CommitPdf(QSaveFile& file, const QBuffer& pdf, QString& error);

// Qt writes a PDF's fonts in the order of a hash, and a hash's seed differs from process to
// process: while one of these lives, the hashes made are seeded alike, so that the same drawing
// gives the same bytes in every run. Made before the writer, gone after it.
class SteadyHashing {
public:
    SteadyHashing() { QHashSeed::setDeterministicGlobalSeed(); }
    ~SteadyHashing() { QHashSeed::resetRandomGlobalSeed(); }
    SteadyHashing(const SteadyHashing&) = delete;
    SteadyHashing& operator=(const SteadyHashing&) = delete;
};
