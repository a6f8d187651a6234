// The exact attractors of the real networks, as stored next to them
// (expected/<variant>/<id>.json). Test code only.
#pragma once

#include <string>
#include <vector>

#include "resultText.h"

struct expectedAttractors {
    std::vector<std::string> genes;  // in order of first appearance in the file
    int nAttractors = 0;
    std::vector<long> attractorSizes;
    bool listed = false;             // whether `attractors` holds the states
    resultText::attractorSet attractors;
};

// Reads one expected file; throws std::runtime_error when it cannot be read
// or is not in the expected form.
expectedAttractors readExpectedAttractors(const std::string& path);
