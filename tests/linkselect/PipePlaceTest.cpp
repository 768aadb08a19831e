// Where the companion pipe's socket goes, for every combination of the two folders.
#include "linkselect/PipePlace.h"

#include "testsupport/EnvGuard.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <string>

TEST(PipePlaceTest, RuntimeFolderFirstThenTmpdirThenTmp) {
    testsupport::TempDir runtime("pipe-runtime-");
    testsupport::TempDir tmp("pipe-tmp-");
    ASSERT_TRUE(runtime.Ok() && tmp.Ok());
    // In the table "R" is the runtime folder, "T" the temporary one, "M" a folder that is not
    // there; nullptr leaves the variable unset.
    const auto value = [&](const std::string& spec) {
        if (spec.compare(0, 1, "R") == 0) {
            return runtime.Path() + spec.substr(1);
        }
        if (spec.compare(0, 1, "T") == 0) {
            return tmp.Path() + spec.substr(1);
        }
        return spec == "M" ? runtime.File("not-there") : spec;
    };
    struct {
        const char* runtime;
        const char* tmp;
        const char* name;
        const char* expected;
    } const cases[] = {
        {"R", "T", "RAK Pipe", "R/RAK Pipe"},
        {"R/", "T", "RAK Pipe", "R/RAK Pipe"}, // a trailing slash is not doubled
        {nullptr, "T", "RAK Pipe", "T/RAK Pipe"},
        {"", "T", "RAK Pipe", "T/RAK Pipe"},
        {"relative/dir", "T", "RAK Pipe", "T/RAK Pipe"},
        {"M", "T", "RAK Pipe", "T/RAK Pipe"}, // set but gone: the temporary folder
        {nullptr, nullptr, "RAK Pipe", "/tmp/RAK Pipe"},
        {nullptr, "", "Other", "/tmp/Other"},
        {"R", "T", "/elsewhere/sock", "/elsewhere/sock"},
    };
    for (const auto& c : cases) {
        const std::string runtimeValue = c.runtime ? value(c.runtime) : "";
        const std::string tmpValue = c.tmp ? value(c.tmp) : "";
        testsupport::EnvGuard runtimeGuard("XDG_RUNTIME_DIR",
                                           c.runtime ? runtimeValue.c_str() : nullptr);
        testsupport::EnvGuard tmpGuard("TMPDIR", c.tmp ? tmpValue.c_str() : nullptr);
        EXPECT_EQ(PipeSocketPath(c.name), value(c.expected))
            << "XDG_RUNTIME_DIR=" << (c.runtime ? c.runtime : "(unset)")
            << " TMPDIR=" << (c.tmp ? c.tmp : "(unset)") << " name=" << c.name;
    }
}
