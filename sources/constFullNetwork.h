// The network as written, with no gene removed, in a BDD manager of its own:
// what the modeller's questions (reachability from given states, basins,
// trap spaces) ask about. The reduction's fixed genes take part here as the
// genes they are: a state may give them any value, and they settle by their
// own functions.
#pragma once

#include <cstddef>
#include <vector>

#include "analysisOptions.h"
#include "bddEngine.h"
#include "bddHandle.h"
#include "networkRecords.h"

// Owns one manager of a question: quits it when the scope ends, however it
// ends. Declared before every handle of the manager, so it quits last.
struct questionManager {
    DdManager* mgr = nullptr;
    // A manager without variables whose engine takes at most maxMemory bytes
    // (0: only the process's own limits); throws quorvelError when none can
    // be made.
    explicit questionManager(std::size_t maxMemory);
    questionManager(const questionManager&) = delete;
    questionManager& operator=(const questionManager&) = delete;
    ~questionManager();
};

// Throws quorvelError when `mgr` still holds a reference: every question
// ends with this check, after its handles are gone.
void chkNoReferenceLeft(DdManager* mgr);

// The functions of every gene of geneDbOrg (index g, the order of the
// result's header). The genes' variables follow the components of the
// dependency graph, regulators first (`order`); gene g's value x_g is
// variable stride x position[g] of mgr, so a question may put stride - 1
// variables of its own after each gene's.
struct fullNetwork {
    DdManager* mgr = nullptr;
    int nGenes = 0;
    int stride = 1;
    std::vector<int> order;     // the genes from the top of the variable order down
    std::vector<int> position;  // per gene its place in `order`
    bddArray vars;              // x_g
    bddArray next;              // f_g over the x
    // The states of each gene's possible moves: rise[g] = NOT x_g AND f_g,
    // fall[g] = x_g AND NOT f_g.
    bddArray rise, fall;
    std::vector<std::vector<int>> regulators;  // the genes f_g reads, ascending
};

// Builds the network of geneDbOrg in `mgr` (a manager without variables),
// creating stride x geneDbOrg.size() variables. A gene of `fixes` has the
// constant function of its value; any other gene with a = some activating
// term holds and h = some inhibiting term holds (a term without regulators
// always holds) has a AND NOT h, NOT h when it has inhibiting terms only,
// and 0 when it has no terms. These are the functions the reduction
// propagates. Throws quorvelError on an engine failure.
fullNetwork constFullNetwork(DdManager* mgr, const geneDatabase& geneDbOrg,
                             const std::vector<geneFix>& fixes, int stride);
