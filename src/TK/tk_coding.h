// Little-endian encoding helpers shared by every binary format the system
// reads or writes (compound files, BIFF records, OCI dates). Both file formats
// are little-endian whatever the host is, so all byte order lives here.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace tk {

inline void put_u16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void put_u32(uint8_t* p, uint32_t v) {
    put_u16(p, static_cast<uint16_t>(v));
    put_u16(p + 2, static_cast<uint16_t>(v >> 16));
}
inline void put_u64(uint8_t* p, uint64_t v) {
    put_u32(p, static_cast<uint32_t>(v));
    put_u32(p + 4, static_cast<uint32_t>(v >> 32));
}
inline void put_f64(uint8_t* p, double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    put_u64(p, bits);
}

inline uint16_t get_u16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t get_u32(const uint8_t* p) {
    return static_cast<uint32_t>(get_u16(p)) | (static_cast<uint32_t>(get_u16(p + 2)) << 16);
}
inline uint64_t get_u64(const uint8_t* p) {
    return static_cast<uint64_t>(get_u32(p)) | (static_cast<uint64_t>(get_u32(p + 4)) << 32);
}
inline double get_f64(const uint8_t* p) {
    uint64_t bits = get_u64(p);
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// Appending forms for building records in a growable buffer.
inline void append_u8(std::vector<uint8_t>& b, uint8_t v) {
    b.push_back(v);
}
inline void append_u16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void append_u32(std::vector<uint8_t>& b, uint32_t v) {
    append_u16(b, static_cast<uint16_t>(v));
    append_u16(b, static_cast<uint16_t>(v >> 16));
}
inline void append_f64(std::vector<uint8_t>& b, double v) {
    uint8_t tmp[8];
    put_f64(tmp, v);
    b.insert(b.end(), tmp, tmp + 8);
}
inline void append_bytes(std::vector<uint8_t>& b, const void* p, size_t n) {
    const auto* s = static_cast<const uint8_t*>(p);
    b.insert(b.end(), s, s + n);
}

}  // namespace tk
