// Trap spaces of the whole network: subspaces (a value or '-' per gene) that
// no update leads out of.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "analysisOptions.h"
#include "constFullNetwork.h"
#include "progressSink.h"

// Every minimal trap space (kind minimal: no smaller trap space inside it)
// or every maximal proper one (kind maximal: no larger trap space holds it
// but the whole state space), as cubes over the genes of net (one character
// per gene: '0', '1', or '-' for a gene the space leaves free), in the order
// of the encoding: per gene 0, then 1, then '-'. net is built with stride 3:
// gene g's variables are x_g (3g), free_g (3g + 1) and value_g (3g + 2).
//
// Symbolic and exact. A subspace S is encoded by (free_g, value_g) per gene,
// with value_g = 0 where free_g (one code per subspace). S is a trap space
// exactly when every gene g it fixes keeps its value there: f_g = value_g on
// all of S. f_g reads only its regulators R, and a subspace constrains each
// gene apart, so the condition is local: NOT EXISTS x_R (x in S on R AND
// f_g(x) != value_g). The conjunction over the genes is the set of all trap
// spaces; the minimal (maximal) ones are taken from it by a recursion over
// the genes (see compTrapSpaces.cpp) that never lists the others.
// `forced` (per gene: its value, or -1) may give genes whose value the
// reduction forced, for kind minimal only: every minimal trap space holds
// them at that value (they read only forced genes, so fixing them there
// keeps a trap space a trap space), and the other genes' functions are
// taken at those values, which keeps the diagrams to the reduced network.
// More than maxSpaces results throw quorvelError ("too many to write").
std::vector<std::string> compTrapSpaces(const fullNetwork& net, trapSpaceKind kind,
                                        const std::vector<int>& forced, std::size_t maxSpaces,
                                        const progressSink& progress);
