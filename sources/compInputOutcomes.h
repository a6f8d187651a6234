// Inputs as parameters: which genes are inputs, the composition that carries
// their settings as sets, and the grouping of the settings into outcomes.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "analysisRequest.h"
#include "bddEngine.h"
#include "bddHandle.h"
#include "networkRecords.h"
#include "symbolicEncoding.h"

// The names of the network's inputs, in order of first appearance among the
// rules' targets: genes whose rules read no other gene and whose update
// function is their own value (X -> X, or any rules over X alone that mean
// the same). A gene without rules is constant OFF, not an input.
std::vector<std::string> listInputNames(const std::vector<networkDefBool>& network);

// One attractor of an outcome, over the genes other than the inputs, in two
// factors: the genes constant in it, with their values (`values`, per gene
// of the reduced database 0 or 1, 2 for a gene that is not constant), and
// the set `moving` over the others (no input and no constant gene in its
// support). The attractor is moving AND the cube of `values`; the form is
// canonical, so equal attractors have equal factors.
struct outcomeAttractor {
    bddHandle moving;
    std::vector<char> values;
};

// One outcome: the settings of the inputs it holds for and the attractors
// every such setting has. The settings are `cube` when they make one cube
// (one character per input, '0', '1' or '-', in the order of the inputs),
// with `settings` empty; otherwise `settings`, a set over the inputs'
// variables, with `cube` empty. `attractors` are indices into
// inputOutcomes::attractors, each once, in the order of the attractors'
// factors (the moving factor's node, then the values).
struct inputOutcome {
    std::string cube;
    bddHandle settings;
    std::vector<std::size_t> attractors;
};

// The outcomes, and each attractor they hold once (most attractors belong to
// many outcomes).
struct inputOutcomes {
    std::vector<outcomeAttractor> attractors;
    std::vector<inputOutcome> outcomes;
};

// Every outcome of the network over the inputs request.groupedInputs
// (indices of the reduced database, ascending; each one's relation is
// x'_X XNOR x_X), in the manager of `encoding`. Settings of distinct outcomes
// are disjoint and together cover every setting; two settings share an
// outcome exactly when their attractors over the other genes are equal. The
// outcomes come in the order of their least settings (inputs read from the
// top of the variable order down, 0 before 1).
//
// The composition runs as compSteadyTopFunc's, level by level, but never
// splits on the inputs: each attractor of the processed part is a pair
// (settings S, states A over the inputs and the processed genes, inside S)
// and stands for the attractor A restricted to p under every setting p of S;
// the genes holding one value per setting are kept as sets over the inputs
// beside A's other factor, and pairs with disjoint settings are joined. A
// block of one gene extends each pair with no search. A larger block is
// searched with the ancestors that change in A and reach it along changing
// genes, its other regulators replaced by their values per setting, for
// every setting of S: the settings split into classes of equal functions
// (constant functions put into the others along the way), each class
// searched once, after fixing its constant genes and peeling the genes
// nothing else reads, by a composition of its own blocks; with too many
// classes, all settings at once (compParamAttractors). The grouping of the
// settings into outcomes then splits the settings into cubes while those
// are at most a few per outcome, and otherwise takes the outcomes out one
// by one from a relation between two settings, built over the inputs' x_X
// and their next-state variables x'_X (which it uses as a second copy).
// op holds one relation x'_g XNOR f_g(x) per gene over the whole space
// (never narrowed here); the encoding's variables, cubes and identity are
// those of the searches. Progress lines go to request.progress; the other
// fields of the request are not read.
inputOutcomes compInputOutcomes(const symbolicEncoding& encoding, std::vector<DdNode*>& op,
                                const levelArray& sccTopoLvl, const analysisRequest& request);
