// libFuzzer target over the network reader and the whole analysis.
//
// Every input is handed to the reader as a network file. A file the reader
// refuses must be refused with quorvelError; a network it accepts with at
// most kMaxGenes genes is analysed whole, and the result text must list
// exactly the asynchronous attractors that an exhaustive search over every
// state finds. Any other outcome (a crash, a sanitizer report, another
// exception, a different answer) aborts with the input's network printed.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "bruteForce.h"
#include "parseNetwork.h"
#include "randomNetwork.h"
#include "resultText.h"
#include "util.h"

namespace {

// Inputs past this size are not tried: the reader's bounds are tested
// elsewhere, and small inputs keep every run in milliseconds.
constexpr std::size_t kMaxInputBytes = 2048;
// Networks past this many genes are read but not analysed: the exhaustive
// reference explores 2^genes states.
constexpr std::size_t kMaxGenes = 8;

int memoryFile = -1;
std::string memoryFilePath;

[[noreturn]] void fail(const std::string& what, const std::string& network,
                       const std::string& detail) {
    std::fprintf(stderr, "fuzzNetwork: %s\n---- network file\n%s\n---- %s\n", what.c_str(),
                 network.c_str(), detail.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The analysis writes progress lines on standard output; libFuzzer
    // reports on standard error.
    std::FILE* sink = std::freopen("/dev/null", "w", stdout);
    if (sink == nullptr) std::abort();
    // The input reaches the reader as a file that lives in memory only.
    memoryFile = memfd_create("fuzzNetwork", 0);
    if (memoryFile < 0) std::abort();
    memoryFilePath = "/proc/self/fd/" + std::to_string(memoryFile);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxInputBytes) return -1;
    const std::string input(reinterpret_cast<const char*>(data), size);
    if (ftruncate(memoryFile, 0) != 0 ||
        pwrite(memoryFile, data, size, 0) != static_cast<ssize_t>(size))
        std::abort();

    std::vector<networkDefBool> network;
    try {
        readNetwork(memoryFilePath, network);
    } catch (const quorvelError&) {
        return 0;
    }
    const std::vector<std::string> names = genesInFileOrder(network);
    if (names.size() > kMaxGenes) return 0;

    std::string text;
    try {
        text = topFuncQuorvel(memoryFilePath.c_str());
    } catch (const std::exception& error) {
        fail("the analysis of an accepted network failed", input, error.what());
    }
    const resultText::parsedResult parsed = resultText::parse(text);
    if (!parsed.ok) fail("malformed result text (" + parsed.error + ")", input, text);

    const int n = static_cast<int>(names.size());
    const bruteForce::updateFunction update = [&](int g, const bruteForce::state& x) {
        std::map<std::string, int> values;
        for (std::size_t i = 0; i < names.size(); ++i) values[names[i]] = x[i];
        return nextValueByRules(network, names[static_cast<std::size_t>(g)], values);
    };
    const bruteForce::attractorSet expected = bruteForce::asyncAttractors(n, update);
    if (parsed.genes != names || resultText::asSet(parsed) != expected ||
        parsed.attractors.size() != expected.size() || resultText::hasRepeatedStates(parsed))
        fail("the result differs from the exhaustive search", input,
             "expected " + bruteForce::toString(expected) + "\nresult:\n" + text);
    return 0;
}
