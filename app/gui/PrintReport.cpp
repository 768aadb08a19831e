// File > Print...: the report on screen and its chart, on the pages its PDF has.
#include "ChartPanel.h"
#include "MainDialog.h"
#include "MapPanel.h"

#include "ProgramArchiving.h"
#include "ReportExport.h"
#include "StatusLine.h"
#include "app/SessionBrowser.h"
#include "charts/ReportPdf.h"
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

} // namespace

void MainDialog::PrintReport() {
    if (browser_.ShownSlots().empty()) {
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    // The PDF's page to begin with; the dialog may choose another paper.
    printer.setPageLayout(ReportPageLayout());
    printer.setCreator("Tavon Datalogging");
    QString name = SuggestedName("pdf");
    name.chop(4);
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
    if (!chart_->PrintReport(report_.ReportText, printer, error, instrument, reportMapTiles_,
                             map_->GasText())) {
        Prompt("Cannot print " + ShownReportName() + ".\n" + error, "Print");
        return;
    }
    const QString where = printer.outputFormat() == QPrinter::PdfFormat
                              ? " to " + QDir::toNativeSeparators(
                                             QFileInfo(printer.outputFileName()).absoluteFilePath())
                              : " on " + printer.printerName();
    status_->SetActivity("Printed " + ShownReportName() + " with its chart" + where);
}
