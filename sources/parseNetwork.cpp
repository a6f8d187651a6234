// The pipeline driver and the console entry point.
#include "parseNetwork.h"

#include <iostream>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "coreProgramAsync.h"
#include "util.h"

void raiseFatal(const std::string& line) {
    std::cout << line << std::endl;
    throw quorvelError(line);
}

std::string topFuncQuorvel(const char* s) {
    if (s == nullptr) throw quorvelError("no network file name was given");
    // The BDD engine may keep process-wide state, so analyses run one at a
    // time even when several threads (e.g. of a Java application) call in.
    static std::mutex analysisMutex;
    std::lock_guard<std::mutex> lock(analysisMutex);

    try {
        const std::string networkFile(s);
        std::cout << "\n" << "parsing network file" << std::endl;
        std::vector<networkDefBool> network;
        readNetwork(networkFile, network);

        geneDatabase geneDbOrg;
        geneDatabase geneDbReduced;
        levelArray sccTopoLvl;
        std::vector<int> defaultStatus;
        refineNetwork(network, geneDbOrg, geneDbReduced, defaultStatus, sccTopoLvl);

        std::vector<DdNode*> steadyStates;
        return topFuncAsync(geneDbOrg, geneDbReduced, defaultStatus, sccTopoLvl, steadyStates);
    } catch (const std::bad_alloc&) {
        // Whichever allocation failed, the caller learns that memory ran out.
        throw quorvelError("memory exhausted");
    }
}

#ifndef QUORVEL_WITHOUT_MAIN
// Console entry: `quorvel FILE` analyses FILE; `quorvel` alone asks for the
// file name on standard input. The result text goes to standard output
// unchanged. Any failure, including a result that could not be written, is
// reported on standard error with exit status 1; success is status 0.
QUORVEL_EXPORT int main(int argc, char** argv) {
    try {
        std::string fileName;
        if (argc > 2) throw quorvelError("usage: quorvel [NETWORK-FILE]");
        if (argc == 2) {
            fileName = argv[1];
        } else {
            std::cout << "Enter input file name ::: " << std::flush;
            if (!(std::cin >> fileName))
                throw quorvelError("standard input ended before a file name was read");
        }
        const std::string outStr = topFuncQuorvel(fileName.c_str());
        if (!(std::cout << outStr << std::flush))
            throw quorvelError("cannot write the result to standard output");
        return 0;
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
