// The subset of the CUDD C API that Quorvel uses, implemented over BuDDy.
//
// This header is only used when the project is built without a real CUDD;
// with CUDD installed, CUDD's own cudd.h is found first and this directory is
// not on the include path. Every function below has CUDD's meaning:
//
// - Several managers may be alive at once; they share one BuDDy kernel (its
//   node table, caches and variable order). A handle belongs to the manager
//   that produced it and may only be combined with handles of that manager;
//   Cudd_bddTransfer moves a function to another manager.
// - A handle is a tagged word, never dereferenced by callers. Cudd_Not flips
//   its low bit, as in CUDD, so complementing costs nothing; the constants are
//   canonical: Cudd_Not(Cudd_ReadOne(m)) == Cudd_ReadLogicZero(m).
// - Results of operations are unreferenced. A caller that keeps a result
//   calls Cudd_Ref on it before anything else is done on its manager (the
//   next operation, a release, a new variable, a reordering), and
//   Cudd_RecursiveDeref on the same manager when dropping it. Operands must
//   be referenced (or be variables or constants) while an operation runs.
//   Cudd_CheckZeroRef counts the functions a manager holds references on,
//   the constants and variables included, so it is 0 only when every
//   Cudd_Ref on that manager was matched by a Cudd_RecursiveDeref.
// - The layer is as strict as CUDD about references: what CUDD cannot
//   survive (a release without a reference, an unreferenced operand, a
//   result referenced after a release or another operation on its manager,
//   a handle of another manager) is a fault of the manager. The call is
//   harmless here, but Cudd_CheckZeroRef counts every fault as one more
//   outstanding reference from then on, as CUDD's counts stay wrong.
// - An operation that fails (memory exhausted, invalid argument) returns
//   NULL; the kernel never ends the process.
// - Variable index k is the k-th variable created in a manager. The
//   variables of all managers with the same index are the same BuDDy
//   variable, so every manager of one kernel sees the same order, and
//   automatic reordering is switched on and off for all of them at once.
// - Unlike CUDD, two handles of the same non-constant function need not be
//   equal words: a complemented handle and the plain result of an operation
//   may stand for the same function (operations return the plain node of
//   their result, while Cudd_Not(h) is h's node complemented). Compare
//   functions with Cudd_bddLeq (or with the constants, which are canonical,
//   like the variables), never with ==.
// - Cudd_MakeTreeNode groups levels whose BuDDy variables were numbered
//   consecutively; that is the case for groups declared after a
//   Cudd_ShuffleHeap that came before any operation. It returns NULL for a
//   group it cannot keep together.
// - The node table and caches are limited to half of the memory the process
//   may still take when the first Cudd_Init starts the kernel (the smallest
//   of RLIMIT_AS, RLIMIT_DATA, the memory cgroups' limits and physical
//   memory), and to that Cudd_Init's maxMemory bytes when it is not 0; an
//   operation that exceeds the limit returns NULL.
// - Cudd_bddPickOneCube draws from a generator of the manager seeded with a
//   fixed value, so a run is reproducible.
#ifndef QUORVEL_CUDD_LAYER_H
#define QUORVEL_CUDD_LAYER_H

#include <stdint.h>
#include <stdio.h>

// Marks this header as the BuDDy layer (real CUDD has no such macro).
#define QUORVEL_CUDD_LAYER 1

