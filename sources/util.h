// Network input, gene databases, reduction, graph and level algorithms,
// small BDD helpers and the result text: one header for the callers that use
// several of them. Each concern is its own module; modules of the analysis
// include the one they need.
#pragma once

#include "analysisOptions.h"
#include "bddEngine.h"
#include "bddHelpers.h"
#include "compSccLevels.h"
#include "constGeneDb.h"
#include "parseNetwork.h"
#include "printStates.h"
#include "progressSink.h"
#include "readNetworkRules.h"
#include "readNetworkText.h"
#include "refineNetwork.h"
