// Candidate states by satisfiability (see compCandidateStates.h). Each gene's
// function f_g is written as the irredundant covers of f_g and of NOT f_g,
// so that "x_g = f_g(x)" needs no auxiliary variable: each product of NOT
// f_g gives the clause (NOT x_g OR NOT product), each product of f_g the
// clause (x_g OR NOT product). A gene retained at 1 keeps only the second
// half (it may be 1 whatever f_g is), a gene retained at 0 only the first.
// The conjunction of these constraints as a diagram grew past millions of
// nodes on random blocks of 160 genes whose candidates were a handful; the
// solver finds them one by one.
#include "compCandidateStates.h"

#include <cadical.hpp>

#include <algorithm>

#include "compRulesIsop.h"
#include "constGeneDb.h"
#include "quorvelError.h"

namespace {

// Adds, for each product of `cover`, the clause (extra OR NOT product);
// satVar maps a variable index to its solver variable.
void addClauses(CaDiCaL::Solver& solver, const std::vector<coverCube>& cover, int extra,
                const std::vector<int>& satVar) {
    for (const coverCube& cube : cover) {
        solver.add(extra);
        for (size_t v = 0; v < cube.size(); ++v)
            if (cube[v] != 2) {
                if (satVar[v] == 0)
                    raiseFatal("a candidate gene reads a gene outside its fragment");
                solver.add(cube[v] == 1 ? -satVar[v] : satVar[v]);
            }
        solver.add(0);
    }
}

}  // namespace

bool compCandidateStates(const fragAsync& frag, const networkFunctions& network,
                         const std::vector<int>& genes, const std::vector<int>& negative,
                         const std::vector<char>& retained, const std::vector<int>& cut,
                         size_t maxStates, std::vector<std::vector<char>>& states) {
    DdManager* mgr = frag.mgr;
    const int size = Cudd_ReadSize(mgr);
    // Solver variable k + 1 for genes[k].
    std::vector<int> satVar(static_cast<size_t>(size), 0);
    for (size_t k = 0; k < genes.size(); ++k)
        satVar[static_cast<size_t>(indexOfVariable(mgr, frag.ip[static_cast<size_t>(genes[k])]))] =
            static_cast<int>(k) + 1;
    CaDiCaL::Solver solver;
    // The solver writes its own messages to standard output otherwise (one
    // when a clause added is already falsified), into the result text.
    solver.set("quiet", 1);
    for (size_t k = 0; k < genes.size(); ++k) {
        const int g = genes[k];
        const int x = static_cast<int>(k) + 1;
        DdNode* const f = network.next[static_cast<size_t>(g)].get();
        const auto at = std::find(negative.begin(), negative.end(), g);
        const int kept =
            at == negative.end() ? 2 : retained[static_cast<size_t>(at - negative.begin())];
        // x_g implies f_g, unless the gene may rest at 1; NOT x_g implies
        // NOT f_g, unless it may rest at 0.
        if (kept != 1) addClauses(solver, compIrredundantCover(mgr, Cudd_Not(f), size), -x, satVar);
        if (kept != 0) addClauses(solver, compIrredundantCover(mgr, f, size), x, satVar);
    }
    std::vector<int> cutVar;
    for (int c : cut)
        cutVar.push_back(
            static_cast<int>(std::find(genes.begin(), genes.end(), c) - genes.begin()) + 1);
    states.clear();
    while (solver.solve() == 10) {
        if (states.size() == maxStates) return false;
        std::vector<char> values(genes.size());
        for (size_t k = 0; k < genes.size(); ++k)
            values[k] = solver.val(static_cast<int>(k) + 1) > 0 ? 1 : 0;
        for (int v : cutVar) solver.add(values[static_cast<size_t>(v - 1)] ? -v : v);
        solver.add(0);
        states.push_back(std::move(values));
    }
    return true;
}
