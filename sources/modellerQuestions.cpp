// The modeller's questions: reachable attractors, basins, trap spaces and
// phenotypes, answered over the search's JSON answer and the network as
// written.
#include "modellerQuestions.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <new>
#include <nlohmann/json.hpp>
#include <sstream>

#include "bigCount.h"
#include "compBasins.h"
#include "compPhenotypes.h"
#include "compTrapSpaces.h"
#include "constFullNetwork.h"
#include "constGeneDb.h"
#include "printStates.h"
#include "quorvelError.h"

namespace {

using json = nlohmann::ordered_json;

// A count as JSON: a number up to 2^53, a string of digits beyond.
json countJson(const std::string& count) {
    if (fitsJsonNumber(count)) return std::strtoull(count.c_str(), nullptr, 10);
    return count;
}

std::string countText(const json& count) {
    return count.is_string() ? count.get<std::string>()
                             : std::to_string(count.get<unsigned long long>());
}

std::string dumpJson(const json& result) {
    try {
        return result.dump() + "\n";
    } catch (const json::type_error& error) {
        throw quorvelError(std::string("the result cannot be written as JSON: ") + error.what());
    }
}

// Items of a line of the cubes format, each followed by three blanks.
void writeItems(std::ostream& out, const std::vector<std::string>& items) {
    for (const std::string& item : items) out << item << "   ";
}

std::vector<std::string> geneNames(const geneDatabase& geneDbOrg) {
    std::vector<std::string> names;
    for (const gene& entry : geneDbOrg) names.push_back(entry.name);
    return names;
}

// GENE=0|1,GENE=0|1,... as a cube over `genes`.
std::string cubeOfAssignments(const std::string& value, const geneDatabase& geneDbOrg) {
    std::string cube(geneDbOrg.size(), '-');
    size_t from = 0;
    while (true) {
        const size_t comma = value.find(',', from);
        const std::string item =
            value.substr(from, comma == std::string::npos ? comma : comma - from);
        const size_t eq = item.rfind('=');
        if (eq == std::string::npos || eq == 0 || eq + 2 != item.size() ||
            (item[eq + 1] != '0' && item[eq + 1] != '1'))
            throw optionError("invalid value '" + value +
                              "' for --initial (GENE=0|1,GENE=0|1,...)");
        const std::string name = item.substr(0, eq);
        const int g = chkInList(geneDbOrg, name);
        if (g < 0) throw optionError("--initial: the network has no gene named " + name);
        char& at = cube[static_cast<size_t>(g)];
        if (at != '-' && at != item[eq + 1])
            throw optionError("--initial: gene " + name + " is given both 0 and 1");
        at = item[eq + 1];
        if (comma == std::string::npos) return cube;
        from = comma + 1;
    }
}

// The attractors of a JSON answer as sets of net.
bddArray attractorSets(const fullNetwork& net, const json& attractors) {
    bddArray sets;
    for (const json& a : attractors)
        sets.push_back(cubesToSet(net, a.at("cubes").get<std::vector<std::string>>()));
    return sets;
}

// Reachability and basins over the network as written: which attractors the
// initial states reach (all when there are none) and the basins (when
// asked), in a manager of their own.
struct reachAnswer {
    std::vector<bool> reachable;
    std::vector<basinSizes> basins;
};

reachAnswer compReachAnswer(const json& attractors, const geneDatabase& geneDbOrg,
                            const std::vector<geneFix>& fixes,
                            const std::vector<std::string>& initialCubes,
                            const analysisOptions& options, const progressSink& progress) {
    reachAnswer answer;
    answer.reachable.assign(attractors.size(), true);
    if (initialCubes.empty() && !options.basins) return answer;
    const questionManager owner(options.maxMemory);
    {
        const fullNetwork net = constFullNetwork(owner.mgr, geneDbOrg, fixes, 1);
        const bddArray sets = attractorSets(net, attractors);
        if (!initialCubes.empty()) {
            answer.reachable = compReachableAttractors(net, cubesToSet(net, initialCubes), sets);
            writeProgress(progress, "attractors reachable from the initial states: ",
                          std::count(answer.reachable.begin(), answer.reachable.end(), true), "\n");
        }
        if (options.basins) answer.basins = compBasins(net, sets, progress);
    }
    chkNoReferenceLeft(owner.mgr);
    return answer;
}

std::string printGroupedPhenotypes(const json& doc, const analysisOptions& options,
                                   const progressSink& progress) {
    const std::vector<std::string> genes = doc.at("genes").get<std::vector<std::string>>();
    const std::vector<std::string> inputs = doc.at("inputs").get<std::vector<std::string>>();
    for (const std::string& marker : options.phenotypes)
        if (std::find(inputs.begin(), inputs.end(), marker) != inputs.end())
            throw optionError("--phenotypes: " + marker +
                              " is an input, which --inputs grouped sets per outcome");
    const std::vector<size_t> positions = markerPositions(options.phenotypes, genes);
    std::vector<std::vector<std::string>> settings, phenotypes;
    for (const json& outcome : doc.at("outcomes")) {
        settings.push_back(outcome.at("settings").get<std::vector<std::string>>());
        phenotypes.emplace_back();
        for (const json& a : outcome.at("attractors"))
            phenotypes.back().push_back(phenotypeOf(a.at("space").get<std::string>(), positions));
    }
    const std::vector<phenotypeOutcome> merged = mergeByPhenotypes(settings, phenotypes);
    writeProgress(progress, merged.size(), " outcomes by phenotype\n");
    if (options.format == resultFormat::cubes) {
        std::ostringstream out;
        writeItems(out, genes);
        out << "\ninputs   ";
        writeItems(out, inputs);
        out << "\nmarkers   ";
        writeItems(out, options.phenotypes);
        for (const phenotypeOutcome& outcome : merged) {
            out << "\noutcome   ";
            writeItems(out, outcome.settings);
            for (const phenotypeCount& p : outcome.phenotypes)
                out << "\nphenotype   " << p.phenotype << "   " << p.fewest << "   " << p.most
                    << "   ";
        }
        out << "\n";
        chkWrittenWhole(out);
        return out.str();
    }
    json result = json::object();
    result["genes"] = doc.at("genes");
    result["update"] = doc.at("update");
    result["inputs"] = doc.at("inputs");
    result["markers"] = options.phenotypes;
    json& outcomes = result["outcomes"] = json::array();
    for (const phenotypeOutcome& outcome : merged) {
        json entry = json::object();
        entry["settings"] = outcome.settings;
        json& list = entry["phenotypes"] = json::array();
        for (const phenotypeCount& p : outcome.phenotypes)
            list.push_back({{"phenotype", p.phenotype}, {"fewest", p.fewest}, {"most", p.most}});
        outcomes.push_back(std::move(entry));
    }
    result["fixed"] = doc.at("fixed");
    return dumpJson(result);
}

std::string printAttractorAnswers(const json& doc, const geneDatabase& geneDbOrg,
                                  const std::vector<geneFix>& fixes,
                                  const std::vector<std::string>& initialCubes,
                                  const std::vector<geneFix>& searchFixes,
                                  const analysisOptions& options, const progressSink& progress) {
    const std::vector<std::string> genes = doc.at("genes").get<std::vector<std::string>>();
    const std::vector<size_t> positions = markerPositions(options.phenotypes, genes);
    const json& found = doc.at("attractors");
    const reachAnswer reach =
        compReachAnswer(found, geneDbOrg, fixes, initialCubes, options, progress);
    json attractors = json::array();
    std::vector<std::string> phenotypes;
    for (size_t k = 0; k < found.size(); ++k) {
        if (!reach.reachable[k]) continue;
        json entry = found[k];
        if (!options.phenotypes.empty()) {
            phenotypes.push_back(phenotypeOf(entry.at("space").get<std::string>(), positions));
            entry["phenotype"] = phenotypes.back();
        }
        if (options.basins)
            entry["basin"] = {{"weak", countJson(reach.basins[k].weak)},
                              {"strong", countJson(reach.basins[k].strong)}};
        attractors.push_back(std::move(entry));
    }
    const std::vector<phenotypeCount> counts = countPhenotypes(phenotypes);
    json fixed = doc.at("fixed");
    for (const geneFix& fix : searchFixes) fixed.erase(fix.name);

    if (options.format == resultFormat::cubes) {
        std::ostringstream out;
        writeItems(out, genes);
        for (const json& a : attractors) {
            out << "\n" << countText(a.at("states")) << "   ";
            writeItems(out, a.at("cubes").get<std::vector<std::string>>());
        }
        if (!initialCubes.empty()) {
            out << "\ninitial   ";
            writeItems(out, initialCubes);
        }
        if (!options.phenotypes.empty()) {
            out << "\nmarkers   ";
            writeItems(out, options.phenotypes);
        }
        if (options.basins || !options.phenotypes.empty()) {
            for (size_t k = 0; k < attractors.size(); ++k) {
                const json& a = attractors[k];
                out << "\nattractor   " << k + 1 << "   ";
                if (!options.phenotypes.empty())
                    out << "phenotype   " << a.at("phenotype").get<std::string>() << "   ";
                if (options.basins)
                    out << "weak   " << countText(a.at("basin").at("weak")) << "   strong   "
                        << countText(a.at("basin").at("strong")) << "   ";
            }
        }
        for (const phenotypeCount& p : counts)
            out << "\nphenotype   " << p.phenotype << "   " << p.most << "   ";
        out << "\n";
        chkWrittenWhole(out);
        return out.str();
    }
    json result = json::object();
    result["genes"] = doc.at("genes");
    result["update"] = doc.at("update");
    if (!initialCubes.empty()) result["initial"] = initialCubes;
    result["attractors"] = std::move(attractors);
    if (!options.phenotypes.empty()) {
        result["markers"] = options.phenotypes;
        json& list = result["phenotypes"] = json::array();
        for (const phenotypeCount& p : counts)
            list.push_back({{"phenotype", p.phenotype}, {"attractors", p.most}});
    }
    result["fixed"] = std::move(fixed);
    return dumpJson(result);
}

}  // namespace

