#include "FileController.h"

#include "ReportExport.h"
#include "SaveNames.h"
#include "SessionTreeNodes.h"
#include "ShownReportNames.h"
#include "ViewController.h"
#include "WindowPrompt.h"
#include "gui/ChartPanel.h"
#include "gui/MainDialogEnvironment.h"
#include "gui/MapPanel.h"
#include "gui/StatusLine.h"

#include "app/SessionBrowser.h"
#include "charts/ReportPdf.h"
#include "report/Report.h"
#include "session/InstrumentSession.h"

#include <QAction>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrinter>
#include <QSaveFile>

namespace {

// The pages are laid out in the PDF's units, whatever the printer's own resolution.
constexpr int kReportDpi = 96;

// The file Qt's own print dialog offers for printing to a file is the one Save as PDF offers;
// left alone, it would be in the home folder. The printer chosen stays the one the dialog opens
// with. A native dialog (Windows, macOS) asks for its file itself, and a name set here would
// send the pages to a file instead of its printer.
void SuggestPrintFile(QPrinter& printer, const QString& name) {
#if !defined(Q_OS_WIN) && !defined(Q_OS_MACOS)
    const QPrinter::OutputFormat format = printer.outputFormat();
    printer.setOutputFileName(SuggestedPath(name, SavedKind::Pdf));
    printer.setOutputFormat(format);
#else
    (void)printer;
    (void)name;
#endif
}

QString Where(const QString& path) {
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

} // namespace

FileController::FileController(QDialog& window, const MainDialogEnvironment& env,
                               InstrumentSession& session, SessionBrowser& browser,
                               StatusLine& status, const WindowPrompt& prompt,
                               const ShownReportNames& names, ViewController& view,
                               const SessionTreeNodes& tree)
    : window_(window), env_(env), session_(session), browser_(browser), status_(status),
      prompt_(prompt), names_(names), view_(view), tree_(tree) {}

void FileController::OpenDump() {
    QString path;
    if (env_.askDumpName) {
        path = env_.askDumpName(&window_);
    } else {
        path = QFileDialog::getOpenFileName(&window_, "Open Dump", QString(),
                                            "Memory dumps (*.txt);;All files (*)");
    }
    if (path.isEmpty()) {
        return;
    }
    OpenDumpFrom(path);
}

bool FileController::OpenDumpFrom(const QString& path) {
    std::string message;
    if (browser_.OpenDump(QFile::encodeName(path).constData(), message) == 0) {
        prompt_.Tell(QString::fromLocal8Bit(message.c_str()), "Open Dump");
        return false;
    }
    const int copies = tree_.CopiesShown();
    status_.SetActivity("Opened " + QFileInfo(path).fileName() + ": choose a session to read it" +
                        (copies == 0 ? QString()
                                     : QString(" (%1 session%2 it lacks shown from the archive)")
                                           .arg(copies)
                                           .arg(copies == 1 ? "" : "s")));
    return true;
}

void FileController::SaveReport() {
    const QString path = env_.askSaveName ? env_.askSaveName(&window_) : AskReportName();
    if (path.isEmpty()) {
        return;
    }
    SaveReportTo(path);
}

QString FileController::AskReportName() {
    QFileDialog dialog(&window_);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(FileFilter(SavedKind::Report));
    dialog.setDefaultSuffix(FileSuffix(SavedKind::Report));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.selectFile(SuggestedPath(names_.SuggestedName(), SavedKind::Report));
    // The initial name is a pattern, not a name: accepting it (or any other pattern) must not
    // create a file called "*.Rtf", so the dialog is shown again instead.
    while (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        const QString chosen = dialog.selectedFiles().constFirst();
        const QString name = QFileInfo(chosen).fileName();
        if (!name.contains('*') && !name.contains('?')) {
            return chosen;
        }
        dialog.selectFile("*." + FileSuffix(SavedKind::Report));
    }
    return QString();
}

bool FileController::SaveReportTo(const QString& path) {
    if (browser_.ShownSlots().empty()) {
        return false;
    }
    // Always the RTF document, never the text the view shows. Line feeds become CR LF as a
    // text-mode stream on the instrument's home platform would write them, so the file is the
    // same wherever it was saved.
    const std::string& text = session_.Report().ReportText;
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(text.size()));
    for (const char c : text) {
        if (c == '\n') {
            bytes.append('\r');
        }
        bytes.append(c);
    }
    // QSaveFile: a failed write never leaves a half-written report in place of an old one.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        prompt_.Tell(QString("Cannot create the file \"%1\".\n%2").arg(path, file.errorString()),
                     "Save");
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        prompt_.Tell(QString("Cannot write the file \"%1\".\n%2").arg(path, file.errorString()),
                     "Save");
        return false;
    }
    status_.SetActivity("Saved " + names_.StatusName() + " to " + Where(path));
    return true;
}

