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

#include <algorithm>

#include "bddHandle.h"
#include "constGeneDb.h"
#include "quorvelError.h"

namespace {

// Conjunction of the literals of one term over current-state variables; the
// empty term is the constant one.
bddHandle termValue(DdManager* mgr, std::vector<DdNode*>& ip, const influenceDefBool& term) {
    bddHandle value = bddOne(mgr);
    for (size_t k = 0; k < term.geneId.size(); ++k) {
        DdNode* var = ip[static_cast<size_t>(term.geneId[k])];
        DdNode* literal = term.genePolar[k] == 0 ? Cudd_Not(var) : var;
        value = bddResult(mgr, Cudd_bddAnd(mgr, value.get(), literal));
    }
    return value;
}

// Disjunction of the values of `terms` (logical zero when there are none).
// The values are joined from the one whose top variable is lowest in the
// order up, so each step mostly puts the new value on top of the result: a
// gene read by thousands of single-regulator terms (the hub of a star)
// would otherwise cost a walk down the whole result per term.
bddHandle anyTermHolds(DdManager* mgr, std::vector<DdNode*>& ip,
                       const std::vector<influenceDefBool>& terms) {
    bddArray values;
    for (const influenceDefBool& term : terms) {
        values.push_back(termValue(mgr, ip, term));
        if (values.back().get() == Cudd_ReadOne(mgr)) return bddOne(mgr);
    }
    auto topLevel = [mgr](const bddHandle& value) {
        return Cudd_IsConstant(value.get())
                   ? Cudd_ReadSize(mgr)
                   : Cudd_ReadPerm(mgr, static_cast<int>(Cudd_NodeReadIndex(value.get())));
    };
    std::stable_sort(values.begin(), values.end(), [&](const bddHandle& a, const bddHandle& b) {
        return topLevel(a) > topLevel(b);
    });
    bddHandle result = bddZero(mgr);
    for (const bddHandle& value : values)
        result = bddResult(mgr, Cudd_bddOr(mgr, value.get(), result.get()));
    return result;
}

// f_i of a gene as the table above chooses it.
bddHandle nextStateFunction(DdManager* mgr, std::vector<DdNode*>& ip, const gene& g, int d) {
    const bool hasAct = !g.inGenesPos.empty();
    const bool hasInh = !g.inGenesNeg.empty();
    if (d == 3) return bddZero(mgr);
    if (d == 2 && !hasInh) return bddOne(mgr);
    if (!hasAct && !hasInh) return d == 1 ? bddOne(mgr) : bddZero(mgr);
    if (!hasAct && d == 0) return bddZero(mgr);

    // h, whose complement NOT h is used below.
    const bddHandle inh = hasInh ? anyTermHolds(mgr, ip, g.inGenesNeg) : bddHandle();
    if (d == 2 || !hasAct) return bddHandle(mgr, Cudd_Not(inh.get()));

    bddHandle act = anyTermHolds(mgr, ip, g.inGenesPos);
    if (!hasInh) return act;
    return bddResult(mgr, Cudd_bddAnd(mgr, act.get(), Cudd_Not(inh.get())));
}

}  // namespace

DdNode* constBddFrag(const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced,
                     const std::vector<int>& defaultStatus, DdManager* mgr,
                     std::vector<DdNode*>& ip, std::vector<DdNode*>& op, int nInpVar,
                     const progressSink& progress) {
    for (int i = 0; i < nInpVar; ++i) {
        writeProgress(progress, i, "\n");
        const gene& g = geneDbReduced[static_cast<size_t>(i)];
        const int orgIndex = chkInList(geneDbOrg, g.name);
        if (orgIndex < 0)
            raiseFatal("gene " + g.name + " of the reduced network is missing from the network");
        const int d = defaultStatus[static_cast<size_t>(orgIndex)];

        const bddHandle f = nextStateFunction(mgr, ip, g, d);
        const bddHandle rel =
            bddResult(mgr, Cudd_bddXnor(mgr, ip[static_cast<size_t>(nInpVar + i)], f.get()));
        DdNode*& slot = op[static_cast<size_t>(i)];
        replaceOwned(slot, bddResult(mgr, Cudd_bddAnd(mgr, slot, rel.get())));
    }
    return nullptr;
}
