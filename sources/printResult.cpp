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

#include "bddHandle.h"
#include "bddHelpers.h"
#include "bigCount.h"
#include "constGeneDb.h"
#include "printStates.h"
#include "quorvelError.h"

namespace {

// The current-state variable of f highest in the order: the variable of its
// root node (f not constant), read in constant time.
int topVariable(DdNode* f, int nInpVar) {
    const unsigned top = Cudd_NodeReadIndex(f);
    if (top >= unsigned(nInpVar))
        throw quorvelError("internal error: an attractor reads a next-state variable");
    return int(top);
}

void coverInto(DdManager* mgr, DdNode* f, std::vector<DdNode*>& ip, int nInpVar, std::string& cube,
               cubeCover& cover, bigCount& count) {
    if (f == Cudd_ReadLogicZero(mgr)) return;
    if (f == Cudd_ReadOne(mgr)) {
        cover.cubes.push_back(cube);
        size_t free = 0;
        for (char c : cube) free += c == '-';
        count.addPowerOfTwo(free);
        return;
    }
    const int top = topVariable(f, nInpVar);
    DdNode* var = ip[static_cast<size_t>(top)];
    const bddHandle high = bddResult(mgr, Cudd_bddAndAbstract(mgr, f, var, var));
    const bddHandle low = bddResult(mgr, Cudd_bddAndAbstract(mgr, f, Cudd_Not(var), var));
    // When one cofactor holds the other, the smaller one is covered once with
    // '-' and only the rest of the larger one is split; otherwise the two
    // cofactors are covered apart (the paths of the diagram), which keeps
    // partly overlapping cofactors from being cut into more pieces.
    DdNode* both = Cudd_ReadLogicZero(mgr);
    DdNode* onlyLow = low.get();
    DdNode* onlyHigh = high.get();
    bddHandle rest;  // the part of the larger cofactor outside the smaller
    if (Cudd_bddLeq(mgr, low.get(), high.get()) == 1) {
        both = low.get();
        onlyLow = Cudd_ReadLogicZero(mgr);
        rest = bddResult(mgr, Cudd_bddAnd(mgr, high.get(), Cudd_Not(low.get())));
        onlyHigh = rest.get();
    } else if (Cudd_bddLeq(mgr, high.get(), low.get()) == 1) {
        both = high.get();
        onlyHigh = Cudd_ReadLogicZero(mgr);
        rest = bddResult(mgr, Cudd_bddAnd(mgr, low.get(), Cudd_Not(high.get())));
        onlyLow = rest.get();
    }
    char& at = cube[static_cast<size_t>(top)];
    coverInto(mgr, both, ip, nInpVar, cube, cover, count);
    at = '0';
    coverInto(mgr, onlyLow, ip, nInpVar, cube, cover, count);
    at = '1';
    coverInto(mgr, onlyHigh, ip, nInpVar, cube, cover, count);
    at = '-';
}

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

// A cube over the reduced genes written over every gene of geneDbOrg.
std::string wholeCube(const std::string& reducedCube, const std::vector<int>& reducedIndex,
                      const std::vector<int>& defaultStatus) {
    std::string cube(reducedIndex.size(), '0');
    for (size_t org = 0; org < reducedIndex.size(); ++org)
        cube[org] = reducedIndex[org] < 0 ? fixedValue(defaultStatus, org)
                                          : reducedCube[static_cast<size_t>(reducedIndex[org])];
    return cube;
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

// One line per cover (after a line end): its number of states, then its
// cubes over every gene, each item followed by three blanks.
void writeCoverLines(std::ostream& out, const std::vector<int>& reducedIndex,
                     const std::vector<int>& defaultStatus, const std::vector<cubeCover>& covers) {
    for (const cubeCover& cover : covers) {
        out << "\n" << cover.states << "   ";
        for (const std::string& cube : cover.cubes)
            out << wholeCube(cube, reducedIndex, defaultStatus) << "   ";
    }
}

std::string printCubes(const geneDatabase& geneDbOrg, const std::vector<int>& reducedIndex,
                       const std::vector<int>& defaultStatus,
                       const std::vector<cubeCover>& covers) {
    std::ostringstream outSS;
    for (const gene& orgGene : geneDbOrg) outSS << orgGene.name << "   ";
    writeCoverLines(outSS, reducedIndex, defaultStatus, covers);
    outSS << "\n";
    chkWrittenWhole(outSS);
    return outSS.str();
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

// The attractors' entries of the json format, appended to `text`: per cover
// its exact number of states, its cubes over every gene and its smallest
// subspace ("space": per gene the value all its cubes share, '-' where they
// differ or leave it free). Cubes and spaces hold only 0, 1 and -, which need
// no escape.
void appendAttractorsJson(std::string& text, const std::vector<int>& reducedIndex,
                          const std::vector<int>& defaultStatus,
                          const std::vector<cubeCover>& covers) {
    text += '[';
    for (size_t c = 0; c < covers.size(); ++c) {
        const cubeCover& cover = covers[c];
        // Counts up to 2^53 are exact as JSON numbers in every reader; larger
        // ones are written as decimal strings.
        text += c == 0 ? "{\"states\":" : ",{\"states\":";
        text += fitsJsonNumber(cover.states) ? cover.states : "\"" + cover.states + "\"";
        text += ",\"cubes\":[";
        std::string space;
        for (size_t k = 0; k < cover.cubes.size(); ++k) {
            const std::string whole = wholeCube(cover.cubes[k], reducedIndex, defaultStatus);
            if (k == 0) space = whole;
            for (size_t g = 0; g < whole.size(); ++g)
                if (space[g] != whole[g]) space[g] = '-';
            if (k > 0) text += ',';
            text += '"';
            text += whole;
            text += '"';
        }
        text += "],\"space\":\"";
        text += space;
        text += "\"}";
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

// One outcome's settings and attractors, covered by cubes: settings over the
// inputs alone (one character per input, ascending), attractors over every
// reduced gene with '-' at the inputs and counted under one setting.
struct outcomeCovers {
    std::vector<std::string> settings;
    std::vector<cubeCover> attractors;
};

// The cubes of an outcome's attractors, with the covers of their moving
// factors (shared by many attractors) memoised by node.
struct outcomeCoverer {
    DdManager* mgr;
    const std::vector<int>& inputs;
    std::vector<DdNode*>& ip;
    int nInpVar;
    std::map<DdNode*, std::vector<std::string>> byMoving;

    outcomeCovers cover(const inputOutcome& outcome) {
        outcomeCovers covers;
        for (const std::string& cube :
             compDisjointCubes(mgr, outcome.settings.get(), ip, nInpVar).cubes) {
            std::string values;
            for (const int x : inputs) values.push_back(cube[static_cast<size_t>(x)]);
            covers.settings.push_back(std::move(values));
        }
        for (const outcomeAttractor& attractor : outcome.attractors) {
            auto known = byMoving.find(attractor.moving.get());
            if (known == byMoving.end())
                known =
                    byMoving
                        .emplace(attractor.moving.get(),
                                 compDisjointCubes(mgr, attractor.moving.get(), ip, nInpVar).cubes)
                        .first;
            // The constant genes written into each cube of the moving
            // factor, counted under one setting: '-' at an input stands
            // for the setting's value and is not counted.
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
            covers.attractors.push_back(std::move(cover));
        }
        return covers;
    }
};

}  // namespace

std::string printOutcomes(const analysisRequest& request, const symbolicEncoding& encoding,
                          const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced,
                          const std::vector<int>& defaultStatus,
                          const std::vector<inputOutcome>& outcomes) {
    const resultFormat format = request.options.format;
    const std::vector<int>& inputs = request.groupedInputs;
    const progressSink& progress = request.progress;
    reportProgress(progress, stageEvent(progressStage::writing));
    DdManager* const mgr = encoding.mgr;
    std::vector<DdNode*>& ip = encoding.ip;
    const int nInpVar = encoding.nInpVar;
    try {
        if (format == resultFormat::states)
            throw quorvelError("the outcomes of the inputs are written as cubes or json only");
        const std::vector<int> reducedIndex = reducedIndexOf(geneDbOrg, geneDbReduced);
        std::vector<outcomeCovers> covers;
        outcomeCoverer coverer{mgr, inputs, ip, nInpVar, {}};
        for (const inputOutcome& outcome : outcomes) {
            covers.push_back(coverer.cover(outcome));
            writeProgress(progress, "outcome ", covers.size(), ": ", covers.back().settings.size(),
                          " cubes of settings, ", covers.back().attractors.size(), " attractors\n");
        }
        if (format == resultFormat::cubes) {
            std::ostringstream outSS;
            for (const gene& orgGene : geneDbOrg) outSS << orgGene.name << "   ";
            outSS << "\ninputs   ";
            for (const int x : inputs)
                outSS << geneDbReduced.at(static_cast<size_t>(x)).name << "   ";
            for (const outcomeCovers& outcome : covers) {
                outSS << "\noutcome   ";
                for (const std::string& setting : outcome.settings) outSS << setting << "   ";
                writeCoverLines(outSS, reducedIndex, defaultStatus, outcome.attractors);
            }
            outSS << "\n";
            chkWrittenWhole(outSS);
            return outSS.str();
        }
        std::vector<std::string> inputNames;
        for (const int x : inputs)
            inputNames.push_back(geneDbReduced.at(static_cast<size_t>(x)).name);
        std::string text = "{\"genes\":" + jsonStrings(namesOf(geneDbOrg)) +
                           ",\"update\":\"async\",\"inputs\":" + jsonStrings(inputNames) +
                           ",\"outcomes\":[";
        for (size_t o = 0; o < covers.size(); ++o) {
            text += o == 0 ? "{\"settings\":" : ",{\"settings\":";
            text += '[';
            for (size_t k = 0; k < covers[o].settings.size(); ++k) {
                if (k > 0) text += ',';
                text += '"';
                text += covers[o].settings[k];  // 0, 1 and -: no escape
                text += '"';
            }
            text += ']';
            text += ",\"attractors\":";
            appendAttractorsJson(text, reducedIndex, defaultStatus, covers[o].attractors);
            text += '}';
        }
        text += ']';
        text += fixedJson(geneDbOrg, reducedIndex, defaultStatus);
        return text;
    } catch (const std::bad_alloc&) {
        throw quorvelError("memory exhausted: not enough memory to write the result");
    } catch (const std::length_error&) {
        throw quorvelError("the result is too large to write");
    }
}

cubeCover compDisjointCubes(DdManager* mgr, DdNode* set, std::vector<DdNode*>& ip, int nInpVar) {
    cubeCover cover;
    bigCount count;
    std::string cube(static_cast<size_t>(nInpVar), '-');
    if (set != Cudd_ReadLogicZero(mgr) && Cudd_CountPathsToNonZero(set) == 1) {
        // One path (every steady state): the cube is that path, read in one
        // pass instead of two cofactors per gene.
        std::vector<char> path = makeCubeArray(mgr, nInpVar);
        if (Cudd_bddPickOneCube(mgr, set, path.data()) != 1)
            throw quorvelError("BDD engine failure: an attractor's cube could not be read");
        for (int g = 0; g < nInpVar; ++g) {
            const char value = path[static_cast<size_t>(g)];
            if (value == 0 || value == 1)
                cube[static_cast<size_t>(g)] = static_cast<char>('0' + value);
        }
        if (std::any_of(path.begin() + nInpVar, path.end(),
                        [](char v) { return v == 0 || v == 1; }))
            throw quorvelError("internal error: an attractor reads a next-state variable");
        coverInto(mgr, Cudd_ReadOne(mgr), ip, nInpVar, cube, cover, count);
    } else {
        coverInto(mgr, set, ip, nInpVar, cube, cover, count);
    }
    cover.states = count.decimal();
    return cover;
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
