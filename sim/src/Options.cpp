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

OptionsResult ParseSimOptions(const QStringList& arguments, SimOptions& options, QString& message) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "A simulated Tavon instrument: serves the companion pipe \"RAK Pipe\" (or a "
        "pseudo-terminal) with a generated log memory.");
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version("version", "Print the version and exit.");
    const QCommandLineOption pipe("pipe", "Serve the local pipe <name> instead of \"RAK Pipe\".",
                                  "name");
    const QCommandLineOption pty(
        "pty",
        "Serve <n> pseudo-terminals instead of a pipe (one when <n> is left out), each a "
        "different instrument with the seeds <seed>, <seed>+1, ...; one ready line names each "
        "port.",
        "n");
    const QCommandLineOption serial(
        "serial",
        "Serial number the instrument reports, at most 16 characters (default: TAV- and digits "
        "from the seed); with --pty <n>, <text>-1 to <text>-<n>.",
        "text");
    const QCommandLineOption newSessions(
        "new-sessions",
        "Add <n> sessions after the last one of the generated memory; the rest of it stays the "
        "same.",
        "n");
    const QCommandLineOption seed("seed",
                                  "Seed of the generated memory and of the faults "
                                  "(default 1).",
                                  "n");
    const QCommandLineOption driverVersion(
        "driver-version",
        "Version letter of \"Upload flag\" in the driver text (default B; A "
        "tells the program to skip the configuration block).",
        "letter");
    const QCommandLineOption interfaceVersion(
        "interface-version",
        "Interface version in the driver text (default 11; 10 and below "
        "move text tests four characters at a time).",
        "n");
    const QCommandLineOption unknown("with-unknown-records",
                                     "Add a session of records the program cannot decode.");
    const QCommandLineOption image("image", "Serve the memory of a FlashData.txt dump.", "file");
    const QCommandLineOption dump("dump", "Write the memory as a FlashData.txt dump and exit.",
                                  "file");
    const QCommandLineOption baud("baud",
                                  "Pace sending at <n>/10 bytes per second (default: "
                                  "unpaced).",
                                  "n");
    const QCommandLineOption fault(
        "fault", "Comma list of checksum:P, drop:P, refuse:P, garbage:P, stall-after:N.", "list");
    const QCommandLineOption log("log", "Write every command line and frame to <file>.", "file");
    parser.addOptions({version, pipe, pty, seed, serial, driverVersion, interfaceVersion, unknown,
                       newSessions, image, dump, baud, fault, log});

    if (!parser.parse(WithPtyCount(arguments))) {
        message = parser.errorText();
        return OptionsResult::Error;
    }
    if (parser.isSet(help)) {
        message = parser.helpText();
        return OptionsResult::Exit;
    }
    if (parser.isSet(version)) {
        message = QStringLiteral("tavon-instrument " TAVON_VERSION "\n");
        return OptionsResult::Exit;
    }
    if (!parser.positionalArguments().isEmpty()) {
        message = "unexpected argument: " + parser.positionalArguments().first();
        return OptionsResult::Error;
    }
    if (parser.isSet(pipe)) {
        options.pipeName = parser.value(pipe);
        if (options.pipeName.isEmpty()) {
            message = "--pipe needs a name";
            return OptionsResult::Error;
        }
    }
    if (parser.isSet(pipe) && parser.isSet(pty)) {
        message = "--pipe and --pty exclude each other";
        return OptionsResult::Error;
    }
    options.pty = parser.isSet(pty);
    if (options.pty) {
        bool ok = false;
        options.instruments = parser.value(pty).toInt(&ok);
        if (!ok || options.instruments < 1 || options.instruments > kMostInstruments) {
            message =
                QString("--pty needs a number of instruments from 1 to %1").arg(kMostInstruments);
            return OptionsResult::Error;
        }
    }
    if (parser.isSet(seed)) {
        bool ok = false;
        options.seed = parser.value(seed).toULongLong(&ok);
        if (!ok) {
            message = "--seed needs a whole number from 0 up";
            return OptionsResult::Error;
        }
    }
    if (parser.isSet(serial)) {
        options.serial = parser.value(serial);
        if (static_cast<size_t>(options.serial.size()) > sim::kSerialNumberLength) {
            message = QString("--serial \"%1\" has %2 characters; the instrument holds at most %3")
                          .arg(options.serial)
                          .arg(options.serial.size())
                          .arg(sim::kSerialNumberLength);
            return OptionsResult::Error;
        }
        if (!sim::FitsSerialNumber(options.serial.toStdString())) {
            message = "--serial needs printable ASCII characters";
            return OptionsResult::Error;
        }
        const std::string last = InstrumentSetup(options, options.instruments - 1).serialNumber;
        if (!sim::FitsSerialNumber(last)) {
            message = QString("--serial with --pty %1 gives \"%2\", longer than %3 characters")
                          .arg(options.instruments)
                          .arg(QString::fromStdString(last))
                          .arg(sim::kSerialNumberLength);
            return OptionsResult::Error;
        }
    }
    if (parser.isSet(driverVersion)) {
        const QString v = parser.value(driverVersion);
        if (v.size() != 1 || v[0].unicode() < 0x21 || v[0].unicode() > 0x7E) {
            message = "--driver-version needs one printable letter";
            return OptionsResult::Error;
        }
        options.uploadFlagLetter = static_cast<char>(v[0].unicode());
    }
    if (parser.isSet(interfaceVersion)) {
        bool ok = false;
        options.interfaceVersion = parser.value(interfaceVersion).toInt(&ok);
        if (!ok || options.interfaceVersion < 1 || options.interfaceVersion > 99) {
            message = "--interface-version needs a number from 1 to 99";
            return OptionsResult::Error;
        }
    }
    options.withUnknownRecords = parser.isSet(unknown);
    options.imagePath = parser.value(image);
    options.dumpPath = parser.value(dump);
    if (parser.isSet(image) && options.withUnknownRecords) {
        message = "--with-unknown-records adds to the generated memory, not to an --image";
        return OptionsResult::Error;
    }
    if (parser.isSet(newSessions)) {
        bool ok = false;
        options.newSessions = parser.value(newSessions).toInt(&ok);
        if (!ok || options.newSessions < 0 || options.newSessions > kMostNewSessions) {
            message = QString("--new-sessions needs a number from 0 to %1").arg(kMostNewSessions);
            return OptionsResult::Error;
        }
        if (parser.isSet(image)) {
            message = "--new-sessions adds to the generated memory, not to an --image";
            return OptionsResult::Error;
        }
    }
    if (parser.isSet(dump) && options.instruments > 1) {
        message = "--dump writes one instrument's memory: give each its --seed instead of --pty N";
        return OptionsResult::Error;
    }
    if (parser.isSet(baud)) {
        bool ok = false;
        options.baud = parser.value(baud).toLong(&ok);
        if (!ok || options.baud < 10 || options.baud > 10000000) {
            message = "--baud needs a rate from 10 to 10000000";
            return OptionsResult::Error;
        }
    }
    if (parser.isSet(fault)) {
        std::string error;
        if (!sim::ParseFaultPlan(parser.value(fault).toStdString(), options.faults, error)) {
            message = QString::fromStdString(error);
            return OptionsResult::Error;
        }
    }
    options.logPath = parser.value(log);
    return OptionsResult::Run;
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
