// The console program as a user runs it: prompt, arguments, output bytes,
// exit status and error messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "processRunner.h"

using namespace quorvelTestSupport;

namespace {

const std::string examples = std::string(QUORVEL_SOURCE_DIR) + "/examples/";

// Attractors of a result text as a set of sets of states, each state the
// gene values as a string, e.g. {{"10"}, {"01"}}. The text is the end of
// `output`, starting at its header line `header`.
using attractorSet = std::set<std::set<std::string>>;

attractorSet attractorsAfter(const std::string& output, const std::string& header,
                             std::size_t nGenes) {
    const std::size_t start = output.rfind(header + "\n");
    if (start == std::string::npos) {
        ADD_FAILURE() << "no result header '" << header << "' in:\n" << output;
        return {};
    }
    std::istringstream lines(output.substr(start + header.size() + 1));
    attractorSet attractors;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream values(line);
        std::vector<std::string> all;
        for (std::string value; values >> value;) all.push_back(value);
        EXPECT_TRUE(!all.empty() && all.size() % nGenes == 0) << "result line: '" << line << "'";
        std::set<std::string> states;
        for (std::size_t i = 0; i + nGenes <= all.size(); i += nGenes) {
            std::string state;
            for (std::size_t g = i; g < i + nGenes; ++g) state += all[g];
            states.insert(state);
        }
        attractors.insert(states);
    }
    return attractors;
}

// The quoted strings of the JSON list that opens at text[open] (no nesting,
// no escapes: enough for the expected-result files).
std::vector<std::string> quotedStrings(const std::string& text, std::size_t open) {
    std::vector<std::string> strings;
    const std::size_t close = text.find(']', open);
    for (std::size_t at = text.find('"', open); at < close; at = text.find('"', at)) {
        const std::size_t end = text.find('"', at + 1);
        strings.push_back(text.substr(at + 1, end - at - 1));
        at = end + 1;
    }
    return strings;
}

}  // namespace

TEST(Console, promptsWithoutLineEndAndReadsOneWord) {
    const processResult run =
        runProcess({console}, "  " + examples + "toggle-switch.net  ignored\n");
    EXPECT_EQ(run.out.rfind("Enter input file name ::: \nparsing network file\n2\n", 0), 0u)
        << describe(run);
    EXPECT_EQ(run.exitStatus, 0) << describe(run);
}

TEST(Console, fileArgumentSkipsThePrompt) {
    const processResult run = runProcess({console, examples + "ring-oscillator.net"}, "");
    EXPECT_EQ(run.out.rfind("\nparsing network file\n3\n", 0), 0u) << describe(run);
    EXPECT_EQ(run.exitStatus, 0) << describe(run);
    EXPECT_EQ(run.err, "");
}

// The bundled examples and the attractors their README states, found by
// exhaustive search over the asynchronous state graph.
TEST(Console, examplesGiveTheirDocumentedAttractors) {
    struct example {
        std::string file, header;
        std::size_t nGenes;
        attractorSet expected;
    };
    const std::vector<example> cases = {
        {"toggle-switch.net", "A   B   ", 2, {{"10"}, {"01"}}},
        {"ring-oscillator.net", "A   C   B   ", 3, {{"001", "010", "011", "100", "101", "110"}}},
        {"fixed-input.net", "A   S   B   C   ", 4, {{"1000", "1001", "1010", "1011"}}},
        {"two-inputs.net",
         "S   T   A   B   ",
         4,
         {{"0001"}, {"0010"}, {"0101"}, {"0110"}, {"1001"}, {"1010"}, {"1110"}}},
    };
    for (const example& net : cases) {
        SCOPED_TRACE(net.file);
        const processResult run = runProcess({console, examples + net.file}, "");
        ASSERT_EQ(run.exitStatus, 0) << describe(run);
        // The result text closes the output: no extra line end after it.
        EXPECT_TRUE(run.out.size() >= 4 && run.out.compare(run.out.size() - 4, 4, "   \n") == 0)
            << describe(run);
        EXPECT_EQ(attractorsAfter(run.out, net.header, net.nGenes), net.expected) << describe(run);
    }
}

TEST(Console, fileNameLongerThanAHundredBytesIsUsedWhole) {
    const scratchDirectory dir;
    const std::string name = std::string(180, 'n') + ".net";
    const std::string file = dir.write(name, "^B -> A\n^A -> B\n");
    ASSERT_GT(file.size(), 100u);
    for (const bool prompt : {false, true}) {
        SCOPED_TRACE(prompt ? "name on standard input" : "name as argument");
        const processResult run =
            prompt ? runProcess({console}, file + "\n") : runProcess({console, file}, "");
        EXPECT_EQ(run.exitStatus, 0) << describe(run);
        EXPECT_TRUE(contains(run.out, "parsing network file\n2\n")) << describe(run);
    }
    const std::string missing = dir.path + "/" + std::string(300, 'm');
    const processResult run = runProcess({console, missing}, "");
    EXPECT_EQ(run.exitStatus, 1) << describe(run);
    EXPECT_TRUE(contains(run.err, "'" + missing + "'")) << describe(run);
}

