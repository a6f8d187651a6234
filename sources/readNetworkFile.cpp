// The one place where a network file's format is chosen.
#include "readNetworkFile.h"

#include <cctype>
#include <iostream>

#include "readNetworkBnet.h"
#include "readNetworkSbml.h"
#include "util.h"

namespace {

bool endsWith(const std::string& name, const std::string& ending) {
    if (name.size() < ending.size()) return false;
    for (std::size_t k = 0; k < ending.size(); ++k)
        if (std::tolower(static_cast<unsigned char>(name[name.size() - ending.size() + k])) != ending[k])
            return false;
    return true;
}

}  // namespace

int readNetworkFile(const std::string& fileName, std::vector<networkDefBool>& network,
                    std::vector<std::string>& geneOrder) {
    const std::size_t before = network.size();
    if (endsWith(fileName, ".bnet")) {
        readNetworkBnet(fileName, network, geneOrder);
    } else if (endsWith(fileName, ".sbml") || endsWith(fileName, ".xml")) {
        readNetworkSbml(fileName, network, geneOrder);
    } else {
        return readNetwork(fileName, network);  // prints the count itself
    }
    std::cout << network.size() - before << std::endl;
    return 0;
}
