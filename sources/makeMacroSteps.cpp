// Macro steps around a cycle cut: the construction and the operations the
// search by macro steps uses.
#include "makeMacroSteps.h"

#include <algorithm>
#include <cmath>

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

std::vector<int> makeNegativeCutOfFragment(const fragAsync& frag, const networkFunctions& network,
                                           const std::vector<int>& genes,
                                           const std::vector<int>& cut) {
    DdManager* const mgr = frag.mgr;
    const size_t n = genes.size();
    std::vector<int> at(network.regulators.size(), -1);
    for (size_t k = 0; k < n; ++k) at[static_cast<size_t>(genes[k])] = static_cast<int>(k);
    signedReads reads(n);
    for (size_t k = 0; k < n; ++k) {
        const bddHandle& f = network.next[static_cast<size_t>(genes[k])];
        for (const int r : network.regulators[static_cast<size_t>(genes[k])]) {
            if (at[static_cast<size_t>(r)] < 0) continue;
            DdNode* const var = frag.ip[static_cast<size_t>(r)];
            const bddHandle high = bddResult(mgr, Cudd_bddAndAbstract(mgr, f.get(), var, var));
            const bddHandle low =
                bddResult(mgr, Cudd_bddAndAbstract(mgr, f.get(), Cudd_Not(var), var));
            const int signs = (Cudd_bddLeq(mgr, high.get(), low.get()) == 1 ? 0 : kReadRises) |
                              (Cudd_bddLeq(mgr, low.get(), high.get()) == 1 ? 0 : kReadFalls);
            if (signs != 0) reads[k].emplace_back(at[static_cast<size_t>(r)], signs);
        }
    }
    std::vector<int> cutAt;
    for (const int c : cut) cutAt.push_back(at[static_cast<size_t>(c)]);
    std::vector<int> negative;
    for (const int k : compNegativeCycleCut(reads, cutAt))
        negative.push_back(genes[static_cast<size_t>(k)]);
    return negative;
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

namespace {

// The candidate points for the retained values `retained` (per cut gene:
// 0 or 1, or 2 for a gene that has none): each gene c of the cut holds its
// retained value or its macro step leaves it as it is.
bddHandle candidatesFor(const fragAsync& frag, const macroSteps& ms,
                        const std::vector<char>& retained) {
    DdManager* mgr = frag.mgr;
    bddArray terms;
    for (size_t k = 0; k < ms.steps.genes.size(); ++k) {
        DdNode* var = frag.ip[static_cast<size_t>(ms.steps.genes[k])];
        bddHandle term = bddResult(mgr, Cudd_bddXnor(mgr, var, ms.values[k].get()));
        if (retained[k] != 2)
            term = bddResult(mgr, Cudd_bddOr(mgr, term.get(), retained[k] ? var : Cudd_Not(var)));
        terms.push_back(std::move(term));
    }
    return conjoinBottomUp(mgr, terms);
}

}  // namespace

// Every attractor A holds the state of a candidate point. Take a state a of
// A and hold the genes of the negative cut at their values in a: the other
// genes have no negative cycle among them, so from a they reach, by real
// steps, a state where none of them can change (a network without negative
// cycles has steady states for attractors), and that state lies in A (A is
// closed). If a gene of the negative cut that is not at its retained value
// can change there, it changes (a real step) and the others become stable
// again; no step of this takes a gene away from its retained value, so each
// moves at most once and the process ends, in A, at a state where every
// gene outside the negative cut is stable and every gene in it holds its
// retained value or is stable: the state of a candidate point (the genes
// outside the cycle cut are stable there, so they hold their stable values).
// The retained value of a gene is the value its macro step takes on more
// points: the candidates where the gene holds the other value must have it
// stable, and those are then the fewer. (Choosing each value by the count of
// the whole conjunction gave fewer candidates on some blocks but took 24 s
// of conjunctions on a random block of 400 genes.)
bddHandle macroCandidates(const fragAsync& frag, const macroSteps& ms,
                          const std::vector<int>& negative) {
    DdManager* mgr = frag.mgr;
    const std::vector<int>& cut = ms.steps.genes;
    std::vector<char> retained(cut.size(), 2);
    for (size_t k = 0; k < cut.size(); ++k)
        if (std::find(negative.begin(), negative.end(), cut[k]) != negative.end())
            retained[k] = Cudd_CountMinterm(mgr, ms.values[k].get(), frag.nInpVar) >
                          std::ldexp(1.0, frag.nInpVar - 1);
    return candidatesFor(frag, ms, retained);
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
