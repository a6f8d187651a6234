// From a Boolean function (a BDD) to activating rules: the irredundant
// sum-of-products cover of the function, one rule per product.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "bddEngine.h"
#include "bddHandle.h"
#include "networkRecords.h"

// One product of a cover over variables 0..nVars-1: entry v is 1 when the
// product holds variable v plain, 0 when it holds it negated, 2 when the
// product does not mention it.
using coverCube = std::vector<char>;
// The same product as the list of its literals (variable, 1 plain or 0
// negated), variables ascending: the form the readers use, whose size does
// not grow with the variables a product leaves out.
using coverLiterals = std::vector<std::pair<int, char>>;

// The Minato-Morreale irredundant sum-of-products cover of f over the
// variables of indices 0..nVars-1 of mgr (f must depend on no other): the
// products are prime implicants of f, their disjunction is exactly f, and no
// product can be dropped. f = 0 gives no product; f = 1 gives one product
// that mentions no variable. f is only read. Every BDD reference taken is
// released before returning, also when the engine fails (quorvelError).
// Splits on the top variable of the bounds without recursion: the time is
// in proportion to the cover's size for functions such as an AND or an OR
// of many variables, and the stack does not grow with the variables.
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

// An associative operation over many operands.
enum class combineOp { conjoin, disjoin, differ };  // AND, OR, XOR

// The AND, OR or XOR of `operands` (none: 1 for AND, 0 otherwise), combined
// pairwise in a balanced tree: n operands over disjoint variables cost
// O(n log n) node visits, where a left-to-right fold (each new operand's
// variables below the result so far) costs O(n^2). Empties `operands`.
bddHandle combineBalanced(DdManager* mgr, combineOp op, bddArray& operands);

// The most genes one function may read. The BDD engines recurse once per
// variable of a function, so the bound and the readers' stack go together.
constexpr std::size_t kMaxRegulators = 100000;

// Stack a reader's thread is given (see runOnReaderStack), with margins of
// two and more over what was measured on x86-64: a base for the reader and
// libsbml, and per level of the engine's recursion (BuDDy about 60 bytes,
// CUDD about twice as much), of MathML (libsbml and the reader, 1.6 KB) and
// of other XML elements (0.8 KB).
constexpr std::size_t kReaderStackBase = std::size_t(2) << 20;
constexpr std::size_t kStackPerVariable = 256;
constexpr std::size_t kStackPerMathLevel = 4096;
constexpr std::size_t kStackPerXmlLevel = 2048;

// The variable of gene `name` in `vars`, entered when new. The projection
// function is returned unreferenced (variables need no reference as operands).
// Throws quorvelError, prefixed by `where` (file and line), when it would be
// the function's variable number kMaxRegulators + 1.
DdNode* varOfName(DdManager* mgr, localVariables& vars, const std::string& name,
                  const std::string& where);

// Runs `work` (a reader's whole work) on a new thread with a stack of
// `stackBytes` and waits for it; an exception it throws is thrown again
// here. The readers size the stack for the deepest recursion their file can
// cause (libsbml's over nested XML, the engine's over a function's
// variables), so that it does not depend on the caller's stack: a Java
// thread has 512 KB or 1 MB. Throws quorvelError when no such thread can be
// made (as under a tight limit of address space).
void runOnReaderStack(std::size_t stackBytes, const std::function<void()>& work);
