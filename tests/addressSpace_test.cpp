// A 32-bit process runs out of address space (4 GB at most) long before this
// machine runs out of memory. The BDD engine cannot survive a failed
// allocation of its tables, so they are bounded by what such a process can
// hold: a BDD that would need more gives no result, and an analysis that
// needs more ends in a clear error (exit 1 with a message), never in a crash.
// On 64-bit builds these tests are skipped: there the bound is the memory.
#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

#include "bddEngine.h"
#include "bddHandle.h"
#include "processRunner.h"

namespace {

constexpr bool k32Bit = sizeof(void*) == 4;

}  // namespace

TEST(AddressSpace, engineGivesNoResultInsteadOfOutgrowingTheProcess) {
    if (!k32Bit) GTEST_SKIP() << "a 64-bit process is bounded by the memory, not its address space";
    // No memory bound given: only the address space limits the tables. The
    // disjunction of x_i AND y_i with every x above every y has 2^(i+1)
    // nodes after step i, so it outgrows any 32-bit process before i = 30.
    DdManager* m = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
    ASSERT_NE(m, nullptr);
    const int n = 30;
    std::vector<DdNode*> v;
    for (int k = 0; k < 2 * n; ++k) v.push_back(Cudd_bddNewVar(m));
    bddHandle acc = bddZero(m);
    int failedAt = -1;
    for (int i = 0; i < n && failedAt < 0; ++i) {
        const bddHandle term(m, Cudd_bddAnd(m, v[size_t(i)], v[size_t(n + i)]));
        ASSERT_TRUE(term) << "step " << i;
        // The result is referenced before its spent operand is released.
        bddHandle next(m, Cudd_bddOr(m, acc.get(), term.get()));
        if (!next) {
            failedAt = i;
            break;
        }
        acc = std::move(next);
    }
    // Millions of nodes fit before the bound: a bound far too low would
    // refuse analyses that a 32-bit process can do.
    EXPECT_GE(failedAt, 20);
    // The engine is intact: after releasing the large BDD, small work gives
    // correct results and every reference is balanced.
    acc.reset();
    bddHandle small(m, Cudd_bddAnd(m, v[0], Cudd_Not(v[1])));
    ASSERT_TRUE(small);
    std::vector<int> in(size_t(2 * n), 0);
    in[0] = 1;
    EXPECT_EQ(Cudd_Eval(m, small.get(), in.data()), Cudd_ReadOne(m));
    in[1] = 1;
    EXPECT_EQ(Cudd_Eval(m, small.get(), in.data()), Cudd_ReadLogicZero(m));
    small.reset();
    EXPECT_EQ(Cudd_CheckZeroRef(m), 0);
    Cudd_Quit(m);
}

// A published model whose analysis needs more BDD nodes than a 32-bit
// process can hold (about 1.6 GB of tables are reached in a minute or two).
TEST(AddressSpace, consoleReportsExhaustionAndExitsWithOne) {
    if (!k32Bit) GTEST_SKIP() << "a 64-bit process is bounded by the memory, not its address space";
    const std::string network = std::string(QUORVEL_SHARED_DIR) + "/networks/models/bbm-243.net";
    struct stat info;
    if (stat(network.c_str(), &info) != 0) GTEST_SKIP() << "no shared network " << network;
    const quorvelTestSupport::processResult run =
        quorvelTestSupport::runProcess({quorvelTestSupport::console, network}, "");
    EXPECT_EQ(run.exitStatus, 1) << run.err;
    EXPECT_NE(run.err.find("memory exhausted"), std::string::npos) << run.err;
    // No result, not even a partial one: its first line would name the
    // genes in file order.
    EXPECT_EQ(run.out.find("\nv_ACKR3_CXCL12_complex   v_CXCL12   "), std::string::npos);
}
