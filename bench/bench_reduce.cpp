// Times the reduction stage (gene database, propagation, components, blocks
// and levels) on every network file of a directory, by default the real
// models of the shared collection.
//
//   bench_reduce [DIRECTORY] [REPEATS]
//
// Prints one line per file (genes, rules, reduced genes, levels, best time of
// REPEATS runs of refineNetwork, time of readNetwork) and the slowest file.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "util.h"

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const std::string directory =
        argc > 1 ? argv[1] : std::string(QUORVEL_SHARED_DIR) + "/networks/models";
    const int repeats = argc > 2 ? std::max(1, std::stoi(argv[2])) : 3;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        if (entry.is_regular_file() && entry.path().extension() == ".net")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::cerr << "no .net files in " << directory << std::endl;
        return 1;
    }

    std::streambuf* const console = std::cout.rdbuf();
    double slowest = -1, total = 0;
    std::string slowestName;
    for (const auto& file : files) {
        std::ostringstream progress;  // the stage's own lines, kept off the console
        std::cout.rdbuf(progress.rdbuf());
        std::vector<networkDefBool> network;
        auto start = std::chrono::steady_clock::now();
        readNetwork(file.string(), network);
        const double readTime = secondsSince(start);
        double best = 1e30;
        geneDatabase geneDbOrg, geneDbReduced;
        std::vector<int> defaultStatus;
        levelArray sccTopoLvl;
        for (int r = 0; r < repeats; ++r) {
            start = std::chrono::steady_clock::now();
            refineNetwork(network, geneDbOrg, geneDbReduced, defaultStatus, sccTopoLvl);
            best = std::min(best, secondsSince(start));
        }
        std::cout.rdbuf(console);
        total += best;
        if (best > slowest) {
            slowest = best;
            slowestName = file.filename().string();
        }
        std::cout << std::left << std::setw(14) << file.filename().string() << std::right
                  << " genes " << std::setw(5) << geneDbOrg.size() << "  rules " << std::setw(6)
                  << network.size() << "  reduced " << std::setw(5) << geneDbReduced.size()
                  << "  levels " << std::setw(3) << sccTopoLvl.size() << std::fixed
                  << std::setprecision(3) << "  reduce " << std::setw(8) << best * 1000
                  << " ms  read " << std::setw(8) << readTime * 1000 << " ms" << std::endl;
    }
    std::cout << std::fixed << std::setprecision(3) << files.size() << " files, total "
              << total * 1000 << " ms; slowest " << slowestName << " " << slowest * 1000 << " ms"
              << std::endl;
    return 0;
}
