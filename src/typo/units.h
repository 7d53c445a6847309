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

// A number of the output counted in hundredths, written as the number
// count * 0.01 is (see PutHundredths): lengths and sizes are kept whole
// from the reading of their arguments to the digits written.
struct Hundredths {
  int32_t count;
};

// A length in the job unit, cut to hundredths toward zero:
// trunc(v * 0.007716049382716049).
inline Hundredths LengthHundredths(int32_t v) {
  return {static_cast<int32_t>(static_cast<double>(v) * 0.007716049382716049)};
}

// A size of v quarter units in hundredths of the unit: v * 25.
inline Hundredths SizeHundredths(int16_t v) { return {int32_t{v} * 25}; }

// LengthHundredths(v) * 0.01: a length in the job unit, cut to hundredths
// toward zero.
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

// Writes what PutG(d, h.count * 0.01) writes, from the whole count: at most
// kMostG bytes. Returns the end.
char* PutHundredths(char* d, Hundredths h);

// The most bytes PutNumberWithUnit writes.
inline constexpr size_t kMostNumberWithUnit = kMostG + 2;
// Writes "%g" of value followed by the unit name at `d`; returns the end.
char* PutNumberWithUnit(char* d, double value, int16_t unit);
// The same for a number in hundredths, as PutHundredths writes it.
char* PutNumberWithUnit(char* d, Hundredths value, int16_t unit);

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
