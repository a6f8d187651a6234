// The one symbol that libquorvel_sbml.so exports, as libquorvel.so looks it
// up.
#pragma once

#include <string>
#include <vector>

#include "networkRecords.h"

// The name of the SBML reader's library, looked for next to libquorvel.so.
constexpr const char* kSbmlLibraryName = "libquorvel_sbml.so";

// The name of its entry point and its type: readNetworkSbml(fileName,
// *network, *geneOrder); 0 on success, 1 with the message in *failure.
constexpr const char* kSbmlEntryName = "quorvelReadNetworkSbml";
using sbmlReaderEntry = int (*)(const char* fileName, std::vector<networkDefBool>* network,
                                std::vector<std::string>* geneOrder, std::string* failure);
