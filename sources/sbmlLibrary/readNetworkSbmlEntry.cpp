// The entry point of libquorvel_sbml.so, the SBML reader with libsbml in a
// library of its own: libquorvel.so loads it (readNetworkFile) only when an
// SBML file is read, so that every other run starts without libsbml and
// what it pulls in (libxml2, ICU and its data).
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "libraryExport.h"
#include "quorvelError.h"
#include "readNetworkSbml.h"
#include "readNetworkSbmlEntry.h"

// Runs readNetworkSbml. No exception crosses the library boundary: a failure
// comes back as its message in *failure, with status 1.
extern "C" QUORVEL_EXPORT int quorvelReadNetworkSbml(const char* fileName,
                                                     std::vector<networkDefBool>* network,
                                                     std::vector<std::string>* geneOrder,
                                                     std::string* failure) {
    try {
        readNetworkSbml(fileName, *network, *geneOrder);
        return 0;
    } catch (const std::bad_alloc&) {
        *failure = "memory exhausted";
    } catch (const std::exception& error) {
        *failure = error.what();
    } catch (...) {
        *failure = "unknown failure of the SBML reader";
    }
    return 1;
}
