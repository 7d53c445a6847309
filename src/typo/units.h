// Units and the number formats of the output.
//
// A length is a signed 32-bit count of internal units, 12960 to one unit of
// the job (pt or Q); a character size is a signed 16-bit count of quarter
// units.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velkan {

inline constexpr int32_t kInternalPerUnit = 12960;
inline constexpr int32_t kInternalPerQuarter = 3240;

// trunc(v * 0.007716049382716049) * 0.01: a length in the job unit, cut to
// hundredths toward zero.
double FormatLength(int32_t v);

// v * 0.25.
double FormatSize(int16_t v);

// "pt" for unit 0, "Q" for unit 1.
std::string_view UnitName(int16_t unit);

// Appends the unit name directly behind the number just written.
void AppendUnit(std::string& out, int16_t unit);

// Appends printf("%g", value).
void AppendG(std::string& out, double value);

// The most bytes PutG writes.
inline constexpr size_t kMostG = 24;
// Writes printf("%g", value) at `d`; returns the end of what it wrote.
char* PutG(char* d, double value);

// The most bytes PutNumberWithUnit writes.
inline constexpr size_t kMostNumberWithUnit = kMostG + 2;
// Writes "%g" of value followed by the unit name at `d`; returns the end.
char* PutNumberWithUnit(char* d, double value, int16_t unit);

// Writes printf("%04x", v) at `d` (four bytes); returns their end.
inline char* PutHex4(char* d, uint16_t v) {
  constexpr char kDigits[] = "0123456789abcdef";
  for (int shift = 12; shift >= 0; shift -= 4) *d++ = kDigits[(v >> shift) & 15];
  return d;
}

struct MojiCountResult {
  bool isWhole;
  int32_t count;
};

// Whether a length is a whole number of character heights h (quarter units),
// and the truncated count. A height of 0 gives count 0, whole only for 0.
MojiCountResult MojiCount(int32_t v, int16_t h);

// trunc(t * 1000 / 54), the per-mille form of a tsume or aki percentage.
int32_t PerMille(int32_t t);

}  // namespace velkan
