// Moving a BDD from one manager into another.
#pragma once

#include "bddEngine.h"
#include "bddHandle.h"

// f of `from` moved into `to`, as a handle of `to`; a failed transfer raises
// fatalCondition with failureLine.
bddHandle transferBdd(DdManager* from, DdManager* to, DdNode* f, const char* failureLine);
