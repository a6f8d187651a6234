// The asynchronous searches on the real networks whose reduced network is
// small enough for the explicit-state reference, with the relations, the
// variable order and the groups made by the library itself.
#include <gtest/gtest.h>

#include <filesystem>

#include "asyncFixture.h"
#include "bruteForce.h"
#include "compReachFragAsync.h"
#include "compSteadyAsyncComplex.h"
#include "testNetworks.h"
#include "util.h"

using namespace asyncFixture;
namespace fs = std::filesystem;

namespace {

// A shared network file's rules reduced, with the file's name.
struct sharedNetwork : reducedNetwork {
    std::string name;
};

// The benchmark variants (inputs fixed OFF) whose reduced network has 1 to
// maxGenes genes, in name order.
std::vector<sharedNetwork> smallNetworks(int maxGenes) {
    std::vector<sharedNetwork> found;
    const fs::path dir = fs::path(QUORVEL_SHARED_DIR) / "networks" / "inputs-off";
    if (!fs::is_directory(dir)) return found;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().extension() == ".net") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        std::vector<networkDefBool> rules;
        captureOutput([&] { readNetwork(file.string(), rules); });
        sharedNetwork net{reducedNetworkOf(rules), file.filename().string()};
        const int n = static_cast<int>(net.geneDbReduced.size());
        if (n >= 1 && n <= maxGenes) found.push_back(std::move(net));
    }
    return found;
}

}  // namespace

TEST(AsyncRealNetworks, bothSearchesFindTheAttractorsOfTheReducedNetwork) {
    const std::vector<sharedNetwork> networks = smallNetworks(12);
    if (networks.empty()) GTEST_SKIP() << "no shared networks at " << QUORVEL_SHARED_DIR;
    for (const sharedNetwork& net : networks) {
        const int n = static_cast<int>(net.geneDbReduced.size());
        const std::vector<int> all = bruteForce::allGenes(n);
        const bruteForce::attractorSet expected = bruteForce::asyncAttractors(
            n, bruteForce::updateOfReduced(net.geneDbOrg, net.geneDbReduced, net.defaultStatus));
        twoManagers e;
        captureOutput(
            [&] { e = encodeTwoManagers(net.geneDbOrg, net.geneDbReduced, net.defaultStatus); });

        std::vector<DdNode*> op = copiesOf(e.op);
        std::vector<DdNode*> opAsync = copiesOf(e.opAsync);
        std::vector<DdNode*> heuristic;
        captureOutput([&] {
            compSteadyAsyncHeuristic(e.sync.mgr, e.async.mgr, opAsync, e.async.ip, op, e.sync.ip,
                                     all, e.sync.inpCubeFwd, e.sync.inpCubeBwd, e.async.topSame, n,
                                     heuristic);
        });
        EXPECT_EQ(attractorsOf(e.sync, heuristic, all), expected)
            << net.name << "\n"
            << bruteForce::toString(net.geneDbReduced);
        EXPECT_EQ(heuristic.size(), expected.size()) << net.name;
        releaseNodes(e.sync.mgr, heuristic);
        releaseNodes(e.sync.mgr, op);
        releaseNodes(e.async.mgr, opAsync);

        opAsync = copiesOf(e.opAsync);
        std::vector<DdNode*> plain;
        captureOutput([&] {
            compSteadyAsync(e.async.mgr, opAsync, e.async.ip, e.async.inpCubeFwd,
                            e.async.inpCubeBwd, all, e.async.topSame, n, plain);
        });
        EXPECT_EQ(attractorsOf(e.async, plain, all), expected) << net.name;
        EXPECT_EQ(plain.size(), expected.size()) << net.name;
        releaseNodes(e.async.mgr, plain);
        releaseNodes(e.async.mgr, opAsync);
        EXPECT_EQ(releaseTwoManagers(e), 0) << net.name;
    }
    std::cout << networks.size() << " networks checked" << std::endl;
}
