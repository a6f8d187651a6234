// Reading the result text of an analysis back into attractors, and running
// whole analyses from tests. Test code only.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "analysisOptions.h"

namespace resultText {

// A state: one value (0 or 1) per gene of the header, in header order.
using state = std::vector<int>;
// Every attractor once, each as the set of its states (the same type as the
// explicit-state reference's attractorSet).
using attractorSet = std::set<std::set<state>>;

struct parsedResult {
    bool ok = false;
    std::string error;                           // why the text is malformed, when !ok
    std::vector<std::string> genes;              // the header names
    std::vector<std::vector<state>> attractors;  // one entry per result line, states in order
};

// Parses the text strictly: a header of names each followed by three blanks,
// then one line per attractor, each starting with a line end and made of
// values 0/1 each followed by three blanks, a whole number of states per
// line, and one closing line end.
parsedResult parse(const std::string& text);

// The attractors of a parsed result as a set of sets. A line that lists a
// state twice is kept as it is in `attractors` and reported by
// hasRepeatedStates.
attractorSet asSet(const parsedResult& result);
bool hasRepeatedStates(const parsedResult& result);

// "{0101, 0011}" style forms for failure messages.
std::string toString(const attractorSet& attractors);

// Writes `text` to a fresh file under the temporary directory, its name
// ending in `ending` (as ".bnet"), and returns its path; the file is removed
// by removeFile or left for inspection.
std::string writeTempFile(const std::string& text, const std::string& ending = "");
void removeFile(const std::string& path);

// The analysis of the network file `path` through topFuncQuorvel with
// `options` made quiet; on failure "" and the message in `error`.
std::string analyseFile(const std::string& path, const analysisOptions& options,
                        std::string& error);

// Runs topFuncQuorvel on `path` in the states format, quiet; returns the
// result text. Any exception of the analysis passes through.
std::string runAnalysis(const std::string& path);

}  // namespace resultText
