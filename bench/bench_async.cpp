// Times the asynchronous searches on real networks: the per-block search
// (compSteadyAsyncHeuristic) and the plain asynchronous search
// (compSteadyAsync), each over every gene of the reduced network.
//
//   bench_async [--plain] [REPEATS] NETWORK-FILE...
//   bench_async --pipeline [REPEATS] NETWORK-FILE...
//
// --pipeline times whole analyses instead (topFuncQuorvel: reduction, both
// managers, the block-by-block composition and the final search) and counts
// the attractor lines of the result text.
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

#include "asyncFixture.h"
#include "compReachFragAsync.h"
#include "compSteadyAsyncComplex.h"
#include "util.h"

namespace {

double seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string locate(const std::string& name) {
    if (std::ifstream(name).good()) return name;
    return std::string(QUORVEL_SHARED_DIR) + "/networks/inputs-off/" + name + ".net";
}

// Best time of whole analyses, one line per network.
int timeAnalyses(char** first, char** last, int repeats) {
    std::printf("%-12s %10s %10s\n", "network", "attractors", "seconds");
    for (char** name = first; name != last; ++name) {
        std::ostringstream discarded;
        std::streambuf* console = std::cout.rdbuf(discarded.rdbuf());
        double best = 1e30;
        size_t attractors = 0;
        std::string failure;
        for (int r = 0; r < repeats && failure.empty(); ++r) {
            const auto start = std::chrono::steady_clock::now();
            try {
                const std::string text = topFuncQuorvel(locate(*name).c_str());
                best = std::min(best, seconds(start));
                // The first line names the genes; each further line is one attractor.
                attractors = 0;
                for (char c : text) attractors += c == '\n';
                if (attractors > 0) --attractors;
            } catch (const std::exception& error) {
                failure = error.what();
            }
            discarded.str("");
        }
        std::cout.rdbuf(console);
        if (!failure.empty())
            std::printf("%-12s failed: %s\n", *name, failure.c_str());
        else
            std::printf("%-12s %10zu %10.3f\n", *name, attractors, best);
        std::fflush(stdout);
    }
    return 0;
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
    bool pipeline = false;
    if (first < argc && std::string(argv[first]) == "--pipeline") {
        pipeline = true;
        ++first;
    }
    if (first < argc && std::atoi(argv[first]) > 0) repeats = std::atoi(argv[first++]);
    if (pipeline) return timeAnalyses(argv + first, argv + argc, repeats);
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
            if (geneDbReduced.empty()) {
                std::cout.rdbuf(console);
                std::printf("%-12s %6d (nothing to search)\n", argv[a], 0);
                continue;
            }
            asyncFixture::twoManagers e =
                asyncFixture::encodeTwoManagers(geneDbOrg, geneDbReduced, defaultStatus);
            const int genes = static_cast<int>(geneDbReduced.size());
            std::vector<int> all;
            for (int i = 0; i < genes; ++i) all.push_back(i);
            double bestHeuristic = 1e30, bestAsync = 0;
            size_t nHeuristic = 0, nAsync = 0;
            for (int r = 0; r < repeats; ++r) {
                std::vector<DdNode*> op = asyncFixture::copiesOf(e.op);
                std::vector<DdNode*> opAsync = asyncFixture::copiesOf(e.opAsync);
                std::vector<DdNode*> found;
                auto start = std::chrono::steady_clock::now();
                compSteadyAsyncHeuristic(e.sync.mgr, e.async.mgr, opAsync, e.async.ip, op,
                                         e.sync.ip, all, e.sync.inpCubeFwd, e.sync.inpCubeBwd,
                                         e.async.topSame, genes, found);
                bestHeuristic = std::min(bestHeuristic, seconds(start));
                nHeuristic = found.size();
                releaseNodes(e.sync.mgr, found);
                releaseNodes(e.sync.mgr, op);
                releaseNodes(e.async.mgr, opAsync);
                discarded.str("");

                if (!plain) continue;
                opAsync = asyncFixture::copiesOf(e.opAsync);
                start = std::chrono::steady_clock::now();
                compSteadyAsync(e.async.mgr, opAsync, e.async.ip, e.async.inpCubeFwd,
                                e.async.inpCubeBwd, all, e.async.topSame, genes, found);
                bestAsync = r == 0 ? seconds(start) : std::min(bestAsync, seconds(start));
                nAsync = found.size();
                releaseNodes(e.async.mgr, found);
                releaseNodes(e.async.mgr, opAsync);
                discarded.str("");
            }
            asyncFixture::releaseTwoManagers(e);
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
