// Reader of SBML level 3 models with the qual package (through libsbml).
#pragma once

#include <string>
#include <vector>

#include "networkRecords.h"

// Appends to `network` the rules of the SBML-qual file `fileName`, one gene
// per qualitative species (named by its id), in the order of the species
// list, which `geneOrder` receives. A transition's function of its output is
// made of its function terms (MathML with and, or, xor, not, true, false and
// comparisons of a species, or an input's threshold, with a level) and its
// default term, and is written as the activating rules of its irredundant
// sum-of-products cover. A species without a transition, or whose only
// transition has no term at all, keeps its value (the rule X -> X); a
// constant species keeps its initial level (1: a rule without regulators,
// 0: no rule) or, without one, its value. Throws quorvelError naming the file,
// the line and what was expected on anything it cannot read exactly: XML or
// SBML errors, a species with a maximum level above 1, a species given two
// transitions, terms with levels 0 and 1 that hold together, a missing
// default term, production or consumption effects, and any other MathML.
// Nothing is appended then. Prints nothing.
int readNetworkSbml(const std::string& fileName, std::vector<networkDefBool>& network,
                    std::vector<std::string>& geneOrder);
