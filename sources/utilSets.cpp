// Supports, cubes and projections of sets of states.
#include "utilSets.h"

#include <algorithm>
#include <cstdlib>

#include "quorvelError.h"

// The variables of f's support (indices), ascending.
std::vector<int> supportOf(DdManager* m, DdNode* f) {
    int* support = nullptr;
    const int count = Cudd_SupportIndices(m, f, &support);
    std::vector<int> indices;
    if (count > 0) indices.assign(support, support + count);
    std::free(support);
    if (count < 0) throw quorvelError("BDD engine failure: the support of a set is unavailable");
    std::sort(indices.begin(), indices.end());
    return indices;
}

// The cube of the variables `indices` of m, conjoined from the lowest level
// up, so every step puts one node on top of the cube built so far (in any
// other order a cube over thousands of variables costs a walk per variable).
bddHandle cubeOfIndices(DdManager* m, std::vector<int> indices) {
    std::sort(indices.begin(), indices.end(),
              [m](int a, int b) { return Cudd_ReadPerm(m, a) > Cudd_ReadPerm(m, b); });
    bddHandle cube = bddOne(m);
    for (const int index : indices)
        cube = bddResult(m, Cudd_bddAnd(m, Cudd_bddIthVar(m, index), cube.get()));
    return cube;
}

// The projection of `set` (over current-state variables, whose index is the
// gene) onto the genes `keep` (ascending): every other variable of its
// support is abstracted.
bddHandle projectOnto(const bddHandle& set, const std::vector<int>& keep) {
    DdManager* const m = set.manager();
    std::vector<int> others;
    for (const int index : supportOf(m, set.get()))
        if (!std::binary_search(keep.begin(), keep.end(), index)) others.push_back(index);
    if (others.empty()) return set;
    const bddHandle cube = cubeOfIndices(m, others);
    return bddResult(m, Cudd_bddExistAbstract(m, set.get(), cube.get()));
}
