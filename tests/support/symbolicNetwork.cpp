#include "symbolicNetwork.h"

#include <gtest/gtest.h>

#include "constBdd.h"

symbolicNetwork::~symbolicNetwork() {
    if (mgr != nullptr) Cudd_Quit(mgr);
}

void encodeNetwork(symbolicNetwork& net, const geneDatabase& db,
                   const std::vector<int>& defaultStatus) {
    std::vector<int> status = defaultStatus;
    if (status.empty()) status.assign(db.size(), -1);
    encodeNetwork(net, db, db, status);
}

void encodeNetwork(symbolicNetwork& net, const geneDatabase& geneDbOrg, const geneDatabase& db,
                   const std::vector<int>& defaultStatus) {
    const int n = static_cast<int>(db.size());
    // A small computed table: these networks are tiny, and a manager is made
    // per network (the size does not change any result).
    asyncFixture::openDriverSpace(net, net.op, n, 4096);
    asyncFixture::orderStateVars(net, true);
    asyncFixture::completeSpace(net);
    testing::internal::CaptureStdout();  // one progress line per gene
    constBddFrag(geneDbOrg, db, defaultStatus, net.mgr, net.ip, net.op, n);
    testing::internal::GetCapturedStdout();
}

int releaseAndCheck(symbolicNetwork& net) {
    releaseNodes(net.mgr, net.op);
    return asyncFixture::closeSpace(net);
}

bddHandle stateBdd(symbolicNetwork& net, const std::vector<int>& genes,
                   const std::vector<int>& values) {
    bruteForce::state x(static_cast<size_t>(net.nInpVar), 0);
    for (size_t k = 0; k < genes.size(); ++k)
        x.at(static_cast<size_t>(genes[k])) = values[k] != 0 ? 1 : 0;
    return asyncFixture::stateNode(net, genes, x);
}