// A published model: the progress lines count its rules and genes, and the
// attractors equal those found by exhaustive search (expected/models/*.json).
TEST(Console, realNetworkCountsAndAttractors) {
    const std::string networks = std::string(QUORVEL_SHARED_DIR) + "/networks/";
    if (!std::filesystem::exists(networks + "models/bbm-007.net"))
        GTEST_SKIP() << "no shared networks at " << networks;
    struct model {
        std::string id;
        int rules, genes;
    };
    for (const model& net : {model{"bbm-007", 5, 5}, model{"bbm-003", 33, 20}}) {
        SCOPED_TRACE(net.id);
        const processResult run = runProcess({console, networks + "models/" + net.id + ".net"}, "");
        ASSERT_EQ(run.exitStatus, 0) << describe(run);
        EXPECT_EQ(run.out.rfind("\nparsing network file\n" + std::to_string(net.rules) +
                                    "\nsize of geneDb is  " + std::to_string(net.genes) + "\n",
                                0),
                  0u)
            << describe(run);

        const std::string json =
            quorvelTestSupport::readFile(networks + "expected/models/" + net.id + ".json");
        // The fields used: "genes": ["a", ...] and "attractors": [["0101", ...], ...].
        const std::size_t genesAt = json.find("\"genes\": [");
        const std::size_t attractorsAt = json.find("\"attractors\": [");
        ASSERT_NE(genesAt, std::string::npos) << json;
        ASSERT_NE(attractorsAt, std::string::npos) << json;
        std::string header;
        for (const std::string& name : quotedStrings(json, json.find('[', genesAt)))
            header += name + "   ";
        attractorSet expected;
        for (std::size_t at = json.find('[', attractorsAt) + 1; json[at] != ']';) {
            if (json[at] != '[') {
                ++at;
                continue;
            }
            const std::vector<std::string> states = quotedStrings(json, at);
            expected.insert(std::set<std::string>(states.begin(), states.end()));
            at = json.find(']', at) + 1;
        }
        EXPECT_EQ(attractorsAfter(run.out, header, static_cast<std::size_t>(net.genes)), expected)
            << describe(run);
    }
}

TEST(ConsoleErrors, missingFile) {
    const scratchDirectory dir;
    const std::string missing = dir.path + "/absent.net";
    for (const bool prompt : {false, true}) {
        const processResult run =
            prompt ? runProcess({console}, missing + "\n") : runProcess({console, missing}, "");
        EXPECT_EQ(run.exitStatus, 1) << describe(run);
        EXPECT_TRUE(contains(run.err, "quorvel: cannot open network file '" + missing + "'"))
            << describe(run);
    }
}

TEST(ConsoleErrors, standardInputEndsBeforeAWord) {
    for (const std::string& input : {std::string(), std::string(" \n\t\n")}) {
        const processResult run = runProcess({console}, input);
        EXPECT_EQ(run.exitStatus, 1) << describe(run);
        EXPECT_EQ(run.out, "Enter input file name ::: ") << describe(run);
        EXPECT_TRUE(contains(run.err, "standard input ended before a file name was read"))
            << describe(run);
    }
}

TEST(ConsoleErrors, truncatedRuleAndNamelessLiteral) {
    const scratchDirectory dir;
    const std::string truncated = dir.write("truncated.net", "^B -> A\n^A ->");
    const std::string caret = dir.write("caret.net", "^B -> A\n^A&^ -> B\n");
    for (const auto& [file, rule] :
         {std::pair<std::string, std::string>{truncated, "rule 2 is cut short"},
          std::pair<std::string, std::string>{caret, "rule 2"}}) {
        const processResult run = runProcess({console, file}, "");
        EXPECT_EQ(run.exitStatus, 1) << describe(run);
        EXPECT_TRUE(contains(run.err, "network file '" + file + "', " + rule)) << describe(run);
        EXPECT_FALSE(contains(run.out, "size of geneDb")) << "analysis went on:\n" << describe(run);
    }
}

TEST(ConsoleErrors, unwritableOutputIsAFailure) {
    const processResult run =
        runProcess({console, examples + "toggle-switch.net"}, "", "/dev/full");
    EXPECT_EQ(run.exitStatus, 1) << describe(run);
    EXPECT_TRUE(contains(run.err, "cannot write the result")) << describe(run);
}

TEST(ConsoleErrors, moreThanOneArgument) {
    const processResult run = runProcess({console, "a.net", "b.net"}, "");
    EXPECT_EQ(run.exitStatus, 1) << describe(run);
    EXPECT_TRUE(contains(run.err, "usage: quorvel [NETWORK-FILE]")) << describe(run);
    EXPECT_EQ(run.out, "");
}
