// The server's manual page documents every option its usage names.

#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "support/run_command.h"
#include "support/temp_dir.h"

namespace {

TEST(ServerManual, EveryOptionOfTheUsageIsInTheManualPage) {
    const std::string usage = RunCommand({RAZUROZAVI_SERVER, "--help"}).out;
    const std::string manual =
        ReadFileBytes(RAZUROZAVI_SOURCE_DIR "/docs/man/razurozavi-server.1.in");
    ASSERT_FALSE(manual.empty());
    std::set<std::string> options;
    const std::regex option("--[a-z][a-z-]*[a-z]");
    for (auto it = std::sregex_iterator(usage.begin(), usage.end(), option);
         it != std::sregex_iterator(); ++it) {
        options.insert(it->str());
    }
    EXPECT_TRUE(options.count("--alerts") && options.count("--alert-interval"));
    for (const std::string& name : options) {
        // roff writes each hyphen as "\-".
        std::string roff;
        for (const char c : name) {
            roff += c == '-' ? "\\-" : std::string(1, c);
        }
        EXPECT_NE(manual.find(roff), std::string::npos) << name;
    }
}

}  // namespace
