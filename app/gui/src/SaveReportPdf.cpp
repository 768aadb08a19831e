// File > Save as PDF...: the report on screen and its chart, as one PDF.
#include "gui/ChartPanel.h"
#include "gui/MainDialog.h"
#include "gui/MapPanel.h"

#include "ReportExport.h"
#include "SaveNames.h"
#include "app/SessionBrowser.h"
#include "gui/ProgramArchiving.h"
#include "gui/StatusLine.h"
#include "report/Report.h"
#include "session/InstrumentSession.h"
#include "session/SessionReader.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

void MainDialog::SaveReportPdf() {
    QString path;
    if (env_.askPdfName) {
        path = env_.askPdfName(this);
    } else {
        path = QFileDialog::getSaveFileName(this, "Save as PDF",
                                            SuggestedPath(SuggestedName(), SavedKind::Pdf),
                                            FileFilter(SavedKind::Pdf));
        path = path.isEmpty() ? path : WithSuffix(path, SavedKind::Pdf);
    }
    if (path.isEmpty() || browser_.ShownSlots().empty()) {
        return;
    }
    QString error;
    const QString instrument =
        ReportExport::ShownInstrument(browser_, session_->Reader(), archiving_->InstrumentName());
    if (!chart_->SaveReportPdf(report_.ReportText, path, error, instrument, ShownHeadings(),
                               reportMapTiles_, map_->GasText())) {
        Prompt(QString("Cannot write the file \"%1\".\n%2").arg(path, error), "Save as PDF");
        return;
    }
    status_->SetActivity("Saved " + ShownReportName() + " with its chart as PDF to " +
                         QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
}
