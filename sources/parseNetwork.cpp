// The pipeline driver and the console entry point.
#include "parseNetwork.h"

#include <algorithm>
#include <iostream>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "analysisOptions.h"
#include "compInputOutcomes.h"
#include "coreProgramAsync.h"
#include "readNetworkFile.h"
#include "util.h"

void raiseFatal(const std::string& line) {
    std::cout << line << std::endl;
    throw quorvelError(line);
}

namespace {

// Sends what the analysis writes to standard output (its progress lines) to
// standard error, or nowhere, until it goes out of scope.
struct progressRedirect {
    std::streambuf* saved = nullptr;
    explicit progressRedirect(progressSink sink) {
        if (sink == progressSink::standardError) saved = std::cout.rdbuf(std::cerr.rdbuf());
        if (sink == progressSink::none) saved = std::cout.rdbuf(nullptr);
    }
    progressRedirect(const progressRedirect&) = delete;
    progressRedirect& operator=(const progressRedirect&) = delete;
    ~progressRedirect() {
        if (saved == nullptr) return;
        std::cout.rdbuf(saved);
        std::cout.clear();
    }
};

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
    const progressRedirect redirect(progressSinkOf(options));

    try {
        const std::string networkFile(s);
        std::cout << "\n" << "parsing network file" << std::endl;
        std::vector<networkDefBool> network;
        std::vector<std::string> geneOrder;
        readNetworkFile(networkFile, network, geneOrder);

        geneDatabase geneDbOrg;
        geneDatabase geneDbReduced;
        levelArray sccTopoLvl;
        std::vector<int> defaultStatus;
        const std::vector<geneFix> fixes = inputFixes(network, options);
        refineNetwork(network, geneDbOrg, geneDbReduced, defaultStatus, sccTopoLvl, geneOrder,
                      fixes);

        std::vector<DdNode*> steadyStates;
        std::vector<int> groupedInputs;
        if (options.inputs == inputMode::grouped)
            groupedInputs = reducedInputs(network, fixes, geneDbReduced);
        return topFuncAsync(geneDbOrg, geneDbReduced, defaultStatus, sccTopoLvl, steadyStates,
                            options.format, options.update, options.maxMemory,
                            options.inputs == inputMode::grouped ? &groupedInputs : nullptr,
                            options.cancel);
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
                progressSinkOf(options) == progressSink::standardOutput ? std::cout : std::cerr;
            prompt << "Enter input file name ::: " << std::flush;
            if (!(std::cin >> fileName))
                throw quorvelError("standard input ended before a file name was read");
        }
        const std::string outStr = topFuncQuorvel(fileName.c_str(), options);
        if (!(std::cout << outStr << std::flush))
            throw quorvelError("cannot write the result to standard output");
        return 0;
    } catch (const optionError& error) {
        std::cout << std::flush;
        std::cerr << "quorvel: " << error.what() << "\n" << usageLine() << "\n"
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
