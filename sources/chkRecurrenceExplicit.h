// The recurrence test of one state over explicit states.
#pragma once

#include <cstddef>
#include <vector>

#include "bddEngine.h"
#include "bddHandle.h"
#include "readNetworkFunctions.h"
#include "utilFragAsync.h"

// The recurrence test of `state` (a conjunction over the fragment genes) by
// the genes' own functions (the fragment must read no gene outside it): 1
// when every state of its forward set leads back to it (`attractor` then
// receives that set, over x), 0 when some does not, -1 when the forward set
// has more than maxStates states.
int explicitRecurrence(const fragAsync& frag, const networkFunctions& network, DdNode* state,
                       size_t maxStates, bddHandle& attractor);
