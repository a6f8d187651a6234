// libFuzzer targets over the network readers and the whole analysis: built
// once per format, with QUORVEL_FUZZ_ENDING the file name ending that picks
// the reader ("" for the rule format, ".bnet", ".sbml").
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
#include "readNetworkFile.h"
#include "randomNetwork.h"
#include "resultText.h"
#include "util.h"

namespace {

#ifndef QUORVEL_FUZZ_ENDING
#define QUORVEL_FUZZ_ENDING ""
#endif

// Inputs past this size are not tried: the reader's bounds are tested
// elsewhere, and small inputs keep every run in milliseconds. An SBML
// document needs about 700 bytes of frame around its first species.
constexpr std::size_t kMaxInputBytes = sizeof(QUORVEL_FUZZ_ENDING) == sizeof(".sbml") ? 8192 : 2048;
// Networks past this many genes are read but not analysed: the exhaustive
// reference explores 2^genes states.
constexpr std::size_t kMaxGenes = 8;

int memoryFile = -1;
std::string memoryFilePath;  // the input, under a name with the format's ending

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
    if (sizeof(QUORVEL_FUZZ_ENDING) > 1) {
        // The readers are chosen by the name's ending: a link to the file.
        char folder[] = "/tmp/fuzzNetworkXXXXXX";
        if (mkdtemp(folder) == nullptr) std::abort();
        const std::string link = std::string(folder) + "/input" + QUORVEL_FUZZ_ENDING;
        if (symlink(memoryFilePath.c_str(), link.c_str()) != 0) std::abort();
        memoryFilePath = link;
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxInputBytes) return -1;
    const std::string input(reinterpret_cast<const char*>(data), size);
    if (ftruncate(memoryFile, 0) != 0 ||
        pwrite(memoryFile, data, size, 0) != static_cast<ssize_t>(size))
        std::abort();

    std::vector<networkDefBool> network;
    std::vector<std::string> names;  // the result's header (the rule format: order of appearance)
    try {
        readNetworkFile(memoryFilePath, network, names);
    } catch (const quorvelError&) {
        return 0;
    }
    if (names.empty()) names = genesInFileOrder(network);
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
