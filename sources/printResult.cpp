// The result of an analysis in each of its formats: the states one by one,
// disjoint cubes, or JSON (its names escaped by nlohmann-json as JSON
// requires).
#include "printResult.h"

#include <algorithm>

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <map>
#include <new>
#include <nlohmann/json.hpp>
#include <sstream>
#include <unordered_map>
#include <utility>

#include "bddHandle.h"
#include "bddHelpers.h"
#include "bigCount.h"
#include "constGeneDb.h"
#include "printStates.h"
#include "quorvelError.h"

namespace {

// Per gene of geneDbOrg: its reduced index, or -1 for a gene the reduction
// fixed.
std::vector<int> reducedIndexOf(const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced) {
    std::vector<int> index(geneDbOrg.size(), -1);
    for (size_t r = 0; r < geneDbReduced.size(); ++r) {
        const int org = chkInList(geneDbOrg, geneDbReduced[r].name);
        if (org >= 0) index[static_cast<size_t>(org)] = static_cast<int>(r);
    }
    return index;
}

// The value of a gene the reduction fixed (entries 1 and 2 are ON).
char fixedValue(const std::vector<int>& defaultStatus, size_t org) {
    const int status = defaultStatus.at(org);
    return (status == 1 || status == 2) ? '1' : '0';
}

// A cube over the reduced genes written over every gene of geneDbOrg, at the
// end of `text`.
void appendWholeCube(std::string& text, const std::string& reducedCube,
                     const std::vector<int>& reducedIndex, const std::vector<int>& defaultStatus) {
    for (size_t org = 0; org < reducedIndex.size(); ++org)
        text += reducedIndex[org] < 0 ? fixedValue(defaultStatus, org)
                                      : reducedCube[static_cast<size_t>(reducedIndex[org])];
}

std::string printStates(const symbolicEncoding& encoding, const geneDatabase& geneDbOrg,
                        const geneDatabase& geneDbReduced, const std::vector<int>& defaultStatus,
                        const std::vector<DdNode*>& attractors, const progressSink& progress) {
    std::ostringstream outSS;
    for (const gene& orgGene : geneDbOrg) outSS << orgGene.name << "   ";
    for (DdNode* attractor : attractors) {
        std::vector<int> nodeLevel(geneDbOrg.size(), 0);
        printCubesJavaOn(encoding, geneDbOrg, geneDbReduced, defaultStatus, attractor, outSS,
                         nodeLevel, progress);
    }
    outSS << "\n";
    chkWrittenWhole(outSS);
    return outSS.str();
}

// The covers of every attractor, with one progress line each.
std::vector<cubeCover> coverAll(DdManager* mgr, const std::vector<DdNode*>& attractors,
                                std::vector<DdNode*>& ip, int nInpVar,
                                const progressSink& progress) {
    std::vector<cubeCover> covers;
    for (DdNode* attractor : attractors) {
        covers.push_back(compDisjointCubes(mgr, attractor, ip, nInpVar));
        writeProgress(progress, "attractor ", covers.size(), ": ", covers.back().states,
                      " states in ", covers.back().cubes.size(), " cubes\n");
    }
    return covers;
}

// A cover's line of the cubes format (after a line end): its number of
// states, then its cubes over every gene, each item followed by three blanks.
void appendCoverLine(std::string& text, const std::vector<int>& reducedIndex,
                     const std::vector<int>& defaultStatus, const cubeCover& cover) {
    text += '\n';
    text += cover.states;
    text += "   ";
    for (const std::string& cube : cover.cubes) {
        appendWholeCube(text, cube, reducedIndex, defaultStatus);
        text += "   ";
    }
}

// The header line of the cubes format: every gene's name.
std::string cubesHeader(const geneDatabase& geneDbOrg) {
    std::string text;
    for (const gene& orgGene : geneDbOrg) {
        text += orgGene.name;
        text += "   ";
    }
    return text;
}

std::string printCubes(const geneDatabase& geneDbOrg, const std::vector<int>& reducedIndex,
                       const std::vector<int>& defaultStatus,
                       const std::vector<cubeCover>& covers) {
    std::string text = cubesHeader(geneDbOrg);
    for (const cubeCover& cover : covers) appendCoverLine(text, reducedIndex, defaultStatus, cover);
    text += '\n';
    return text;
}

// The JSON text is written directly, in the compact layout of a JSON
// library's dump; the library only escapes the names. Results with hundreds
// of thousands of attractors are common, and a document tree of them cost
// more than the analysis; worse, freeing such a tree takes memory (the
// library's destructor gathers the children on a stack of its own), so a
// result that ran out of memory while being built ended the process instead
// of reporting it.
using json = nlohmann::json;

// `name` as a JSON string. Names are bytes; JSON strings must be UTF-8.
std::string jsonString(const std::string& name) {
    try {
        return json(name).dump();
    } catch (const json::type_error& error) {
        throw quorvelError(std::string("the result cannot be written as JSON: ") + error.what());
    }
}

// A JSON array of strings.
std::string jsonStrings(const std::vector<std::string>& names) {
    std::string text = "[";
    for (size_t k = 0; k < names.size(); ++k) {
        if (k > 0) text += ',';
        text += jsonString(names[k]);
    }
    return text + "]";
}

std::vector<std::string> namesOf(const geneDatabase& genes) {
    std::vector<std::string> names;
    for (const gene& g : genes) names.push_back(g.name);
    return names;
}

// An attractor's entry of the json format, appended to `text`: its exact
// number of states, its cubes over every gene and its smallest subspace
// ("space": per gene the value all its cubes share, '-' where they differ or
// leave it free). Cubes and spaces hold only 0, 1 and -, which need no
// escape.
void appendAttractorJson(std::string& text, const std::vector<int>& reducedIndex,
                         const std::vector<int>& defaultStatus, const cubeCover& cover) {
    // Counts up to 2^53 are exact as JSON numbers in every reader; larger
    // ones are written as decimal strings.
    text += "{\"states\":";
    if (fitsJsonNumber(cover.states)) {
        text += cover.states;
    } else {
        text += '"';
        text += cover.states;
        text += '"';
    }
    text += ",\"cubes\":[";
    std::string space;
    for (size_t k = 0; k < cover.cubes.size(); ++k) {
        if (k > 0) text += ',';
        text += '"';
        const size_t from = text.size();
        appendWholeCube(text, cover.cubes[k], reducedIndex, defaultStatus);
        if (k == 0) space.assign(text, from, std::string::npos);
        for (size_t g = 0; g < space.size(); ++g)
            if (space[g] != text[from + g]) space[g] = '-';
        text += '"';
    }
    text += "],\"space\":\"";
    text += space;
    text += "\"}";
}

// The attractors' entries of the json format, as an array appended to `text`.
void appendAttractorsJson(std::string& text, const std::vector<int>& reducedIndex,
                          const std::vector<int>& defaultStatus,
                          const std::vector<cubeCover>& covers) {
    text += '[';
    for (size_t c = 0; c < covers.size(); ++c) {
        if (c > 0) text += ',';
        appendAttractorJson(text, reducedIndex, defaultStatus, covers[c]);
    }
    text += ']';
}

// The last member of every JSON result, "fixed": the genes the reduction
// fixed, with their values, then the end of the object and of the line.
std::string fixedJson(const geneDatabase& geneDbOrg, const std::vector<int>& reducedIndex,
                      const std::vector<int>& defaultStatus) {
    std::string text = ",\"fixed\":{";
    bool first = true;
    for (size_t org = 0; org < geneDbOrg.size(); ++org) {
        if (reducedIndex[org] >= 0) continue;
        if (!first) text += ',';
        first = false;
        text += jsonString(geneDbOrg[org].name);
        text += ':';
        text += fixedValue(defaultStatus, org);
    }
    return text + "}}\n";
}

std::string printJson(const geneDatabase& geneDbOrg, const std::vector<int>& reducedIndex,
                      const std::vector<int>& defaultStatus, updateMode update,
                      const std::vector<cubeCover>& covers) {
    std::string text = "{\"genes\":" + jsonStrings(namesOf(geneDbOrg)) +
                       ",\"update\":" + (update == updateMode::sync ? "\"sync\"" : "\"async\"") +
                       ",\"attractors\":";
    appendAttractorsJson(text, reducedIndex, defaultStatus, covers);
    text += fixedJson(geneDbOrg, reducedIndex, defaultStatus);
    return text;
}

// The text of grouped outcomes, written in one pass: the settings of each
// outcome (its one cube as it stands, or the cover of its set), and each
// distinct attractor's text made once, from the cover of its moving factor
// (memoised by node: many attractors share one) with its values put in, and
// copied from the text already written wherever the attractor appears again.
struct outcomeWriter {
    const symbolicEncoding& encoding;
    const std::vector<int>& inputs;
    const std::vector<int>& reducedIndex;
    const std::vector<int>& defaultStatus;
    const inputOutcomes& all;
    bool json;
    std::string text;
    std::unordered_map<DdNode*, std::vector<std::string>> coverOfMoving;
    // Per attractor: where its text begins in `text`, and its length (0 until
    // it is written).
    std::vector<std::pair<size_t, size_t>> writtenAt;

