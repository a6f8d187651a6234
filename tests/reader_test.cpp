// The network file reader: token layout, regulator expressions, and the
// refusal of files that cannot be read or hold an incomplete rule.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "processRunner.h"
#include "util.h"

using quorvelTestSupport::scratchDirectory;

namespace {

struct readOutcome {
    std::vector<networkDefBool> rules;
    std::string printed;  // what readNetwork wrote to standard output
};

readOutcome readText(const std::string& text) {
    const scratchDirectory dir;
    const std::string file = dir.write("net.txt", text);
    readOutcome outcome;
    testing::internal::CaptureStdout();
    try {
        readNetwork(file, outcome.rules);
    } catch (...) {
        testing::internal::GetCapturedStdout();
        throw;
    }
    outcome.printed = testing::internal::GetCapturedStdout();
    return outcome;
}

// The message of the quorvelError that reading `text` raises; fails the test
// when it raises none, prints a count, changes the list or does not name the
// file.
std::string readFailure(const std::string& text) {
    const scratchDirectory dir;
    const std::string file = dir.write("broken.net", text);
    std::vector<networkDefBool> rules(1);  // one rule already there
    rules[0].outGeneName = "kept";
    testing::internal::CaptureStdout();
    std::string message;
    try {
        readNetwork(file, rules);
        ADD_FAILURE() << "no error for:\n" << text;
    } catch (const quorvelError& error) {
        message = error.what();
    }
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "") << "a refused file must not print a rule count";
    EXPECT_EQ(rules.size(), 1u) << "a refused file must not append rules";
    EXPECT_NE(message.find(file), std::string::npos) << message;
    return message;
}

struct expectedRule {
    std::vector<std::string> names;
    std::vector<int> polarities;
    std::string target;
    int polarity;
};

void expectRules(const std::vector<networkDefBool>& rules,
                 const std::vector<expectedRule>& expected) {
    ASSERT_EQ(rules.size(), expected.size());
    for (std::size_t r = 0; r < rules.size(); ++r) {
        SCOPED_TRACE("rule " + std::to_string(r + 1));
        EXPECT_EQ(rules[r].inpGeneName, expected[r].names);
        EXPECT_EQ(rules[r].inpGenePolar, expected[r].polarities);
        EXPECT_EQ(rules[r].outGeneName, expected[r].target);
        EXPECT_EQ(rules[r].outGenePolar, expected[r].polarity);
    }
}

std::vector<networkDefBool> rulesOf(const std::string& text) { return readText(text).rules; }

}  // namespace

TEST(reader, tokensAcrossLinesAndSeveralRulesOnOneLine) {
    const readOutcome outcome = readText("A&^B\n  -> C\nC -| A    B -> B\n");
    expectRules(outcome.rules, {{{"A", "B"}, {1, 0}, "C", 1},
                                {{"C"}, {1}, "A", 0},
                                {{"B"}, {1}, "B", 1}});
    EXPECT_EQ(outcome.printed, "3\n");
}

TEST(reader, layoutDoesNotChangeTheRules) {
    const std::string oneRulePerLine = "A&^B -> C\nC -| A\nB -> B\n";
    const std::string spread = "\tA&^B\n\n->\r\nC C\v-|\fA B\n->\nB";
    const std::string crlf = "A&^B -> C\r\nC -| A\r\nB -> B\r\n";
    const std::vector<networkDefBool> reference = rulesOf(oneRulePerLine);
    for (const std::string& text : {spread, crlf}) {
        SCOPED_TRACE(text);
        const std::vector<networkDefBool> rules = rulesOf(text);
        ASSERT_EQ(rules.size(), reference.size());
        for (std::size_t r = 0; r < rules.size(); ++r) {
            EXPECT_EQ(rules[r].inpGeneName, reference[r].inpGeneName);
            EXPECT_EQ(rules[r].inpGenePolar, reference[r].inpGenePolar);
            EXPECT_EQ(rules[r].outGeneName, reference[r].outGeneName);  // no stray '\r'
            EXPECT_EQ(rules[r].outGenePolar, reference[r].outGenePolar);
        }
    }
}

