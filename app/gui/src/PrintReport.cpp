// File > Print...: the report on screen and its chart, on the pages its PDF has.
#include "gui/ChartPanel.h"
#include "gui/MainDialog.h"
#include "gui/MapPanel.h"

#include "ReportExport.h"
#include "SaveNames.h"
#include "app/SessionBrowser.h"
#include "charts/ReportPdf.h"
#include "gui/ProgramArchiving.h"
#include "gui/StatusLine.h"
#include "report/Report.h"
#include "session/InstrumentSession.h"
#include "session/SessionReader.h"

#include <QDir>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrinter>

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

} // namespace

void MainDialog::PrintReport() {
    if (browser_.ShownSlots().empty()) {
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    const QString name = SuggestedName();
    SuggestPrintFile(printer, name);
    // The PDF's page to begin with; the dialog may choose another paper.
    printer.setPageLayout(ReportPageLayout());
    printer.setCreator("Tavon Datalogging");
    printer.setDocName(name);
    bool accepted = false;
    if (env_.askPrinter) {
        accepted = env_.askPrinter(printer, this);
    } else {
        QPrintDialog dialog(&printer, this);
        dialog.setWindowTitle("Print");
        accepted = dialog.exec() == QDialog::Accepted;
    }
    if (!accepted) {
        return;
    }
    printer.setResolution(kReportDpi);
    QString error;
    const QString instrument =
        ReportExport::ShownInstrument(browser_, session_->Reader(), archiving_->InstrumentName());
    if (!chart_->PrintReport(report_.ReportText, printer, error, instrument, ShownHeadings(),
                             reportMapTiles_, map_->GasText())) {
        Prompt("Cannot print " + ShownReportName() + ".\n" + error, "Print");
        return;
    }
    const QString where = printer.outputFormat() == QPrinter::PdfFormat
                              ? " to " + QDir::toNativeSeparators(
                                             QFileInfo(printer.outputFileName()).absoluteFilePath())
                              : " on " + printer.printerName();
    status_->SetActivity("Printed " + ShownReportName() + " with its chart" + where);
}
