#pragma once

#include <QDialog>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;

namespace archive {
class PersonalKey;
class SessionArchive;
} // namespace archive

// Sign Off... in the archive window: the sessions of an instrument and period given a meaning,
// signed by the user's personal key once the passphrase typed here (never shown) opens it, through
// the archive's one sign-off, as `tavon-datalog archive sign-off` signs. What went wrong (a wrong
// passphrase, a scope without sessions) is said in the window, and nothing is written.
class SignOffDialog : public QDialog {
    Q_OBJECT
public:
    // `key`: this user's personal key, read but not unsealed; the scope fields start as given.
    SignOffDialog(archive::SessionArchive& store, std::unique_ptr<archive::PersonalKey> key,
                  const QString& instrument, const QString& from, const QString& to,
                  QWidget* parent = nullptr);
    ~SignOffDialog() override;

    // Signs off as the fields say; false with the reason shown. The passphrase field is emptied
    // either way.
    bool Submit();

    QLineEdit* MeaningField() const { return meaning_; }
    QLineEdit* InstrumentField() const { return instrument_; }
    QLineEdit* FromField() const { return from_; }
    QLineEdit* ToField() const { return to_; }
    QLineEdit* PassphraseField() const { return passphrase_; }
    QPushButton* SignButton() const { return sign_; }
    // What the window says: who signs, then the outcome.
    QString Said() const;

private:
    archive::SessionArchive& store_;
    std::unique_ptr<archive::PersonalKey> key_;
    QLineEdit* meaning_;
    QLineEdit* instrument_;
    QLineEdit* from_;
    QLineEdit* to_;
    QLineEdit* passphrase_;
    QLabel* signer_;
    QLabel* outcome_;
    QPushButton* sign_;
};
