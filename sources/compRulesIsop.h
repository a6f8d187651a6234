// From a Boolean function (a BDD) to activating rules: the irredundant
// sum-of-products cover of the function, one rule per product.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "bddEngine.h"
#include "parseNetwork.h"

// One product of a cover over variables 0..nVars-1: entry v is 1 when the
// product holds variable v plain, 0 when it holds it negated, 2 when the
// product does not mention it.
using coverCube = std::vector<char>;

// The Minato-Morreale irredundant sum-of-products cover of f over the
// variables of indices 0..nVars-1 of mgr (f must depend on no other): the
// products are prime implicants of f, their disjunction is exactly f, and no
// product can be dropped. f = 0 gives no product; f = 1 gives one product
// that mentions no variable. f is only read. Every BDD reference taken is
// released before returning, also when the engine fails (quorvelError).
std::vector<coverCube> compIrredundantCover(DdManager* mgr, DdNode* f, int nVars);

// Appends to `network` one activating rule of `target` per product of the
// irredundant cover of f, regulator k of a product being variable index k
// named varNames[k] (f over variables 0..varNames.size()-1). f = 0 adds no
// rule (a gene without rules stays 0); f = 1 adds a rule without regulators.
// Returns the number of rules added.
int makeRulesOfFunction(DdManager* mgr, DdNode* f, const std::vector<std::string>& varNames,
                        const std::string& target, std::vector<networkDefBool>& network);

// ---- Shared by the format readers -----------------------------------------

// A manager of a reader's own, quit when dropped.
struct managerQuit {
    void operator()(DdManager* mgr) const { Cudd_Quit(mgr); }
};
using ownedManager = std::unique_ptr<DdManager, managerQuit>;
ownedManager makeReaderManager();

// Throws quorvelError when mgr still holds references (a reader releases
// every function it built before it ends).
void chkNoReference(DdManager* mgr);

// The variables of one gene's function: variable index k stands for gene
// names[k]; indices are given in order of first mention.
struct localVariables {
    std::vector<std::string> names;
    std::unordered_map<std::string, int> index;
};

// The variable of gene `name` in `vars`, entered when new. The projection
// function is returned unreferenced (variables need no reference as operands).
DdNode* varOfName(DdManager* mgr, localVariables& vars, const std::string& name);
