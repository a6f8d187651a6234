// The pipeline driver and the console entry point.
#include "parseNetwork.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "analysisOptions.h"
#include "bddEngine.h"
#include "compInputOutcomes.h"
#include "constGeneDb.h"
#include "coreProgramAsync.h"
#include "modellerQuestions.h"
#include "progressSink.h"
#include "readNetworkFile.h"
#include "refineNetwork.h"

namespace {


// The inputs that stay free after `fixes`, as indices of geneDbReduced,
// ascending (an input reads itself, so the reduction keeps it).
std::vector<int> reducedInputs(const std::vector<networkDefBool>& network,
                               const std::vector<geneFix>& fixes,
                               const geneDatabase& geneDbReduced) {
    std::vector<int> inputs;
    for (const std::string& name : listInputNames(network)) {
        const bool fixed = std::any_of(fixes.begin(), fixes.end(),
                                       [&](const geneFix& fix) { return fix.name == name; });
        const int r = chkInList(geneDbReduced, name);
        if (!fixed && r >= 0) inputs.push_back(r);
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

}  // namespace

std::vector<geneFix> inputFixes(const std::vector<networkDefBool>& network,
                                const analysisOptions& options) {
    std::vector<geneFix> fixes = options.fixes;
    if (options.inputs != inputMode::off) return fixes;
    for (const std::string& name : listInputNames(network)) {
        const bool given = std::any_of(fixes.begin(), fixes.end(),
                                       [&](const geneFix& fix) { return fix.name == name; });
        if (!given) fixes.push_back(geneFix{name, 0});
    }
    return fixes;
}

std::string topFuncQuorvel(const char* s) { return topFuncQuorvel(s, analysisOptions{}); }

std::string topFuncQuorvel(const char* s, const analysisOptions& options) {
    if (s == nullptr) throw quorvelError("no network file name was given");
    // The BDD engine may keep process-wide state, so analyses run one at a
    // time even when several threads (e.g. of a Java application) call in.
    static std::mutex analysisMutex;
    std::lock_guard<std::mutex> lock(analysisMutex);
    progressLog log;
    const progressSink progress = progressSinkOf(options, log);
    const progressEnd progressEnded(progress);

    try {
        const std::string networkFile(s);
        reportProgress(progress, stageEvent(progressStage::reading));
        std::vector<networkDefBool> network;
        std::vector<std::string> geneOrder;
        readNetworkFile(networkFile, network, geneOrder, progress);

        geneDatabase geneDbOrg;
        geneDatabase geneDbReduced;
        levelArray sccTopoLvl;
        std::vector<int> defaultStatus;
        std::vector<geneFix> fixes = inputFixes(network, options);
        reportProgress(progress, stageEvent(progressStage::reducing));
        refineNetwork(network, geneDbOrg, geneDbReduced, defaultStatus, sccTopoLvl, geneOrder,
                      fixes, progress);
        if (options.trapSpaces != trapSpaceKind::none)
            return printTrapSpaces(geneDbOrg, geneDbReduced, defaultStatus, fixes, options,
                                   progress);
        // The modeller's questions: the search answers in JSON and
        // printAnswers reads it. Inputs that every initial state sets alike
        // keep that value in every state reachable, so the search fixes them
        // (not with --basins, which asks about every state).
        chkMarkers(options, geneDbOrg);
        const std::vector<std::string> initialCubes = readInitialStates(options.initial, geneDbOrg);
        const std::vector<geneFix> searchFixes =
            options.basins
                ? std::vector<geneFix>{}
                : fixesOfInitialStates(initialCubes, listInputNames(network), fixes, geneDbOrg);
        if (!searchFixes.empty()) {
            fixes.insert(fixes.end(), searchFixes.begin(), searchFixes.end());
            refineNetwork(network, geneDbOrg, geneDbReduced, defaultStatus, sccTopoLvl, geneOrder,
                          fixes, progress);
        }
        const bool questions = asksQuestions(options);

        std::vector<DdNode*> steadyStates;
        analysisRequest request{options, progress, {}};
        if (questions) request.options.format = resultFormat::json;
        if (options.inputs == inputMode::grouped)
            request.groupedInputs = reducedInputs(network, fixes, geneDbReduced);
        const std::string text = topFuncAsync(geneDbOrg, geneDbReduced, defaultStatus, sccTopoLvl,
                                              steadyStates, request);
        if (!questions) return text;
        return printAnswers(text, geneDbOrg, fixes, initialCubes, searchFixes, options, progress);
    } catch (const fatalCondition& fatal) {
        endOpenLines(progress);
        writeProgress(progress, fatal.what(), "\n");
        throw;
    } catch (const std::bad_alloc&) {
        // Whichever allocation failed, the caller learns that memory ran out.
        throw quorvelError("memory exhausted");
    } catch (const quorvelError&) {
        // A stopped analysis fails at whichever operation came next: say why.
        if (options.cancel != nullptr && options.cancel->load())
            throw analysisStopped("the analysis was stopped");
        throw;
    }
}

#ifndef QUORVEL_WITHOUT_MAIN
// Console entry: `quorvel [OPTION]... FILE` analyses FILE; without FILE the
// name is asked for on standard input (the prompt goes to standard error
// when standard output must hold the result alone). The result text goes to
// standard output unchanged. Any failure, including a result that could not
// be written, is reported on standard error with exit status 1 (a bad
// option with the usage line as well); success is status 0.
QUORVEL_EXPORT int main(int argc, char** argv) {
    try {
        const analysisOptions options =
            readOptions(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
        if (options.help || options.version) {
            if (!(std::cout << (options.help ? helpText() : versionText()) << std::flush))
                throw quorvelError("cannot write to standard output");
            return 0;
        }
        std::string fileName;
        if (options.files.size() > 1) throw optionError("more than one network file was given");
        if (options.files.size() == 1) {
            fileName = options.files[0];
        } else {
            std::ostream& prompt =
                progressTargetOf(options) == progressTarget::standardOutput ? std::cout : std::cerr;
            writeWhole(prompt, "Enter input file name ::: ");
            if (!(std::cin >> fileName))
                throw quorvelError("standard input ended before a file name was read");
            // The log on standard error starts a line of its own: a name
            // typed at a terminal ended the prompt's line with its echo, one
            // read from a pipe or a file did not.
            if (progressTargetOf(options) == progressTarget::standardError &&
                isatty(STDIN_FILENO) != 1)
                writeWhole(std::cerr, "\n");
        }
        const std::string outStr = topFuncQuorvel(fileName.c_str(), options);
        if (!writeWhole(std::cout, outStr))
            throw quorvelError("cannot write the result to standard output");
        return 0;
    } catch (const optionError& error) {
        std::cout << std::flush;
        std::cerr << "quorvel: " << error.what() << "\n"
                  << usageLine() << "\n"
                  << "Try 'quorvel --help' for more information." << std::endl;
    } catch (const std::exception& error) {
        std::cout << std::flush;
        std::cerr << "quorvel: " << error.what() << std::endl;
    } catch (...) {
        std::cout << std::flush;
        std::cerr << "quorvel: unknown failure" << std::endl;
    }
    return 1;
}
#endif
