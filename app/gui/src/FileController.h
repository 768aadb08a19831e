#pragma once

#include <QObject>
#include <QString>

class InstrumentSession;
class QDialog;
class SessionBrowser;
class SessionTreeNodes;
class ShownReportNames;
class StatusLine;
class ViewController;
class WindowPrompt;
struct MainDialogEnvironment;

// The File menu's documents: a saved dump opened for browsing, and the report on screen saved
// as RTF, as PDF with its chart and map, printed, or exported as CSV, GeoJSON or GPX. Each result
// is said on the status line, each failure in a box.
class FileController : public QObject {
public:
    FileController(QDialog& window, const MainDialogEnvironment& env, InstrumentSession& session,
                   SessionBrowser& browser, StatusLine& status, const WindowPrompt& prompt,
                   const ShownReportNames& names, ViewController& view,
                   const SessionTreeNodes& tree);

    void OpenDump();
    bool OpenDumpFrom(const QString& path);
    void SaveReport();
    bool SaveReportTo(const QString& path);
    void SaveReportPdf();
    void PrintReport();
    void ExportReport();
    // Save, Save as PDF, Print and Export are there only while a report is shown.
    void EnableSaving();

private:
    // The save dialog's file name for the report; empty: cancelled.
    QString AskReportName();

    QDialog& window_;
    const MainDialogEnvironment& env_;
    InstrumentSession& session_;
    SessionBrowser& browser_;
    StatusLine& status_;
    const WindowPrompt& prompt_;
    const ShownReportNames& names_;
    ViewController& view_;
    const SessionTreeNodes& tree_;
};
