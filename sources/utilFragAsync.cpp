// Asynchronous image, reachability and descent: in one step one gene g of
// the fragment takes its next value while every other gene keeps its own.
//
// The step relation of gene g is S_g(x, x') = T_g(x, x') AND (EXISTS x_g .
// topSame): g moves to f_g(x), every other gene k has x'_k = x_k. A search
// keeps the relations of its fragment fixed while it runs, so each search
// builds S_g once per distinct fragment gene and reuses it for every image.
#include "utilFragAsync.h"

#include <iostream>

#include "compReachFragAsync.h"
#include "util.h"

namespace {

// S_g for every distinct gene of the fragment, in order of first appearance.
// Every entry carries one reference owned by the caller.
std::vector<DdNode*> makeStepRelations(DdManager* mgr, std::vector<DdNode*>& topNode,
                                       std::vector<DdNode*>& ip, const std::vector<int>& genes,
                                       DdNode* topSame, int nInpVar) {
    std::vector<DdNode*> steps;
    steps.reserve(genes.size());
    for (int g : genes) {
        DdNode* frame = refChecked(Cudd_bddExistAbstract(mgr, topSame, ip[g % nInpVar]));
        DdNode* step = Cudd_bddAnd(mgr, topNode[g], frame);
        Cudd_RecursiveDeref(mgr, frame);
        steps.push_back(refChecked(step));
    }
    return steps;
}

void releaseAll(DdManager* mgr, std::vector<DdNode*>& nodes) {
    for (DdNode* node : nodes) Cudd_RecursiveDeref(mgr, node);
    nodes.clear();
}

// The states one step away from initState through any of `steps`, less
// reachedStates, in the encoding of initState (x when inpCube is the
// current-state cube: successors; x' when it is the next-state cube:
// predecessors). Referenced, owned by the caller.
DdNode* imageBySteps(DdManager* mgr, const std::vector<DdNode*>& steps, std::vector<DdNode*>& ip,
                     DdNode* inpCube, DdNode* initState, DdNode* reachedStates, int nInpVar) {
    DdNode* nextState = Cudd_ReadLogicZero(mgr);
    Cudd_Ref(nextState);
    for (DdNode* step : steps) {
        // One relational product: conjoin and quantify the start side at once.
        DdNode* moved = refChecked(Cudd_bddAndAbstract(mgr, step, initState, inpCube));
        DdNode* swapped =
            Cudd_bddSwapVariables(mgr, moved, ip.data(), ip.data() + nInpVar, nInpVar);
        Cudd_RecursiveDeref(mgr, moved);
        swapped = refChecked(swapped);
        DdNode* fresh = Cudd_bddAnd(mgr, Cudd_Not(reachedStates), swapped);
        Cudd_RecursiveDeref(mgr, swapped);
        fresh = refChecked(fresh);
        DdNode* united = Cudd_bddOr(mgr, fresh, nextState);
        Cudd_RecursiveDeref(mgr, fresh);
        Cudd_RecursiveDeref(mgr, nextState);
        nextState = refChecked(united);
    }
    return nextState;
}

// Breadth-first search from initState over `steps`, frontier by frontier;
// prints the layer counters and the path count of the result.
DdNode* reachBySteps(DdManager* mgr, const std::vector<DdNode*>& steps, std::vector<DdNode*>& ip,
                     DdNode* initState, DdNode* inpCube, int nInpVar) {
    DdNode* zero = Cudd_ReadLogicZero(mgr);
    DdNode* reachedStates = zero;
    Cudd_Ref(reachedStates);
    DdNode* frontier = initState;
    Cudd_Ref(frontier);
    int iteration = 0;
    for (;;) {
        ++iteration;
        std::cout << iteration << "   " << std::flush;
        if (frontier == zero) break;
        DdNode* united = Cudd_bddOr(mgr, reachedStates, frontier);
        Cudd_RecursiveDeref(mgr, reachedStates);
        reachedStates = refChecked(united);
        DdNode* next = imageBySteps(mgr, steps, ip, inpCube, frontier, reachedStates, nInpVar);
        Cudd_RecursiveDeref(mgr, frontier);
        frontier = next;
    }
    std::cout << std::endl;
    std::cout << "number of states  " << Cudd_CountPathsToNonZero(reachedStates) << std::endl;
    Cudd_RecursiveDeref(mgr, frontier);
    return reachedStates;
}

}  // namespace

std::vector<int> uniqueGenes(const std::vector<int>& geneId) {
    std::vector<int> genes;
    for (int g : geneId) {
        bool seen = false;
        for (int h : genes) seen = seen || h == g;
        if (!seen) genes.push_back(g);
    }
    return genes;
}

