// Tests on four UTF-16 units at once, for the loops over cell texts that
// nearly always find nothing (no surrogate, no unit above 0xFF in Latin
// text). Each unit sits in a 16-bit lane of a 64-bit word; which lane holds
// which unit does not matter to the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Narrows units to bytes while every unit fits a byte: d[k] = s[k] for the
// longest such prefix of s[0..n), whose length is returned (n when all fit).
// Long Latin texts spend their time here: sixteen units a step where SSE2
// is there, four otherwise.
inline size_t jet_narrow_prefix(const char16_t* s, size_t n, uint8_t* d) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF00));
    for (; i + 16 <= n; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 8));
        const __m128i any = _mm_and_si128(_mm_or_si128(a, b), high);
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(any, _mm_setzero_si128())) != 0xFFFF)
            break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_packus_epi16(a, b));
    }
#endif
    for (; i + 4 <= n && !jet_any_above_ff(jet_load4(s + i)); i += 4)
        for (size_t k = i; k < i + 4; ++k) d[k] = static_cast<uint8_t>(s[k]);
    for (; i < n && s[i] <= 0xFF; ++i) d[i] = static_cast<uint8_t>(s[i]);
    return i;
}
