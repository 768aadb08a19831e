// Claims on links: the names every front end gives them, and who is told a link is held.
#include <QCoreApplication>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "session/LinkClaim.h"
#include "testsupport/EnvGuard.h"
#include "testsupport/TempDir.h"

namespace {

TEST(LinkClaimTest, ALinkHasOneNameWhoeverOpensIt) {
    const struct {
        bool pipe;
        const char* name;
        const char* claim;
    } links[] = {
        {true, "RAK Pipe", "link pipe RAK Pipe"},
        {false, "ttyUSB0", "link ttyUSB0"},
        {false, "pts/3", "link pts/3"},
        {false, "COM3", "link COM3"},
    };
    for (const auto& link : links) {
        EXPECT_EQ(LinkClaim::LinkName(link.pipe, link.name), link.claim);
    }
}

TEST(LinkClaimTest, AHeldLinkNamesItsHolderAndSaysItIsHeld) {
    testsupport::TempDir runtime("tavon-claims-");
    testsupport::EnvGuard place("XDG_RUNTIME_DIR", runtime.Path());
    const std::string name = LinkClaim::LinkName(true, "RAK Pipe");
    std::string holder = "stale";
    bool held = true;
    std::unique_ptr<LinkClaim> first = LinkClaim::Take(name, holder, &held);
    ASSERT_NE(first, nullptr);
    EXPECT_FALSE(held);
    EXPECT_EQ(holder, "");

    const std::string us = QCoreApplication::applicationName().toStdString() + ", process " +
                           std::to_string(QCoreApplication::applicationPid());
    EXPECT_EQ(LinkClaim::Take(name, holder, &held), nullptr);
    EXPECT_TRUE(held);
    EXPECT_EQ(holder, us);
    EXPECT_EQ(LinkClaim::Holder(name), us);
    // Another link is free all the same.
    EXPECT_NE(LinkClaim::Take(LinkClaim::LinkName(false, "ttyUSB0"), holder, &held), nullptr);
    EXPECT_FALSE(held);

    first.reset();
    EXPECT_EQ(LinkClaim::Holder(name), "");
}

} // namespace
