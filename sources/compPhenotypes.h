// Attractors classified by the behaviour of marker genes, and outcomes of
// the inputs merged by the phenotypes they allow.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The positions of `markers` among `genes` (the header), in the markers'
// order; throws optionError naming a marker the network does not have.
std::vector<std::size_t> markerPositions(const std::vector<std::string>& markers,
                                         const std::vector<std::string>& genes);

// An attractor's phenotype: the characters of its smallest subspace `space`
// (0, 1, or - where the gene changes) at the marker positions.
std::string phenotypeOf(const std::string& space, const std::vector<std::size_t>& positions);

// A phenotype and how many attractors have it: `fewest` and `most` are the
// least and the largest number over the settings it is counted for (equal
// outside grouped outcomes).
struct phenotypeCount {
    std::string phenotype;
    std::size_t fewest = 0;
    std::size_t most = 0;
};

// The phenotypes of a list of attractors' phenotypes, each once, in order of
// first appearance, with their numbers of attractors.
std::vector<phenotypeCount> countPhenotypes(const std::vector<std::string>& phenotypes);

// One outcome of the inputs after the merge: every settings cube of the
// outcomes that allow exactly these phenotypes (disjoint, as theirs were),
// and the phenotypes, sorted, each with the fewest and the most attractors
// one setting has of it.
struct phenotypeOutcome {
    std::vector<std::string> settings;
    std::vector<phenotypeCount> phenotypes;
};

// Merges outcomes (per outcome its settings cubes and its attractors'
// phenotypes, parallel) that allow the same set of phenotypes; the merged
// outcomes follow the first outcome of each set.
std::vector<phenotypeOutcome> mergeByPhenotypes(
    const std::vector<std::vector<std::string>>& settings,
    const std::vector<std::vector<std::string>>& phenotypes);
