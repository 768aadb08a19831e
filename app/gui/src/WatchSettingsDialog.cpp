#include "gui/WatchSettingsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

#include "linkselect/Settings.h"
#include "session/LinkClaim.h"
#include "textfit/TextFit.h"
#include "watch/OutputTemplate.h"
#include "watch/WatchOptions.h"
#include "watch/WatchSettingsFile.h"

namespace {

constexpr int kMostMinutes = 7 * 24 * 60;

QCheckBox* Box(const QString& text, const char* name, QWidget* parent) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(name);
    return box;
}

} // namespace

WatchSettingsDialog::WatchSettingsDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Download Automatically");
    m_out = new QLineEdit(this);
    m_out->setObjectName("watchOut");
    m_out->setPlaceholderText("Tavon/{instrument}/{date} in your documents folder");
    FitPlaceholder(*m_out);
    m_out->setToolTip("The folder of each day's files; the fields {instrument} {date} {month} "
                      "{job} {user} are filled in");
    m_csv = Box("CSV", "watchCsv", this);
    m_geojson = Box("GeoJSON", "watchGeojson", this);
    m_gpx = Box("GPX", "watchGpx", this);
    m_plot = new QComboBox(this);
    m_plot->setObjectName("watchPlot");
    m_plot->addItem("No chart", QString());
    m_plot->addItem("PDF", QStringLiteral("pdf"));
    m_plot->addItem("PNG", QStringLiteral("png"));
    m_pdf = Box("Each report also as PDF", "watchPdf", this);
    m_fast = Box("Fast uploads", "watchFast", this);
    m_every = new QSpinBox(this);
    m_every->setObjectName("watchEvery");
    m_every->setRange(0, kMostMinutes);
    m_every->setSuffix(" min");
    m_every->setSpecialValueText("only when connected again");
    m_watcher = new QLabel(this);
    m_watcher->setObjectName("watchRunning");
    m_watcher->setWordWrap(true);
    m_watcher->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_file = new QLabel(this);
    m_file->setObjectName("watchSettingsFile");
    m_file->setWordWrap(true);
    m_file->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_file->setText(QString("Kept in %1, the settings file the watcher service reads (a watcher "
                            "started by hand reads the Settings.ini of its working folder).")
                        .arg(QString::fromLocal8Bit(WatchSettingsPath().c_str())));

    auto* exports = new QHBoxLayout;
    exports->addWidget(m_csv);
    exports->addWidget(m_geojson);
    exports->addWidget(m_gpx);
    exports->addStretch();
    auto* form = new QFormLayout;
    form->addRow("Folder of each day:", m_out);
    form->addRow("Beside each report:", exports);
    form->addRow("Chart:", m_plot);
    form->addRow(QString(), m_pdf);
    form->addRow(QString(), m_fast);
    form->addRow("Download again every:", m_every);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_watcher);
    layout->addLayout(form);
    layout->addWidget(m_file);
    layout->addWidget(buttons);
    Load();
    ShowWatcher();
}

void WatchSettingsDialog::Load() {
    // Read as the watcher reads them, so that what is shown is what it does.
    WatchOptions options;
    std::string message;
    if (!ParseWatchOptions(0, nullptr, ReadSettingsText(WatchSettingsPath()), options, message)) {
        options = WatchOptions();
    }
    m_out->setText(QString::fromLocal8Bit(options.outTemplate.c_str()));
    for (ExportFormat format : options.download.exportFormats) {
        (format == ExportFormat::Csv       ? m_csv
         : format == ExportFormat::GeoJson ? m_geojson
                                           : m_gpx)
            ->setChecked(true);
    }
    m_plot->setCurrentIndex(
        std::max(0, m_plot->findData(QString::fromStdString(options.download.plot))));
    m_pdf->setChecked(options.pdf);
    m_fast->setChecked(options.download.fast);
    m_every->setValue(options.everyMinutes);
}

void WatchSettingsDialog::ShowWatcher() {
    const std::string holder = LinkClaim::Holder("watcher");
    if (!holder.empty()) {
        m_watcher->setText(QString("A watcher is running (%1). It reads these settings when it "
                                   "starts: restart it for changes to take effect.")
                               .arg(QString::fromStdString(holder)));
        return;
    }
#ifdef _WIN32
    m_watcher->setText("No watcher is running. \"tavon-datalog watch\" starts one.");
#else
    m_watcher->setText("No watcher is running. \"systemctl --user enable --now "
                       "tavon-datalog-watch\" starts one now and at every login.");
#endif
}

bool WatchSettingsDialog::Save() {
    const std::string out = m_out->text().trimmed().toLocal8Bit().toStdString();
    std::string message;
    if (!out.empty() && !CheckOutputTemplate(out, message)) {
        QMessageBox::warning(this, windowTitle(), QString::fromStdString(message));
        return false;
    }
    std::string formats;
    for (const QCheckBox* box : {m_csv, m_geojson, m_gpx}) {
        if (box->isChecked()) {
            formats += (formats.empty() ? "" : ",") + box->text().toLower().toStdString();
        }
    }
    const auto flag = [](const QCheckBox* box) { return box->isChecked() ? "TRUE" : ""; };
    const std::string file = WatchSettingsPath();
    const bool written = WriteSectionSettingsIn(
        file, "Watch",
        {{"Out", out},
         {"Export", formats},
         {"Plot", m_plot->currentData().toString().toStdString()},
         {"PDF", flag(m_pdf)},
         {"Fast", flag(m_fast)},
         {"Every", m_every->value() > 0 ? std::to_string(m_every->value()) : ""}});
    if (!written) {
        QMessageBox::warning(
            this, windowTitle(),
            QString("%1 could not be written.").arg(QString::fromLocal8Bit(file.c_str())));
    }
    return written;
}

void WatchSettingsDialog::accept() {
    if (Save()) {
        QDialog::accept();
    }
}
