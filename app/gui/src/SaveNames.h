#pragma once

#include <QString>

// What every save dialog of the program offers, decided here once for the main window, the
// archive window and the Instruments window: the folder (the working folder, where the report's
// Save has always opened and where Help looks for the manual), the name of what is shown, and each
// kind of file's type, which for the report is the one its Save was designed with.
enum class SavedKind {
    Report, // the RTF report: "Rich Text Files (*.Rtf)", "Rtf"
    Pdf,    // a PDF: "PDF Files (*.pdf)", "pdf"
};

// The name of what a window shows, without a suffix: its day (YYYY-MM-DD), the start (HH-MM-SS)
// when it is one session, and the instrument where it is known ("2026-08-18 08-59-25 van 7");
// "slot N" for an undated session; what no file system takes in the instrument's name becomes
// '-'.
QString SavedName(const QString& day, const QString& start, int slot, const QString& instrument);

// `name` (a file's name, with its suffix or without) in the folder every save dialog opens in.
QString InSavingFolder(const QString& name);

// The file a save dialog suggests for `name` (SavedName): in that folder, with the kind's suffix.
QString SuggestedPath(const QString& name, SavedKind kind);

// The dialog's one file type, and the suffix added to a chosen name without one (without its
// dot).
QString FileFilter(SavedKind kind);
QString FileSuffix(SavedKind kind);

// `path` with the kind's suffix where the name chosen has none, as the dialogs add it.
QString WithSuffix(const QString& path, SavedKind kind);
