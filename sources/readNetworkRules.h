// The reader of the rule format: one rule a line, "A&^B -> T".
#pragma once

#include <string>
#include <vector>

#include "networkRecords.h"
#include "progressSink.h"

// Appends the rules of `fileName` to `network`, in file order, and prints
// their count. Throws quorvelError (naming the file) when the file cannot be
// opened or read or is no text (see readNetworkText), when the last rule is
// cut short, or when a literal has no name (only "^").
int readNetwork(const std::string& fileName, std::vector<networkDefBool>& network,
                const progressSink& progress = standardOutputProgress());

// Parses one regulator expression ("A&^B") into names and polarities.
int fragStringBool(const std::string& inpString, std::vector<std::string>& geneName,
                   std::vector<int>& genePolar);

// Appends the maximal runs of characters not in `delimiter` to `tokens`.
int tokenize(const std::string& str, std::vector<std::string>& tokens, const char* delimiter);
