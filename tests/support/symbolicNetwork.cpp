#include "symbolicNetwork.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "constBdd.h"
#include "engineChecks.h"
#include "util.h"
#include "utilFragSync.h"

symbolicNetwork::~symbolicNetwork() {
    if (mgr != nullptr) Cudd_Quit(mgr);
}

void encodeNetwork(symbolicNetwork& net, const geneDatabase& db,
                   const std::vector<int>& defaultStatus) {
    std::vector<int> status = defaultStatus;
    if (status.empty()) status.assign(db.size(), -1);
    encodeNetwork(net, db, db, status);
}

void encodeNetwork(symbolicNetwork& net, const geneDatabase& geneDbOrg,
                   const geneDatabase& db, const std::vector<int>& defaultStatus) {
    net.n = static_cast<int>(db.size());
    // A small computed table: these networks are tiny, and a manager is made
    // per network (the size does not change any result).
    net.mgr = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, 4096, 0);
    if (net.mgr == nullptr) throw std::runtime_error("Cudd_Init failed");
    Cudd_AutodynEnable(net.mgr, CUDD_REORDER_SIFT);
    createVarsFragSync(net.mgr, net.ip, net.op, net.inpName, net.outName, net.n);
    std::vector<int> perm;
    for (int i = 0; i < net.n; ++i) {
        perm.push_back(i);
        perm.push_back(net.n + i);
    }
    if (net.n > 0) Cudd_ShuffleHeap(net.mgr, perm.data());
    for (int i = 0; i < net.n; ++i)
        Cudd_MakeTreeNode(net.mgr, static_cast<unsigned>(i), 2, MTR_FIXED);
    net.inpCubeFwd = refChecked(Cudd_ReadOne(net.mgr));
    for (int i = 0; i < net.n; ++i) {
        DdNode* next = refChecked(Cudd_bddAnd(net.mgr, net.inpCubeFwd, net.ip[static_cast<size_t>(i)]));
        Cudd_RecursiveDeref(net.mgr, net.inpCubeFwd);
        net.inpCubeFwd = next;
    }
    net.inpCubeBwd = refChecked(Cudd_bddSwapVariables(net.mgr, net.inpCubeFwd, net.ip.data(),
                                                      net.ip.data() + net.n, net.n));
    testing::internal::CaptureStdout();  // one progress line per gene
    constBddFrag(geneDbOrg, db, defaultStatus, net.mgr, net.ip, net.op, net.n);
    testing::internal::GetCapturedStdout();
}

int releaseAndCheck(symbolicNetwork& net) {
    releaseNodes(net.mgr, net.ip);
    releaseNodes(net.mgr, net.op);
    Cudd_RecursiveDeref(net.mgr, net.inpCubeFwd);
    Cudd_RecursiveDeref(net.mgr, net.inpCubeBwd);
    const int left = outstandingRefs(net.mgr);
    Cudd_Quit(net.mgr);
    net.mgr = nullptr;
    return left;
}

DdNode* refCopy(DdNode* node) {
    Cudd_Ref(node);
    return node;
}

void releaseNodes(DdManager* mgr, std::vector<DdNode*>& nodes) {
    for (DdNode* node : nodes) Cudd_RecursiveDeref(mgr, node);
    nodes.clear();
}

DdNode* stateBdd(symbolicNetwork& net, const std::vector<int>& genes,
                 const std::vector<int>& values) {
    DdNode* node = refChecked(Cudd_ReadOne(net.mgr));
    for (size_t k = 0; k < genes.size(); ++k) {
        DdNode* var = net.ip[static_cast<size_t>(genes[k])];
        DdNode* next = refChecked(Cudd_bddAnd(net.mgr, node, values[k] != 0 ? var : Cudd_Not(var)));
        Cudd_RecursiveDeref(net.mgr, node);
        node = next;
    }
    return node;
}
