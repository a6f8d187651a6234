// Macro steps of a fragment around a cut of its cycles.
#pragma once

#include <optional>
#include <vector>

#include "bddEngine.h"
#include "bddHandle.h"
#include "readNetworkFunctions.h"
#include "utilFragAsync.h"

// Fragment genes (of `genes`) that meet every cycle of influences among
// them, from the regulators of `network`.
std::vector<int> makeCycleCutOfFragment(const networkFunctions& network,
                                        const std::vector<int>& genes);

// The genes of `cut` (a cycle cut of the fragment `genes`) that meet every
// negative cycle of influences among the fragment genes, signed by the
// functions of `network` (see compNegativeCycleCut). With them held, the
// other genes have no negative cycle, so from any state they reach values
// where none of them can change: every attractor holds a state where only
// these genes may be unstable.
std::vector<int> makeNegativeCutOfFragment(const fragAsync& frag, const networkFunctions& network,
                                           const std::vector<int>& genes,
                                           const std::vector<int>& cut);

// The macro steps of a fragment around a cycle cut: the cut's genes meet
// every cycle of influences among the fragment genes, so the other genes
// (`rest`, each after its regulators among them) become stable by themselves
// once the cut's genes are held, at values that are functions of the cut's
// genes: stable[k] for rest[k]. A macro step changes one gene c of the cut to
// values[k] = f_c at those stable values (a real step), after which the other
// genes become stable again (real steps too). Sets of the macro steps
// ("points") are over the cut's current-state variables. Every function here
// is over current-state variables (the steps also over x'_c); the record
// owns one reference on each.
struct macroSteps {
    std::vector<int> rest;
    bddArray stable;  // stable[k]: the value of rest[k]
    bddArray values;  // values[k]: the next value of cut[k]
    geneMoves steps;  // genes: the cut; moves[k]: x'_c XNOR values[k]
    // Per variable index: the variable, or the stable value of its gene
    // (lent by `stable`; the variables need no reference).
    std::vector<DdNode*> substitute;
};
// The largest diagram of one stable value worth building. Past it the
// stable values further down the order grew far larger still: on a random
// block of 892 genes (cut of 124), 4 GB went into them before any search.
// The search by elimination builds none of them.
constexpr int kStableNodes = 20000;

// The macro steps, or nothing when a stable value's diagram passes
// kStableNodes (then nothing is kept).
std::optional<macroSteps> makeMacroSteps(const fragAsync& frag, const networkFunctions& network,
                                         const std::vector<int>& cut);

// The points whose state (the cut's values, the others stable) lies in
// `set` (over x).
bddHandle macroProject(DdManager* mgr, const macroSteps& ms, DdNode* set);

// The points that no macro step leaves: their states are exactly the
// steady states of the fragment.
bddHandle macroFixedPoints(const fragAsync& frag, const macroSteps& ms);

// A small set of points whose states meet every attractor of the fragment
// (see macroCandidates in the source), over the cut's variables; `negative`
// is the fragment's negative cut (makeNegativeCutOfFragment of ms's cut).
bddHandle macroCandidates(const fragAsync& frag, const macroSteps& ms,
                          const std::vector<int>& negative);

// The points from which a point of `start` is reached by macro steps through
// points of `domain` (nullptr: every point; start lies inside it), until
// every point of `goal` is among them (covered tells; the set is then
// possibly partial). Prints the step counters.
bddHandle macroBackward(const fragAsync& frag, const macroSteps& ms, DdNode* start, DdNode* goal,
                        DdNode* domain, bool& covered);

// The state of one point of `points`: a conjunction over the fragment genes
// (the cut's values, the others stable); `point` receives that point alone.
bddHandle macroState(const fragAsync& frag, const macroSteps& ms, DdNode* points, bddHandle& point);
