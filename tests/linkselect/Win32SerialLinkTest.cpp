// The Windows serial link over a real COM port pair: the test run maps two COM ports to the two
// ends of a pseudo-terminal pair (Wine's port table), so what one link writes the other reads.
#include "linkselect/SerialLink.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

std::string PortFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// Reads until count bytes came or two seconds passed; reads never wait themselves.
std::string ReadSome(Link& link, size_t count) {
    std::string got;
    for (int i = 0; i < 200 && got.size() < count; ++i) {
        uint8_t buffer[64];
        const int32_t n = link.Read(buffer, sizeof buffer);
        if (n < 0) {
            break;
        }
        got.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(n));
        if (n == 0) {
            Sleep(10);
        }
    }
    return got;
}

class Win32SerialLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(portA_.empty() || portB_.empty())
            << "TAVON_TEST_COM_A and TAVON_TEST_COM_B name a COM port pair "
               "(scripts/test-windows.sh maps them)";
        a_ = SerialLink::Open(portA_);
        b_ = SerialLink::Open(portB_);
        ASSERT_NE(a_, nullptr) << portA_;
        ASSERT_NE(b_, nullptr) << portB_;
    }

    std::string portA_ = PortFromEnvironment("TAVON_TEST_COM_A");
    std::string portB_ = PortFromEnvironment("TAVON_TEST_COM_B");
    std::shared_ptr<SerialLink> a_;
    std::shared_ptr<SerialLink> b_;
};

TEST(Win32SerialLink, MissingPortDoesNotOpen) {
    EXPECT_EQ(SerialLink::Open("COM199"), nullptr);
    EXPECT_EQ(SerialLink::Open(""), nullptr);
}

TEST_F(Win32SerialLinkTest, BytesBothWaysAtTheInstrumentsSettings) {
    Link::LineSettings settings;
    settings.baud = 9600;
    settings.stopBits = 2;
    EXPECT_TRUE(a_->Configure(settings));
    EXPECT_TRUE(b_->Configure(settings));
    const Link::LineSettings now = a_->CurrentSettings();
    EXPECT_EQ(now.baud, 9600);
    EXPECT_EQ(now.dataBits, 8);
    EXPECT_EQ(now.parity, Link::Parity::None);
    EXPECT_EQ(now.stopBits, 2);
    a_->SetQueueSizes(4096, 4096);

    uint8_t nothing[8];
    EXPECT_EQ(b_->Read(nothing, sizeof nothing), 0) << "a read with nothing there returns at once";

    const std::string frame("\x02"
                            "A1\x00\xff"
                            "ok\r",
                            8);
    ASSERT_EQ(a_->Write(reinterpret_cast<const uint8_t*>(frame.data()), 8), 8);
    EXPECT_EQ(ReadSome(*b_, frame.size()), frame);
    ASSERT_EQ(b_->Write(reinterpret_cast<const uint8_t*>("back"), 4), 4);
    EXPECT_EQ(ReadSome(*a_, 4), "back");
}

TEST_F(Win32SerialLinkTest, RefusedModemLinesLeaveThePortWorking) {
    // A pseudo-terminal has no modem lines; whatever the answer, the port goes on.
    a_->SetModemLine(Link::ModemLine::ClrDtr);
    a_->SetModemLine(Link::ModemLine::SetRts);
    ASSERT_EQ(a_->Write(reinterpret_cast<const uint8_t*>("x"), 1), 1);
    EXPECT_EQ(ReadSome(*b_, 1), "x");
}

TEST_F(Win32SerialLinkTest, AClosedLinkFailsHarmlessly) {
    a_->Close();
    uint8_t buffer[4];
    EXPECT_FALSE(a_->IsOpen());
    EXPECT_EQ(a_->Read(buffer, sizeof buffer), -1);
    EXPECT_EQ(a_->Write(buffer, 1), -1);
    EXPECT_FALSE(a_->Configure(Link::LineSettings()));
    EXPECT_FALSE(a_->SetModemLine(Link::ModemLine::SetDtr));
    a_->Close();
    // The port is free again once closed.
    EXPECT_NE(SerialLink::Open(portA_), nullptr);
}

} // namespace
