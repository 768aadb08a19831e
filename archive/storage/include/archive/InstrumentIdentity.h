#pragma once

#include <QByteArray>
#include <QString>
#include <string>

struct InstrumentFacts;

namespace archive {

// How the archive tells one instrument from another. Its serial number, where it reports one, is
// who it is. Without one, the name the user gives it is: two instruments of one model and
// firmware report the same of everything else. The fingerprint is kept beside either as a check:
// the driver text (its interface version and list of tests, line breaks left out) and the part of
// the configuration block before the mode names (its layout byte and the settings of its sensors),
// so that a serial number is never given to, and a name never filed under, an instrument that
// reported otherwise. The mode names are left out so that renaming a mode changes nothing; they are
// kept beside it for rendering.
struct InstrumentIdentity {
    QString serialNumber;    // empty when it reports none
    QString firmwareVersion; // likewise; kept as last reported, never part of who it is
    QString name;            // the name the user gave it; empty when none
    QString fingerprint;     // "tavon:" and 32 hexadecimal digits; empty when nothing was reported
    QByteArray driverText;
    QByteArray configBlock;
    QByteArray modeNames[4]; // as the report shows them (code page bytes)
};

// What the instrument said about itself at connection.
InstrumentIdentity IdentifyInstrument(const InstrumentFacts& facts,
                                      const std::string (&modeNames)[4]);

// driverText: as uploaded (up to its terminating zero); configBlock may be empty when the
// instrument was not asked for it.
InstrumentIdentity IdentifyInstrument(const QByteArray& driverText, const QByteArray& configBlock,
                                      const std::string (&modeNames)[4]);

// An instrument known only by the name the user gives it (an imported dump carries no driver
// text).
InstrumentIdentity NamedInstrument(const QString& name);

} // namespace archive