bool asksQuestions(const analysisOptions& options) {
    return !options.initial.empty() || options.basins || !options.phenotypes.empty();
}

std::vector<std::string> readInitialStates(const std::vector<std::string>& given,
                                           const geneDatabase& geneDbOrg) {
    std::vector<std::string> cubes;
    for (const std::string& value : given) {
        if (value.find('=') != std::string::npos) {
            cubes.push_back(cubeOfAssignments(value, geneDbOrg));
            continue;
        }
        if (value.size() != geneDbOrg.size() || value.find_first_not_of("01-") != std::string::npos)
            throw optionError("invalid value '" + value + "' for --initial: a cube of " +
                              std::to_string(geneDbOrg.size()) +
                              " characters (0, 1 or -, one per gene in header order) or "
                              "GENE=0|1,GENE=0|1,...");
        cubes.push_back(value);
    }
    return cubes;
}

void chkMarkers(const analysisOptions& options, const geneDatabase& geneDbOrg) {
    markerPositions(options.phenotypes, geneNames(geneDbOrg));
}

std::vector<geneFix> fixesOfInitialStates(const std::vector<std::string>& initialCubes,
                                          const std::vector<std::string>& inputNames,
                                          const std::vector<geneFix>& fixes,
                                          const geneDatabase& geneDbOrg) {
    std::vector<geneFix> found;
    if (initialCubes.empty()) return found;
    for (const std::string& name : inputNames) {
        if (std::any_of(fixes.begin(), fixes.end(),
                        [&](const geneFix& f) { return f.name == name; }))
            continue;
        const int g = chkInList(geneDbOrg, name);
        if (g < 0) continue;
        const char value = initialCubes.front()[static_cast<size_t>(g)];
        const bool agreed =
            value != '-' &&
            std::all_of(initialCubes.begin(), initialCubes.end(), [&](const std::string& cube) {
                return cube[static_cast<size_t>(g)] == value;
            });
        if (agreed) found.push_back(geneFix{name, value - '0'});
    }
    return found;
}

