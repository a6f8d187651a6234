// Reader of the .bnet format: one line "gene, expression" per gene.
#pragma once

#include <string>
#include <vector>

#include "networkRecords.h"

// Appends to `network` the rules of the .bnet file `fileName`: each gene's
// expression becomes the activating rules of its irredundant sum-of-products
// cover (constant 0: no rule; constant 1: one rule without regulators), genes
// in the order of their lines. A gene used in an expression but given no line
// is an input that keeps its value (the rule X -> X), as published models
// write their inputs. `geneOrder` receives every gene: those with a line in
// the order of the lines, then the inputs without one in order of first use. Lines: an optional "targets, factors" header first, "#"
// comments, blank lines; expressions with ! & | ( ), names and the constants
// 0, 1, true, false. A UTF-8 byte order mark is skipped. Throws quorvelError
// naming the file and the line (and column) on a syntax error or a gene
// given two lines; nothing is appended then. Prints nothing.
int readNetworkBnet(const std::string& fileName, std::vector<networkDefBool>& network,
                    std::vector<std::string>& geneOrder);