    // The outcome's settings as cubes over the inputs (one character per
    // input, ascending), each passed to `write`; gives their number.
    template <typename Write>
    size_t eachSetting(const inputOutcome& outcome, const Write& write) {
        if (!outcome.settings) {
            write(outcome.cube);
            return 1;
        }
        const cubeCover cover =
            compDisjointCubes(encoding.mgr, outcome.settings.get(), encoding.ip, encoding.nInpVar);
        std::string values;
        for (const std::string& cube : cover.cubes) {
            values.clear();
            for (const int x : inputs) values += cube[static_cast<size_t>(x)];
            write(values);
        }
        return cover.cubes.size();
    }

    void appendAttractor(size_t a) {
        std::pair<size_t, size_t>& at = writtenAt[a];
        if (at.second > 0) {
            text.append(text, at.first, at.second);
            return;
        }
        const outcomeAttractor& attractor = all.attractors[a];
        auto known = coverOfMoving.find(attractor.moving.get());
        if (known == coverOfMoving.end())
            known = coverOfMoving
                        .emplace(attractor.moving.get(),
                                 compDisjointCubes(encoding.mgr, attractor.moving.get(),
                                                   encoding.ip, encoding.nInpVar)
                                     .cubes)
                        .first;
        // The constant genes written into each cube of the moving factor,
        // counted under one setting: '-' at an input stands for the
        // setting's value and is not counted.
        cubeCover cover;
        bigCount count;
        for (std::string cube : known->second) {
            size_t free = 0;
            for (size_t g = 0; g < cube.size(); ++g) {
                const char value = attractor.values[g];
                if (value == 0 || value == 1) cube[g] = static_cast<char>('0' + value);
                free += cube[g] == '-';
            }
            count.addPowerOfTwo(free - inputs.size());
            cover.cubes.push_back(std::move(cube));
        }
        cover.states = count.decimal();
        const size_t from = text.size();
        if (json)
            appendAttractorJson(text, reducedIndex, defaultStatus, cover);
        else
            appendCoverLine(text, reducedIndex, defaultStatus, cover);
        at = {from, text.size() - from};
    }
};

}  // namespace

