// Next-state relations of the reduced genes.
//
// For gene i with a = "some activating term holds" and h = "some inhibiting
// term holds", the next value f_i follows the gene's defaultStatus entry d
// (left by the reduction):
//   d == 3                 -> 0 (an inhibiting term always holds)
//   d == 2                 -> NOT h, or 1 without inhibiting terms
//   activating terms left  -> a AND NOT h (a without inhibiting terms)
//   d == 0, none left      -> 0 (every activating term was ruled out)
//   only inhibiting terms  -> NOT h
//   d == 1, no terms left  -> 1 (it only had inhibiting terms, all ruled out,
//                             yet a free regulator keeps it in the network)
//   no terms otherwise     -> 0
#include "constBdd.h"

#include <iostream>

#include "util.h"

namespace {

// Conjunction of the literals of one term over current-state variables; the
// empty term is the constant one. Referenced, owned by the caller.
DdNode* termValue(DdManager* mgr, std::vector<DdNode*>& ip, const influenceDefBool& term) {
    DdNode* value = refChecked(Cudd_ReadOne(mgr));
    for (size_t k = 0; k < term.geneId.size(); ++k) {
        DdNode* var = ip[static_cast<size_t>(term.geneId[k])];
        DdNode* literal = term.genePolar[k] == 0 ? Cudd_Not(var) : var;
        DdNode* next = refChecked(Cudd_bddAnd(mgr, value, literal));
        Cudd_RecursiveDeref(mgr, value);
        value = next;
    }
    return value;
}

// Disjunction of the values of `terms` (logical zero when there are none).
// Referenced, owned by the caller.
DdNode* anyTermHolds(DdManager* mgr, std::vector<DdNode*>& ip,
                     const std::vector<influenceDefBool>& terms) {
    DdNode* result = refChecked(Cudd_ReadLogicZero(mgr));
    for (const influenceDefBool& term : terms) {
        DdNode* value = termValue(mgr, ip, term);
        DdNode* next = refChecked(Cudd_bddOr(mgr, result, value));
        Cudd_RecursiveDeref(mgr, value);
        Cudd_RecursiveDeref(mgr, result);
        result = next;
    }
    return result;
}

// f_i of a gene as the table above chooses it. Referenced, owned by the caller.
DdNode* nextStateFunction(DdManager* mgr, std::vector<DdNode*>& ip, const gene& g, int d) {
    const bool hasAct = !g.inGenesPos.empty();
    const bool hasInh = !g.inGenesNeg.empty();
    const auto constant = [mgr](bool on) {
        return refChecked(on ? Cudd_ReadOne(mgr) : Cudd_ReadLogicZero(mgr));
    };
    if (d == 3) return constant(false);
    if (d == 2 && !hasInh) return constant(true);
    if (!hasAct && !hasInh) return constant(d == 1);
    if (!hasAct && d == 0) return constant(false);

    // NOT h keeps the reference taken for h.
    DdNode* notInh = hasInh ? Cudd_Not(anyTermHolds(mgr, ip, g.inGenesNeg)) : nullptr;
    if (d == 2 || !hasAct) return notInh;

    DdNode* act = anyTermHolds(mgr, ip, g.inGenesPos);
    if (notInh == nullptr) return act;
    DdNode* f = refChecked(Cudd_bddAnd(mgr, act, notInh));
    Cudd_RecursiveDeref(mgr, act);
    Cudd_RecursiveDeref(mgr, notInh);
    return f;
}

}  // namespace

DdNode* constBddFrag(const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced,
                     const std::vector<int>& defaultStatus, DdManager* mgr,
                     std::vector<DdNode*>& ip, std::vector<DdNode*>& op, int nInpVar) {
    for (int i = 0; i < nInpVar; ++i) {
        std::cout << i << std::endl;
        const gene& g = geneDbReduced[static_cast<size_t>(i)];
        const int orgIndex = chkInList(geneDbOrg, g.name);
        if (orgIndex < 0)
            raiseFatal("gene " + g.name + " of the reduced network is missing from the network");
        const int d = defaultStatus[static_cast<size_t>(orgIndex)];

        DdNode* f = nextStateFunction(mgr, ip, g, d);
        DdNode* rel = refChecked(Cudd_bddXnor(mgr, ip[static_cast<size_t>(nInpVar + i)], f));
        Cudd_RecursiveDeref(mgr, f);
        DdNode* next = refChecked(Cudd_bddAnd(mgr, op[static_cast<size_t>(i)], rel));
        Cudd_RecursiveDeref(mgr, rel);
        Cudd_RecursiveDeref(mgr, op[static_cast<size_t>(i)]);
        op[static_cast<size_t>(i)] = next;
    }
    return nullptr;
}
