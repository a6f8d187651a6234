// Marks the symbols a shared library of the project exports (its version
// script lists them as well).
#pragma once

#define QUORVEL_EXPORT __attribute__((visibility("default")))
