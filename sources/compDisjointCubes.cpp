// A set of states as disjoint cubes: split on the top variable, with the
// cheap cases (a cube, an empty cofactor, one cofactor inside the other)
// taken without splitting further.
#include "compDisjointCubes.h"

#include <algorithm>

#include "bddHandle.h"
#include "bddHelpers.h"
#include "bigCount.h"
#include "quorvelError.h"

namespace {

// The current-state variable of f highest in the order: the variable of its
// root node (f not constant), read in constant time.
int topVariable(DdNode* f, int nInpVar) {
    const unsigned top = Cudd_NodeReadIndex(f);
    if (top >= unsigned(nInpVar))
        throw quorvelError("internal error: an attractor reads a next-state variable");
    return int(top);
}

// Adds `cube` to the cover, with its states.
void addCube(const std::string& cube, cubeCover& cover, bigCount& count) {
    cover.cubes.push_back(cube);
    size_t free = 0;
    for (char c : cube) free += c == '-';
    count.addPowerOfTwo(free);
}

// Adds the cube of the one path of f (a cube, not constant) under the
// choices made so far in `cube`.
void addPathCube(DdManager* mgr, DdNode* f, int nInpVar, std::string cube, cubeCover& cover,
                 bigCount& count) {
    std::vector<char> path = makeCubeArray(mgr, nInpVar);
    if (Cudd_bddPickOneCube(mgr, f, path.data()) != 1)
        throw quorvelError("BDD engine failure: an attractor's cube could not be read");
    for (int g = 0; g < nInpVar; ++g) {
        const char value = path[static_cast<size_t>(g)];
        if (value == 0 || value == 1) cube[static_cast<size_t>(g)] = static_cast<char>('0' + value);
    }
    if (std::any_of(path.begin() + nInpVar, path.end(), [](char v) { return v == 0 || v == 1; }))
        throw quorvelError("internal error: an attractor reads a next-state variable");
    addCube(cube, cover, count);
}

void coverInto(DdManager* mgr, DdNode* f, std::vector<DdNode*>& ip, int nInpVar, std::string& cube,
               cubeCover& cover, bigCount& count) {
    if (f == Cudd_ReadLogicZero(mgr)) return;
    if (f == Cudd_ReadOne(mgr)) {
        addCube(cube, cover, count);
        return;
    }
    // A cube is its own cover: read in one pass rather than split variable
    // by variable (the check stops at the first node that branches).
    if (Cudd_CheckCube(mgr, f) == 1) {
        addPathCube(mgr, f, nInpVar, cube, cover, count);
        return;
    }
    const int top = topVariable(f, nInpVar);
    DdNode* var = ip[static_cast<size_t>(top)];
    const bddHandle high = bddResult(mgr, Cudd_bddAndAbstract(mgr, f, var, var));
    const bddHandle low = bddResult(mgr, Cudd_bddAndAbstract(mgr, f, Cudd_Not(var), var));
    char& at = cube[static_cast<size_t>(top)];
    // One cofactor empty: the other is covered with the variable's value
    // (what the comparison below comes to, without its operations).
    if (low.get() == Cudd_ReadLogicZero(mgr) || high.get() == Cudd_ReadLogicZero(mgr)) {
        const bool isHigh = low.get() == Cudd_ReadLogicZero(mgr);
        at = isHigh ? '1' : '0';
        coverInto(mgr, (isHigh ? high : low).get(), ip, nInpVar, cube, cover, count);
        at = '-';
        return;
    }
    // When one cofactor holds the other, the smaller one is covered once with
    // '-' and only the rest of the larger one is split; otherwise the two
    // cofactors are covered apart (the paths of the diagram), which keeps
    // partly overlapping cofactors from being cut into more pieces.
    DdNode* both = Cudd_ReadLogicZero(mgr);
    DdNode* onlyLow = low.get();
    DdNode* onlyHigh = high.get();
    bddHandle rest;  // the part of the larger cofactor outside the smaller
    if (Cudd_bddLeq(mgr, low.get(), high.get()) == 1) {
        both = low.get();
        onlyLow = Cudd_ReadLogicZero(mgr);
        rest = bddResult(mgr, Cudd_bddAnd(mgr, high.get(), Cudd_Not(low.get())));
        onlyHigh = rest.get();
    } else if (Cudd_bddLeq(mgr, high.get(), low.get()) == 1) {
        both = high.get();
        onlyHigh = Cudd_ReadLogicZero(mgr);
        rest = bddResult(mgr, Cudd_bddAnd(mgr, low.get(), Cudd_Not(high.get())));
        onlyLow = rest.get();
    }
    coverInto(mgr, both, ip, nInpVar, cube, cover, count);
    at = '0';
    coverInto(mgr, onlyLow, ip, nInpVar, cube, cover, count);
    at = '1';
    coverInto(mgr, onlyHigh, ip, nInpVar, cube, cover, count);
    at = '-';
}

}  // namespace

cubeCover compDisjointCubes(DdManager* mgr, DdNode* set, std::vector<DdNode*>& ip, int nInpVar) {
    cubeCover cover;
    bigCount count;
    std::string cube(static_cast<size_t>(nInpVar), '-');
    coverInto(mgr, set, ip, nInpVar, cube, cover, count);
    cover.states = count.decimal();
    return cover;
}
