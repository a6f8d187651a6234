// The SBML reader lives in libquorvel_sbml.so, which libquorvel.so loads only
// when an SBML file is read: a rule or .bnet file starts without libsbml,
// libxml2 and ICU, so the console starts under a small address-space limit.
// (The Java check reads an SBML file through the loaded library.)
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "processRunner.h"
#include "resultText.h"

using quorvelTestSupport::console;
using quorvelTestSupport::processResult;
using quorvelTestSupport::runProcess;
using quorvelTestSupport::scratchDirectory;

namespace {

const std::string libraryDir = QUORVEL_LIBRARY_DIR;

// The dynamic symbols that `library` defines, without those any linker adds.
std::set<std::string> exportsOf(const std::string& library) {
    const processResult run = runProcess({"nm", "-D", "--defined-only", library}, "");
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    const std::set<std::string> linkerSymbols = {"_init", "_fini", "__bss_start", "_edata", "_end"};
    std::set<std::string> found;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        const std::string name = line.substr(line.find_last_of(' ') + 1);
        if (!linkerSymbols.count(name)) found.insert(name);
    }
    return found;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

}  // namespace

TEST(SbmlLibrary, libquorvelNeedsNoLibsbmlAndTheReaderExportsOneEntry) {
    const processResult dynamic = runProcess({"readelf", "-d", libraryDir + "/libquorvel.so"}, "");
    ASSERT_EQ(dynamic.exitStatus, 0) << dynamic.err;
    EXPECT_NE(dynamic.out.find("(NEEDED)"), std::string::npos) << dynamic.out;
    EXPECT_EQ(dynamic.out.find("libsbml"), std::string::npos) << dynamic.out;
    EXPECT_EQ(exportsOf(libraryDir + "/libquorvel_sbml.so"),
              std::set<std::string>{"quorvelReadNetworkSbml"});
}

// Without libsbml and ICU's data the console and a small analysis fit in
// 40 MB of address space (with them, the loader alone needed more).
TEST(SbmlLibrary, consoleStartsUnderSmallAddressSpaceLimit) {
    if (kAddressSanitizer) GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space";
    const scratchDirectory dir;
    const std::string rules = dir.write("toggle.net", "^B -> A\n^A -> B\n");
    const std::string bnet = dir.write("toggle.bnet", "A, !B\nB, !A\n");
    for (const std::string& file : {rules, bnet}) {
        SCOPED_TRACE(file);
        const processResult run = runProcess(
            {"/bin/sh", "-c", "ulimit -v 40000 && exec \"$0\" --quiet \"$1\"", console, file}, "");
        ASSERT_EQ(run.exitStatus, 0) << quorvelTestSupport::describe(run);
        const resultText::parsedResult parsed = resultText::parse(run.out);
        ASSERT_TRUE(parsed.ok) << run.out;
        EXPECT_EQ(resultText::asSet(parsed).size(), 2u);
    }
}
