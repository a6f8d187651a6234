// Calls from several threads (as a Java application makes them) are
// independent: each call's result and progress lines go where its own
// options say, whatever the other threads ask for at the same time.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "analysisOptions.h"
#include "parseNetwork.h"
#include "progressSink.h"
#include "resultText.h"

namespace {

// The cubes text in a form that ignores the order of attractors and of the
// cubes of one attractor.
std::string canonicalCubes(const std::string& text) {
    std::istringstream lines(text);
    std::string header;
    std::getline(lines, header);
    std::vector<std::string> attractors;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::vector<std::string> items;
        for (std::string word; words >> word;) items.push_back(word);
        if (!items.empty()) std::sort(items.begin() + 1, items.end());
        std::string joined;
        for (const std::string& item : items) joined += item + " ";
        attractors.push_back(joined);
    }
    std::sort(attractors.begin(), attractors.end());
    std::string all = header + "\n";
    for (const std::string& a : attractors) all += a + "\n";
    return all;
}

std::string canonicalStates(const std::string& text) {
    const resultText::parsedResult parsed = resultText::parse(text);
    if (!parsed.ok) return "malformed: " + parsed.error;
    return resultText::toString(resultText::asSet(parsed));
}

struct callKind {
    std::vector<std::string> args;  // the options
    bool printsResult;              // the call writes its result to standard output, as
                                    // findSteadyStatesBDD does
    bool cubes;                     // the result is in the cubes format
};

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

}  // namespace

TEST(ConcurrentCalls, eachCallWritesWhereItsOwnOptionsSay) {
    const std::string examples = std::string(QUORVEL_SOURCE_DIR) + "/examples/";
    const std::vector<std::string> networks = {examples + "toggle-switch.net",
                                               examples + "ring-oscillator.net",
                                               examples + "fixed-input.net"};
    const std::vector<callKind> kinds = {
        {{}, true, false},
        {{"--format", "cubes", "--quiet"}, false, true},
        {{"--quiet"}, false, false},
        {{"--format", "cubes"}, false, true},
    };
    const auto canonical = [&](const callKind& kind, const std::string& text) {
        return kind.cubes ? canonicalCubes(text) : canonicalStates(text);
    };

    // The answers of lone calls.
    std::vector<std::vector<std::string>> expected(kinds.size());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    for (const callKind& kind : kinds)
        for (const std::string& network : networks)
            expected[static_cast<size_t>(&kind - kinds.data())].push_back(
                canonical(kind, topFuncQuorvel(network.c_str(), readOptions(kind.args))));
    testing::internal::GetCapturedStderr();
    testing::internal::GetCapturedStdout();

    // 4 threads, each 40 calls of every kind in turn, on every network.
    constexpr int kThreads = 4;
    constexpr int kCalls = 40;
    std::vector<std::vector<std::string>> failures(kThreads);
    std::vector<std::vector<std::string>> printedResults(kThreads);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int c = 0; c < kCalls; ++c) {
                const size_t k = static_cast<size_t>(t + c) % kinds.size();
                const size_t n = static_cast<size_t>(c / 4 + t) % networks.size();
                const callKind& kind = kinds[k];
                try {
                    const std::string text =
                        topFuncQuorvel(networks[n].c_str(), readOptions(kind.args));
                    if (kind.printsResult) {
                        if (!writeWhole(std::cout, text))
                            failures[size_t(t)].push_back("result not written");
                        printedResults[size_t(t)].push_back(text);
                    }
                    if (canonical(kind, text) != expected[k][n])
                        failures[size_t(t)].push_back(networks[n] + " kind " + std::to_string(k) +
                                                      ": " + canonical(kind, text));
                } catch (const std::exception& error) {
                    failures[size_t(t)].push_back(networks[n] + " kind " + std::to_string(k) +
                                                  " threw: " + error.what());
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string out = testing::internal::GetCapturedStdout();

    for (const std::vector<std::string>& list : failures)
        for (const std::string& failure : list) ADD_FAILURE() << failure;
    // Standard output holds the progress of the states calls that are not
    // quiet (one "parsing network file" each) and their results, each whole;
    // the cubes calls log on standard error only (each log ends with its
    // "done" line), the quiet ones nowhere.
    size_t printed = 0;
    for (const std::vector<std::string>& texts : printedResults) {
        printed += texts.size();
        for (const std::string& text : texts)
            EXPECT_NE(out.find(text), std::string::npos) << "a result is not whole on stdout";
    }
    const int cubesLoud = kThreads * kCalls / static_cast<int>(kinds.size());
    EXPECT_EQ(occurrences(out, "\nparsing network file\n"), printed);
    EXPECT_EQ(occurrences(out, " s: done\n"), 0u);
    EXPECT_EQ(occurrences(err, " s: done\n"), static_cast<size_t>(cubesLoud));
}
