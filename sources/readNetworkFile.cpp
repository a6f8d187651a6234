// The one place where a network file's format is chosen.
#include "readNetworkFile.h"

#include <cctype>

#include "quorvelError.h"
#include "readNetworkBnet.h"
#include "readNetworkRules.h"

#ifdef QUORVEL_SBML_LIBRARY
#include <dlfcn.h>

#include <mutex>

#include "sbmlLibrary/readNetworkSbmlEntry.h"
#else
#include "readNetworkSbml.h"
#endif

namespace {

#ifdef QUORVEL_SBML_LIBRARY
// libquorvel.so reads SBML through libquorvel_sbml.so, which it loads the
// first time an SBML file is read: from the directory that libquorvel.so
// was loaded from, else by the loader's own search (LD_LIBRARY_PATH, the
// system's directories). The library stays loaded for the life of the
// process; a failed load is tried again on the next SBML file.
sbmlReaderEntry loadSbmlReader() {
    static std::mutex loading;
    static sbmlReaderEntry entry = nullptr;
    const std::lock_guard<std::mutex> lock(loading);
    if (entry != nullptr) return entry;
    std::vector<std::string> candidates;
    Dl_info self{};
    if (dladdr(reinterpret_cast<void*>(&loadSbmlReader), &self) != 0 && self.dli_fname != nullptr) {
        const std::string path = self.dli_fname;
        const std::size_t slash = path.rfind('/');
        if (slash != std::string::npos)
            candidates.push_back(path.substr(0, slash + 1) + kSbmlLibraryName);
    }
    candidates.push_back(kSbmlLibraryName);
    std::string firstFailure;
    for (const std::string& candidate : candidates) {
        void* library = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            const char* why = dlerror();
            if (firstFailure.empty()) firstFailure = why != nullptr ? why : candidate;
            continue;
        }
        void* symbol = dlsym(library, kSbmlEntryName);
        if (symbol == nullptr) {
            dlclose(library);
            if (firstFailure.empty()) firstFailure = candidate + " has no " + kSbmlEntryName;
            continue;
        }
        entry = reinterpret_cast<sbmlReaderEntry>(symbol);
        return entry;
    }
    throw quorvelError(std::string("SBML files cannot be read: the SBML reader ") +
                       kSbmlLibraryName + " could not be loaded (" + firstFailure + ")");
}

void readSbml(const std::string& fileName, std::vector<networkDefBool>& network,
              std::vector<std::string>& geneOrder) {
    const sbmlReaderEntry read = loadSbmlReader();
    std::string failure;
    if (read(fileName.c_str(), &network, &geneOrder, &failure) != 0) throw quorvelError(failure);
}
#else
void readSbml(const std::string& fileName, std::vector<networkDefBool>& network,
              std::vector<std::string>& geneOrder) {
    readNetworkSbml(fileName, network, geneOrder);
}
#endif

bool endsWith(const std::string& name, const std::string& ending) {
    if (name.size() < ending.size()) return false;
    for (std::size_t k = 0; k < ending.size(); ++k)
        if (std::tolower(static_cast<unsigned char>(name[name.size() - ending.size() + k])) !=
            ending[k])
            return false;
    return true;
}

}  // namespace

int readNetworkFile(const std::string& fileName, std::vector<networkDefBool>& network,
                    std::vector<std::string>& geneOrder, const progressSink& progress) {
    const std::size_t before = network.size();
    if (endsWith(fileName, ".bnet")) {
        readNetworkBnet(fileName, network, geneOrder);
    } else if (endsWith(fileName, ".sbml") || endsWith(fileName, ".xml")) {
        readSbml(fileName, network, geneOrder);
    } else {
        return readNetwork(fileName, network, progress);  // writes the count itself
    }
    writeProgress(progress, network.size() - before, "\n");
    return 0;
}
