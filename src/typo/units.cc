#include "typo/units.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace velkan {

double FormatLength(int32_t v) {
  // An integer count of hundredths (|v| / 129.6 fits 32 bits): a length just
  // below zero gives 0, never a negative zero that "%g" would write as "-0".
  return LengthHundredths(v).count * 0.01;
}

double FormatSize(int16_t v) { return static_cast<double>(v) * 0.25; }

std::string_view UnitName(int16_t unit) { return unit == 1 ? "Q" : "pt"; }

void AppendUnit(std::string& out, int16_t unit) { out += UnitName(unit); }

char* PutG(char* d, double value) {
  // The numbers of the output are hundredths at most, and below 10000 have
  // six significant digits at most: "%g" then writes their exact decimals
  // without trailing zeros, which is quicker to do here. A negative zero and
  // everything else go to printf.
  if (std::fabs(value) < 10000.0) {
    double scaled = value * 100.0;
    // The nearest whole number (halves, which are never near one, either way).
    long hundredths = static_cast<long>(scaled + (scaled < 0.0 ? -0.5 : 0.5));
    double k = static_cast<double>(hundredths);
    if (std::fabs(scaled - k) < 1e-6 && !(k == 0.0 && std::signbit(value))) {
      if (hundredths < 0) {
        *d++ = '-';
        hundredths = -hundredths;
      }
      d = std::to_chars(d, d + 16, hundredths / 100).ptr;
      long fraction = hundredths % 100;
      if (fraction != 0) {
        *d++ = '.';
        *d++ = static_cast<char>('0' + fraction / 10);
        if (fraction % 10 != 0) *d++ = static_cast<char>('0' + fraction % 10);
      }
      return d;
    }
  }
  char buf[kMostG + 1];
  int n = std::snprintf(buf, sizeof buf, "%g", value);
  size_t len = n < 0 ? 0 : static_cast<size_t>(n) < kMostG ? static_cast<size_t>(n) : kMostG;
  std::memcpy(d, buf, len);
  return d + len;
}

namespace {
// The two digits of 0 to 99.
constexpr char kTwoDigits[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";
}  // namespace

char* PutHundredths(char* d, Hundredths h) {
  // Below 10000 in magnitude (a count of at most 999999) PutG writes the
  // exact decimals without trailing zeros, as here; a larger number goes to
  // printf's six significant digits. A count of 0 is a positive zero.
  if (h.count > 999999 || h.count < -999999) [[unlikely]] return PutG(d, h.count * 0.01);
  uint32_t u = static_cast<uint32_t>(h.count);
  if (h.count < 0) {
    *d++ = '-';
    u = 0U - u;
  }
  const uint32_t whole = u / 100, fraction = u % 100;
  if (whole < 10) {
    *d++ = static_cast<char>('0' + whole);
  } else if (whole < 100) {
    std::memcpy(d, kTwoDigits + 2 * whole, 2);
    d += 2;
  } else if (whole < 1000) {
    *d++ = static_cast<char>('0' + whole / 100);
    std::memcpy(d, kTwoDigits + 2 * (whole % 100), 2);
    d += 2;
  } else {
    std::memcpy(d, kTwoDigits + 2 * (whole / 100), 2);
    std::memcpy(d + 2, kTwoDigits + 2 * (whole % 100), 2);
    d += 4;
  }
  if (fraction != 0) {
    *d = '.';
    std::memcpy(d + 1, kTwoDigits + 2 * fraction, 2);
    // One decimal when the second is a zero.
    d += d[2] != '0' ? 3 : 2;
  }
  return d;
}

void AppendG(std::string& out, double value) {
  char buf[kMostG];
  out.append(buf, static_cast<size_t>(PutG(buf, value) - buf));
}

namespace {
// The unit's name after a number: "Q" or "pt".
char* PutUnitName(char* d, int16_t unit) {
  if (unit == 1) {
    *d++ = 'Q';
  } else {
    *d++ = 'p';
    *d++ = 't';
  }
  return d;
}
}  // namespace

char* PutNumberWithUnit(char* d, double value, int16_t unit) { return PutUnitName(PutG(d, value), unit); }

char* PutNumberWithUnit(char* d, Hundredths value, int16_t unit) {
  return PutUnitName(PutHundredths(d, value), unit);
}

MojiCountResult MojiCount(int32_t v, int16_t h) {
  double x = FormatLength(v);
  double s = FormatSize(h);
  if (s == 0.0) return {x == 0.0, 0};
  double q = std::trunc(x / s);
  // Counts beyond 32 bits cannot be whole numbers of characters of any size
  // the readers produce; clamp so the conversion stays defined.
  if (q > 2147483647.0) q = 2147483647.0;
  if (q < -2147483648.0) q = -2147483648.0;
  int32_t count = static_cast<int32_t>(q);
  return {x == static_cast<double>(count) * s, count};
}

int32_t PerMille(int32_t t) { return static_cast<int32_t>(static_cast<int64_t>(t) * 1000 / 54); }

}  // namespace velkan
