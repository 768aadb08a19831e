#include "gui/SignOffDialog.h"

#include "textfit/TextFit.h"

#include <QDate>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

#include "archive/HistorySigning.h"
#include "archive/PersonalKey.h"
#include "archive/SessionArchive.h"

namespace {

// A refusal as the window tells it: said once ("Not signed: ..."), and of a verify's many lines the
// first few, the rest left to archive verify, so that the window keeps its size.
QString RefusalText(const QString& error) {
    const QString said = error.startsWith("not signed off: ")
                             ? "Not signed: " + error.mid(QString("not signed off: ").size())
                             : "Not signed: " + error;
    QStringList lines = said.split('\n');
    constexpr int kMostLines = 4;
    if (lines.size() > kMostLines) {
        const int more = lines.size() - kMostLines;
        lines = lines.mid(0, kMostLines);
        lines << QString("... and %1 more (archive verify lists them all)").arg(more);
    }
    return lines.join('\n');
}

// An empty masked field reads as "--"; a half-typed date is no date.
QString DayOf(const QLineEdit* field) {
    const QDate day = QDate::fromString(field->text(), "yyyy-MM-dd");
    return day.isValid() ? day.toString("yyyy-MM-dd") : QString();
}

QLineEdit* DayField(const QString& day, QWidget* parent) {
    QLineEdit* field = new QLineEdit(parent);
    field->setPlaceholderText("YYYY-MM-DD");
    FitPlaceholder(*field);
    field->setInputMask("0000-00-00;_");
    field->clear();
    field->setText(day);
    return field;
}

} // namespace

SignOffDialog::SignOffDialog(archive::SessionArchive& store,
                             std::unique_ptr<archive::PersonalKey> key, const QString& instrument,
                             const QString& from, const QString& to, QWidget* parent)
    : QDialog(parent), store_(store), key_(std::move(key)) {
    setWindowTitle("Sign Off");
    setObjectName("SignOffDialog");
    meaning_ = new QLineEdit(this);
    meaning_->setPlaceholderText("reviewed, approved");
    FitPlaceholder(*meaning_);
    instrument_ = new QLineEdit(instrument, this);
    instrument_->setPlaceholderText("every instrument");
    FitPlaceholder(*instrument_);
    from_ = DayField(from, this);
    to_ = DayField(to, this);
    passphrase_ = new QLineEdit(this);
    passphrase_->setObjectName("passphraseField");
    // Nothing of it shows, not even its length.
    passphrase_->setEchoMode(QLineEdit::NoEcho);
    signer_ = new QLabel(QString("Signed with the personal key of \"%1\" (key %2)")
                             .arg(key_->Name(), key_->Fingerprint()),
                         this);
    signer_->setWordWrap(true);
    outcome_ = new QLabel(this);
    outcome_->setWordWrap(true);
    outcome_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    QFormLayout* fields = new QFormLayout;
    fields->addRow("Meaning", meaning_);
    fields->addRow("Instrument", instrument_);
    QHBoxLayout* days = new QHBoxLayout;
    days->addWidget(from_);
    days->addWidget(to_);
    fields->addRow("From, to", days);
    fields->addRow("Passphrase", passphrase_);
    QDialogButtonBox* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    sign_ = buttons->addButton("Sign Off", QDialogButtonBox::AcceptRole);
    sign_->setObjectName("signButton");
    QVBoxLayout* layout = new QVBoxLayout(this);
    layout->addWidget(signer_);
    layout->addLayout(fields);
    layout->addWidget(outcome_);
    layout->addWidget(buttons);
    connect(sign_, &QPushButton::clicked, this, [this] { Submit(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(passphrase_, &QLineEdit::returnPressed, this, [this] { Submit(); });
}

SignOffDialog::~SignOffDialog() = default;

bool SignOffDialog::Submit() {
    QByteArray passphrase = passphrase_->text().toUtf8();
    passphrase_->clear();
    archive::SignOffScope scope;
    scope.meaning = meaning_->text().trimmed();
    scope.instrument = instrument_->text().trimmed();
    scope.from = DayOf(from_);
    scope.to = DayOf(to_);
    QString error;
    QString detail;
    bool done = false;
    if (scope.meaning.isEmpty()) {
        error = "A sign-off needs a meaning (\"reviewed\", \"approved\").";
    } else if (!scope.from.isEmpty() && !scope.to.isEmpty() && scope.from > scope.to) {
        error = "The first day is after the last.";
    } else if (key_->Unseal(passphrase, error)) {
        done = archive::SignOff(store_, scope, *key_, detail, error);
    }
    passphrase.fill('\0');
    outcome_->setText(done ? "Signed: " + detail : RefusalText(error));
    adjustSize();
    if (done) {
        sign_->setEnabled(false);
    }
    return done;
}

QString SignOffDialog::Said() const {
    return signer_->text() + '\n' + outcome_->text();
}
