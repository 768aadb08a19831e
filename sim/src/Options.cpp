#include "sim/Options.h"

#include <QCommandLineParser>

#include "tavon/Version.h"

OptionsResult ParseSimOptions(const QStringList& arguments, SimOptions& options, QString& message) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "A simulated Tavon instrument: serves the companion pipe \"RAK Pipe\" (or a "
        "pseudo-terminal) with a generated log memory.");
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version("version", "Print the version and exit.");
    const QCommandLineOption pipe("pipe", "Serve the local pipe <name> instead of \"RAK Pipe\".",
                                  "name");
    const QCommandLineOption pty("pty", "Serve a pseudo-terminal instead of a pipe; the ready line "
                                        "names the port to open.");
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
    parser.addOptions({version, pipe, pty, seed, driverVersion, interfaceVersion, unknown, image,
                       dump, baud, fault, log});

    if (!parser.parse(arguments)) {
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
    if (parser.isSet(seed)) {
        bool ok = false;
        options.seed = parser.value(seed).toULongLong(&ok);
        if (!ok) {
            message = "--seed needs a whole number from 0 up";
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