std::string printOutcomes(const analysisRequest& request, const symbolicEncoding& encoding,
                          const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced,
                          const std::vector<int>& defaultStatus, const inputOutcomes& outcomes) {
    const resultFormat format = request.options.format;
    const std::vector<int>& inputs = request.groupedInputs;
    const progressSink& progress = request.progress;
    reportProgress(progress, stageEvent(progressStage::writing));
    try {
        if (format == resultFormat::states)
            throw quorvelError("the outcomes of the inputs are written as cubes or json only");
        const std::vector<int> reducedIndex = reducedIndexOf(geneDbOrg, geneDbReduced);
        const bool json = format == resultFormat::json;
        outcomeWriter writer{encoding, inputs, reducedIndex, defaultStatus, outcomes, json, {},
                             {},       {}};
        writer.writtenAt.resize(outcomes.attractors.size());
        std::string& text = writer.text;
        std::vector<std::string> inputNames;
        for (const int x : inputs)
            inputNames.push_back(geneDbReduced.at(static_cast<size_t>(x)).name);
        if (json) {
            text = "{\"genes\":" + jsonStrings(namesOf(geneDbOrg)) +
                   ",\"update\":\"async\",\"inputs\":" + jsonStrings(inputNames) +
                   ",\"outcomes\":[";
        } else {
            text = cubesHeader(geneDbOrg) + "\ninputs   ";
            for (const std::string& name : inputNames) {
                text += name;
                text += "   ";
            }
        }
        for (size_t o = 0; o < outcomes.outcomes.size(); ++o) {
            const inputOutcome& outcome = outcomes.outcomes[o];
            size_t settings = 0;
            if (json) {
                text += o == 0 ? "{\"settings\":[" : ",{\"settings\":[";
                bool first = true;
                settings = writer.eachSetting(outcome, [&](const std::string& cube) {
                    if (!first) text += ',';
                    first = false;
                    text += '"';
                    text += cube;  // 0, 1 and -: no escape
                    text += '"';
                });
                text += "],\"attractors\":[";
                for (size_t k = 0; k < outcome.attractors.size(); ++k) {
                    if (k > 0) text += ',';
                    writer.appendAttractor(outcome.attractors[k]);
                }
                text += "]}";
            } else {
                text += "\noutcome   ";
                settings = writer.eachSetting(outcome, [&](const std::string& cube) {
                    text += cube;
                    text += "   ";
                });
                for (const size_t a : outcome.attractors) writer.appendAttractor(a);
            }
            writeProgress(progress, "outcome ", o + 1, ": ", settings, " cubes of settings, ",
                          outcome.attractors.size(), " attractors\n");
        }
        if (json) {
            text += ']';
            text += fixedJson(geneDbOrg, reducedIndex, defaultStatus);
        } else {
            text += '\n';
        }
        return std::move(text);
    } catch (const std::bad_alloc&) {
        throw quorvelError("memory exhausted: not enough memory to write the result");
    } catch (const std::length_error&) {
        throw quorvelError("the result is too large to write");
    }
}

std::string printResult(resultFormat format, updateMode update, const symbolicEncoding& encoding,
                        const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced,
                        const std::vector<int>& defaultStatus,
                        const std::vector<DdNode*>& attractors, const progressSink& progress) {
    reportProgress(progress, countEvent(progressStage::writing, attractors.size()));
    DdManager* const mgr = encoding.mgr;
    std::vector<DdNode*>& ip = encoding.ip;
    const int nInpVar = encoding.nInpVar;
    try {
        if (format == resultFormat::states)
            return printStates(encoding, geneDbOrg, geneDbReduced, defaultStatus, attractors,
                               progress);
        const std::vector<int> reducedIndex = reducedIndexOf(geneDbOrg, geneDbReduced);
        const std::vector<cubeCover> covers = coverAll(mgr, attractors, ip, nInpVar, progress);
        if (format == resultFormat::cubes)
            return printCubes(geneDbOrg, reducedIndex, defaultStatus, covers);
        return printJson(geneDbOrg, reducedIndex, defaultStatus, update, covers);
    } catch (const std::bad_alloc&) {
        throw quorvelError("memory exhausted: not enough memory to write the result");
    } catch (const std::length_error&) {
        throw quorvelError("the result is too large to write");
    }
}