void FileController::SaveReportPdf() {
    QString path;
    if (env_.askPdfName) {
        path = env_.askPdfName(&window_);
    } else {
        path = QFileDialog::getSaveFileName(&window_, "Save as PDF",
                                            SuggestedPath(names_.SuggestedName(), SavedKind::Pdf),
                                            FileFilter(SavedKind::Pdf));
        path = path.isEmpty() ? path : WithSuffix(path, SavedKind::Pdf);
    }
    if (path.isEmpty() || browser_.ShownSlots().empty()) {
        return;
    }
    QString error;
    if (!view_.Chart().SaveReportPdf(session_.Report().ReportText, path, error, names_.Instrument(),
                                     names_.Headings(), view_.ReportMapTiles(),
                                     view_.Map().GasText())) {
        prompt_.Tell(QString("Cannot write the file \"%1\".\n%2").arg(path, error), "Save as PDF");
        return;
    }
    status_.SetActivity("Saved " + names_.StatusName() + " with its chart as PDF to " +
                        Where(path));
}

void FileController::PrintReport() {
    if (browser_.ShownSlots().empty()) {
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    const QString name = names_.SuggestedName();
    SuggestPrintFile(printer, name);
    // The PDF's page to begin with; the dialog may choose another paper.
    printer.setPageLayout(ReportPageLayout());
    printer.setCreator("Tavon Datalogging");
    printer.setDocName(name);
    bool accepted = false;
    if (env_.askPrinter) {
        accepted = env_.askPrinter(printer, &window_);
    } else {
        QPrintDialog dialog(&printer, &window_);
        dialog.setWindowTitle("Print");
        accepted = dialog.exec() == QDialog::Accepted;
    }
    if (!accepted) {
        return;
    }
    printer.setResolution(kReportDpi);
    QString error;
    if (!view_.Chart().PrintReport(session_.Report().ReportText, printer, error,
                                   names_.Instrument(), names_.Headings(), view_.ReportMapTiles(),
                                   view_.Map().GasText())) {
        prompt_.Tell("Cannot print " + names_.StatusName() + ".\n" + error, "Print");
        return;
    }
    const QString where = printer.outputFormat() == QPrinter::PdfFormat
                              ? " to " + Where(printer.outputFileName())
                              : " on " + printer.printerName();
    status_.SetActivity("Printed " + names_.StatusName() + " with its chart" + where);
}

void FileController::ExportReport() {
    const std::vector<int16_t> shownSlots = browser_.ShownSlots();
    if (shownSlots.empty()) {
        return;
    }
    const QString path =
        env_.askExportName
            ? env_.askExportName(&window_)
            : ReportExport::AskPath(&window_, InSavingFolder(names_.SuggestedName()));
    if (path.isEmpty()) {
        return;
    }
    const QString error = ReportExport::Write(path, shownSlots, session_.Image(), session_.Report(),
                                              names_.Instrument());
    if (!error.isEmpty()) {
        prompt_.Tell(error, "Export");
        return;
    }
    status_.SetActivity("Exported " + names_.StatusName() + " to " + Where(path));
}

void FileController::EnableSaving() {
    const bool shown = !browser_.ShownSlots().empty();
    for (const char* name : {"actionSave", "actionSavePdf", "actionPrint", "actionExport"}) {
        if (QAction* action = window_.findChild<QAction*>(name)) {
            action->setEnabled(shown);
        }
    }
}
