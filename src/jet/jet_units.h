// Tests on four UTF-16 units at once, for the loops over cell texts that
// nearly always find nothing (no surrogate, no unit above 0xFF in Latin
// text). Each unit sits in a 16-bit lane of a 64-bit word; which lane holds
// which unit does not matter to the tests.
#pragma once

#include <cstdint>
#include <cstring>

inline uint64_t jet_load4(const char16_t* s) {
    uint64_t w;
    std::memcpy(&w, s, 8);
    return w;
}

// True when a lane of x is zero (the borrow of a zero lane reaches its top
// bit; other lanes cannot set it).
inline bool jet_any_lane_zero(uint64_t x) {
    constexpr uint64_t ones = 0x0001000100010001ull;
    return ((x - ones) & ~x & (ones << 15)) != 0;
}

inline bool jet_any_above_ff(uint64_t w) {
    return (w & 0xFF00FF00FF00FF00ull) != 0;
}

// True when a unit is a surrogate half (0xD800 to 0xDFFF).
inline bool jet_any_surrogate(uint64_t w) {
    return jet_any_lane_zero((w & 0xF800F800F800F800ull) ^ 0xD800D800D800D800ull);
}

// The first surrogate half in s[from..n), or n.
inline size_t jet_find_surrogate(const char16_t* s, size_t from, size_t n) {
    size_t i = from;
    while (i + 4 <= n && !jet_any_surrogate(jet_load4(s + i))) i += 4;
    while (i < n && (s[i] & 0xF800) != 0xD800) ++i;
    return i;
}
