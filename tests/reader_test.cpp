// The network file reader: token layout, regulator expressions, and the
// refusal of files that cannot be read, are no text, are too large or hold
// an incomplete rule.
#include <gtest/gtest.h>

#include <unistd.h>

#include <random>
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

TEST(Reader, tokensAcrossLinesAndSeveralRulesOnOneLine) {
    const readOutcome outcome = readText("A&^B\n  -> C\nC -| A    B -> B\n");
    expectRules(outcome.rules,
                {{{"A", "B"}, {1, 0}, "C", 1}, {{"C"}, {1}, "A", 0}, {{"B"}, {1}, "B", 1}});
    EXPECT_EQ(outcome.printed, "3\n");
}

TEST(Reader, layoutDoesNotChangeTheRules) {
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

TEST(Reader, lastRuleWithoutLineEndIsReadWhole) {
    expectRules(rulesOf("A -> B\nB -| A"), {{{"A"}, {1}, "B", 1}, {{"B"}, {1}, "A", 0}});
    expectRules(rulesOf("A -> B"), {{{"A"}, {1}, "B", 1}});
}

TEST(Reader, onlyTheExactArrowInhibits) {
    expectRules(rulesOf("A -| T  A -|| T  A |- T  A -> T  A - T  A => T  A -|- T"),
                {{{"A"}, {1}, "T", 0},
                 {{"A"}, {1}, "T", 1},
                 {{"A"}, {1}, "T", 1},
                 {{"A"}, {1}, "T", 1},
                 {{"A"}, {1}, "T", 1},
                 {{"A"}, {1}, "T", 1},
                 {{"A"}, {1}, "T", 1}});
}

TEST(Reader, emptyPiecesBetweenAmpersandsAreDropped) {
    expectRules(
        rulesOf("A&&B -> T\n&A&B& -> T\nA&B -> T\n"),
        {{{"A", "B"}, {1, 1}, "T", 1}, {{"A", "B"}, {1, 1}, "T", 1}, {{"A", "B"}, {1, 1}, "T", 1}});
}

TEST(Reader, everyCaretNegatesAndTheNameIsItsFirstRun) {
    expectRules(rulesOf("^A -> T  A^ -> T  ^^A -> T  A^X -> T  ^A&B^ -> T  ^A^^B&C -> T"),
                {{{"A"}, {0}, "T", 1},
                 {{"A"}, {0}, "T", 1},
                 {{"A"}, {0}, "T", 1},
                 {{"A"}, {0}, "T", 1},
                 {{"A", "B"}, {0, 0}, "T", 1},
                 {{"A", "C"}, {0, 1}, "T", 1}});
}

TEST(Reader, expressionOfAmpersandsOnlyHasNoRegulators) {
    expectRules(rulesOf("& -> T\n&&& -| U\n"), {{{}, {}, "T", 1}, {{}, {}, "U", 0}});
}

TEST(Reader, namesAreCaseSensitiveBytesAndTargetsAreTakenWhole) {
    expectRules(rulesOf("a&^A -> A\nG\xC3\xA8ne -> ^x&y\n"),
                {{{"a", "A"}, {1, 0}, "A", 1}, {{"G\xC3\xA8ne"}, {1}, "^x&y", 1}});
}

TEST(Reader, emptyOrBlankFileHasNoRules) {
    for (const std::string& text : {std::string(), std::string(" \t\r\n\v\f\n\n")}) {
        const readOutcome outcome = readText(text);
        EXPECT_TRUE(outcome.rules.empty());
        EXPECT_EQ(outcome.printed, "0\n");
    }
}

TEST(Reader, noLimitOnNamesExpressionsOrRules) {
    const std::string longName(5000, 'g');
    std::string text = longName + "&^" + longName + "x -> " + longName + "\n";
    std::string expression;
    for (int i = 0; i < 300; ++i)
        expression += (i ? "&" : "") + std::string("r") + std::to_string(i);
    text += expression + " -| T\n";
    for (int i = 0; i < 3000; ++i) text += "P" + std::to_string(i) + " -> Q\n";
    const readOutcome outcome = readText(text);
    ASSERT_EQ(outcome.rules.size(), 3002u);
    EXPECT_EQ(outcome.rules[0].inpGeneName, (std::vector<std::string>{longName, longName + "x"}));
    EXPECT_EQ(outcome.rules[0].outGeneName, longName);
    EXPECT_EQ(outcome.rules[1].inpGeneName.size(), 300u);
    EXPECT_EQ(outcome.rules[1].inpGeneName[299], "r299");
    EXPECT_EQ(outcome.rules[3001].inpGeneName, std::vector<std::string>{"P2999"});
    EXPECT_EQ(outcome.printed, "3002\n");
}

TEST(Reader, rulesAreAppendedAndTheCountIsOfTheWholeList) {
    const scratchDirectory dir;
    const std::string file = dir.write("net", "A -> B\n");
    std::vector<networkDefBool> rules(2);
    testing::internal::CaptureStdout();
    readNetwork(file, rules);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "3\n");
    ASSERT_EQ(rules.size(), 3u);
    EXPECT_EQ(rules[2].outGeneName, "B");
}

