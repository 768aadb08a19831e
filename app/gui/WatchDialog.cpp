#include "WatchDialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <fstream>
#include <sstream>
#include <string>

#include "session/LinkClaim.h"
#include "watch/WatchOptions.h"
#include "watch/WatchSummary.h"

namespace {

std::string SettingsFileText() {
    std::ifstream in("Settings.ini", std::ios::binary);
    if (!in) {
        return std::string();
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

#ifdef _WIN32
const char kHowToStart[] =
    "The installer's option \"Download instruments automatically when they are connected\" starts "
    "tavon-watch at logon, with its icon in the notification area (its menu shows the last events "
    "and quits). tavon-datalog watch is the same watcher in a console.";
#else
const char kHowToStart[] =
    "To run one whenever you are logged in: systemctl --user enable --now tavon-datalog-watch "
    "(it reads ~/Settings.ini). tavon-datalog watch and tavon-watch are the same watcher at the "
    "command line.";
#endif

} // namespace

WatchDialog::WatchDialog(QWidget* parent)
    : QDialog(parent), settings_(new QFormLayout), problem_(new QLabel(this)),
      running_(new QLabel(this)) {
    setWindowTitle("Download Automatically");
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        "A watcher downloads every instrument that connects, without this window: it archives "
        "the new sessions and writes the reports of their days. Its settings are the [Watch] "
        "keys of Settings.ini in " +
            QDir::toNativeSeparators(QDir::currentPath()) + ".",
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    layout->addLayout(settings_);
    problem_->setWordWrap(true);
    layout->addWidget(problem_);
    running_->setWordWrap(true);
    layout->addWidget(running_);
    auto* how = new QLabel(kHowToStart, this);
    how->setWordWrap(true);
    how->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(how);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* refresh = buttons->addButton("Refresh", QDialogButtonBox::ActionRole);
    connect(refresh, &QPushButton::clicked, this, &WatchDialog::Refresh);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    Refresh();
}

void WatchDialog::Refresh() {
    while (settings_->rowCount() > 0) {
        settings_->removeRow(0);
    }
    WatchOptions options;
    std::string message;
    if (ParseWatchOptions(0, nullptr, SettingsFileText(), options, message)) {
        problem_->hide();
        for (const auto& row : DescribeWatchOptions(options)) {
            auto* value = new QLabel(QString::fromLocal8Bit(row.second.c_str()), this);
            value->setTextInteractionFlags(Qt::TextSelectableByMouse);
            settings_->addRow(QString::fromLocal8Bit(row.first.c_str()) + ":", value);
        }
    } else {
        problem_->setText("Settings.ini's [Watch] keys are not usable: " +
                          QString::fromLocal8Bit(message.c_str()));
        problem_->show();
    }
    const std::string holder = LinkClaim::Holder("watcher");
    running_->setText(
        holder.empty() ? QString("No watcher is running.")
                       : "A watcher is running: " + QString::fromLocal8Bit(holder.c_str()) + ".");
}

QString WatchDialog::SettingsText() const {
    if (!problem_->isHidden()) {
        return problem_->text();
    }
    QStringList lines;
    for (int row = 0; row < settings_->rowCount(); ++row) {
        const auto* name =
            qobject_cast<QLabel*>(settings_->itemAt(row, QFormLayout::LabelRole)->widget());
        const auto* value =
            qobject_cast<QLabel*>(settings_->itemAt(row, QFormLayout::FieldRole)->widget());
        lines << name->text() + " " + value->text();
    }
    return lines.join('\n');
}

QString WatchDialog::RunningText() const {
    return running_->text();
}
