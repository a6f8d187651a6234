// The tests' BDD fixture (bddSpace: one manager with the state encoding),
// random networks and fragments. Relations are built here straight from a
// gene database (T_g = x'_g XNOR f_g(x), f_g read off the terms with the
// reference's update rule), independently of the library's own builder;
// symbolicNetwork.h builds them with the library's.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "bruteForce.h"
#include "bddEngine.h"
#include "bddHandle.h"
#include "parseNetwork.h"

// Releases every handle of `nodes` on mgr (null entries are skipped) and
// empties the array.
void releaseNodes(DdManager* mgr, std::vector<DdNode*>& nodes);

// A referenced copy of node, owned by the caller.
DdNode* refCopy(DdNode* node);

namespace asyncFixture {

// One manager holding the state encoding of n genes: variable i is x_i,
// variable n + i is x'_i, in the order x_0, x'_0, x_1, x'_1, ...; the cubes
// of all current and all next variables and the identity relation. Every
// handle carries one reference owned by the record.
struct bddSpace {
    DdManager* mgr = nullptr;
    int nInpVar = 0;
    std::vector<DdNode*> ip;
    DdNode* inpCubeFwd = nullptr;
    DdNode* inpCubeBwd = nullptr;
    DdNode* topSame = nullptr;
};

// Both managers of an analysis, encoded by the library itself as its driver
// does: variables by createVarsFragSync, order and groups by
// interleaveStateVars, relations by constBddFrag in `sync` and transferred
// into `async`, sifting on. Every handle carries one reference owned by the
// record.
struct twoManagers {
    bddSpace sync;
    bddSpace async;
    std::vector<DdNode*> op;       // in sync.mgr
    std::vector<DdNode*> opAsync;  // in async.mgr
};
twoManagers encodeTwoManagers(const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced,
                              const std::vector<int>& defaultStatus);
// Releases every handle, returns the larger Cudd_CheckZeroRef of the two
// managers and quits both.
int releaseTwoManagers(twoManagers& e);

// Referenced copies of a relation array (the same handles, one more
// reference each), as the composition hands to a search.
std::vector<DdNode*> copiesOf(const std::vector<DdNode*>& nodes);

// Opens a manager and fills the record; with `sifting` automatic reordering
// by sifting is enabled, as in the analysis.
// maxMemory bounds the engine's memory as in Cudd_Init (0: no bound).
bddSpace openSpace(int n, bool sifting, size_t maxMemory = 0);
// Opens a manager whose variables and placeholder relations (in `op`) come
// from the library's createVarsFragSync, as the analysis makes them;
// sifting is on. The variable order and the cubes are left to the caller
// (orderStateVars, completeSpace).
void openDriverSpace(bddSpace& space, std::vector<DdNode*>& op, int n, unsigned cacheSlots);
// Puts the variables in the order x_0, x'_0, x_1, x'_1, ...; with `grouped`,
// each pair x_i, x'_i is a fixed group while sifting, as the analysis keeps
// it.
void orderStateVars(const bddSpace& space, bool grouped);
// Builds the cubes and the identity relation of a space whose variables
// exist.
void completeSpace(bddSpace& space);
// Releases every handle of the record (the manager stays open).
void releaseSpace(bddSpace& space);
// Releases every handle of the record, then returns the references left
// on its manager (outstandingRefs) and quits the manager.
int closeSpace(bddSpace& space);

// f_i(x) over current-state variables.
bddHandle nextStateFunction(const bddSpace& space, const geneDatabase& db, int i);
// T_i = x'_i XNOR f_i(x) for every gene of db, each referenced.
std::vector<DdNode*> relationsOf(const bddSpace& space, const geneDatabase& db);
// The same relations moved into another space's manager, each referenced.
std::vector<DdNode*> transferAll(const bddSpace& from, const bddSpace& to,
                                 const std::vector<DdNode*>& nodes);
// A single state over the current-state variables of `genes` (the value of
// gene g is x[g]).
bddHandle stateNode(const bddSpace& space, const std::vector<int>& genes,
                    const bruteForce::state& x);

// A random network of n genes: 0 to 2 activating and 0 to 2 inhibiting
// terms per gene, 0 to 3 literals per term. With `local`, gene i is
// regulated only by genes 0 .. i + 1, so that small fragments closed under
// regulators are common.
geneDatabase randomDatabase(uint32_t seed, int n, bool local);
// The genes of `seeds` and, transitively, all their regulators, in the
// order found: the seeds, then the new regulators of each gene in turn (like
// a block followed by its ancestors).
std::vector<int> closedFragment(const geneDatabase& db, std::vector<int> seeds);
// The same genes, ascending and each once.
std::vector<int> closeUnderRegulators(const geneDatabase& db, const std::vector<int>& seeds);
// A random fragment closed under regulators, in random order, sometimes with
// a gene listed twice.
std::vector<int> randomClosedFragment(uint32_t seed, const geneDatabase& db);

// The attractors held by `sets` (sets over current-state variables), read
// with every gene outside the fragment at 0.
bruteForce::attractorSet attractorsOf(const bddSpace& space, const std::vector<DdNode*>& sets,
                                      const std::vector<int>& fragment);

// True when `set` depends only on current-state variables of `genes`.
bool dependsOnlyOn(const bddSpace& space, DdNode* set, const std::vector<int>& genes);

std::string fragmentText(const std::vector<int>& fragment);

// Adds a term (literals {gene, polarity}) to gene `target` of db.
void addTerm(geneDatabase& db, int target, bool activating,
             const std::vector<std::pair<int, int>>& literals);

// Runs `work` with standard output collected, and returns what it printed.
std::string captureOutput(const std::function<void()>& work);

// The brute-force asynchronous attractors of `fragment` in db, with every
// gene outside the fragment written 0.
bruteForce::attractorSet expectedAttractors(const geneDatabase& db,
                                            const std::vector<int>& fragment);

// States written as strings of '0'/'1', one character per gene.
bruteForce::stateSet states(std::initializer_list<const char*> texts);

// Number of occurrences of `line` in `text`.
size_t count(const std::string& text, const std::string& line);

}  // namespace asyncFixture
