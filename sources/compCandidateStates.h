// The candidate states of a fragment by satisfiability, for fragments whose
// candidates' diagram grows too large on the way (see searchByCandidates).
#pragma once

#include <cstddef>
#include <vector>

#include "fragAsync.h"
#include "readNetworkFunctions.h"

// The states of the fragment genes `genes` (closed under reads) where every
// gene outside `negative` is stable (x_g = f_g(x)) and every gene g of
// `negative` holds retained[k] (its position k in `negative`) or is stable.
// `cut` meets every cycle among the genes, so a state is fixed by the
// values of the cut's genes, and each solution is excluded by one clause
// over them. Each state is the values of `genes`, in that order. Returns
// false, with `states` partial, when there are more than maxStates.
bool compCandidateStates(const fragAsync& frag, const networkFunctions& network,
                         const std::vector<int>& genes, const std::vector<int>& negative,
                         const std::vector<char>& retained, const std::vector<int>& cut,
                         size_t maxStates, std::vector<std::vector<char>>& states);
