#pragma once

#include <QByteArray>
#include <QString>
#include <string>

// The passphrase of a personal signing key, for `archive keys new` and `archive sign-off`: the
// first line of `file` (refused when others may read it), else typed on the terminal without echo
// (twice with `confirm`, which must agree). No file and no terminal: refused, as a script that
// runs unattended must not sign off for anyone. False with the message; the caller exits 2.
bool ReadPassphrase(const std::string& file, const QString& prompt, bool confirm,
                    QByteArray& passphrase, std::string& error);

// Zeroes a passphrase that is no longer needed.
void ForgetPassphrase(QByteArray& passphrase);