DdNode* compImageFragAsync(DdManager* mgr, std::vector<DdNode*>& topNode,
                           std::vector<DdNode*>& ip, const std::vector<int>& geneId,
                           DdNode* inpCube, DdNode* initState, DdNode* topSame,
                           DdNode* reachedStates, int nInpVar) {
    std::vector<DdNode*> steps =
        makeStepRelations(mgr, topNode, ip, uniqueGenes(geneId), topSame, nInpVar);
    DdNode* image = nullptr;
    try {
        image = imageBySteps(mgr, steps, ip, inpCube, initState, reachedStates, nInpVar);
    } catch (...) {
        releaseAll(mgr, steps);
        throw;
    }
    releaseAll(mgr, steps);
    return image;
}

DdNode* compReachStatesFragAsync(DdManager* mgr, std::vector<DdNode*>& topNode,
                                 std::vector<DdNode*>& ip, DdNode* initState, DdNode* inpCube,
                                 const std::vector<int>& geneId, DdNode* topSame, int nInpVar) {
    std::vector<DdNode*> steps =
        makeStepRelations(mgr, topNode, ip, uniqueGenes(geneId), topSame, nInpVar);
    DdNode* reached = nullptr;
    try {
        reached = reachBySteps(mgr, steps, ip, initState, inpCube, nInpVar);
    } catch (...) {
        releaseAll(mgr, steps);
        throw;
    }
    releaseAll(mgr, steps);
    return reached;
}

namespace {

// The descent proper, given the step relations of the distinct genes and the
// one (chosen) whose transition gives the first state.
DdNode* descend(DdManager* mgr, std::vector<DdNode*>& ip, const std::vector<DdNode*>& steps,
                DdNode* chosenStep, DdNode* inpCube, const std::vector<int>& geneId,
                int nInpVar) {
    // The first state is the target of one transition of the chosen gene.
    DdNode* layer = pickMinterm(mgr, chosenStep, ip, geneId, nInpVar, 1);
    DdNode* last = layer;  // the last non-empty layer
    Cudd_Ref(last);
    DdNode* reachedStates = Cudd_ReadLogicZero(mgr);
    Cudd_Ref(reachedStates);
    int iteration = 0;
    for (;;) {
        ++iteration;
        std::cout << iteration << "  " << std::flush;
        if (Cudd_IsConstant(layer)) {
            Cudd_RecursiveDeref(mgr, layer);
            layer = last;
            Cudd_Ref(layer);
            std::cout << "next state evaluates to 1 with possible depth  " << iteration
                      << std::endl;
            break;
        }
        Cudd_RecursiveDeref(mgr, last);
        last = layer;
        Cudd_Ref(last);
        DdNode* united = Cudd_bddOr(mgr, reachedStates, last);
        Cudd_RecursiveDeref(mgr, reachedStates);
        reachedStates = refChecked(united);
        Cudd_RecursiveDeref(mgr, layer);
        layer = imageBySteps(mgr, steps, ip, inpCube, last, reachedStates, nInpVar);
    }
    // A state of the deepest layer seen.
    DdNode* state = pickMinterm(mgr, layer, ip, geneId, nInpVar, 0);
    Cudd_RecursiveDeref(mgr, last);
    Cudd_RecursiveDeref(mgr, reachedStates);
    Cudd_RecursiveDeref(mgr, layer);
    return state;
}

}  // namespace

DdNode* compRandomStateFragAsync(DdManager* mgr, std::vector<DdNode*>& ip,
                                 std::vector<DdNode*>& topNode, DdNode* inpCube,
                                 const std::vector<int>& geneId, DdNode* topSame, int nInpVar) {
    const std::vector<int> genes = uniqueGenes(geneId);
    std::vector<DdNode*> steps = makeStepRelations(mgr, topNode, ip, genes, topSame, nInpVar);
    // The moving gene of the first step: the first fragment gene whose step
    // relation is not empty.
    DdNode* chosenStep = nullptr;
    for (int g : geneId) {
        size_t k = 0;
        while (genes[k] != g) ++k;
        if (!Cudd_IsConstant(steps[k])) {
            chosenStep = steps[k];
            break;
        }
        std::cout << "zero node seen" << std::endl;
    }
    DdNode* state = nullptr;
    try {
        if (chosenStep != nullptr)
            state = descend(mgr, ip, steps, chosenStep, inpCube, geneId, nInpVar);
    } catch (...) {
        releaseAll(mgr, steps);
        throw;
    }
    releaseAll(mgr, steps);
    return state;
}
