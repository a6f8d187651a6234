// Times the asynchronous searches on real networks: the per-block search
// (compSteadyAsyncHeuristic) and the plain asynchronous search
// (compSteadyAsync), each over every gene of the reduced network.
//
//   bench_async [--plain] [REPEATS] NETWORK-FILE...
//
// With --plain the plain search is timed too; on a network of a few dozen
// genes it may take very long, since it explores the whole state space.
//
// Relative names are looked up under the shared networks directory
// (QUORVEL_SHARED_DIR/networks/inputs-off/NAME.net when no such file exists).
// Progress lines of the searches are discarded; one result line per network
// goes to standard output: genes, attractors found by each search and the
// best time of each over the repeats.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "compReachFragAsync.h"
#include "compSteadyAsyncComplex.h"
#include "constBdd.h"
#include "coreProgramAsync.h"
#include "util.h"
#include "utilFragSync.h"

namespace {

struct encoding {
    DdManager* mgr = nullptr;
    DdManager* mgrAsync = nullptr;
    int nInpVar = 0;
    std::vector<DdNode*> ip, op, ipAsync, opAsync;
    DdNode* inpCubeFwd = nullptr;
    DdNode* inpCubeBwd = nullptr;
    DdNode* inpCubeFwdAsync = nullptr;
    DdNode* inpCubeBwdAsync = nullptr;
    DdNode* topSame = nullptr;
};

DdNode* cubeOf(DdManager* mgr, const std::vector<DdNode*>& vars, int from, int count) {
    DdNode* cube = refChecked(Cudd_ReadOne(mgr));
    for (int i = from; i < from + count; ++i) {
        DdNode* next = refChecked(Cudd_bddAnd(mgr, cube, vars[static_cast<size_t>(i)]));
        Cudd_RecursiveDeref(mgr, cube);
        cube = next;
    }
    return cube;
}

void releaseAll(DdManager* mgr, std::vector<DdNode*>& nodes) {
    for (DdNode* node : nodes) Cudd_RecursiveDeref(mgr, node);
    nodes.clear();
}

std::vector<DdNode*> copies(DdManager* mgr, const std::vector<DdNode*>& nodes) {
    (void)mgr;
    for (DdNode* node : nodes) Cudd_Ref(node);
    return nodes;
}

encoding encode(const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced,
                const std::vector<int>& defaultStatus) {
    encoding e;
    e.nInpVar = static_cast<int>(geneDbReduced.size());
    e.mgr = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
    e.mgrAsync = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
    Cudd_AutodynEnable(e.mgr, CUDD_REORDER_SIFT);
    Cudd_AutodynEnable(e.mgrAsync, CUDD_REORDER_SIFT);
    std::vector<std::string> inpName, outName;
    createVarsFragSync(e.mgr, e.ip, e.op, inpName, outName, e.nInpVar);
    createVarsFragSync(e.mgrAsync, e.ipAsync, e.opAsync, inpName, outName, e.nInpVar);
    interleaveStateVars(e.mgr, e.mgrAsync, e.nInpVar);
    e.inpCubeFwd = cubeOf(e.mgr, e.ip, 0, e.nInpVar);
    e.inpCubeBwd = cubeOf(e.mgr, e.ip, e.nInpVar, e.nInpVar);
    e.inpCubeFwdAsync = cubeOf(e.mgrAsync, e.ipAsync, 0, e.nInpVar);
    e.inpCubeBwdAsync = cubeOf(e.mgrAsync, e.ipAsync, e.nInpVar, e.nInpVar);
    e.topSame = refChecked(Cudd_ReadOne(e.mgrAsync));
    for (int i = 0; i < e.nInpVar; ++i) {
        DdNode* same = refChecked(Cudd_bddXnor(e.mgrAsync, e.ipAsync[static_cast<size_t>(e.nInpVar + i)],
                                               e.ipAsync[static_cast<size_t>(i)]));
        DdNode* next = refChecked(Cudd_bddAnd(e.mgrAsync, e.topSame, same));
        Cudd_RecursiveDeref(e.mgrAsync, same);
        Cudd_RecursiveDeref(e.mgrAsync, e.topSame);
        e.topSame = next;
    }
    constBddFrag(geneDbOrg, geneDbReduced, defaultStatus, e.mgr, e.ip, e.op, e.nInpVar);
    for (int i = 0; i < e.nInpVar; ++i) {
        DdNode* moved = refChecked(Cudd_bddTransfer(e.mgr, e.mgrAsync, e.op[static_cast<size_t>(i)]));
        Cudd_RecursiveDeref(e.mgrAsync, e.opAsync[static_cast<size_t>(i)]);
        e.opAsync[static_cast<size_t>(i)] = moved;
    }
    return e;
}

void release(encoding& e) {
    releaseAll(e.mgr, e.ip);
    releaseAll(e.mgr, e.op);
    releaseAll(e.mgrAsync, e.ipAsync);
    releaseAll(e.mgrAsync, e.opAsync);
    for (DdNode* node : {e.inpCubeFwd, e.inpCubeBwd}) Cudd_RecursiveDeref(e.mgr, node);
    for (DdNode* node : {e.inpCubeFwdAsync, e.inpCubeBwdAsync, e.topSame})
        Cudd_RecursiveDeref(e.mgrAsync, node);
    Cudd_Quit(e.mgr);
    Cudd_Quit(e.mgrAsync);
}

double seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string locate(const std::string& name) {
    if (std::ifstream(name).good()) return name;
    return std::string(QUORVEL_SHARED_DIR) + "/networks/inputs-off/" + name + ".net";
}

}  // namespace

