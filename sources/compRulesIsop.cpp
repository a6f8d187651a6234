// From a Boolean function (a BDD) to activating rules: the irredundant
// sum-of-products cover of the function, one rule per product.
#include "compRulesIsop.h"

#include "bddHandle.h"
#include "util.h"

#include <algorithm>
#include <cstdlib>

ownedManager makeReaderManager() {
    DdManager* mgr = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
    if (mgr == nullptr) throw quorvelError("cannot create a BDD manager to read the network");
    return ownedManager(mgr);
}

void chkNoReference(DdManager* mgr) {
    const int left = Cudd_CheckZeroRef(mgr);
    if (left != 0)
        throw quorvelError("reading the network left " + std::to_string(left) +
                           " BDD references unreleased");
}

DdNode* varOfName(DdManager* mgr, localVariables& vars, const std::string& name) {
    const auto entered = vars.index.emplace(name, static_cast<int>(vars.names.size()));
    if (entered.second) vars.names.push_back(name);
    DdNode* var = Cudd_bddIthVar(mgr, entered.first->second);
    if (var == nullptr) throw quorvelError("the BDD engine cannot create a variable");
    return var;
}

namespace {

// f with variable `var` set to 1 (positive) or 0: the other variables'
// function once var is existentially removed from f AND the literal.
bddHandle cofactor(DdManager* mgr, DdNode* f, DdNode* var, bool positive) {
    const bddHandle conj = bddResult(mgr, Cudd_bddAnd(mgr, f, positive ? var : Cudd_Not(var)));
    return bddResult(mgr, Cudd_bddExistAbstract(mgr, conj.get(), var));
}

// Minato-Morreale: an irredundant cover c of the interval lower <= c <=
// upper, split on the variable of smallest index in either support (the
// variables split on above are fixed by `prefix`, which the products found
// are copies of). Returns the cover's
// function; appends its products to `cubes`.
bddHandle isopInterval(DdManager* mgr, DdNode* lower, DdNode* upper, int nVars,
                       coverCube& prefix, std::vector<coverCube>& cubes) {
    DdNode* const zero = Cudd_ReadLogicZero(mgr);
    DdNode* const one = Cudd_ReadOne(mgr);
    if (lower == zero) return bddZero(mgr);
    if (upper == one) {
        cubes.push_back(prefix);
        return bddOne(mgr);
    }
    // Split on the variable of smallest index that either bound depends on.
    int v = nVars;
    for (DdNode* bound : {lower, upper}) {
        int* support = nullptr;
        const int count = Cudd_SupportIndices(mgr, bound, &support);
        if (count < 0) throw quorvelError("the BDD engine failed to list a support");
        if (count > 0) v = std::min(v, *std::min_element(support, support + count));
        std::free(support);
    }
    if (v < nVars) {
        DdNode* const var = Cudd_bddIthVar(mgr, v);
        if (var == nullptr) throw quorvelError("the BDD engine cannot create a variable");
        const bddHandle lower0 = cofactor(mgr, lower, var, false);
        const bddHandle lower1 = cofactor(mgr, lower, var, true);
        const bddHandle upper0 = cofactor(mgr, upper, var, false);
        const bddHandle upper1 = cofactor(mgr, upper, var, true);

        // Products that need NOT var: the part of lower0 that upper1 cannot
        // hold; likewise with var; then what is left of both, without var.
        const std::size_t at = static_cast<std::size_t>(v);
        const bddHandle only0 =
            bddResult(mgr, Cudd_bddAnd(mgr, lower0.get(), Cudd_Not(upper1.get())));
        prefix[at] = 0;
        const bddHandle cover0 =
            isopInterval(mgr, only0.get(), upper0.get(), nVars, prefix, cubes);
        const bddHandle only1 =
            bddResult(mgr, Cudd_bddAnd(mgr, lower1.get(), Cudd_Not(upper0.get())));
        prefix[at] = 1;
        const bddHandle cover1 =
            isopInterval(mgr, only1.get(), upper1.get(), nVars, prefix, cubes);
        prefix[at] = 2;
        const bddHandle left0 =
            bddResult(mgr, Cudd_bddAnd(mgr, lower0.get(), Cudd_Not(cover0.get())));
        const bddHandle left1 =
            bddResult(mgr, Cudd_bddAnd(mgr, lower1.get(), Cudd_Not(cover1.get())));
        const bddHandle lowerRest = bddResult(mgr, Cudd_bddOr(mgr, left0.get(), left1.get()));
        const bddHandle upperRest = bddResult(mgr, Cudd_bddAnd(mgr, upper0.get(), upper1.get()));
        const bddHandle coverRest =
            isopInterval(mgr, lowerRest.get(), upperRest.get(), nVars, prefix, cubes);
        const bddHandle split =
            bddResult(mgr, Cudd_bddIte(mgr, var, cover1.get(), cover0.get()));
        return bddResult(mgr, Cudd_bddOr(mgr, split.get(), coverRest.get()));
    }
    // Constant bounds were handled above: they depend on a variable beyond
    // nVars.
    throw quorvelError("a function to cover depends on a variable outside its " +
                       std::to_string(nVars) + " variables");
}

}  // namespace

std::vector<coverCube> compIrredundantCover(DdManager* mgr, DdNode* f, int nVars) {
    std::vector<coverCube> cubes;
    coverCube prefix(static_cast<std::size_t>(nVars), 2);
    isopInterval(mgr, f, f, nVars, prefix, cubes);
    return cubes;
}

int makeRulesOfFunction(DdManager* mgr, DdNode* f, const std::vector<std::string>& varNames,
                        const std::string& target, std::vector<networkDefBool>& network) {
    const std::vector<coverCube> cubes =
        compIrredundantCover(mgr, f, static_cast<int>(varNames.size()));
    for (const coverCube& cube : cubes) {
        networkDefBool rule;
        for (std::size_t k = 0; k < cube.size(); ++k) {
            if (cube[k] == 2) continue;
            rule.inpGeneName.push_back(varNames[k]);
            rule.inpGenePolar.push_back(cube[k]);
        }
        rule.outGeneName = target;
        rule.outGenePolar = 1;
        network.push_back(std::move(rule));
    }
    return static_cast<int>(cubes.size());
}
