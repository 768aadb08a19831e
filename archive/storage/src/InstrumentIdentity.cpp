#include "archive/InstrumentIdentity.h"

#include <QCryptographicHash>

#include "core/InstrumentFacts.h"
#include "textcodec/Cp1252.h"

namespace archive {
namespace {

// Where the mode names begin in the configuration block: what comes before them says what the
// instrument is and how its sensors are set up.
constexpr int kModeNamesStart = 308;

// A text the instrument reported, in its code page, as every view shows it (a server's text
// refuses the zero a control byte would leave).
QString Reported(const std::string& text) {
    return FromCp1252(ReportedText(text));
}

QString Fingerprint(const char* kind, const QByteArray& material) {
    const QByteArray digest = QCryptographicHash::hash(material, QCryptographicHash::Sha256);
    return QString::fromLatin1(kind) + QString::fromLatin1(digest.left(16).toHex());
}

} // namespace

InstrumentIdentity IdentifyInstrument(const InstrumentFacts& facts,
                                      const std::string (&modeNames)[4]) {
    InstrumentIdentity identity =
        IdentifyInstrument(QByteArray::fromStdString(facts.driverText),
                           QByteArray::fromStdString(facts.configBlock), modeNames);
    identity.serialNumber = Reported(facts.serialNumber);
    identity.firmwareVersion = Reported(facts.firmwareVersion);
    return identity;
}

InstrumentIdentity IdentifyInstrument(const QByteArray& driverText, const QByteArray& configBlock,
                                      const std::string (&modeNames)[4]) {
    InstrumentIdentity identity;
    const int end = driverText.indexOf('\0');
    identity.driverText = end >= 0 ? driverText.left(end) : driverText;
    identity.configBlock = configBlock;
    for (int k = 0; k < 4; ++k) {
        identity.modeNames[k] = QByteArray::fromStdString(modeNames[k]);
    }
    if (identity.driverText.isEmpty() && configBlock.isEmpty()) {
        return identity;
    }
    // The same text read with or without line breaks describes the same tests.
    QByteArray material = identity.driverText;
    material.replace('\r', QByteArray()).replace('\n', QByteArray());
    material.append('\0');
    material.append(configBlock.left(kModeNamesStart));
    identity.fingerprint = Fingerprint("tavon:", material);
    return identity;
}

InstrumentIdentity NamedInstrument(const QString& name) {
    InstrumentIdentity identity;
    identity.name = name;
    return identity;
}

} // namespace archive