TEST(reader, lastRuleWithoutLineEndIsReadWhole) {
    expectRules(rulesOf("A -> B\nB -| A"), {{{"A"}, {1}, "B", 1}, {{"B"}, {1}, "A", 0}});
    expectRules(rulesOf("A -> B"), {{{"A"}, {1}, "B", 1}});
}

TEST(reader, onlyTheExactArrowInhibits) {
    expectRules(rulesOf("A -| T  A -|| T  A |- T  A -> T  A - T  A => T  A -|- T"),
                {{{"A"}, {1}, "T", 0},
                 {{"A"}, {1}, "T", 1},
                 {{"A"}, {1}, "T", 1},
                 {{"A"}, {1}, "T", 1},
                 {{"A"}, {1}, "T", 1},
                 {{"A"}, {1}, "T", 1},
                 {{"A"}, {1}, "T", 1}});
}

TEST(reader, emptyPiecesBetweenAmpersandsAreDropped) {
    expectRules(rulesOf("A&&B -> T\n&A&B& -> T\nA&B -> T\n"),
                {{{"A", "B"}, {1, 1}, "T", 1},
                 {{"A", "B"}, {1, 1}, "T", 1},
                 {{"A", "B"}, {1, 1}, "T", 1}});
}

TEST(reader, everyCaretNegatesAndTheNameIsItsFirstRun) {
    expectRules(rulesOf("^A -> T  A^ -> T  ^^A -> T  A^X -> T  ^A&B^ -> T  ^A^^B&C -> T"),
                {{{"A"}, {0}, "T", 1},
                 {{"A"}, {0}, "T", 1},
                 {{"A"}, {0}, "T", 1},
                 {{"A"}, {0}, "T", 1},
                 {{"A", "B"}, {0, 0}, "T", 1},
                 {{"A", "C"}, {0, 1}, "T", 1}});
}

TEST(reader, expressionOfAmpersandsOnlyHasNoRegulators) {
    expectRules(rulesOf("& -> T\n&&& -| U\n"), {{{}, {}, "T", 1}, {{}, {}, "U", 0}});
}

TEST(reader, namesAreCaseSensitiveBytesAndTargetsAreTakenWhole) {
    expectRules(rulesOf("a&^A -> A\nG\xC3\xA8ne -> ^x&y\n"),
                {{{"a", "A"}, {1, 0}, "A", 1}, {{"G\xC3\xA8ne"}, {1}, "^x&y", 1}});
}

TEST(reader, emptyOrBlankFileHasNoRules) {
    for (const std::string& text : {std::string(), std::string(" \t\r\n\v\f\n\n")}) {
        const readOutcome outcome = readText(text);
        EXPECT_TRUE(outcome.rules.empty());
        EXPECT_EQ(outcome.printed, "0\n");
    }
}

TEST(reader, noLimitOnNamesExpressionsOrRules) {
    const std::string longName(5000, 'g');
    std::string text = longName + "&^" + longName + "x -> " + longName + "\n";
    std::string expression;
    for (int i = 0; i < 300; ++i) expression += (i ? "&" : "") + std::string("r") + std::to_string(i);
    text += expression + " -| T\n";
    for (int i = 0; i < 3000; ++i) text += "P" + std::to_string(i) + " -> Q\n";
    const readOutcome outcome = readText(text);
    ASSERT_EQ(outcome.rules.size(), 3002u);
    EXPECT_EQ(outcome.rules[0].inpGeneName,
              (std::vector<std::string>{longName, longName + "x"}));
    EXPECT_EQ(outcome.rules[0].outGeneName, longName);
    EXPECT_EQ(outcome.rules[1].inpGeneName.size(), 300u);
    EXPECT_EQ(outcome.rules[1].inpGeneName[299], "r299");
    EXPECT_EQ(outcome.rules[3001].inpGeneName, std::vector<std::string>{"P2999"});
    EXPECT_EQ(outcome.printed, "3002\n");
}

