// Random walks over explicit states. A walk keeps one value per variable
// index and evaluates the relations (or functions) at it; each gene's
// movability is kept and re-evaluated only after a flip of a gene in the
// support of its relation, so a step costs a few evaluations.
#include "compWalkExplicit.h"

#include <cstdlib>

#include "bddHelpers.h"
#include "constGeneDb.h"
#include "progressSink.h"
#include "quorvelError.h"

walkFrame makeWalkFrame(DdManager* mgr, std::vector<DdNode*>& ip, const geneMoves& m, int nInpVar) {
    const size_t n = m.genes.size();
    walkFrame w;
    w.current.resize(n);
    w.next.resize(n);
    w.dependents.resize(n);
    for (size_t k = 0; k < n; ++k) {
        w.current[k] = indexOfVariable(mgr, ip[static_cast<size_t>(m.genes[k])]);
        w.next[k] = indexOfVariable(mgr, ip[static_cast<size_t>(nInpVar + m.genes[k])]);
    }
    std::vector<int> position(static_cast<size_t>(Cudd_ReadSize(mgr)), -1);
    for (size_t k = 0; k < n; ++k) position[static_cast<size_t>(w.current[k])] = int(k);
    for (size_t k = 0; k < n; ++k) {
        int* support = nullptr;
        const int count = Cudd_SupportIndices(mgr, m.moves[k].get(), &support);
        if (count < 0) raiseFatal("support of a move relation unavailable");
        for (int s = 0; s < count; ++s) {
            const int at = position[static_cast<size_t>(support[s])];
            if (at >= 0) w.dependents[static_cast<size_t>(at)].push_back(k);
        }
        std::free(support);
    }
    return w;
}

long walkExplicit(DdManager* mgr, const geneMoves& m, const walkFrame& w, std::vector<int>& inputs,
                  std::mt19937& generator, long maxSteps, DdNode* target) {
    const size_t n = m.genes.size();
    DdNode* one = Cudd_ReadOne(mgr);
    auto evaluates = [&](DdNode* f) {
        DdNode* value = Cudd_Eval(mgr, f, inputs.data());
        if (value == nullptr) raiseFatal("evaluation of a move relation failed");
        return value == one;
    };
    auto canMove = [&](size_t k) {
        if (w.functions)
            return evaluates(m.moves[k].get()) != (inputs[static_cast<size_t>(w.current[k])] == 1);
        int& next = inputs[static_cast<size_t>(w.next[k])];
        next = 1 - inputs[static_cast<size_t>(w.current[k])];
        const bool moves = evaluates(m.moves[k].get());
        next = 0;
        return moves;
    };
    std::vector<char> movable(n, 0);
    std::vector<size_t> candidates;  // the genes that can change, kept in step
    std::vector<size_t> slot(n, 0);  // gene k's place in candidates
    auto update = [&](size_t k) {
        const char now = canMove(k) ? 1 : 0;
        if (now == movable[k]) return;
        movable[k] = now;
        if (now) {
            slot[k] = candidates.size();
            candidates.push_back(k);
        } else {
            const size_t last = candidates.back();
            candidates[slot[k]] = last;
            slot[last] = slot[k];
            candidates.pop_back();
        }
    };
    for (size_t k = 0; k < n; ++k) update(k);

    long steps = 0;
    while (steps < maxSteps && !candidates.empty()) {
        if (target != nullptr && evaluates(target)) break;
        const size_t k =
            candidates[std::uniform_int_distribution<size_t>(0, candidates.size() - 1)(generator)];
        int& value = inputs[static_cast<size_t>(w.current[k])];
        value = 1 - value;
        ++steps;
        update(k);
        for (size_t d : w.dependents[k])
            if (d != k) update(d);
    }
    return steps;
}

functionWalk makeFunctionWalk(const fragAsync& frag, const networkFunctions& network) {
    functionWalk f;
    f.m.genes = uniqueGenes(frag.geneId);
    for (int g : f.m.genes) f.m.moves.push_back(network.next[static_cast<size_t>(g)]);
    f.w = makeWalkFrame(frag.mgr, frag.ip, f.m, frag.nInpVar);
    f.w.functions = true;
    return f;
}

std::vector<char> valuesOf(const fragAsync& frag, const functionWalk& f, DdNode* state) {
    std::vector<char> cube = makeCubeArray(frag.mgr, frag.nInpVar);
    if (Cudd_bddPickOneCube(frag.mgr, state, cube.data()) != 1)
        raiseFatal("no state to start from");
    std::vector<char> values(f.m.genes.size());
    for (size_t k = 0; k < values.size(); ++k)
        values[k] = cube[static_cast<size_t>(f.m.genes[k])] == 1 ? 1 : 0;
    return values;
}

bddHandle walkFromState(const fragAsync& frag, const networkFunctions& network, DdNode* state,
                        DdNode* target, long maxSteps, unsigned seed) {
    const functionWalk f = makeFunctionWalk(frag, network);
    std::vector<char> values = valuesOf(frag, f, state);
    std::vector<int> inputs(static_cast<size_t>(Cudd_ReadSize(frag.mgr)), 0);
    for (size_t k = 0; k < values.size(); ++k)
        inputs[static_cast<size_t>(f.w.current[k])] = values[k];
    std::mt19937 generator(seed);
    const long steps = walkExplicit(frag.mgr, f.m, f.w, inputs, generator, maxSteps, target);
    writeProgress(frag.progress, "next state evaluates to 1 with possible depth  ", steps + 1,
                  "\n");
    std::vector<char> literals(static_cast<size_t>(frag.nInpVar), 2);
    for (size_t k = 0; k < values.size(); ++k)
        literals[static_cast<size_t>(f.m.genes[k])] =
            static_cast<char>(inputs[static_cast<size_t>(f.w.current[k])]);
    return bddHandle::adopt(frag.mgr, makeBdd(frag.mgr, frag.ip, literals.data(), frag.nInpVar));
}
