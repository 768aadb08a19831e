#pragma once

#include <QByteArray>
#include <QString>

namespace archive {

// How the archive tells one instrument from another: what it reports about itself. The driver
// text (its interface version and list of tests, line breaks left out) and the part of the
// configuration block that comes before the mode names (its layout byte and the settings of its
// sensors) make the fingerprint. The mode names are left out so that renaming a mode keeps the
// instrument; they are kept beside it for rendering.
struct InstrumentIdentity {
    QString fingerprint; // "tavon:" and 32 hexadecimal digits; empty when nothing was reported
    QByteArray driverText;
    QByteArray configBlock;
    QByteArray modeNames[4]; // as the report shows them (code page bytes)
};

// driverText: as uploaded (up to its terminating zero); configBlock may be empty when the
// instrument was not asked for it.
InstrumentIdentity IdentifyInstrument(const QByteArray& driverText, const QByteArray& configBlock,
                                      const std::string (&modeNames)[4]);

// An instrument known only by the name the user gives it (an imported dump carries no driver
// text): the fingerprint is made from the name.
InstrumentIdentity NamedInstrument(const QString& name);

} // namespace archive