int main(int argc, char** argv) {
    int first = 1;
    int repeats = 3;
    bool plain = false;
    if (first < argc && std::string(argv[first]) == "--plain") {
        plain = true;
        ++first;
    }
    if (first < argc && std::atoi(argv[first]) > 0) repeats = std::atoi(argv[first++]);
    std::ostringstream discarded;
    std::streambuf* console = std::cout.rdbuf();
    std::printf("%-12s %6s %10s %10s %10s %10s\n", "network", "genes", "heuristic", "seconds",
                "async", "seconds");
    for (int a = first; a < argc; ++a) {
        try {
            std::cout.rdbuf(discarded.rdbuf());
            std::vector<networkDefBool> network;
            readNetwork(locate(argv[a]), network);
            geneDatabase geneDbOrg, geneDbReduced;
            std::vector<int> defaultStatus;
            levelArray sccTopoLvl;
            refineNetwork(network, geneDbOrg, geneDbReduced, defaultStatus, sccTopoLvl);
            encoding e = encode(geneDbOrg, geneDbReduced, defaultStatus);
            std::vector<int> all;
            for (int i = 0; i < e.nInpVar; ++i) all.push_back(i);
            double bestHeuristic = 1e30, bestAsync = 0;
            size_t nHeuristic = 0, nAsync = 0;
            for (int r = 0; r < repeats; ++r) {
                std::vector<DdNode*> op = copies(e.mgr, e.op);
                std::vector<DdNode*> opAsync = copies(e.mgrAsync, e.opAsync);
                std::vector<DdNode*> found;
                auto start = std::chrono::steady_clock::now();
                compSteadyAsyncHeuristic(e.mgr, e.mgrAsync, opAsync, e.ipAsync, op, e.ip, all,
                                         e.inpCubeFwd, e.inpCubeBwd, e.topSame, e.nInpVar, found);
                bestHeuristic = std::min(bestHeuristic, seconds(start));
                nHeuristic = found.size();
                releaseAll(e.mgr, found);
                releaseAll(e.mgr, op);
                releaseAll(e.mgrAsync, opAsync);
                discarded.str("");

                if (!plain) continue;
                opAsync = copies(e.mgrAsync, e.opAsync);
                start = std::chrono::steady_clock::now();
                compSteadyAsync(e.mgrAsync, opAsync, e.ipAsync, e.inpCubeFwdAsync,
                                e.inpCubeBwdAsync, all, e.topSame, e.nInpVar, found);
                bestAsync = r == 0 ? seconds(start) : std::min(bestAsync, seconds(start));
                nAsync = found.size();
                releaseAll(e.mgrAsync, found);
                releaseAll(e.mgrAsync, opAsync);
                discarded.str("");
            }
            const int genes = e.nInpVar;
            release(e);
            std::cout.rdbuf(console);
            std::printf("%-12s %6d %10zu %10.3f %10zu %10.3f\n", argv[a], genes, nHeuristic,
                        bestHeuristic, nAsync, bestAsync);
            std::fflush(stdout);
        } catch (const std::exception& error) {
            std::cout.rdbuf(console);
            std::printf("%-12s failed: %s\n", argv[a], error.what());
        }
    }
    return 0;
}
