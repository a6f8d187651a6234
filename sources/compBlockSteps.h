// What the level-by-level composition (coreProgramAsync) and the grouped
// composition of the inputs' settings (compInputOutcomes) share: how a block
// meets the attractors of the part processed before it.
#pragma once

#include <functional>
#include <vector>

#include "bddEngine.h"
#include "bddHandle.h"
#include "readNetworkFunctions.h"

// The regulators met walking backwards from the genes of a block (`block`,
// ascending) along the regulators that change. Every regulator r of a
// reached gene (the block's genes to begin with) that is not in the block
// and that `consider(r)` admits is met once: when `changes(r)` it joins
// `changing` and its own regulators are walked in turn, otherwise it joins
// `held`. Both lists come back ascending.
struct changingRegulators {
    std::vector<int> changing;
    std::vector<int> held;
};
changingRegulators walkChangingRegulators(const networkFunctions& network,
                                          const std::vector<int>& block,
                                          const std::function<bool(int)>& consider,
                                          const std::function<bool(int)>& changes);

// The attractors that a block of one gene g makes of an attractor A of the
// processed part, with no search. The part moves inside A whatever g does,
// so only two facts matter: where g can fall (f_g = 0 for some state of A
// with g = 1) and where it can rise (f_g = 1 for some state with g = 0),
// given as `canFall` and `canRise` (the constants one or zero, or sets of the
// inputs' settings). Where g can do both, A x {0, 1} is one attractor; where
// it can only fall (rise), A x {0} (A x {1}) is the only one, the other half
// leading into it; where it can do neither, A x {0} and A x {1} both are.
// The outcomes in this order: both values, fall only (0), rise only (1),
// neither (0), neither (1); `where` may be the logical zero (no such
// outcome), and `value` is -1 for both values.
struct oneGeneOutcome {
    bddHandle where;
    int value;
};
std::vector<oneGeneOutcome> oneGeneOutcomes(const bddHandle& canFall, const bddHandle& canRise);
