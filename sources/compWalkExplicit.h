// Random walks over explicit states: one state at a time, a few evaluations
// of the genes' relations or functions per step instead of images of sets.
#pragma once

#include <random>
#include <vector>

#include "bddEngine.h"
#include "bddHandle.h"
#include "fragAsync.h"
#include "readNetworkFunctions.h"

// What a walk needs to know of a fragment: the variable indices of each gene
// (indices into the walk's geneMoves) and, for each gene, the genes whose
// relation reads its current value.
struct walkFrame {
    std::vector<int> current, next;
    std::vector<std::vector<size_t>> dependents;
    // The walk's relations are next-state functions f_g (over x) instead of
    // move relations: gene g can change where f_g differs from x_g.
    bool functions = false;
};
walkFrame makeWalkFrame(DdManager* mgr, std::vector<DdNode*>& ip, const geneMoves& m, int nInpVar);

// A random walk from `inputs` (a value for every variable index; the
// next-state entries 0), which it updates in place. Each step flips one gene
// chosen at random among the genes that can change; the walk ends at a fixed
// point, after maxSteps steps, or (with `target`, a set over x) at the first
// state of target. Returns the number of steps taken.
long walkExplicit(DdManager* mgr, const geneMoves& m, const walkFrame& w, std::vector<int>& inputs,
                  std::mt19937& generator, long maxSteps, DdNode* target = nullptr);

// The fragment's genes with their next-state functions (the record holds a
// reference on each) and the walk frame over them.
struct functionWalk {
    geneMoves m;
    walkFrame w;
};
functionWalk makeFunctionWalk(const fragAsync& frag, const networkFunctions& network);

// The values of the fragment genes in `state` (a conjunction over them), in
// the order of f.m.genes.
std::vector<char> valuesOf(const fragAsync& frag, const functionWalk& f, DdNode* state);

// The end of a random walk from `state` (a conjunction over the fragment
// genes, which must read no gene outside the fragment) that takes the steps
// of the genes' own functions (network.next), each gene that can change
// chosen at random by a generator seeded with `seed`: at a fixed point, at
// the first state of `target` (a set over x; nullptr for none), or after
// maxSteps steps. Prints "next state evaluates to 1 with possible depth  "
// and the number of states of the walk.
bddHandle walkFromState(const fragAsync& frag, const networkFunctions& network, DdNode* state,
                        DdNode* target, long maxSteps, unsigned seed);
