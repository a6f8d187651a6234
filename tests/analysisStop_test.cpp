// Stopping an analysis through its own flag (analysisOptions::cancel): the
// engine's termination callback on the layer, and whole analyses on the
// layer and on CUDD, one stopped while another thread's flag stays clear.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "analysisOptions.h"
#include "bddEngine.h"
#include "bddHandle.h"
#include "parseNetwork.h"

namespace {

#ifdef QUORVEL_CUDD_LAYER
int flagSet(const void* flag) { return static_cast<const std::atomic<bool>*>(flag)->load(); }

// CUDD asks its callback only every few thousand cache misses; the layer at
// the end of each operation, which this checks directly.
TEST(TerminationCallback, OperationsFailWhileTheCallbackSaysStop) {
    DdManager* mgr = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
    DdNode* x = Cudd_bddNewVar(mgr);
    DdNode* y = Cudd_bddNewVar(mgr);
    std::atomic<bool> stop{true};
    Cudd_RegisterTerminationCallback(mgr, flagSet, &stop);
    EXPECT_EQ(Cudd_bddAnd(mgr, x, y), nullptr);
    EXPECT_EQ(Cudd_ReadErrorCode(mgr), CUDD_TERMINATION);
    stop = false;
    Cudd_ClearErrorCode(mgr);
    bddHandle both(mgr, Cudd_bddAnd(mgr, x, y));
    ASSERT_TRUE(both);
    Cudd_UnregisterTerminationCallback(mgr);
    stop = true;  // no longer asked
    bddHandle either(mgr, Cudd_bddOr(mgr, x, y));
    ASSERT_TRUE(either);
    either.reset();
    both.reset();
    EXPECT_EQ(Cudd_CheckZeroRef(mgr), 0);
    Cudd_Quit(mgr);
}
#endif

// 28 free inputs each read by a gene of a chain: 2^28 attractors, which no
// test waits for; a stop that does not work hangs until the test's timeout.
std::string writeBigNetwork() {
    const std::string path =
        (std::filesystem::temp_directory_path() / "quorvel-stop-test.net").string();
    std::ofstream out(path);
    for (int k = 0; k < 28; ++k) out << "X" << k << " -> X" << k << "\n";
    out << "X0 -> Y0\n";
    for (int k = 1; k < 28; ++k) out << "X" << k << "&^Y" << k - 1 << " -> Y" << k << "\n";
    return path;
}

TEST(AnalysisStop, AStoppedAnalysisThrowsAndTheNextRuns) {
    const std::string big = writeBigNetwork();
    std::atomic<bool> stop{false};
    analysisOptions options;
    options.quiet = true;
    options.format = resultFormat::json;
    options.cancel = &stop;
    std::thread stopper([&stop] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stop = true;
    });
    EXPECT_THROW(topFuncQuorvel(big.c_str(), options), analysisStopped);
    stopper.join();
    std::remove(big.c_str());

    // A clear flag stops nothing; the engine is whole after the stop (the
    // analysis checks that no reference is left when it ends).
    std::atomic<bool> clear{false};
    options.cancel = &clear;
    const std::string toggle = std::string(QUORVEL_SOURCE_DIR) + "/examples/toggle-switch.net";
    EXPECT_NE(topFuncQuorvel(toggle.c_str(), options).find("\"attractors\""), std::string::npos);
}

}  // namespace
