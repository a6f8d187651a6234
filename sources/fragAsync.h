// The records an asynchronous search of a fragment reads: the fragment with
// its relations, variables and cubes, how the search runs, and the step
// relations of its genes.
#pragma once

#include <cmath>
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

#include "bddEngine.h"
#include "bddHandle.h"
#include "progressSink.h"
#include "readNetworkFunctions.h"

// What every search of a fragment reads, passed as one record. Every node is
// lent (the record holds no reference): the caller keeps the arrays, cubes
// and identity alive while the record is in use. `relations` is the array
// the search reads, indexed by gene (topNode or op: x'_g XNOR f_g(x),
// possibly narrowed); only the entries of fragment genes are read.
struct fragAsync {
    DdManager* mgr;
    std::vector<DdNode*>& relations;
    std::vector<DdNode*>& ip;  // ip[i] = x_i, ip[nInpVar + i] = x'_i
    std::vector<int> geneId;   // the fragment, in visiting order
    DdNode* inpCubeFwd;        // the cube of every x_i
    DdNode* inpCubeBwd;        // the cube of every x'_i
    DdNode* topSame;
    int nInpVar;
    progressSink progress = standardOutputProgress();  // where the search reports
};

// See asyncSearchSettings::trapSearch.
using trapSearchFunction = std::function<std::optional<bddArray>(
    const bddHandle& trap, const std::vector<int>& moving, size_t largest)>;

// How an asynchronous attractor search runs, beyond its encoding and
// relations: the most states the attractors it finds may hold (more throws
// quorvelError, see compSteadyAsync), the genes' own next-state functions
// over the whole space when known (lent: the caller keeps them alive; null:
// the search works by elimination alone), and where it reports.
struct asyncSearchSettings {
    double maxStates = HUGE_VAL;
    const networkFunctions* network = nullptr;
    progressSink progress = standardOutputProgress();
    // Off: a fragment with functions is searched by candidate states
    // without trying macro steps first, as when its macro steps are too
    // large (the tests reach that search on fragments small enough to check).
    bool macroSteps = true;
    // The attractors inside a trap subcube of the fragment, by the whole
    // composition of the blocks that the genes moving there form once the
    // others hold their values. Called with the subcube (a cube over x of
    // the fragment genes that cannot move in it), those moving genes
    // (ascending) and the most genes one of their blocks may have; gives
    // sets over x (each within the subcube, the caller owns the handles) or
    // nothing when it cannot help (a block too large, or one block only).
    // Empty when the caller cannot offer it; it may be offered only when the
    // fragment's relations are exactly its genes' functions (network), so
    // that a trap of the moves is a trap of the functions.
    trapSearchFunction trapSearch = nullptr;
    // The most nodes the forward set of a recurrence test may hold while the
    // search walks from candidate states; past it the walks stop and the
    // search goes on as after too many candidates (the tests set it low to
    // reach that way). Those forward sets held at most 124 nodes on every
    // published model with its inputs off; under one setting of a model's
    // inputs (bbm-285, a 120-gene fragment) one grew past 38,000 nodes over
    // thousands of steps and did not end in a minute, where the backward
    // proof over the points takes seconds.
    int candidateTestNodes = 2000;
};

// Which way a search follows the steps.
enum class searchDirection { forward, backward };

// The step relation of each distinct fragment gene g with every x'_k, k != g,
// read as x_k: M_g(x, x'_g) = EXISTS x'_k (k != g) . T_g AND frame_g.
// genes[k] -> moves[k]; the record owns the references. The
// moves hold as long as the relations they were built from: a search builds
// them once per set of relations and again after narrowing them.
//
// rise[k], fall[k] and stay[k] (sets over x, filled by splitMoves) are M_g
// read per state: the states from which the step of g sets x_g from 0 to 1,
// from 1 to 0, or leaves it. A step is then taken over x alone, with no
// rename: a rename rebuilds the whole diagram, the products over x_g only
// its part above g.
//
// linked[k] (filled by splitMoves): the genes (indices into genes) whose
// step reads x of genes[k] or whose x the step of genes[k] reads. After a
// step of genes[k] adds states, only these can take a step from them that
// no other order of the same steps also takes; the reachability searches
// try them first.
struct geneMoves {
    std::vector<int> genes;
    bddArray moves;
    bddArray rise, fall, stay;
    std::vector<std::vector<size_t>> linked;
};