#ifdef __cplusplus
extern "C" {
#endif

// The layer is private to the library that links it.
#if defined(__GNUC__)
#pragma GCC visibility push(hidden)
#endif

typedef struct DdManager DdManager;
typedef struct DdNode DdNode;
typedef struct MtrNode MtrNode;

typedef enum {
    CUDD_REORDER_SAME,
    CUDD_REORDER_NONE,
    CUDD_REORDER_RANDOM,
    CUDD_REORDER_RANDOM_PIVOT,
    CUDD_REORDER_SIFT,
    CUDD_REORDER_SIFT_CONVERGE
} Cudd_ReorderingType;

typedef enum {
    CUDD_NO_ERROR,
    CUDD_MEMORY_OUT,
    CUDD_TOO_MANY_NODES,
    CUDD_MAX_MEM_EXCEEDED,
    CUDD_TIMEOUT_EXPIRED,
    CUDD_TERMINATION,
    CUDD_INVALID_ARG,
    CUDD_INTERNAL_ERROR
} Cudd_ErrorType;

#define CUDD_UNIQUE_SLOTS 256
#define CUDD_CACHE_SLOTS 262144
#define MTR_DEFAULT 0x00000000
#define MTR_FIXED 0x00000004

#define Cudd_Not(node) ((DdNode *)((uintptr_t)(node) ^ (uintptr_t)01))
#define Cudd_Regular(node) ((DdNode *)((uintptr_t)(node) & ~(uintptr_t)01))
#define Cudd_IsComplement(node) ((int)((uintptr_t)(node) & (uintptr_t)01))

// Managers.
DdManager *Cudd_Init(unsigned int numVars, unsigned int numVarsZ, unsigned int numSlots,
                     unsigned int cacheSize, size_t maxMemory);
void Cudd_Quit(DdManager *dd);
int Cudd_CheckZeroRef(DdManager *manager);

// Variables and their order.
DdNode *Cudd_bddNewVar(DdManager *dd);
DdNode *Cudd_bddIthVar(DdManager *dd, int i);
int Cudd_ReadSize(DdManager *dd);
int Cudd_ReadPerm(DdManager *dd, int i);     // level of variable index i
int Cudd_ReadInvPerm(DdManager *dd, int i);  // variable index at level i
int Cudd_ShuffleHeap(DdManager *table, int *permutation);
MtrNode *Cudd_MakeTreeNode(DdManager *dd, unsigned int low, unsigned int size, unsigned int type);
int Cudd_AutodynEnable(DdManager *unique, Cudd_ReorderingType method);
int Cudd_AutodynDisable(DdManager *unique);
int Cudd_ReduceHeap(DdManager *table, Cudd_ReorderingType heuristic, int minsize);
int Cudd_ReorderingStatus(DdManager *unique, Cudd_ReorderingType *method);
unsigned int Cudd_ReadReorderings(DdManager *dd);  // reorderings so far (kernel-wide)

// Constants and references.
DdNode *Cudd_ReadOne(DdManager *dd);
DdNode *Cudd_ReadLogicZero(DdManager *dd);
int Cudd_IsConstant(DdNode *node);
// The variable index of the node's top variable (the complement is ignored);
// for a constant, CUDD's constant index (the largest half-word).
unsigned int Cudd_NodeReadIndex(DdNode *node);
void Cudd_Ref(DdNode *n);
void Cudd_RecursiveDeref(DdManager *table, DdNode *n);

// Operations.
DdNode *Cudd_bddAnd(DdManager *dd, DdNode *f, DdNode *g);
DdNode *Cudd_bddOr(DdManager *dd, DdNode *f, DdNode *g);
DdNode *Cudd_bddXnor(DdManager *dd, DdNode *f, DdNode *g);
DdNode *Cudd_bddIte(DdManager *dd, DdNode *f, DdNode *g, DdNode *h);
DdNode *Cudd_bddExistAbstract(DdManager *manager, DdNode *f, DdNode *cube);
DdNode *Cudd_bddAndAbstract(DdManager *manager, DdNode *f, DdNode *g, DdNode *cube);
DdNode *Cudd_bddSwapVariables(DdManager *dd, DdNode *f, DdNode **x, DdNode **y, int n);
// vector[i] (one entry per variable index) replaces variable i, all at once.
DdNode *Cudd_bddVectorCompose(DdManager *dd, DdNode *f, DdNode **vector);
int Cudd_bddLeq(DdManager *dd, DdNode *f, DdNode *g);
DdNode *Cudd_bddTransfer(DdManager *ddSource, DdManager *ddDestination, DdNode *f);

// Time limit: operations that run past startTime + tl milliseconds of
// processor time give NULL and set the error code CUDD_TIMEOUT_EXPIRED.
// This layer honours the limit in Cudd_bddVectorCompose only (its own
// recursion); every other operation runs to its end.
void Cudd_ResetStartTime(DdManager *unique);
void Cudd_SetTimeLimit(DdManager *unique, unsigned long tl);
void Cudd_UnsetTimeLimit(DdManager *unique);
Cudd_ErrorType Cudd_ReadErrorCode(DdManager *dd);
void Cudd_ClearErrorCode(DdManager *dd);

// Termination: while callback(callback_arg) returns non-zero, every
// node-building operation of the manager gives NULL and sets the error code
// CUDD_TERMINATION (the layer asks once per operation, at its end; CUDD asks
// during the recursion). The callback may be called from the thread that runs
// the operation only. One callback per manager; registering replaces it.
typedef int (*DD_THFP)(const void *);
void Cudd_RegisterTerminationCallback(DdManager *unique, DD_THFP callback, void *callback_arg);
void Cudd_UnregisterTerminationCallback(DdManager *unique);

// Cubes, counting and evaluation.
int Cudd_bddPickOneCube(DdManager *ddm, DdNode *node, char *string);
double Cudd_CountPathsToNonZero(DdNode *node);
int Cudd_DagSize(DdNode *node);  // nodes of the graph, the constant included
double Cudd_CountMinterm(DdManager *manager, DdNode *node, int nvars);
DdNode *Cudd_Eval(DdManager *dd, DdNode *f, int *inputs);
int Cudd_SupportIndices(DdManager *dd, DdNode *f, int **indices);
// 1 when g is a cube (a conjunction of literals, the constant one included),
// 0 otherwise; walks g only down to its first node with two children that
// are not false.
int Cudd_CheckCube(DdManager *dd, DdNode *g);
// The cube of f's essential literals (those every assignment that makes f
// true sets); the constant one for a constant f.
DdNode *Cudd_FindEssential(DdManager *dd, DdNode *f);

// Layer only, for tests (absent with real CUDD; guard uses with
// QUORVEL_CUDD_LAYER): the number of API misuses detected since the process
// started: the faults above, and calls with a quit or null manager.
int Cudd_LayerMisuseCount(void);

// Layer only, for tests: after `operations` further node-building operations
// (the boolean operations, abstractions, swaps and compositions), the next
// one returns NULL as if memory were exhausted, once; a negative count
// disarms. Returns the count that was left (negative when the failure has
// happened or none was armed).
long Cudd_LayerFailAfter(long operations);

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif

#ifdef __cplusplus
}
#endif

#endif
