// Small helpers over sets of states held as BDDs whose variable index is the
// gene (current-state variables x_g): supports, cubes and projections.
#pragma once

#include <cstddef>
#include <map>
#include <vector>

#include "bddEngine.h"
#include "bddHandle.h"

// The variables of f's support (indices), ascending.
std::vector<int> supportOf(DdManager* m, DdNode* f);

// The cube of the variables `indices` of m, conjoined from the lowest level
// up, so every step puts one node on top of the cube built so far (in any
// other order a cube over thousands of variables costs a walk per variable).
bddHandle cubeOfIndices(DdManager* m, std::vector<int> indices);

// The projection of `set` (over current-state variables, whose index is the
// gene) onto the genes `keep` (ascending): every other variable of its
// support is abstracted.
bddHandle projectOnto(const bddHandle& set, const std::vector<int>& keep);

// Results of a search memoised by the node of the set they were searched
// for. The memo keeps a handle of each key, so a key's node is not freed and
// reused for another set while the memo lives.
template <typename Result>
struct nodeMemo {
    std::map<DdNode*, size_t> at;
    bddArray keys;
    std::vector<Result> results;
    template <typename Search>
    const Result& find(const bddHandle& key, Search search) {
        const auto known = at.find(key.get());
        if (known != at.end()) return results[known->second];
        Result found = search();
        keys.push_back(key);
        results.push_back(std::move(found));
        at.emplace(key.get(), results.size() - 1);
        return results.back();
    }
};
