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
    bool listed = false;  // whether `attractors` holds the states
    resultText::attractorSet attractors;
};

// Reads one expected file; throws std::runtime_error when it cannot be read
// or is not in the expected form.
expectedAttractors readExpectedAttractors(const std::string& path);

// The ids (file names without ".json") of the expected files of one variant
// ("inputs-off" or "models") in `networksDir`/expected/, sorted; empty when
// the folder is absent.
std::vector<std::string> listExpectedIds(const std::string& networksDir,
                                         const std::string& variant);
