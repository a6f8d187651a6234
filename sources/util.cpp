// Network input, gene databases, reduction, graph and level algorithms,
// small BDD helpers and the result text.
#include "util.h"

#include <fstream>
#include <iostream>

// ---- Network file reader -------------------------------------------------


// ---- Gene database -------------------------------------------------------


// ---- Reduction -------------------------------------------------------------


// ---- Dependency graph and components ---------------------------------------


// ---- Blocks and levels -------------------------------------------------------


// ---- BDD helpers -------------------------------------------------------------


// ---- Composition helper and result text --------------------------------------

