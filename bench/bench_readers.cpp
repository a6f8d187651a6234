// Time to read every shared model in each format (.net, .bnet, SBML-qual),
// the rules it gives, and the slowest file of each format.
// usage: bench_readers [NETWORKS_DIR]
#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "readNetworkFile.h"

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : std::string(QUORVEL_SHARED_DIR) + "/networks";
    const std::vector<std::pair<std::string, std::string>> forms = {
        {"models", ".net"}, {"bnet", ".bnet"}, {"sbml", ".sbml"}};
    std::streambuf* console = std::cout.rdbuf();
    for (const auto& form : forms) {
        std::vector<std::string> files;
        if (DIR* d = opendir((dir + "/" + form.first).c_str())) {
            while (const dirent* entry = readdir(d)) {
                const std::string name = entry->d_name;
                if (name.size() > form.second.size() &&
                    name.compare(name.size() - form.second.size(), std::string::npos,
                                 form.second) == 0)
                    files.push_back(name);
            }
            closedir(d);
        }
        std::sort(files.begin(), files.end());
        double total = 0, slowest = 0;
        std::string slowestFile;
        std::size_t rules = 0;
        for (const std::string& file : files) {
            std::vector<networkDefBool> network;
            std::vector<std::string> order;
            std::ostringstream discard;
            std::cout.rdbuf(discard.rdbuf());  // the count line
            const auto start = std::chrono::steady_clock::now();
            readNetworkFile(dir + "/" + form.first + "/" + file, network, order);
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            std::cout.rdbuf(console);
            total += seconds;
            rules += network.size();
            if (seconds > slowest) slowest = seconds, slowestFile = file;
        }
        std::printf("%-6s %4zu files  %8zu rules  total %7.3f s  slowest %s %.3f s\n",
                    form.first.c_str(), files.size(), rules, total, slowestFile.c_str(), slowest);
    }
    return 0;
}
