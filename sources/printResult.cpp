// The result of an analysis in each of its formats: the states one by one,
// disjoint cubes, or JSON (written with nlohmann-json, which escapes every
// name as JSON requires and keeps the keys in the order they are set).
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
#include "bigCount.h"
#include "util.h"

namespace {

// The current-state variable of f highest in the order: the variable of its
// root node (f not constant), read in constant time.
int topVariable(DdNode* f, int nInpVar) {
    const unsigned top = Cudd_NodeReadIndex(f);
    if (top >= unsigned(nInpVar)) throw quorvelError("internal error: an attractor reads a next-state variable");
    return int(top);
}

void coverInto(DdManager* mgr, DdNode* f, std::vector<DdNode*>& ip, int nInpVar,
               std::string& cube, cubeCover& cover, bigCount& count) {
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
        cube[org] = reducedIndex[org] < 0
                        ? fixedValue(defaultStatus, org)
                        : reducedCube[static_cast<size_t>(reducedIndex[org])];
    return cube;
}

std::string printStates(DdManager* mgr, const geneDatabase& geneDbOrg,
                        const geneDatabase& geneDbReduced, const std::vector<int>& defaultStatus,
                        const std::vector<DdNode*>& attractors, std::vector<DdNode*>& ip,
                        int nInpVar) {
    std::ostringstream outSS;
    for (const gene& orgGene : geneDbOrg) outSS << orgGene.name << "   ";
    for (DdNode* attractor : attractors) {
        std::vector<int> nodeLevel(geneDbOrg.size(), 0);
        printCubesJava(mgr, geneDbOrg, geneDbReduced, defaultStatus, attractor, ip, outSS,
                       nInpVar, nodeLevel);
    }
    outSS << "\n";
    chkWrittenWhole(outSS);
    return outSS.str();
}

// The covers of every attractor, with one progress line each.
std::vector<cubeCover> coverAll(DdManager* mgr, const std::vector<DdNode*>& attractors,
                                std::vector<DdNode*>& ip, int nInpVar) {
    std::vector<cubeCover> covers;
    for (DdNode* attractor : attractors) {
        covers.push_back(compDisjointCubes(mgr, attractor, ip, nInpVar));
        std::cout << "attractor " << covers.size() << ": " << covers.back().states
                  << " states in " << covers.back().cubes.size() << " cubes" << std::endl;
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

using json = nlohmann::ordered_json;

// The attractors' entries of the json format: per cover its exact number of
// states, its cubes over every gene and its smallest subspace ("space").
json attractorsJson(const std::vector<int>& reducedIndex, const std::vector<int>& defaultStatus,
                    const std::vector<cubeCover>& covers) {
    json list = json::array();
    for (const cubeCover& cover : covers) {
        json entry = json::object();
        // Counts up to 2^53 are exact as JSON numbers in every reader; larger
        // ones are written as decimal strings.
        if (fitsJsonNumber(cover.states))
            entry["states"] = std::strtoull(cover.states.c_str(), nullptr, 10);
        else
            entry["states"] = cover.states;
        json& cubes = entry["cubes"] = json::array();
        // The smallest subspace holding the attractor: per gene the value
        // all its cubes share, '-' where they differ or leave it free.
        std::string space;
        for (const std::string& cube : cover.cubes) {
            std::string whole = wholeCube(cube, reducedIndex, defaultStatus);
            if (space.empty()) space = whole;
            for (size_t g = 0; g < whole.size(); ++g)
                if (space[g] != whole[g]) space[g] = '-';
            cubes.push_back(std::move(whole));
        }
        entry["space"] = space;
        list.push_back(std::move(entry));
    }
    return list;
}

// Adds the genes the reduction fixed ("fixed") and writes the object on one
// line.
std::string dumpJson(json& result, const geneDatabase& geneDbOrg,
                     const std::vector<int>& reducedIndex, const std::vector<int>& defaultStatus) {
    json& fixed = result["fixed"] = json::object();
    for (size_t org = 0; org < geneDbOrg.size(); ++org)
        if (reducedIndex[org] < 0) fixed[geneDbOrg[org].name] = fixedValue(defaultStatus, org) - '0';
    try {
        return result.dump() + "\n";
    } catch (const json::type_error& error) {
        // Names are bytes; JSON strings must be UTF-8.
        throw quorvelError(std::string("the result cannot be written as JSON: ") + error.what());
    }
}

std::string printJson(const geneDatabase& geneDbOrg, const std::vector<int>& reducedIndex,
                      const std::vector<int>& defaultStatus, updateMode update,
                      const std::vector<cubeCover>& covers) {
    json result = json::object();
    json& genes = result["genes"] = json::array();
    for (const gene& orgGene : geneDbOrg) genes.push_back(orgGene.name);
    result["update"] = update == updateMode::sync ? "sync" : "async";
    result["attractors"] = attractorsJson(reducedIndex, defaultStatus, covers);
    return dumpJson(result, geneDbOrg, reducedIndex, defaultStatus);
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
                known = byMoving
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

std::string printOutcomes(resultFormat format, DdManager* mgr, const geneDatabase& geneDbOrg,
                          const geneDatabase& geneDbReduced, const std::vector<int>& defaultStatus,
                          const std::vector<int>& inputs,
                          const std::vector<inputOutcome>& outcomes, std::vector<DdNode*>& ip,
                          int nInpVar) {
    try {
        if (format == resultFormat::states)
            throw quorvelError("the outcomes of the inputs are written as cubes or json only");
        const std::vector<int> reducedIndex = reducedIndexOf(geneDbOrg, geneDbReduced);
        std::vector<outcomeCovers> covers;
        outcomeCoverer coverer{mgr, inputs, ip, nInpVar, {}};
        for (const inputOutcome& outcome : outcomes) {
            covers.push_back(coverer.cover(outcome));
            std::cout << "outcome " << covers.size() << ": " << covers.back().settings.size()
                      << " cubes of settings, " << covers.back().attractors.size()
                      << " attractors" << std::endl;
        }
        if (format == resultFormat::cubes) {
            std::ostringstream outSS;
            for (const gene& orgGene : geneDbOrg) outSS << orgGene.name << "   ";
            outSS << "\ninputs   ";
            for (const int x : inputs) outSS << geneDbReduced.at(static_cast<size_t>(x)).name << "   ";
            for (const outcomeCovers& outcome : covers) {
                outSS << "\noutcome   ";
                for (const std::string& setting : outcome.settings) outSS << setting << "   ";
                writeCoverLines(outSS, reducedIndex, defaultStatus, outcome.attractors);
            }
            outSS << "\n";
            chkWrittenWhole(outSS);
            return outSS.str();
        }
        // The names go through the JSON library (which escapes them); the
        // outcomes, often hundreds of thousands holding only cubes of 0, 1
        // and - and counts, are written directly, in the library's compact
        // layout: building them as JSON values cost more than the analysis.
        json head = json::object();
        json& genes = head["genes"] = json::array();
        for (const gene& orgGene : geneDbOrg) genes.push_back(orgGene.name);
        head["update"] = "async";
        json& inputNames = head["inputs"] = json::array();
        for (const int x : inputs) inputNames.push_back(geneDbReduced.at(static_cast<size_t>(x)).name);
        json tail = json::object();
        std::string fixedText = dumpJson(tail, geneDbOrg, reducedIndex, defaultStatus);
        std::string text = dumpJson(head, geneDbOrg, reducedIndex, defaultStatus);
        // Both end in "}\n"; the head's "fixed" (written by dumpJson) is cut
        // and the outcomes put before the tail's.
        text.erase(text.rfind(",\"fixed\""));
        fixedText.erase(0, 1);
        text += ",\"outcomes\":[";
        const auto quoted = [&](const std::string& cube) {
            text += '"';
            text += cube;
            text += '"';
        };
        for (size_t o = 0; o < covers.size(); ++o) {
            text += o == 0 ? "{\"settings\":[" : ",{\"settings\":[";
            for (size_t k = 0; k < covers[o].settings.size(); ++k) {
                if (k > 0) text += ',';
                quoted(covers[o].settings[k]);
            }
            text += "],\"attractors\":";
            text += attractorsJson(reducedIndex, defaultStatus, covers[o].attractors).dump();
            text += '}';
        }
        text += "],";
        text += fixedText;
        return text;
    } catch (const std::bad_alloc&) {
        throw quorvelError("not enough memory to write the result");
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
            if (value == 0 || value == 1) cube[static_cast<size_t>(g)] = static_cast<char>('0' + value);
        }
        if (std::any_of(path.begin() + nInpVar, path.end(), [](char v) { return v == 0 || v == 1; }))
            throw quorvelError("internal error: an attractor reads a next-state variable");
        coverInto(mgr, Cudd_ReadOne(mgr), ip, nInpVar, cube, cover, count);
    } else {
        coverInto(mgr, set, ip, nInpVar, cube, cover, count);
    }
    cover.states = count.decimal();
    return cover;
}

std::string printResult(resultFormat format, updateMode update, DdManager* mgr,
                        const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced,
                        const std::vector<int>& defaultStatus,
                        const std::vector<DdNode*>& attractors, std::vector<DdNode*>& ip,
                        int nInpVar) {
    try {
        if (format == resultFormat::states)
            return printStates(mgr, geneDbOrg, geneDbReduced, defaultStatus, attractors, ip,
                               nInpVar);
        const std::vector<int> reducedIndex = reducedIndexOf(geneDbOrg, geneDbReduced);
        const std::vector<cubeCover> covers = coverAll(mgr, attractors, ip, nInpVar);
        if (format == resultFormat::cubes)
            return printCubes(geneDbOrg, reducedIndex, defaultStatus, covers);
        return printJson(geneDbOrg, reducedIndex, defaultStatus, update, covers);
    } catch (const std::bad_alloc&) {
        throw quorvelError("not enough memory to write the result");
    } catch (const std::length_error&) {
        throw quorvelError("the result is too large to write");
    }
}
