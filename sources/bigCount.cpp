// Exact counts of any size.
#include "bigCount.h"

#include <algorithm>

void bigCount::addPowerOfTwo(size_t exponent) {
    const size_t at = exponent / 32;
    if (limbs.size() <= at) limbs.resize(at + 1, 0);
    uint64_t carry = uint64_t(1) << (exponent % 32);
    for (size_t k = at; carry != 0; ++k) {
        if (k == limbs.size()) limbs.push_back(0);
        const uint64_t sum = uint64_t(limbs[k]) + carry;
        limbs[k] = static_cast<uint32_t>(sum);
        carry = sum >> 32;
    }
}

void bigCount::add(const bigCount& other) {
    if (limbs.size() < other.limbs.size()) limbs.resize(other.limbs.size(), 0);
    uint64_t carry = 0;
    for (size_t k = 0; k < limbs.size(); ++k) {
        const uint64_t sum =
            uint64_t(limbs[k]) + (k < other.limbs.size() ? other.limbs[k] : 0) + carry;
        limbs[k] = static_cast<uint32_t>(sum);
        carry = sum >> 32;
    }
    if (carry != 0) limbs.push_back(static_cast<uint32_t>(carry));
}

void bigCount::shiftLeft(size_t exponent) {
    if (isZero()) return;
    const size_t whole = exponent / 32;
    const unsigned bits = static_cast<unsigned>(exponent % 32);
    limbs.insert(limbs.begin(), whole, 0);
    if (bits == 0) return;
    uint32_t carry = 0;
    for (uint32_t& limb : limbs) {
        const uint32_t next = limb >> (32 - bits);
        limb = (limb << bits) | carry;
        carry = next;
    }
    if (carry != 0) limbs.push_back(carry);
}

bool bigCount::isZero() const {
    return std::all_of(limbs.begin(), limbs.end(), [](uint32_t limb) { return limb == 0; });
}

std::string bigCount::decimal() const {
    std::vector<uint32_t> rest = limbs;
    std::string digits;
    auto restIsZero = [&]() {
        return std::all_of(rest.begin(), rest.end(), [](uint32_t limb) { return limb == 0; });
    };
    while (!restIsZero()) {
        // rest /= 10^9, the remainder gives nine digits.
        uint64_t remainder = 0;
        for (size_t k = rest.size(); k-- > 0;) {
            const uint64_t value = (remainder << 32) | rest[k];
            rest[k] = static_cast<uint32_t>(value / 1000000000u);
            remainder = value % 1000000000u;
        }
        for (int d = 0; d < 9; ++d) {
            digits.push_back(static_cast<char>('0' + remainder % 10));
            remainder /= 10;
        }
    }
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    if (digits.empty()) digits = "0";
    return std::string(digits.rbegin(), digits.rend());
}

bool fitsJsonNumber(const std::string& count) {
    const std::string exactLimit = "9007199254740992";
    return count.size() < exactLimit.size() ||
           (count.size() == exactLimit.size() && count <= exactLimit);
}
