#include "sim/Options.h"

#include <QCommandLineParser>

#include "sim/SerialNumber.h"
#include "tavon/Version.h"

namespace {

// "--pty" alone asks for one pseudo-terminal, "--pty N" and "--pty=N" for N. The parser knows no
// optional values, so a bare "--pty" is given its 1 here, and a count after it joined to it.
QStringList WithPtyCount(const QStringList& arguments) {
    QStringList out;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == "--") {
            out += arguments.mid(i);
            break;
        }
        if (i == 0 || argument != "--pty") {
            out += argument;
            continue;
        }
        const bool countFollows = i + 1 < arguments.size() && !arguments[i + 1].isEmpty() &&
                                  arguments[i + 1][0].isDigit();
        out += countFollows ? "--pty=" + arguments[++i] : QStringLiteral("--pty=1");
    }
    return out;
}

// FILE-k with k before the file's extension, so that each instrument's log keeps its type.
QString NumberedPath(const QString& path, int number) {
    const int slash = static_cast<int>(path.lastIndexOf('/'));
    int dot = static_cast<int>(path.lastIndexOf('.'));
    if (dot <= slash + 1)
        dot = static_cast<int>(path.size());
    return path.left(dot) + "-" + QString::number(number) + path.mid(dot);
}

} // namespace

namespace {

// The simulator's options, declared once for parsing and for --help.
struct SimOptionSet {
    QCommandLineOption version{"version", "Print the version and exit."};
    QCommandLineOption pipe{"pipe", "Serve the local pipe <name> instead of \"RAK Pipe\".", "name"};
    QCommandLineOption pty{
        "pty",
        "Serve <n> pseudo-terminals instead of a pipe (one when <n> is left out), each a "
        "different instrument with the seeds <seed>, <seed>+1, ...; one ready line names each "
        "port.",
        "n"};
    QCommandLineOption serial{
        "serial",
        "Serial number the instrument reports, at most 16 characters (default: TAV- and digits "
        "from the seed); with --pty <n>, <text>-1 to <text>-<n>.",
        "text"};
    QCommandLineOption newSessions{
        "new-sessions",
        "Add <n> sessions after the last one of the generated memory; the rest of it stays the "
        "same.",
        "n"};
    QCommandLineOption seed{"seed",
                            "Seed of the generated memory and of the faults "
                            "(default 1).",
                            "n"};
    QCommandLineOption driverVersion{"driver-version",
                                     "Version letter of \"Upload flag\" in the driver text "
                                     "(default B; A "
                                     "tells the program to skip the configuration block).",
                                     "letter"};
    QCommandLineOption interfaceVersion{"interface-version",
                                        "Interface version in the driver text (default 11; 10 "
                                        "and below "
                                        "move text tests four characters at a time).",
                                        "n"};
    QCommandLineOption unknown{"with-unknown-records",
                               "Add a session of records the program cannot decode."};
    QCommandLineOption image{"image", "Serve the memory of a FlashData.txt dump.", "file"};
    QCommandLineOption dump{"dump", "Write the memory as a FlashData.txt dump and exit.", "file"};
    QCommandLineOption baud{"baud",
                            "Pace sending at <n>/10 bytes per second (default: "
                            "unpaced).",
                            "n"};
    QCommandLineOption fault{
        "fault", "Comma list of checksum:P, drop:P, refuse:P, garbage:P, stall-after:N.", "list"};
    QCommandLineOption log{"log", "Write every command line and frame to <file>.", "file"};

    void AddTo(QCommandLineParser& parser) const {
        parser.addOptions({version, pipe, pty, seed, serial, driverVersion, interfaceVersion,
                           unknown, newSessions, image, dump, baud, fault, log});
    }
};

// Each reader takes its options' values into SimOptions and returns false with a message when
// they are out of range; the readers run in order, so a later one may rely on an earlier one.
struct OptionReading {
    const QCommandLineParser& parser;
    const SimOptionSet& set;
    SimOptions& options;
    QString& message;

    bool Fail(const QString& text) {
        message = text;
        return false;
    }

    bool Port() {
        if (parser.isSet(set.pipe)) {
            options.pipeName = parser.value(set.pipe);
            if (options.pipeName.isEmpty())
                return Fail("--pipe needs a name");
        }
        if (parser.isSet(set.pipe) && parser.isSet(set.pty))
            return Fail("--pipe and --pty exclude each other");
        options.pty = parser.isSet(set.pty);
        if (options.pty) {
            bool ok = false;
            options.instruments = parser.value(set.pty).toInt(&ok);
            if (!ok || options.instruments < 1 || options.instruments > kMostInstruments)
                return Fail(QString("--pty needs a number of instruments from 1 to %1")
                                .arg(kMostInstruments));
        }
        return true;
    }

    bool Seed() {
        if (!parser.isSet(set.seed))
            return true;
        bool ok = false;
        options.seed = parser.value(set.seed).toULongLong(&ok);
        return ok || Fail("--seed needs a whole number from 0 up");
    }

