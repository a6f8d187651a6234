// The synchronous analysis of one network file, in this process: writes the
// JSON result to standard output and, on standard error, "cpu S" with S the
// processor seconds (user + system) of the analysis alone, reading the file
// included and the program's start-up excluded.
// usage: bench_sync NETWORK-FILE
#include <sys/resource.h>

#include <cstdio>
#include <exception>
#include <iostream>
#include <string>

#include "analysisOptions.h"
#include "parseNetwork.h"

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: bench_sync NETWORK-FILE" << std::endl;
        return 1;
    }
    analysisOptions options;
    options.format = resultFormat::json;
    options.update = updateMode::sync;
    options.quiet = true;
    try {
        const double start = cpuSeconds();
        const std::string text = topFuncQuorvel(argv[1], options);
        const double seconds = cpuSeconds() - start;
        std::cout << text;
        std::cout.flush();
        std::fprintf(stderr, "cpu %.4f\n", seconds);
    } catch (const std::exception& e) {
        std::cerr << e.what() << std::endl;
        return 1;
    }
    return 0;
}
