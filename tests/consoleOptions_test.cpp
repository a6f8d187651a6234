// The console program's options as a user meets them: help and version,
// where the result and the progress lines go, and every kind of bad
// command line (exit status 1 with the usage line).
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "processRunner.h"

using namespace quorvelTestSupport;

namespace {

const std::string toggle = std::string(QUORVEL_SOURCE_DIR) + "/examples/toggle-switch.net";

TEST(ConsoleOptions, helpAndVersionExitZero) {
    for (const char* help : {"-h", "--help"}) {
        const processResult run = runProcess({console, help}, "");
        EXPECT_EQ(run.exitStatus, 0) << describe(run);
        for (const char* part :
             {"usage: quorvel", "--format", "states", "cubes", "json", "--update", "--fix GENE=0|1",
              "--quiet", "--version", ".bnet", ".sbml", "REGULATORS -> TARGET"})
            EXPECT_TRUE(contains(run.out, part)) << part << "\n" << describe(run);
    }
    const processResult version = runProcess({console, "--version"}, "");
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.out.rfind("quorvel ", 0), 0u) << describe(version);
}

TEST(ConsoleOptions, jsonAloneOnStandardOutputProgressOnStandardError) {
    const processResult run = runProcess({console, "--format", "json", toggle}, "");
    ASSERT_EQ(run.exitStatus, 0) << describe(run);
    const nlohmann::json doc = nlohmann::json::parse(run.out);  // the whole output is JSON
    EXPECT_EQ(doc["genes"], nlohmann::json::parse(R"(["A","B"])"));
    EXPECT_EQ(doc["attractors"].size(), 2u);
    // Not a terminal: a log of whole lines, one per step, that tells how far
    // along the search is, and none rewritten in place.
    EXPECT_GE(std::count(run.err.begin(), run.err.end(), '\n'), 5) << describe(run);
    EXPECT_TRUE(contains(run.err, "block 1 of 1")) << describe(run);
    EXPECT_EQ(run.err.find('\r'), std::string::npos) << describe(run);

    const processResult quiet = runProcess({console, "--quiet", "--format=cubes", toggle}, "");
    EXPECT_EQ(quiet.exitStatus, 0) << describe(quiet);
    EXPECT_EQ(quiet.err, "");
    EXPECT_TRUE(quiet.out == "A   B   \n1   01   \n1   10   \n" ||
                quiet.out == "A   B   \n1   10   \n1   01   \n")
        << describe(quiet);
}

TEST(ConsoleOptions, promptGoesToStandardErrorWhenTheResultStandsAlone) {
    const processResult run = runProcess({console, "--format", "json", "--quiet"}, toggle + "\n");
    EXPECT_EQ(run.exitStatus, 0) << describe(run);
    EXPECT_EQ(run.err, "Enter input file name ::: ");
    EXPECT_EQ(run.out.front(), '{') << describe(run);
    // With a log after it, the prompt's line is ended first.
    const processResult logged = runProcess({console, "--format", "json"}, toggle + "\n");
    EXPECT_EQ(logged.err.rfind("Enter input file name ::: \nquorvel: ", 0), 0u) << describe(logged);
}

TEST(ConsoleOptions, everyBadCommandLineGivesTheUsageLine) {
    const std::vector<std::vector<std::string>> bad = {
        {"--bogus", toggle},
        {"-q", toggle},
        {"--format", "xml", toggle},
        {"--update", "both", toggle},
        {"--fix", "A", toggle},
        {"--fix", "A=2", toggle},
        {"--fix", "A=1", "--fix", "A=0", toggle},
        {"--fix", "Nope=1", toggle},
        {toggle, toggle},
        {"--format"},
    };
    for (const std::vector<std::string>& args : bad) {
        std::vector<std::string> command{console};
        command.insert(command.end(), args.begin(), args.end());
        const processResult run = runProcess(command, "");
        EXPECT_EQ(run.exitStatus, 1) << args[0] << " " << describe(run);
        EXPECT_TRUE(contains(run.err, "usage: quorvel")) << args[0] << " " << describe(run);
        EXPECT_FALSE(contains(run.out, "{")) << describe(run);
    }
    const processResult unknownGene = runProcess({console, "--fix", "Nope=1", toggle}, "");
    EXPECT_TRUE(contains(unknownGene.err, "Nope")) << describe(unknownGene);
}

// The options do not change what an analysis without them writes.
TEST(ConsoleOptions, defaultsAreTheStateText) {
    const processResult plain = runProcess({console, toggle}, "");
    const processResult explicitDefaults =
        runProcess({console, "--format", "states", "--update", "async", toggle}, "");
    EXPECT_EQ(plain.exitStatus, 0);
    EXPECT_EQ(explicitDefaults.exitStatus, 0);
    EXPECT_EQ(plain.out.substr(0, plain.out.find("A   B")),
              explicitDefaults.out.substr(0, explicitDefaults.out.find("A   B")));
    EXPECT_TRUE(contains(plain.out, "\nparsing network file\n")) << describe(plain);
}

// ---- Progress on a terminal -------------------------------------------------

TEST(ConsoleProgress, oneLineRewrittenInPlaceAndClearedAtTheEnd) {
    const processResult run = runProcessOnTerminal({console, "--format", "cubes", toggle});
    ASSERT_EQ(run.exitStatus, 0) << describe(run);
    EXPECT_EQ(run.out.rfind("A   B   \n", 0), 0u) << describe(run);
    EXPECT_EQ(run.err.find('\n'), std::string::npos) << describe(run);
    EXPECT_GE(std::count(run.err.begin(), run.err.end(), '\r'), 5) << describe(run);
    // The last write blanks the line and leaves the cursor at its start.
    ASSERT_GE(run.err.size(), 2u);
    const size_t before = run.err.rfind('\r', run.err.size() - 2);
    ASSERT_NE(before, std::string::npos);
    EXPECT_EQ(run.err.find_first_not_of(' ', before + 1), run.err.size() - 1) << describe(run);
}

TEST(ConsoleProgress, quietAndTheStatesFormatLeaveTheTerminalAlone) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{console, "--quiet", "--format", "json", toggle},
          std::vector<std::string>{console, toggle}}) {
        const processResult run = runProcessOnTerminal(args);
        EXPECT_EQ(run.exitStatus, 0) << describe(run);
        EXPECT_EQ(run.err, "") << describe(run);
    }
    // --quiet in the states format: the result text alone.
    const processResult quiet = runProcess({console, "--quiet", toggle}, "");
    EXPECT_EQ(quiet.out.rfind("A   B   \n", 0), 0u) << describe(quiet);
}

TEST(ConsoleProgress, anErrorStartsALineOfItsOwn) {
    // The missing gene is found after the first steps were shown.
    const processResult run =
        runProcessOnTerminal({console, "--format", "cubes", "--fix", "Z=1", toggle});
    EXPECT_EQ(run.exitStatus, 1) << describe(run);
    const size_t message = run.err.find("quorvel: --fix");
    ASSERT_NE(message, std::string::npos) << describe(run);
    ASSERT_GT(message, 0u) << describe(run);
    EXPECT_EQ(run.err[message - 1], '\n') << describe(run);
}

}  // namespace