TEST(ReaderErrors, missingFileIsAnErrorNamingIt) {
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

TEST(ReaderErrors, directoryIsAnErrorNamingIt) {
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

TEST(ReaderErrors, fileEndingAfterTheRegulatorsOfARule) {
    const std::string message = readFailure("A -> B\nB\n -| A\nA&^C");
    EXPECT_NE(message.find("rule 3 is cut short"), std::string::npos) << message;
    EXPECT_NE(message.find("'A&^C'"), std::string::npos) << message;
}

TEST(ReaderErrors, fileEndingAfterTheArrowOfARule) {
    const std::string message = readFailure("A -> B\nB -|\n");
    EXPECT_NE(message.find("rule 2 is cut short"), std::string::npos) << message;
    EXPECT_NE(message.find("arrow '-|'"), std::string::npos) << message;
}

TEST(ReaderErrors, singleTokenFile) {
    const std::string message = readFailure("A");
    EXPECT_NE(message.find("rule 1 is cut short"), std::string::npos) << message;
}

TEST(ReaderErrors, literalOfCaretsOnlyNamesNoGene) {
    for (const char* expression : {"A&^", "^", "^^&B", "A&^^^&B"}) {
        SCOPED_TRACE(expression);
        const std::string message =
            readFailure("A -> B\nB -> C\n" + std::string(expression) + " -> C\n");
        EXPECT_NE(message.find("rule 3"), std::string::npos) << message;
        EXPECT_NE(message.find("names no gene"), std::string::npos) << message;
    }
}

// ---- Careless files: what is text, and how much of it -----------------------

TEST(ReaderText, byteOrderMarkIsNoPartOfTheFirstName) {
    // With the mark kept, the toggle switch would gain a gene "\xEF\xBB\xBF^B".
    expectRules(rulesOf("\xEF\xBB\xBF^B -> A\r\n^A -> B\r\n"),
                {{{"B"}, {0}, "A", 1}, {{"A"}, {0}, "B", 1}});
    // Only a leading mark is dropped: elsewhere U+FEFF is a character of a name.
    expectRules(rulesOf("A -> \xEF\xBB\xBF"
                        "B\n"),
                {{{"A"},
                  {1},
                  "\xEF\xBB\xBF"
                  "B",
                  1}});
    EXPECT_TRUE(rulesOf("\xEF\xBB\xBF").empty());
}

TEST(ReaderText, wellFormedUtf8NamesAreRead) {
    // Two-, three- and four-byte characters, the largest code point, U+FFFD.
    const std::string names[] = {"\xC3\xA9", "\xE2\x86\x92", "\xF0\x9F\xA7\xAC", "\xF4\x8F\xBF\xBF",
                                 "\xEF\xBF\xBD"};
    std::string text;
    for (const std::string& name : names) text += name + "&^x -> " + name + "\n";
    const std::vector<networkDefBool> rules = rulesOf(text);
    ASSERT_EQ(rules.size(), 5u);
    for (std::size_t r = 0; r < rules.size(); ++r) EXPECT_EQ(rules[r].outGeneName, names[r]);
}

TEST(ReaderText, nulAndControlBytesAreRefusedWithTheirLine) {
    for (const auto& [text, what] :
         {std::pair<std::string, std::string>{std::string("A -> B\nB -> \0C\n", 16),
                                              "a NUL byte on line 2"},
          {"A -> B\n\nB\x01 -> C\n", "the control byte 0x01 on line 3"},
          {"A -> B\x1B[0m\n", "the control byte 0x1B on line 1"},
          {"A\x7F -> B\n", "the control byte 0x7F on line 1"}}) {
        const std::string message = readFailure(text);
        EXPECT_NE(message.find(what), std::string::npos) << message;
        EXPECT_NE(message.find("not a network text file"), std::string::npos) << message;
    }
}

TEST(ReaderText, malformedUtf8IsRefusedWithItsLine) {
    // A lone continuation byte, a Latin-1 letter, an overlong '/', an
    // encoded surrogate, a code point past U+10FFFF, a byte that starts
    // nothing, and a character cut short by the end of the file.
    for (const auto& [text, what] :
         {std::pair<std::string, std::string>{"A -> \x80\n", "0x80 on line 1"},
          {"A -> B\nG\xE8ne -> B\n", "0xE8 on line 2"},
          {"\xC0\xAF -> B\n", "0xC0 on line 1"},
          {"A -> B\n\n\xED\xA0\x80 -> B\n", "0xED on line 3"},
          {"\xF4\x90\x80\x80 -> B\n", "0xF4 on line 1"},
          {"\xFF -> B\n", "0xFF on line 1"},
          {"A -> B\xE2\x86", "0xE2 on line 1"}}) {
        const std::string message = readFailure(text);
        EXPECT_NE(message.find("is not UTF-8 text: the byte " + what), std::string::npos)
            << message;
    }
}

TEST(ReaderText, randomBytesAreRefused) {
    // Files of random bytes, as a careless user might name: none is a network.
    std::mt19937 random(19);
    for (int file = 0; file < 20; ++file) {
        std::string bytes(4096, '\0');
        for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
        readFailure(bytes);
    }
}

TEST(ReaderText, deviceWithoutEndIsRefusedAtOnce) {
    std::vector<networkDefBool> rules;
    testing::internal::CaptureStdout();
    try {
        readNetwork("/dev/zero", rules);
        ADD_FAILURE() << "/dev/zero was read as a network";
    } catch (const quorvelError& error) {
        EXPECT_NE(std::string(error.what()).find("'/dev/zero' holds a NUL byte on line 1"),
                  std::string::npos)
            << error.what();
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(ReaderText, fileLargerThanTheBoundIsRefusedUnread) {
    // A sparse file one byte past the bound: refused from its size, so the
    // test neither writes nor reads a gigabyte.
    const scratchDirectory dir;
    const std::string file = dir.write("huge.net", "A -> B\n");
    ASSERT_EQ(truncate(file.c_str(), static_cast<off_t>(kMaxNetworkFileBytes) + 1), 0);
    try {
        readNetworkText(file);
        ADD_FAILURE() << "a file past the bound was read";
    } catch (const quorvelError& error) {
        EXPECT_NE(std::string(error.what()).find("'" + file + "' is larger than 1024 MiB"),
                  std::string::npos)
            << error.what();
    }
}

TEST(Tokenize, maximalRunsOfNonDelimiters) {
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
