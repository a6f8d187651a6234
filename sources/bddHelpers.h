// Small BDD helpers. The analysis holds its sets in bddHandles (bddHandle.h);
// the helpers here keep the raw interfaces that tests and the fixed
// signatures use.
#pragma once

#include <vector>

#include "bddEngine.h"
#include "bddHandle.h"

// Takes the result of a BDD operation: throws quorvelError when the engine
// failed (a null handle, as on memory exhaustion); otherwise references the
// result and returns it. The caller owns that reference.
DdNode* refChecked(DdNode* node);

// `set` with every current-state variable ip[i] exchanged with its
// next-state variable ip[nInpVar + i]. Referenced, owned by the caller.
DdNode* swapCurrentAndNext(DdManager* mgr, DdNode* set, std::vector<DdNode*>& ip, int nInpVar);

// The same as a handle of set's manager: the one place where a set moves
// between the current-state and the next-state variables.
bddHandle swapCurrentAndNext(const bddHandle& set, std::vector<DdNode*>& ip, int nInpVar);

// A cube array for Cudd_bddPickOneCube: one entry per variable of mgr (and at
// least 2 x nInpVar), all 2 ("either") until a pick fills it.
std::vector<char> makeCubeArray(DdManager* mgr, int nInpVar);

// One state of the fragment from a random cube of `topNode`: a conjunction
// over the current-state variables ip[g], g in geneId, read from the cube at
// the current-state positions (flag 0) or next-state positions (flag 1); a
// free entry counts as 0. Returned referenced, owned by the caller.
DdNode* pickMinterm(DdManager* mgr, DdNode* topNode, std::vector<DdNode*>& ip,
                    const std::vector<int>& geneId, int nInpVar, int flag);

// Conjunction of ip[k] (literals[k] == 1) and NOT ip[k] (literals[k] == 0)
// for k < nInpVar; referenced, owned by the caller.
DdNode* makeBdd(DdManager* mgr, std::vector<DdNode*>& ip, const char* literals, int nInpVar);

// The conjunction of `terms` (functions of `mgr`), taken from the bottom of
// the variable order up: by the level of each term's top variable, deepest
// first. Each term then meets a product that reads only variables at or
// below its own, so the product grows from the bottom as the result's
// diagram does; in another order the products of large random blocks grew
// far past the result.
bddHandle conjoinBottomUp(DdManager* mgr, const bddArray& terms);

// True when setSub is contained in setSuper.
bool checkInclusion(DdManager* mgr, DdNode* setSuper, DdNode* setSub);
