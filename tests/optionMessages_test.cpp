// The command line's small promises: --max-memory has a floor and takes the
// documented units only, and every name a user gives is shown in messages
// with its control characters escaped.
#include <gtest/gtest.h>

#include <string>

#include "analysisOptions.h"
#include "processRunner.h"
#include "util.h"

using quorvelTestSupport::console;
using quorvelTestSupport::processResult;
using quorvelTestSupport::runProcess;
using quorvelTestSupport::scratchDirectory;

namespace {

std::string optionMessage(const std::vector<std::string>& args) {
    try {
        readOptions(args);
    } catch (const optionError& error) {
        return error.what();
    }
    return "(accepted)";
}

}  // namespace

TEST(OptionMessages, maxMemoryHasAFloorAndTheDocumentedUnits) {
    EXPECT_EQ(readOptions({"--max-memory", "16M"}).maxMemory, std::size_t(16) << 20);
    EXPECT_EQ(readOptions({"--max-memory", "16777216"}).maxMemory, std::size_t(16) << 20);
    EXPECT_EQ(readOptions({"--max-memory=512MiB"}).maxMemory, std::size_t(512) << 20);
    EXPECT_EQ(readOptions({"--max-memory=2g"}).maxMemory, std::size_t(2) << 30);
    for (const char* small : {"1", "1K", "15M", "16777215"}) {
        SCOPED_TRACE(small);
        const std::string message = optionMessage({"--max-memory", small});
        EXPECT_NE(message.find("less than the smallest limit, 16M"), std::string::npos) << message;
    }
    for (const char* undocumented : {"512MB", "1GB", "64kb", "100B"}) {
        SCOPED_TRACE(undocumented);
        const std::string message = optionMessage({"--max-memory", undocumented});
        EXPECT_NE(message.find("is not a memory size"), std::string::npos) << message;
    }
    EXPECT_NE(helpText().find("at least\n                         16M"), std::string::npos);
}

TEST(OptionMessages, controlCharactersAreEscaped) {
    EXPECT_EQ(printableName("plain-name_1"), "plain-name_1");
    EXPECT_EQ(printableName("A\x01"
                            "B"),
              "A\\x01B");
    EXPECT_EQ(printableName("\x1b[31mred\x7f"), "\\x1B[31mred\\x7F");
    EXPECT_EQ(printableName("tab\there\n"), "tab\\x09here\\x0A");
    EXPECT_EQ(printableName("caf\xC3\xA9 \xF0\x9F\x98\x80"), "caf\xC3\xA9 \xF0\x9F\x98\x80");
    EXPECT_EQ(printableName("\xC2\x9B"
                            "2J"),
              "\\u009B2J");                              // C1 control in UTF-8
    EXPECT_EQ(printableName("\xFF\xC3"), "\\xFF\\xC3");  // not UTF-8
    EXPECT_EQ(optionMessage({"--format", "x\x1b]0;t\x07"}),
              "invalid value 'x\\x1B]0;t\\x07' for --format (states, cubes or json)");
    EXPECT_EQ(optionMessage({"--bo\x1bgus"}), "unknown option '--bo\\x1Bgus'");
}

// The console's message for a fixed gene the network lacks, and for a file
// it cannot open, show the names escaped.
TEST(OptionMessages, consoleEscapesNamesInItsMessages) {
    const scratchDirectory dir;
    const std::string file = dir.write("toggle.net", "^B -> A\n^A -> B\n");
    const processResult fix = runProcess({console, "--fix", "A\x1b[2J=1", file}, "");
    EXPECT_EQ(fix.exitStatus, 1);
    EXPECT_NE(fix.err.find("no gene named A\\x1B[2J"), std::string::npos) << fix.err;
    EXPECT_EQ(fix.err.find('\x1b'), std::string::npos) << fix.err;
    const processResult missing = runProcess({console, dir.path + "/no\x07such.net"}, "");
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_NE(missing.err.find("no\\x07such.net"), std::string::npos) << missing.err;
    EXPECT_EQ(missing.err.find('\x07'), std::string::npos) << missing.err;
}
