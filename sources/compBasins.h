// Reachability in the whole network under asynchronous update: the
// attractors reachable from given states, and each attractor's basins.
#pragma once

#include <string>
#include <vector>

#include "bigCount.h"
#include "constFullNetwork.h"
#include "progressSink.h"

enum class reachDirection { forward, backward };

// `start` (a set over the x of net) and every state reachable from it
// (forward) or from which it is reachable (backward) by asynchronous steps,
// one gene at a time taking its function's value. Saturation: each gene's
// steps are applied (one application closes the set under that gene's
// steps, as a second step of the same gene only returns), gene after gene
// down the variable order, until a whole round adds nothing. Never
// enumerates states. Throws quorvelError when the engine runs out of memory.
// With `goals`, the search stops as soon as it meets every goal (the set is
// then only part of the reachable set).
bddHandle compReachFull(const fullNetwork& net, const bddHandle& start, reachDirection direction,
                        const bddArray* goals = nullptr);

// The exact number of states of `set` (over the x of net, stride 1) among
// the 2^nGenes states of the network, counted node by node.
bigCount countStatesFull(const fullNetwork& net, const bddHandle& set);

// Per attractor (sets over the x of net, pairwise disjoint, every attractor
// of the network), in the same order: the number of states that can reach
// it (weak basin) and the number of states from which it is the only
// attractor reachable (strong basin), in decimal. As every state reaches
// some attractor, the strong basin is the weak one less every other
// attractor's weak basin (and a lone attractor's basins are every state).
struct basinSizes {
    std::string weak;
    std::string strong;
};
std::vector<basinSizes> compBasins(const fullNetwork& net, const bddArray& attractors,
                                   const progressSink& progress);

// Which of `attractors` are reachable from the states `initial`: one flag
// per attractor.
std::vector<bool> compReachableAttractors(const fullNetwork& net, const bddHandle& initial,
                                          const bddArray& attractors);

// A set over the x of net: the union of `cubes` (one character per gene:
// '0', '1' or '-').
bddHandle cubesToSet(const fullNetwork& net, const std::vector<std::string>& cubes);
