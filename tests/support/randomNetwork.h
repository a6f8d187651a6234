// Seeded random Boolean networks for the differential tests.
//
// randomNetwork(seed, options) returns a rule list (as the reader would give
// it) built from `seed` alone, so a failing case is reproduced from its seed;
// networkText() gives the rule-file text of a list (one `A&^B -> C` or
// `A -| C` rule per line, "&" for a term without regulators), to print on
// failure or to write with writeNetworkFile() for the whole pipeline.
//
// The networks mix the shapes the analysis has to get right: groups of genes
// forming cycles or chains, groups regulated by shared ancestor genes, inputs
// written `X -> X`, genes named only as regulators (no rule of their own),
// terms made only of "&", negated literals, a regulator written twice in one
// term (plain twice, or plain and negated), several rules for one target,
// genes with inhibiting rules only, and self-loops. Every feature has a
// probability in randomNetworkOptions; set one to 0 to leave it out.
//
// Gene names are single capital letters A, B, ... (at most 12 genes), or
// "G0", "G1", ... when randomNetworkOptions::letterNames is false.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "bruteForce.h"
#include "parseNetwork.h"

struct randomNetworkOptions {
    int minGenes = 1;  // the gene count is drawn from [minGenes, maxGenes], 1..12
    int maxGenes = 8;
    int maxRulesPerGene = 3;
    int maxLiterals = 3;             // regulators per term, before a repeat is added
    double singleGeneGroup = 0.4;    // a group has one gene (else 2 to 4)
    double groupAsCycle = 0.6;       // a group of 2+ genes is a cycle (else a chain)
    double sharedAncestor = 0.5;     // a term takes a regulator from an earlier group
    double input = 0.15;             // a gene is an input, written `X -> X`
    double noRules = 0.15;           // a gene is named only as a regulator
    double inhibitionOnly = 0.15;    // every rule of a gene inhibits
    double inhibitingRule = 0.3;     // one rule of another gene inhibits
    double negation = 0.35;          // a literal is negated
    double emptyTerm = 0.05;         // a term has no regulators (written "&")
    double repeatedRegulator = 0.1;  // a term names one of its regulators twice
    double selfLoop = 0.1;           // a term includes its own target
    double shuffleRules = 0.5;       // the rule order is shuffled (else grouped by target)
    bool letterNames = true;
};

std::vector<networkDefBool> randomNetwork(unsigned seed, const randomNetworkOptions& options = {});

// Gene names in order of first appearance: each rule's target, then its
// regulators left to right (the order of the result's header).
std::vector<std::string> genesInFileOrder(const std::vector<networkDefBool>& network);

// Rule-file text of `network`, one rule per line.
std::string networkText(const std::vector<networkDefBool>& network);

// Writes networkText(network) to `path`; throws std::runtime_error on failure.
void writeNetworkFile(const std::string& path, const std::vector<networkDefBool>& network);

// Next value of gene `target` under the rules of `network` in the state
// `values` (gene name -> 0/1; a missing name counts as 0): with a = some
// activating rule holds and h = some inhibiting rule holds (a rule without
// regulators always holds), it is a AND NOT h when the gene has activating
// rules, NOT h when it has inhibiting rules only, and 0 without rules.
int nextValueByRules(const std::vector<networkDefBool>& network, const std::string& target,
                     const std::map<std::string, int>& values);

// The asynchronous attractors of `network` as written (every gene, in
// genesInFileOrder, rules evaluated by nextValueByRules), found by exploring
// every state.
bruteForce::attractorSet attractorsByRules(const std::vector<networkDefBool>& network);