TEST(reader, rulesAreAppendedAndTheCountIsOfTheWholeList) {
    const scratchDirectory dir;
    const std::string file = dir.write("net", "A -> B\n");
    std::vector<networkDefBool> rules(2);
    testing::internal::CaptureStdout();
    readNetwork(file, rules);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "3\n");
    ASSERT_EQ(rules.size(), 3u);
    EXPECT_EQ(rules[2].outGeneName, "B");
}

TEST(readerErrors, missingFileIsAnErrorNamingIt) {
    const scratchDirectory dir;
    const std::string missing = dir.path + "/no such network.net";
    std::vector<networkDefBool> rules;
    testing::internal::CaptureStdout();
    try {
        readNetwork(missing, rules);
        ADD_FAILURE() << "a missing file was read as a network";
    } catch (const quorvelError& error) {
        EXPECT_NE(std::string(error.what()).find("cannot open network file '" + missing + "'"),
                  std::string::npos)
            << error.what();
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(rules.empty());
}

TEST(readerErrors, directoryIsAnErrorNamingIt) {
    const scratchDirectory dir;
    std::vector<networkDefBool> rules;
    testing::internal::CaptureStdout();
    try {
        readNetwork(dir.path, rules);
        ADD_FAILURE() << "a directory was read as an empty network";
    } catch (const quorvelError& error) {
        EXPECT_NE(std::string(error.what()).find("'" + dir.path + "'"), std::string::npos)
            << error.what();
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(rules.empty());
}

TEST(readerErrors, fileEndingAfterTheRegulatorsOfARule) {
    const std::string message = readFailure("A -> B\nB\n -| A\nA&^C");
    EXPECT_NE(message.find("rule 3 is cut short"), std::string::npos) << message;
    EXPECT_NE(message.find("'A&^C'"), std::string::npos) << message;
}

TEST(readerErrors, fileEndingAfterTheArrowOfARule) {
    const std::string message = readFailure("A -> B\nB -|\n");
    EXPECT_NE(message.find("rule 2 is cut short"), std::string::npos) << message;
    EXPECT_NE(message.find("arrow '-|'"), std::string::npos) << message;
}

TEST(readerErrors, singleTokenFile) {
    const std::string message = readFailure("A");
    EXPECT_NE(message.find("rule 1 is cut short"), std::string::npos) << message;
}

TEST(readerErrors, literalOfCaretsOnlyNamesNoGene) {
    for (const char* expression : {"A&^", "^", "^^&B", "A&^^^&B"}) {
        SCOPED_TRACE(expression);
        const std::string message =
            readFailure("A -> B\nB -> C\n" + std::string(expression) + " -> C\n");
        EXPECT_NE(message.find("rule 3"), std::string::npos) << message;
        EXPECT_NE(message.find("names no gene"), std::string::npos) << message;
    }
}

TEST(tokenize, maximalRunsOfNonDelimiters) {
    const auto pieces = [](const std::string& str, const char* delimiter) {
        std::vector<std::string> tokens{"before"};
        tokenize(str, tokens, delimiter);
        return tokens;
    };
    using list = std::vector<std::string>;
    EXPECT_EQ(pieces("", "&"), list{"before"});
    EXPECT_EQ(pieces("&&&", "&"), list{"before"});
    EXPECT_EQ(pieces("&a&&bc&", "&"), (list{"before", "a", "bc"}));
    EXPECT_EQ(pieces("a^b&c", "&^"), (list{"before", "a", "b", "c"}));
    EXPECT_EQ(pieces("abc", "&"), (list{"before", "abc"}));
}
