// Parser of the analysis options.
#include "analysisOptions.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>

#include "memoryRoom.h"
#include "readNetworkText.h"

#ifndef QUORVEL_VERSION
#define QUORVEL_VERSION "unknown"
#endif

namespace {

resultFormat formatOf(const std::string& value) {
    if (value == "states") return resultFormat::states;
    if (value == "cubes") return resultFormat::cubes;
    if (value == "json") return resultFormat::json;
    throw optionError("invalid value '" + printableName(value) +
                      "' for --format (states, cubes or json)");
}

updateMode updateOf(const std::string& value) {
    if (value == "async") return updateMode::async;
    if (value == "sync") return updateMode::sync;
    throw optionError("invalid value '" + printableName(value) + "' for --update (async or sync)");
}

inputMode inputsOf(const std::string& value) {
    if (value == "free") return inputMode::free;
    if (value == "off") return inputMode::off;
    if (value == "grouped") return inputMode::grouped;
    throw optionError("invalid value '" + printableName(value) +
                      "' for --inputs (free, off or grouped)");
}

// GENE=0 or GENE=1; the gene name is everything before the last '='.
geneFix fixOf(const std::string& value) {
    const size_t eq = value.rfind('=');
    if (eq == std::string::npos || eq == 0 || eq + 2 != value.size() ||
        (value[eq + 1] != '0' && value[eq + 1] != '1'))
        throw optionError("invalid value '" + printableName(value) +
                          "' for --fix (GENE=0 or GENE=1)");
    return geneFix{value.substr(0, eq), value[eq + 1] - '0'};
}

std::size_t memoryOptionOf(const std::string& value) {
    std::size_t bytes = 0;
    try {
        bytes = readMemorySize(value);
    } catch (const quorvelError& error) {
        throw optionError("--max-memory: '" + printableName(value) + "' is " + error.what());
    }
    if (bytes < kMinMaxMemory)
        throw optionError("--max-memory: '" + printableName(value) +
                          "' is less than the smallest limit, 16M");
    return bytes;
}

trapSpaceKind trapSpacesOf(const std::string& value) {
    if (value == "min") return trapSpaceKind::minimal;
    if (value == "max") return trapSpaceKind::maximal;
    throw optionError("invalid value '" + printableName(value) +
                      "' for --trap-spaces (min or max)");
}

// GENE,GENE,...: every name once, none empty.
std::vector<std::string> markersOf(const std::string& value) {
    std::vector<std::string> markers;
    size_t from = 0;
    while (true) {
        const size_t comma = value.find(',', from);
        const std::string name =
            value.substr(from, comma == std::string::npos ? comma : comma - from);
        if (name.empty())
            throw optionError("invalid value '" + printableName(value) +
                              "' for --phenotypes (GENE,GENE,...)");
        if (std::find(markers.begin(), markers.end(), name) != markers.end())
            throw optionError("--phenotypes names gene " + printableName(name) + " twice");
        markers.push_back(name);
        if (comma == std::string::npos) return markers;
        from = comma + 1;
    }
}

// The combinations the questions cannot answer.
void checkQuestions(const analysisOptions& options) {
    const bool asked = !options.initial.empty() || options.basins ||
                       options.trapSpaces != trapSpaceKind::none || !options.phenotypes.empty();
    if (!asked) return;
    if (options.format == resultFormat::states)
        throw optionError(
            "--initial, --basins, --trap-spaces and --phenotypes need --format cubes or json");
    if (options.trapSpaces != trapSpaceKind::none &&
        (!options.initial.empty() || options.basins || !options.phenotypes.empty() ||
         options.inputs == inputMode::grouped))
        throw optionError(
            "--trap-spaces answers alone: not with --initial, --basins, --phenotypes or --inputs grouped");
    if ((!options.initial.empty() || options.basins) && options.update == updateMode::sync)
        throw optionError("--initial and --basins are for the asynchronous update only");
    if ((!options.initial.empty() || options.basins) && options.inputs == inputMode::grouped)
        throw optionError("--initial and --basins do not combine with --inputs grouped");
}

void addFix(std::vector<geneFix>& fixes, const geneFix& fix) {
    const auto same = std::find_if(fixes.begin(), fixes.end(),
                                   [&](const geneFix& f) { return f.name == fix.name; });
    if (same == fixes.end()) {
        fixes.push_back(fix);
    } else if (same->value != fix.value) {
        throw optionError("gene " + printableName(fix.name) + " is fixed to both 0 and 1");
    }
}

}  // namespace

