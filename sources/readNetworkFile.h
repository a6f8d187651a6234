// The one place where a network file's format is chosen.
#pragma once

#include <string>
#include <vector>

#include "networkRecords.h"
#include "progressSink.h"

// Reads the network file `fileName` into rules appended to `network`, by the
// reader its name asks for (the ending, in any letter case): ".bnet" the
// .bnet reader, ".sbml" and ".xml" the SBML-qual reader, any other name the
// rule reader. Writes the number of rules read as one line to `progress`,
// as the rule reader does. `geneOrder` receives the genes in the order the format
// defines for the result (its lines, or its list of species); the rule
// reader leaves it empty, its order being that of first appearance.
// In libquorvel.so the SBML-qual reader is libquorvel_sbml.so, loaded with
// libsbml the first time an SBML file is read (see readNetworkFile.cpp).
// Throws quorvelError when the file cannot be read, or the SBML reader
// cannot be loaded.
int readNetworkFile(const std::string& fileName, std::vector<networkDefBool>& network,
                    std::vector<std::string>& geneOrder,
                    const progressSink& progress = standardOutputProgress());
