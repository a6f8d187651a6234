// Reachability in the whole network, basins and the attractors reachable
// from given states.
#include "compBasins.h"

#include <algorithm>
#include <iostream>
#include <map>

namespace {

// The states one step of gene g away from `set`: forward, the states of set
// where g can change, with g changed; backward, the states where g can
// change into a state of set.
bddHandle stepOfGene(const fullNetwork& net, size_t g, const bddHandle& set,
                     reachDirection direction) {
    DdManager* const m = net.mgr;
    DdNode* const x = net.vars[g].get();
    if (direction == reachDirection::forward) {
        const bddHandle rose =
            bddResult(m, Cudd_bddAndAbstract(m, set.get(), net.rise[g].get(), x));
        const bddHandle fell =
            bddResult(m, Cudd_bddAndAbstract(m, set.get(), net.fall[g].get(), x));
        const bddHandle up = bddResult(m, Cudd_bddAnd(m, rose.get(), x));
        const bddHandle down = bddResult(m, Cudd_bddAnd(m, fell.get(), Cudd_Not(x)));
        return bddResult(m, Cudd_bddOr(m, up.get(), down.get()));
    }
    // Predecessors: x_g = 0 rising into a state of set with x_g = 1, and the
    // other way round.
    const bddHandle withOne = bddResult(m, Cudd_bddAndAbstract(m, set.get(), x, x));
    const bddHandle withZero = bddResult(m, Cudd_bddAndAbstract(m, set.get(), Cudd_Not(x), x));
    const bddHandle up = bddResult(m, Cudd_bddAnd(m, withOne.get(), net.rise[g].get()));
    const bddHandle down = bddResult(m, Cudd_bddAnd(m, withZero.get(), net.fall[g].get()));
    return bddResult(m, Cudd_bddOr(m, up.get(), down.get()));
}

// The number of states of f among the variables from `level` on (f's
// variables all lie there); memoised by node, each key's node kept alive.
struct stateCounter {
    const fullNetwork& net;
    std::map<DdNode*, bigCount> known;
    bddArray keys;

    int levelOf(DdNode* f) const {
        return Cudd_IsConstant(f) ? net.nGenes
                                  : Cudd_ReadPerm(net.mgr, static_cast<int>(Cudd_NodeReadIndex(f)));
    }

    // States of f over the variables from its own top level on.
    bigCount below(const bddHandle& f) {
        DdManager* const m = net.mgr;
        if (f.get() == Cudd_ReadLogicZero(m)) return bigCount{};
        if (f.get() == Cudd_ReadOne(m)) {
            bigCount one;
            one.addPowerOfTwo(0);
            return one;
        }
        const auto hit = known.find(f.get());
        if (hit != known.end()) return hit->second;
        const int top = levelOf(f.get());
        DdNode* const var = Cudd_bddIthVar(m, Cudd_ReadInvPerm(m, top));
        bigCount count;
        for (DdNode* literal : {var, Cudd_Not(var)}) {
            const bddHandle cofactor = bddResult(m, Cudd_bddAndAbstract(m, f.get(), literal, var));
            bigCount part = below(cofactor);
            part.shiftLeft(static_cast<size_t>(levelOf(cofactor.get()) - top - 1));
            count.add(part);
        }
        keys.push_back(f);
        known.emplace(f.get(), count);
        return count;
    }
};

}  // namespace

bddHandle compReachFull(const fullNetwork& net, const bddHandle& start, reachDirection direction,
                        const bddArray* goals) {
    DdManager* const m = net.mgr;
    bddHandle reached = start;
    // The goals not met yet are those from `unmet` on.
    size_t unmet = 0;
    const auto allMet = [&] {
        if (goals == nullptr) return false;
        while (unmet < goals->size() &&
               Cudd_bddLeq(m, (*goals)[unmet].get(), Cudd_Not(reached.get())) != 1)
            ++unmet;
        return unmet == goals->size();
    };
    if (allMet()) return reached;
    // The genes from the top of the order down (regulators first, as
    // constFullNetwork orders them), so a round carries a change downstream.
    std::vector<size_t> byLevel(net.vars.size());
    for (size_t g = 0; g < byLevel.size(); ++g) byLevel[g] = g;
    std::sort(byLevel.begin(), byLevel.end(), [&](size_t a, size_t b) {
        return Cudd_ReadPerm(m, static_cast<int>(Cudd_NodeReadIndex(net.vars[a].get()))) <
               Cudd_ReadPerm(m, static_cast<int>(Cudd_NodeReadIndex(net.vars[b].get())));
    });
    bool grew = true;
    while (grew) {
        grew = false;
        for (const size_t g : byLevel) {
            const bddHandle step = stepOfGene(net, g, reached, direction);
            if (Cudd_bddLeq(m, step.get(), reached.get()) == 1) continue;
            reached = bddResult(m, Cudd_bddOr(m, reached.get(), step.get()));
            grew = true;
            if (allMet()) return reached;
        }
    }
    return reached;
}

