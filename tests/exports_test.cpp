// libquorvel.so exports its four entry points and nothing of its own besides,
// so a process that also loads another BDD package or C++ library with the
// same internal names stays safe.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "processRunner.h"

TEST(Exports, onlyTheEntryPoints) {
    const std::string library = std::string(QUORVEL_LIBRARY_DIR) + "/libquorvel.so";
    const quorvelTestSupport::processResult run =
        quorvelTestSupport::runProcess({"nm", "-D", "--defined-only", library}, "");
    ASSERT_EQ(run.exitStatus, 0) << run.err;

    // Symbols that the linker itself may add to any shared object.
    const std::set<std::string> linkerSymbols = {"_init", "_fini", "__bss_start", "_edata", "_end"};
    const std::set<std::string> entries = {"main", "_Z14topFuncQuorvelB5cxx11PKc",
                                           "Java_org_quorvel_Quorvel_findSteadyStatesBDD",
                                           "Java_org_quorvel_Quorvel_findAttractors"};
    std::set<std::string> found;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        const std::string name = line.substr(line.find_last_of(' ') + 1);
        if (linkerSymbols.count(name)) continue;
        EXPECT_TRUE(entries.count(name)) << "unexpected export: " << line;
        found.insert(name);
    }
    EXPECT_EQ(found, entries) << run.out;
}