analysisOptions readOptions(const std::vector<std::string>& args) {
    analysisOptions options;
    bool optionsEnded = false;
    for (size_t k = 0; k < args.size(); ++k) {
        const std::string& arg = args[k];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            options.files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            options.help = true;
            continue;
        }
        if (arg == "--version") {
            options.version = true;
            continue;
        }
        if (arg == "--quiet") {
            options.quiet = true;
            continue;
        }
        if (arg == "--basins") {
            options.basins = true;
            continue;
        }
        // The options that take a value: --name VALUE or --name=VALUE.
        const size_t eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        if (name != "--format" && name != "--update" && name != "--fix" && name != "--max-memory" &&
            name != "--inputs" && name != "--initial" && name != "--trap-spaces" &&
            name != "--phenotypes")
            throw optionError("unknown option '" + printableName(arg) + "'");
        std::string value;
        if (eq != std::string::npos) {
            value = arg.substr(eq + 1);
        } else {
            if (k + 1 == args.size())
                throw optionError("option " + printableName(name) + " needs a value");
            value = args[++k];
        }
        if (name == "--format")
            options.format = formatOf(value);
        else if (name == "--update")
            options.update = updateOf(value);
        else if (name == "--inputs")
            options.inputs = inputsOf(value);
        else if (name == "--initial")
            options.initial.push_back(value);
        else if (name == "--trap-spaces")
            options.trapSpaces = trapSpacesOf(value);
        else if (name == "--phenotypes")
            options.phenotypes = markersOf(value);
        else if (name == "--max-memory")
            options.maxMemory = memoryOptionOf(value);
        else
            addFix(options.fixes, fixOf(value));
    }
    const bool analyses = !options.help && !options.version;
    if (analyses && options.inputs == inputMode::grouped && options.format == resultFormat::states)
        throw optionError("--inputs grouped needs --format cubes or json");
    if (analyses && options.inputs == inputMode::grouped && options.update == updateMode::sync)
        throw optionError("--inputs grouped is for the asynchronous update only");
    if (analyses) checkQuestions(options);
    return options;
}

std::string usageLine() {
    return "usage: quorvel [NETWORK-FILE]\n   or: quorvel [OPTION]... [NETWORK-FILE]";
}

std::string helpText() {
    return usageLine() + "\n" +
           "Computes every attractor of the Boolean network in NETWORK-FILE (asked for on\n"
           "standard input when not given) and writes them to standard output.\n"
           "\n"
           "Network files (the format follows the file name's ending):\n"
           "  .bnet                  one line 'gene, expression' per gene (! & | ( ))\n"
           "  .sbml, .xml            SBML level 3 with the qual package (SBML-qual)\n"
           "  any other              the rule format: REGULATORS -> TARGET, or -| to\n"
           "                         inhibit; regulators joined by &, ^ for NOT (A&^B -> C)\n"
           "\n"
           "Options:\n"
           "  -h, --help             show this text and exit\n"
           "      --version          show the version and exit\n"
           "      --format FORMAT    how the result is written (default: states):\n"
           "                           states  every state of every attractor\n"
           "                           cubes   per attractor its number of states, then\n"
           "                                   disjoint cubes (0, 1 or - per gene)\n"
           "                           json    one JSON object: genes, update,\n"
           "                                   attractors (states, cubes, space),\n"
           "                                   fixed\n"
           "      --update MODE      async (default: one gene at a time) or sync (every\n"
           "                         gene at once)\n"
           "      --inputs MODE      the inputs (genes whose rule is X -> X): free (default:\n"
           "                         every setting, one list), off (each fixed to 0) or\n"
           "                         grouped (the settings grouped by their attractors;\n"
           "                         needs --format cubes or json)\n"
           "      --fix GENE=0|1     hold GENE at 0 (knock-out) or 1 (over-expression);\n"
           "                         may be repeated\n"
           "      --quiet            write no progress (no progress lines, no log)\n"
           "      --max-memory SIZE  the most memory the BDD engine may take, at least\n"
           "                         16M: bytes, or with a unit K, M, G or T (powers of\n"
           "                         1024, also KiB, MiB, GiB, TiB; e.g. 512M); running\n"
           "                         out is an error (exit 1), never a partial result\n"
           "\n"
           "Questions (each needs --format cubes or json):\n"
           "      --initial CUBE     only the attractors reachable from these states: a\n"
           "                         cube over the header's genes (0, 1 or - each) or\n"
           "                         GENE=0|1,GENE=0|1,... with the rest free; may be\n"
           "                         repeated (asynchronous update)\n"
           "      --basins           per attractor the number of states that can reach it\n"
           "                         (weak basin) and that reach it alone (strong basin)\n"
           "      --trap-spaces KIND every minimal (min) or maximal proper (max) trap\n"
           "                         space, as cubes, instead of the attractors\n"
           "      --phenotypes GENE,GENE,...\n"
           "                         each attractor's behaviour of these marker genes\n"
           "                         (0, 1 or - where it changes) and the attractors per\n"
           "                         phenotype; with --inputs grouped the outcomes are\n"
           "                         merged by the phenotypes they allow\n"
           "\n"
           "Progress: with the states format, progress lines on standard output before\n"
           "the result. With --format cubes or json, standard output holds the result\n"
           "alone and standard error logs the progress, one line per step (the stage,\n"
           "block k of N, the attractors found so far, the seconds taken); on a terminal\n"
           "one line, updated in place and cleared at the end.\n"
           "Exit status: 0 on success, 1 on any error.\n";
}

std::string versionText() { return std::string("quorvel ") + QUORVEL_VERSION + "\n"; }

progressTarget progressTargetOf(const analysisOptions& options) {
    if (options.quiet) return progressTarget::none;
    if (options.format == resultFormat::states) return progressTarget::standardOutput;
    return progressTarget::standardError;
}

progressSink progressSinkOf(const analysisOptions& options, progressLog& log) {
    switch (progressTargetOf(options)) {
        case progressTarget::standardOutput: return progressSink{&std::cout, &log};
        case progressTarget::standardError:
            log.out = &std::cerr;
            log.inPlace = isatty(STDERR_FILENO) == 1;
            return progressSink{nullptr, &log};
        case progressTarget::none: break;
    }
    return progressSink{};
}
