// States and sets of states written out as BDDs, for tests that need a given
// set as the input of the code under test. The handles own their references;
// both throw quorvelError when the engine fails.
#pragma once

#include <cstddef>
#include <vector>

#include "bddEngine.h"
#include "bddHandle.h"

// The conjunction of the literals vars[i] = values[i] (a value other than 0
// is 1): one state over `vars`, every other variable free.
inline bddHandle cubeOf(DdManager* mgr, const std::vector<DdNode*>& vars,
                        const std::vector<int>& values) {
    bddHandle cube = bddOne(mgr);
    for (std::size_t i = 0; i < vars.size(); ++i) {
        DdNode* literal = values.at(i) != 0 ? vars[i] : Cudd_Not(vars[i]);
        cube = bddResult(mgr, Cudd_bddAnd(mgr, cube.get(), literal));
    }
    return cube;
}

// The set of the states listed in `members` over the variables `vars`: bit i
// of a member is the value of vars[i] (so at most 32 variables), variables
// not in `vars` are free. No member gives the empty set.
inline bddHandle setOfStates(DdManager* mgr, const std::vector<DdNode*>& vars,
                             const std::vector<unsigned>& members) {
    bddHandle set = bddZero(mgr);
    std::vector<int> values(vars.size());
    for (const unsigned k : members) {
        for (std::size_t i = 0; i < vars.size(); ++i) values[i] = static_cast<int>((k >> i) & 1u);
        const bddHandle cube = cubeOf(mgr, vars, values);
        set = bddResult(mgr, Cudd_bddOr(mgr, set.get(), cube.get()));
    }
    return set;
}