std::string printTrapSpaces(const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced,
                            const std::vector<int>& defaultStatus,
                            const std::vector<geneFix>& fixes, const analysisOptions& options,
                            const progressSink& progress) {
    try {
        const bool minimal = options.trapSpaces == trapSpaceKind::minimal;
        // The values the reduction forced (entries 1 and 2 are ON).
        std::vector<int> forced;
        if (minimal)
            for (size_t g = 0; g < geneDbOrg.size(); ++g)
                forced.push_back(chkInList(geneDbReduced, geneDbOrg[g].name) >= 0
                                     ? -1
                                     : (defaultStatus.at(g) == 1 || defaultStatus.at(g) == 2));
        const double perSpace = static_cast<double>(geneDbOrg.size()) + 6.0;
        const std::size_t maxSpaces = static_cast<std::size_t>(kMaxResultTextBytes / perSpace);
        std::vector<std::string> spaces;
        {
            const questionManager owner(options.maxMemory);
            {
                const fullNetwork net = constFullNetwork(owner.mgr, geneDbOrg, fixes, 3);
                reportProgress(progress, stageEvent(progressStage::trapSpaces));
                spaces = compTrapSpaces(net, options.trapSpaces, forced, maxSpaces, progress);
            }
            chkNoReferenceLeft(owner.mgr);
        }
        writeProgress(progress, spaces.size(), minimal ? " minimal" : " maximal", " trap spaces\n");
        const std::vector<std::string> genes = geneNames(geneDbOrg);
        if (options.format == resultFormat::cubes) {
            std::ostringstream out;
            writeItems(out, genes);
            out << "\n" << (minimal ? "min" : "max") << "   " << spaces.size() << "   ";
            for (const std::string& space : spaces) out << "\n" << space << "   ";
            out << "\n";
            chkWrittenWhole(out);
            return out.str();
        }
        json result = json::object();
        result["genes"] = genes;
        result["trapSpaces"] = minimal ? "min" : "max";
        result["count"] = spaces.size();
        result["cubes"] = spaces;
        return dumpJson(result);
    } catch (const std::bad_alloc&) {
        throw quorvelError("memory exhausted: not enough memory to write the result");
    } catch (const std::length_error&) {
        throw quorvelError("the result is too large to write");
    }
}

std::string printAnswers(const std::string& jsonResult, const geneDatabase& geneDbOrg,
                         const std::vector<geneFix>& fixes,
                         const std::vector<std::string>& initialCubes,
                         const std::vector<geneFix>& searchFixes, const analysisOptions& options,
                         const progressSink& progress) {
    try {
        const json doc = json::parse(jsonResult);
        if (doc.contains("outcomes")) return printGroupedPhenotypes(doc, options, progress);
        return printAttractorAnswers(doc, geneDbOrg, fixes, initialCubes, searchFixes, options,
                                     progress);
    } catch (const json::exception& error) {
        throw quorvelError(std::string("internal error: the search's answer could not be read: ") +
                           error.what());
    } catch (const std::bad_alloc&) {
        throw quorvelError("memory exhausted: not enough memory to write the result");
    } catch (const std::length_error&) {
        throw quorvelError("the result is too large to write");
    }
}
