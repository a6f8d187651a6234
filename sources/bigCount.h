// Whole numbers of any size for exact state counts: a set of states of n
// genes holds up to 2^n states, far past what a double holds exactly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A non-negative whole number as little-endian 32-bit limbs (no limbs: 0).
struct bigCount {
    std::vector<uint32_t> limbs;

    // this += 2^exponent.
    void addPowerOfTwo(size_t exponent);
    // this += other.
    void add(const bigCount& other);
    // this *= 2^exponent.
    void shiftLeft(size_t exponent);
    bool isZero() const;
    // In decimal, without leading zeros ("0" for zero).
    std::string decimal() const;
};

// True when the decimal count `count` is at most 2^53, the largest whole
// number every JSON reader holds exactly; larger counts are written as
// strings.
bool fitsJsonNumber(const std::string& count);