bigCount countStatesFull(const fullNetwork& net, const bddHandle& set) {
    if (net.stride != 1) throw quorvelError("internal error: states counted over extra variables");
    stateCounter counter{net, {}, {}};
    bigCount count = counter.below(set);
    count.shiftLeft(static_cast<size_t>(counter.levelOf(set.get())));
    return count;
}

std::vector<basinSizes> compBasins(const fullNetwork& net, const bddArray& attractors,
                                   const progressSink& progress) {
    DdManager* const m = net.mgr;
    if (attractors.size() == 1) {
        // Every state reaches some attractor: here, the only one.
        bigCount all;
        all.addPowerOfTwo(static_cast<size_t>(net.nGenes));
        return {{all.decimal(), all.decimal()}};
    }
    bddArray weak;
    for (size_t k = 0; k < attractors.size(); ++k) {
        reportProgress(progress, partEvent(progressStage::basins, k + 1, attractors.size()));
        weak.push_back(compReachFull(net, attractors[k], reachDirection::backward));
    }
    // after[k]: the union of the weak basins from k on.
    bddArray after(weak.size() + 1, bddZero(m));
    for (size_t k = weak.size(); k-- > 0;)
        after[k] = bddResult(m, Cudd_bddOr(m, weak[k].get(), after[k + 1].get()));
    std::vector<basinSizes> sizes;
    bddHandle before = bddZero(m);
    for (size_t k = 0; k < weak.size(); ++k) {
        const bddHandle others = bddResult(m, Cudd_bddOr(m, before.get(), after[k + 1].get()));
        const bddHandle strong =
            bddResult(m, Cudd_bddAnd(m, weak[k].get(), Cudd_Not(others.get())));
        sizes.push_back(
            {countStatesFull(net, weak[k]).decimal(), countStatesFull(net, strong).decimal()});
        before = bddResult(m, Cudd_bddOr(m, before.get(), weak[k].get()));
    }
    return sizes;
}

std::vector<bool> compReachableAttractors(const fullNetwork& net, const bddHandle& initial,
                                          const bddArray& attractors) {
    // Every state reaches some attractor: a lone one is reached from any.
    if (attractors.size() == 1 && initial.get() != Cudd_ReadLogicZero(net.mgr)) return {true};
    const bddHandle reached = compReachFull(net, initial, reachDirection::forward, &attractors);
    std::vector<bool> reachable;
    for (const bddHandle& a : attractors)
        reachable.push_back(Cudd_bddLeq(net.mgr, a.get(), Cudd_Not(reached.get())) != 1);
    return reachable;
}

bddHandle cubesToSet(const fullNetwork& net, const std::vector<std::string>& cubes) {
    DdManager* const m = net.mgr;
    bddHandle set = bddZero(m);
    for (const std::string& cube : cubes) {
        if (cube.size() != net.vars.size())
            throw quorvelError("internal error: a cube does not match the network's genes");
        bddHandle states = bddOne(m);
        // From the last gene up, so each step puts one node on top.
        for (size_t g = cube.size(); g-- > 0;) {
            if (cube[g] == '-') continue;
            DdNode* const x = net.vars[g].get();
            states = bddResult(m, Cudd_bddAnd(m, states.get(), cube[g] == '1' ? x : Cudd_Not(x)));
        }
        set = bddResult(m, Cudd_bddOr(m, set.get(), states.get()));
    }
    return set;
}
