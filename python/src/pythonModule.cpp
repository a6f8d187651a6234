// The Python extension quorvel._native: the analysis with the console's
// options, the network reader's records and the reduction's blocks, for the
// package python/quorvel, which turns them into Python objects.
//
// Failures become Python exceptions with the library's message: a bad option
// (or a fixed gene the network lacks) ValueError, a stopped analysis
// quorvel.Stopped, every other failure quorvel.Error. An analysis runs on a
// worker thread with the GIL released; the calling thread polls for signals
// (Ctrl-C) and for the caller's stop event, and on either sets the analysis's
// own stop flag, waits until the analysis has released its managers, and only
// then raises.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "analysisOptions.h"
#include "parseNetwork.h"
#include "readNetworkFile.h"
#include "util.h"

namespace py = pybind11;

namespace {

// The calls of this module run one at a time (the library runs its analyses
// one at a time anyway), so that a stop asked while a call waits for another
// is seen before its analysis starts.
std::mutex& nativeCallMutex() {
    static std::mutex mutex;
    return mutex;
}

analysisOptions analysisOptionsOf(const std::vector<std::string>& args) {
    analysisOptions options = readOptions(args);
    if (!options.files.empty())
        throw optionError("unexpected argument '" + options.files[0] +
                          "': the network file is the first parameter");
    return options;
}

// The record of one analysis run on the worker thread.
struct analysisCall {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::atomic<bool> stop{false};
    std::string result;
    std::exception_ptr failure;
};

// Runs the analysis of `path` with the console's options `args` and returns
// its text (help or version text for -h or --version). `stopEvent` (None or
// an object with is_set(), e.g. threading.Event) stops it when set.
py::str analyse(const std::string& path, const std::vector<std::string>& args,
                const py::object& stopEvent) {
    analysisOptions options = analysisOptionsOf(args);
    if (options.help) return py::str(helpText());
    if (options.version) return py::str(versionText());
    if (path.find('\0') != std::string::npos)
        throw optionError("the network file name holds a NUL character");

    analysisCall call;
    options.cancel = &call.stop;
    std::thread worker([&call, &options, &path] {
        try {
            const std::lock_guard<std::mutex> lock(nativeCallMutex());
            // Stopped while another call held the module.
            if (call.stop) throw analysisStopped("the analysis was stopped");
            call.result = topFuncQuorvel(path.c_str(), options);
        } catch (...) {
            call.failure = std::current_exception();
        }
        {
            const std::lock_guard<std::mutex> lock(call.mutex);
            call.done = true;
        }
        call.finished.notify_all();
    });

    // A Python error met while waiting (KeyboardInterrupt from a signal
    // handler, or a failing is_set()), raised once the worker is done.
    std::optional<py::error_already_set> pending;
    bool stoppedByEvent = false;
    {
        const py::gil_scoped_release release;
        std::unique_lock<std::mutex> lock(call.mutex);
        while (!call.finished.wait_for(lock, std::chrono::milliseconds(50),
                                       [&call] { return call.done; })) {
            lock.unlock();
            {
                const py::gil_scoped_acquire acquire;
                try {
                    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
                    if (!stopEvent.is_none()) {
                        const py::object set = stopEvent.attr("is_set")();
                        const int truth = PyObject_IsTrue(set.ptr());
                        if (truth < 0) throw py::error_already_set();
                        stoppedByEvent = truth == 1;
                    }
                } catch (py::error_already_set& error) {
                    pending.emplace(std::move(error));
                }
            }
            lock.lock();
            if (pending || stoppedByEvent) {
                call.stop = true;
                call.finished.wait(lock, [&call] { return call.done; });
                break;
            }
        }
    }
    worker.join();
    if (pending) throw std::move(*pending);
    if (stoppedByEvent) throw analysisStopped("the analysis was stopped");
    if (call.failure) std::rethrow_exception(call.failure);
    return py::str(call.result);
}

// The rules of a network file as the reader gives them, and the genes in the
// order its format defines (empty for the rule format: order of first
// appearance). Each rule: (target, 1 activating / 0 inhibiting, regulator
// names, their polarities 1 plain / 0 negated).
py::dict readRules(const std::string& path) {
    std::vector<networkDefBool> network;
    std::vector<std::string> geneOrder;
    {
        const py::gil_scoped_release release;
        const std::lock_guard<std::mutex> lock(nativeCallMutex());
        readNetworkFile(path, network, geneOrder, progressSink{});
    }
    py::list rules;
    for (const networkDefBool& rule : network)
        rules.append(py::make_tuple(rule.outGeneName, rule.outGenePolar, rule.inpGeneName,
                                    rule.inpGenePolar));
    py::dict result;
    result["rules"] = rules;
    result["gene_order"] = geneOrder;
    return result;
}

// How the analysis decomposes the network under the options `args` (fixes
// and --inputs off applied as in an analysis): every gene in result order,
// the value of each gene the reduction fixed, and the blocks of the remaining
// genes, level by level (levels[l][b]: the names of block b of level l).
py::dict decompose(const std::string& path, const std::vector<std::string>& args) {
    const analysisOptions options = analysisOptionsOf(args);
    geneDatabase geneDbOrg, geneDbReduced;
    levelArray sccTopoLvl;
    std::vector<int> defaultStatus;
    {
        const py::gil_scoped_release release;
        const std::lock_guard<std::mutex> lock(nativeCallMutex());
        std::vector<networkDefBool> network;
        std::vector<std::string> geneOrder;
        readNetworkFile(path, network, geneOrder, progressSink{});
        refineNetwork(network, geneDbOrg, geneDbReduced, defaultStatus, sccTopoLvl, geneOrder,
                      inputFixes(network, options), progressSink{});
    }
    py::list genes;
    py::dict fixed;
    for (std::size_t g = 0; g < geneDbOrg.size(); ++g) {
        genes.append(geneDbOrg[g].name);
        if (chkInList(geneDbReduced, geneDbOrg[g].name) < 0)
            fixed[py::str(geneDbOrg[g].name)] =
                defaultStatus[g] == 1 || defaultStatus[g] == 2 ? 1 : 0;
    }
    py::list levels;
    for (const std::vector<sccTopo>& level : sccTopoLvl) {
        py::list blocks;
        for (const sccTopo& block : level) {
            py::list names;
            for (const int r : block.geneName)
                names.append(geneDbReduced[static_cast<std::size_t>(r)].name);
            blocks.append(names);
        }
        levels.append(blocks);
    }
    py::dict result;
    result["genes"] = genes;
    result["fixed"] = fixed;
    result["levels"] = levels;
    return result;
}

}  // namespace

PYBIND11_MODULE(_native, m) {
    m.doc() = "Quorvel's analysis, reader and decomposition (see the package quorvel).";
    static py::exception<quorvelError> error(m, "Error");
    static py::exception<analysisStopped> stopped(m, "Stopped", error.ptr());
    py::register_exception_translator([](std::exception_ptr failure) {
        try {
            if (failure) std::rethrow_exception(failure);
        } catch (const optionError& e) {
            PyErr_SetString(PyExc_ValueError, e.what());
        } catch (const analysisStopped& e) {
            PyErr_SetString(stopped.ptr(), e.what());
        } catch (const quorvelError& e) {
            PyErr_SetString(error.ptr(), e.what());
        }
    });
    m.def("analyse", &analyse, py::arg("path"), py::arg("args"), py::arg("stop") = py::none(),
          "The analysis of the network file `path` with the console's options `args`; "
          "returns the result text.");
    m.def("read", &readRules, py::arg("path"), "The reader's rules of the network file.");
    m.def("decompose", &decompose, py::arg("path"), py::arg("args"),
          "The genes fixed by the reduction and the blocks of the others, level by level.");
}
