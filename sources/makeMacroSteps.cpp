// Macro steps around a cycle cut: the construction and the operations the
// search by macro steps uses.
#include "makeMacroSteps.h"

#include "bddHelpers.h"
#include "compSccLevels.h"
#include "constGeneDb.h"
#include "quorvelError.h"

std::vector<int> makeCycleCutOfFragment(const networkFunctions& network,
                                        const std::vector<int>& genes) {
    const size_t n = genes.size();
    std::vector<int> at(network.regulators.size(), -1);
    for (size_t k = 0; k < n; ++k) at[static_cast<size_t>(genes[k])] = static_cast<int>(k);
    adjacencyList reads(n);
    for (size_t k = 0; k < n; ++k)
        for (int r : network.regulators[static_cast<size_t>(genes[k])])
            if (at[static_cast<size_t>(r)] >= 0) reads[k].push_back(at[static_cast<size_t>(r)]);
    std::vector<int> cut;
    for (int k : compCycleCut(reads)) cut.push_back(genes[static_cast<size_t>(k)]);
    return cut;
}

std::optional<macroSteps> makeMacroSteps(const fragAsync& frag, const networkFunctions& network,
                                         const std::vector<int>& cut) {
    DdManager* mgr = frag.mgr;
    const std::vector<int> genes = uniqueGenes(frag.geneId);
    macroSteps ms;
    ms.steps.genes = cut;
    std::vector<char> placed(static_cast<size_t>(frag.nInpVar), 1);
    for (int g : genes) placed[static_cast<size_t>(g)] = 0;
    for (int c : cut) placed[static_cast<size_t>(c)] = 1;
    // The genes outside the cut, each after its regulators among them.
    for (bool progress = true; progress;) {
        progress = false;
        for (int g : genes) {
            if (placed[static_cast<size_t>(g)]) continue;
            bool ready = true;
            for (int r : network.regulators[static_cast<size_t>(g)])
                if (!placed[static_cast<size_t>(r)]) ready = false;
            if (!ready) continue;
            placed[static_cast<size_t>(g)] = 1;
            ms.rest.push_back(g);
            progress = true;
        }
    }
    if (ms.rest.size() + cut.size() != genes.size())
        raiseFatal("the genes outside a cycle cut form a cycle");
    const int size = Cudd_ReadSize(mgr);
    ms.substitute.resize(static_cast<size_t>(size));
    for (int i = 0; i < size; ++i) ms.substitute[static_cast<size_t>(i)] = Cudd_bddIthVar(mgr, i);
    for (int g : ms.rest) {
        ms.stable.push_back(
            bddResult(mgr, Cudd_bddVectorCompose(mgr, network.next[static_cast<size_t>(g)].get(),
                                                 ms.substitute.data())));
        if (Cudd_DagSize(ms.stable.back().get()) > kStableNodes) return std::nullopt;
        ms.substitute[static_cast<size_t>(indexOfVariable(mgr, frag.ip[static_cast<size_t>(g)]))] =
            ms.stable.back().get();
    }
    for (int c : cut) {
        ms.values.push_back(
            bddResult(mgr, Cudd_bddVectorCompose(mgr, network.next[static_cast<size_t>(c)].get(),
                                                 ms.substitute.data())));
        ms.steps.moves.push_back(
            bddResult(mgr, Cudd_bddXnor(mgr, frag.ip[static_cast<size_t>(frag.nInpVar + c)],
                                        ms.values.back().get())));
    }
    splitMoves(mgr, frag.ip, frag.nInpVar, ms.steps);
    return ms;
}

bddHandle macroProject(DdManager* mgr, const macroSteps& ms, DdNode* set) {
    std::vector<DdNode*> substitute = ms.substitute;
    return bddResult(mgr, Cudd_bddVectorCompose(mgr, set, substitute.data()));
}

bddHandle macroFixedPoints(const fragAsync& frag, const macroSteps& ms) {
    DdManager* mgr = frag.mgr;
    // The macro step of cut[k] leaves it as it is: one constraint per gene
    // of the cut.
    bddArray loops;
    for (size_t k = 0; k < ms.steps.genes.size(); ++k)
        loops.push_back(
            bddResult(mgr, Cudd_bddXnor(mgr, frag.ip[static_cast<size_t>(ms.steps.genes[k])],
                                        ms.values[k].get())));
    return conjoinBottomUp(mgr, loops);
}

bddHandle macroBackward(const fragAsync& frag, const macroSteps& ms, DdNode* start, DdNode* goal,
                        DdNode* domain, bool& covered) {
    return compReachBySaturation(frag, ms.steps, start, searchDirection::backward, domain, goal,
                                 &covered);
}

bddHandle macroState(const fragAsync& frag, const macroSteps& ms, DdNode* points,
                     bddHandle& point) {
    DdManager* mgr = frag.mgr;
    const int nInpVar = frag.nInpVar;
    std::vector<char> cube = makeCubeArray(mgr, nInpVar);
    if (Cudd_bddPickOneCube(mgr, points, cube.data()) != 1)
        raiseFatal("no point to build a state from");
    std::vector<char> literals(static_cast<size_t>(nInpVar), 2);
    std::vector<int> inputs(static_cast<size_t>(Cudd_ReadSize(mgr)), 0);
    for (int c : ms.steps.genes) {
        const char value = cube[static_cast<size_t>(c)] == 1 ? 1 : 0;
        literals[static_cast<size_t>(c)] = value;
        inputs[static_cast<size_t>(indexOfVariable(mgr, frag.ip[static_cast<size_t>(c)]))] = value;
    }
    point = bddHandle::adopt(mgr, makeBdd(mgr, frag.ip, literals.data(), nInpVar));
    for (size_t k = 0; k < ms.rest.size(); ++k) {
        DdNode* value = Cudd_Eval(mgr, ms.stable[k].get(), inputs.data());
        if (value == nullptr) raiseFatal("evaluation of a stable value failed");
        literals[static_cast<size_t>(ms.rest[k])] = value == Cudd_ReadOne(mgr) ? 1 : 0;
    }
    return bddHandle::adopt(mgr, makeBdd(mgr, frag.ip, literals.data(), nInpVar));
}
