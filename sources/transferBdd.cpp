// Moving a BDD from one manager into another.
#include "transferBdd.h"

#include "quorvelError.h"

bddHandle transferBdd(DdManager* from, DdManager* to, DdNode* f, const char* failureLine) {
    DdNode* moved = Cudd_bddTransfer(from, to, f);
    if (moved == nullptr) raiseFatal(failureLine);
    return bddHandle(to, moved);
}
