// Layout of a compound file (OLE2 structured storage, as [MS-CFB] describes
// it): the header, the sector markers of the allocation tables and the
// 128-byte directory entry. Only constants live here; the reader (stg_file)
// and the writer (stg_write) share them. All fields are little-endian; use
// the helpers of TK/tk_coding.h to read and write them.
#pragma once

#include <cstdint>

namespace stg {

// --- Header (the first 512 bytes; a version 4 file pads it to 4096) ---
inline constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
inline constexpr uint32_t kHeaderSize = 512;

inline constexpr uint32_t kOffSignature = 0x00;        // 8 bytes
inline constexpr uint32_t kOffClsid = 0x08;            // 16 bytes, zero
inline constexpr uint32_t kOffMinorVersion = 0x18;     // u16, 0x003E
inline constexpr uint32_t kOffMajorVersion = 0x1A;     // u16, 3 or 4
inline constexpr uint32_t kOffByteOrder = 0x1C;        // u16, 0xFFFE
inline constexpr uint32_t kOffSectorShift = 0x1E;      // u16, 9 (v3) or 12 (v4)
inline constexpr uint32_t kOffMiniSectorShift = 0x20;  // u16, 6
inline constexpr uint32_t kOffReserved = 0x22;         // 6 bytes, zero
inline constexpr uint32_t kOffNumDirSectors = 0x28;    // u32, 0 in v3
inline constexpr uint32_t kOffNumFatSectors = 0x2C;    // u32
inline constexpr uint32_t kOffFirstDirSector = 0x30;   // u32
inline constexpr uint32_t kOffTransaction = 0x34;      // u32, 0
inline constexpr uint32_t kOffMiniCutoff = 0x38;       // u32, 4096
inline constexpr uint32_t kOffFirstMiniFat = 0x3C;     // u32
inline constexpr uint32_t kOffNumMiniFat = 0x40;       // u32
inline constexpr uint32_t kOffFirstDifat = 0x44;       // u32
inline constexpr uint32_t kOffNumDifat = 0x48;         // u32
inline constexpr uint32_t kOffHeaderDifat = 0x4C;      // 109 x u32: the first FAT sectors

inline constexpr uint16_t kMinorVersion = 0x003E;
inline constexpr uint16_t kMajorVersion3 = 3;
inline constexpr uint16_t kMajorVersion4 = 4;
inline constexpr uint16_t kByteOrderMark = 0xFFFE;
inline constexpr uint16_t kSectorShift3 = 9;   // 512-byte sectors
inline constexpr uint16_t kSectorShift4 = 12;  // 4096-byte sectors
inline constexpr uint16_t kMiniSectorShift = 6;
inline constexpr uint32_t kMiniSectorSize = 64;
inline constexpr uint32_t kMiniStreamCutoff = 4096;  // streams below this live in the mini stream
inline constexpr uint32_t kHeaderDifatCount = 109;

// --- Sector numbers: regular ones are below kMaxRegSect ---
inline constexpr uint32_t kMaxRegSect = 0xFFFFFFFA;
inline constexpr uint32_t kDifSect = 0xFFFFFFFC;     // FAT entry of a DIFAT sector
inline constexpr uint32_t kFatSect = 0xFFFFFFFD;     // FAT entry of a FAT sector
inline constexpr uint32_t kEndOfChain = 0xFFFFFFFE;  // last sector of a chain
inline constexpr uint32_t kFreeSect = 0xFFFFFFFF;    // unallocated

// --- Directory entry (128 bytes) ---
inline constexpr uint32_t kDirEntrySize = 128;
inline constexpr uint32_t kOffDirName = 0x00;        // 32 UTF-16 units incl. terminator
inline constexpr uint32_t kOffDirNameLength = 0x40;  // u16, bytes incl. terminator
inline constexpr uint32_t kOffDirType = 0x42;        // u8
inline constexpr uint32_t kOffDirColor = 0x43;       // u8, 0 red 1 black
inline constexpr uint32_t kOffDirLeft = 0x44;        // u32 sibling id
inline constexpr uint32_t kOffDirRight = 0x48;       // u32 sibling id
inline constexpr uint32_t kOffDirChild = 0x4C;       // u32 child id
inline constexpr uint32_t kOffDirClsid = 0x50;       // 16 bytes
inline constexpr uint32_t kOffDirStateBits = 0x60;   // u32
inline constexpr uint32_t kOffDirCreated = 0x64;     // FILETIME
inline constexpr uint32_t kOffDirModified = 0x6C;    // FILETIME
inline constexpr uint32_t kOffDirStart = 0x74;       // u32 first sector (root: mini stream)
inline constexpr uint32_t kOffDirSize = 0x78;        // u64 (v3: only the low 32 bits count)

inline constexpr uint32_t kMaxNameUnits = 31;  // name length without terminator
inline constexpr uint32_t kNoStream = 0xFFFFFFFF;
inline constexpr uint32_t kMaxRegStreamId = 0xFFFFFFFA;

inline constexpr uint8_t kTypeUnused = 0;
inline constexpr uint8_t kTypeStorage = 1;
inline constexpr uint8_t kTypeStream = 2;
inline constexpr uint8_t kTypeRoot = 5;
inline constexpr uint8_t kColorRed = 0;
inline constexpr uint8_t kColorBlack = 1;

// A version 3 stream must stay below 2 GiB ([MS-CFB] limits its size field).
inline constexpr uint64_t kMaxStreamSize3 = 0x80000000ull;

}  // namespace stg
