// An argument the options fuzzer found (options/listen_open_bracket): "--listen [6:1". The
// listen host lost its first and last characters whenever it began with '[', closed or
// not, so "[6" became "" and the start-up error named no host at all. Only "[...]" loses
// its brackets.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "tools/standin/src/command_line.h"

namespace {

TEST(OptionsRegression, ListenHostLosesOnlyClosedBrackets) {
    const std::pair<const char*, const char*> cases[] = {
        {"[6:1", "[6"}, {"[:5", "["}, {"[::1]:1433", "::1"}, {"[]:1433", ""}, {"localhost:0", "localhost"}};
    for (const auto& [value, host] : cases) {
        standin::Settings settings;
        EXPECT_EQ(standin::ParseOptions({"--listen", value}, settings), std::nullopt) << value;
        EXPECT_EQ(settings.Server.Host, host) << value;
    }
}

}  // namespace