    bool Serial() {
        if (!parser.isSet(set.serial))
            return true;
        options.serial = parser.value(set.serial);
        if (static_cast<size_t>(options.serial.size()) > sim::kSerialNumberLength)
            return Fail(
                QString("--serial \"%1\" has %2 characters; the instrument holds at most %3")
                    .arg(options.serial)
                    .arg(options.serial.size())
                    .arg(sim::kSerialNumberLength));
        if (!sim::FitsSerialNumber(options.serial.toStdString()))
            return Fail("--serial needs printable ASCII characters");
        const std::string last = InstrumentSetup(options, options.instruments - 1).serialNumber;
        if (!sim::FitsSerialNumber(last))
            return Fail(QString("--serial with --pty %1 gives \"%2\", longer than %3 characters")
                            .arg(options.instruments)
                            .arg(QString::fromStdString(last))
                            .arg(sim::kSerialNumberLength));
        return true;
    }

    bool DriverText() {
        if (parser.isSet(set.driverVersion)) {
            const QString v = parser.value(set.driverVersion);
            if (v.size() != 1 || v[0].unicode() < 0x21 || v[0].unicode() > 0x7E)
                return Fail("--driver-version needs one printable letter");
            options.uploadFlagLetter = static_cast<char>(v[0].unicode());
        }
        if (parser.isSet(set.interfaceVersion)) {
            bool ok = false;
            options.interfaceVersion = parser.value(set.interfaceVersion).toInt(&ok);
            if (!ok || options.interfaceVersion < 1 || options.interfaceVersion > 99)
                return Fail("--interface-version needs a number from 1 to 99");
        }
        return true;
    }

    bool Memory() {
        options.withUnknownRecords = parser.isSet(set.unknown);
        options.imagePath = parser.value(set.image);
        options.dumpPath = parser.value(set.dump);
        if (parser.isSet(set.image) && options.withUnknownRecords)
            return Fail("--with-unknown-records adds to the generated memory, not to an --image");
        if (parser.isSet(set.newSessions)) {
            bool ok = false;
            options.newSessions = parser.value(set.newSessions).toInt(&ok);
            if (!ok || options.newSessions < 0 || options.newSessions > kMostNewSessions)
                return Fail(
                    QString("--new-sessions needs a number from 0 to %1").arg(kMostNewSessions));
            if (parser.isSet(set.image))
                return Fail("--new-sessions adds to the generated memory, not to an --image");
        }
        if (parser.isSet(set.dump) && options.instruments > 1)
            return Fail(
                "--dump writes one instrument's memory: give each its --seed instead of --pty N");
        return true;
    }

    bool Pace() {
        if (parser.isSet(set.baud)) {
            bool ok = false;
            options.baud = parser.value(set.baud).toLong(&ok);
            if (!ok || options.baud < 10 || options.baud > 10000000)
                return Fail("--baud needs a rate from 10 to 10000000");
        }
        if (parser.isSet(set.fault)) {
            std::string error;
            if (!sim::ParseFaultPlan(parser.value(set.fault).toStdString(), options.faults, error))
                return Fail(QString::fromStdString(error));
        }
        options.logPath = parser.value(set.log);
        return true;
    }
};

} // namespace

OptionsResult ParseSimOptions(const QStringList& arguments, SimOptions& options, QString& message) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "A simulated Tavon instrument: serves the companion pipe \"RAK Pipe\" (or a "
        "pseudo-terminal) with a generated log memory.");
    const QCommandLineOption help = parser.addHelpOption();
    const SimOptionSet set;
    set.AddTo(parser);

    if (!parser.parse(WithPtyCount(arguments))) {
        message = parser.errorText();
        return OptionsResult::Error;
    }
    if (parser.isSet(help)) {
        message = parser.helpText();
        return OptionsResult::Exit;
    }
    if (parser.isSet(set.version)) {
        message = QStringLiteral("tavon-instrument " TAVON_VERSION "\n");
        return OptionsResult::Exit;
    }
    if (!parser.positionalArguments().isEmpty()) {
        message = "unexpected argument: " + parser.positionalArguments().first();
        return OptionsResult::Error;
    }
    OptionReading reading{parser, set, options, message};
    const bool read = reading.Port() && reading.Seed() && reading.Serial() &&
                      reading.DriverText() && reading.Memory() && reading.Pace();
    return read ? OptionsResult::Run : OptionsResult::Error;
}

SimInstrumentSetup InstrumentSetup(const SimOptions& options, int index) {
    SimInstrumentSetup setup;
    setup.seed = options.seed + static_cast<uint64_t>(index);
    const bool several = options.instruments > 1;
    if (options.serial.isEmpty())
        setup.serialNumber = sim::SerialNumberForSeed(setup.seed);
    else if (several)
        setup.serialNumber = options.serial.toStdString() + "-" + std::to_string(index + 1);
    else
        setup.serialNumber = options.serial.toStdString();
    if (!options.logPath.isEmpty())
        setup.logPath = several ? NumberedPath(options.logPath, index + 1) : options.logPath;
    return setup;
}
