// The simulator's command line, read in process.
#include <gtest/gtest.h>

#include "sim/Options.h"

namespace {

OptionsResult Parse(QStringList args, SimOptions& options, QString& message) {
    args.prepend("tavon-instrument");
    return ParseSimOptions(args, options, message);
}

TEST(SimOptionsTest, ReadsEveryKindOfValue) {
    SimOptions o;
    QString message;
    ASSERT_EQ(Parse({"--pty", "--seed", "7", "--driver-version=A", "--interface-version", "10",
                     "--baud", "115200", "--fault", "drop:0.5,stall-after:40", "--log", "l.txt"},
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
    EXPECT_EQ(o.logPath, "l.txt");
    EXPECT_EQ(o.pipeName, "RAK Pipe");
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
