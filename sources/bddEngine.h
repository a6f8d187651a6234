// The one header through which the project sees its BDD engine: CUDD's
// cudd.h, or the BuDDy layer's header of the same name (sources/cuddLayer/).
// Every module includes this file, never cudd.h directly.
//
// - CUDD 3.0.0's cudd.h uses FILE and size_t without including the headers
//   that declare them, so they come first here.
// - CUDD declares Cudd_MakeTreeNode only when mtr.h was included before
//   cudd.h, and MTR_FIXED is defined in mtr.h, which CUDD's `make install`
//   does not install. When mtr.h is on the include path it is used; when it
//   is not, the two are declared here as CUDD defines them.
#ifndef QUORVEL_BDD_ENGINE_H
#define QUORVEL_BDD_ENGINE_H

#include <stddef.h>
#include <stdio.h>

#if defined(QUORVEL_WITH_CUDD) && __has_include(<mtr.h>)
#include <mtr.h>
#endif

#include "cudd.h"

#if defined(QUORVEL_WITH_CUDD) && !defined(MTR_H_)
#ifdef __cplusplus
extern "C" {
#endif
typedef struct MtrNode_ MtrNode;
// Groups the `size` variables from index `low` on for reordering.
extern MtrNode* Cudd_MakeTreeNode(DdManager* dd, unsigned int low, unsigned int size,
                                  unsigned int type);
#ifdef __cplusplus
}
#endif
#define MTR_DEFAULT 0x00000000
#define MTR_FIXED 0x00000004  // the group's variables keep their relative order
#endif

#endif
