// The simulator's command line, read in process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/Options.h"
#include "sim/SerialNumber.h"

namespace {

OptionsResult Parse(QStringList args, SimOptions& options, QString& message) {
    args.prepend("tavon-instrument");
    return ParseSimOptions(args, options, message);
}

TEST(SimOptionsTest, ReadsEveryKindOfValue) {
    SimOptions o;
    QString message;
    ASSERT_EQ(Parse({"--pty", "--seed", "7", "--driver-version=A", "--interface-version", "10",
                     "--baud", "115200", "--fault", "drop:0.5,stall-after:40", "--log", "l.txt",
                     "--new-sessions", "3"},
                    o, message),
              OptionsResult::Run)
        << message.toStdString();
    EXPECT_TRUE(o.pty);
    EXPECT_EQ(o.seed, 7u);
    EXPECT_EQ(o.uploadFlagLetter, 'A');
    EXPECT_EQ(o.interfaceVersion, 10);
    EXPECT_EQ(o.baud, 115200);
    EXPECT_EQ(o.faults.drop, 0.5);
    EXPECT_EQ(o.faults.stallAfter, 40);
    EXPECT_EQ(o.newSessions, 3);
    EXPECT_EQ(o.logPath, "l.txt");
    EXPECT_EQ(o.pipeName, "RAK Pipe");
    EXPECT_EQ(o.instruments, 1);
    EXPECT_EQ(InstrumentSetup(o, 0).serialNumber, sim::SerialNumberForSeed(7));
}

// What each instrument of a run is: --pty alone is the one of before, --pty N several.
TEST(SimOptionsTest, InstrumentsOfARun) {
    struct Case {
        QStringList args;
        int instruments;
        std::vector<std::string> serials;
        QStringList logs;
    };
    const std::vector<Case> cases = {
        {{"--pty", "--seed", "4"}, 1, {sim::SerialNumberForSeed(4)}, {""}},
        {{"--pty", "--log", "dir/sim.log", "--serial", "BENCH 1"}, 1, {"BENCH 1"}, {"dir/sim.log"}},
        {{"--seed", "4", "--pty", "3", "--log", "dir.d/sim.log"},
         3,
         {sim::SerialNumberForSeed(4), sim::SerialNumberForSeed(5), sim::SerialNumberForSeed(6)},
         {"dir.d/sim-1.log", "dir.d/sim-2.log", "dir.d/sim-3.log"}},
        {{"--pty=2", "--serial", "0123456789ABCD", "--log", "trace"},
         2,
         {"0123456789ABCD-1", "0123456789ABCD-2"},
         {"trace-1", "trace-2"}},
    };
    for (const Case& c : cases) {
        SimOptions o;
        QString message;
        ASSERT_EQ(Parse(c.args, o, message), OptionsResult::Run) << message.toStdString();
        ASSERT_EQ(o.instruments, c.instruments) << c.args.join(' ').toStdString();
        for (int k = 0; k < c.instruments; ++k) {
            const SimInstrumentSetup setup = InstrumentSetup(o, k);
            EXPECT_EQ(setup.seed, o.seed + static_cast<uint64_t>(k));
            EXPECT_EQ(setup.serialNumber, c.serials[static_cast<size_t>(k)]);
            EXPECT_EQ(setup.logPath, c.logs[k]);
        }
    }
}

TEST(SimOptionsTest, RefusalsSayWhy) {
    struct Case {
        QStringList args;
        const char* message;
    };
    for (const Case& c : {
             Case{{"--serial", "0123456789ABCDEFG"},
                  "--serial \"0123456789ABCDEFG\" has 17 characters; the instrument holds at "
                  "most 16"},
             Case{{"--serial", ""}, "--serial needs printable ASCII characters"},
             Case{{"--pty", "3", "--serial", "0123456789ABCDE"},
                  "--serial with --pty 3 gives \"0123456789ABCDE-3\", longer than 16 characters"},
             Case{{"--pty", "0"}, "--pty needs a number of instruments from 1 to 16"},
             Case{{"--pty", "17"}, "--pty needs a number of instruments from 1 to 16"},
             Case{{"--pty", "2", "--dump", "d.txt"},
                  "--dump writes one instrument's memory: give each its --seed instead of --pty N"},
             Case{{"--new-sessions", "-1"}, "--new-sessions needs a number from 0 to 200"},
             Case{{"--new-sessions", "2", "--image", "f"},
                  "--new-sessions adds to the generated memory, not to an --image"},
         }) {
        SimOptions o;
        QString message;
        EXPECT_EQ(Parse(c.args, o, message), OptionsResult::Error)
            << c.args.join(' ').toStdString();
        EXPECT_EQ(message.toStdString(), c.message);
    }
}

TEST(SimOptionsTest, VersionAndRefusals) {
    SimOptions o;
    QString message;
    EXPECT_EQ(Parse({"--version"}, o, message), OptionsResult::Exit);
    EXPECT_TRUE(message.startsWith("tavon-instrument ")) << message.toStdString();
    for (const QStringList& args :
         {QStringList{"--pipe", "A", "--pty"}, QStringList{"--seed", "x"},
          QStringList{"--image", "f", "--with-unknown-records"}, QStringList{"extra"}}) {
        EXPECT_EQ(Parse(args, o, message), OptionsResult::Error) << args.join(' ').toStdString();
        EXPECT_FALSE(message.isEmpty());
    }
}

} // namespace
