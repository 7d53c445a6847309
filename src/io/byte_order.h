// How bytes become numbers: one named helper for each order the converter
// reads.
#pragma once

#include <cstdint>

namespace velkan {

// The 16-bit value of two bytes stored high byte first: a code word of a job,
// a Shift_JIS character written lead byte first.
constexpr uint16_t LoadBigEndian16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
inline uint16_t LoadBigEndian16(const char* p) { return LoadBigEndian16(reinterpret_cast<const uint8_t*>(p)); }

// The 16-bit value of two bytes stored low byte first: a word of a table file
// or of a record of the format store.
constexpr uint16_t LoadLittleEndian16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

}  // namespace velkan
