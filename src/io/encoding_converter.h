// Text from one character encoding into another, through the system's iconv.
// The one place that opens, uses and closes a conversion descriptor: the table
// tools (Shift_JIS and UTF-8), the benchmarks' job maker and the tests use it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velkan {

// A conversion descriptor from encoding `from` into encoding `to` (iconv's
// names: "CP932", "UTF-8", "UTF-16BE", ...), open for the object's lifetime.
// One object converts any number of texts, one after the other; it is not to
// be shared between threads while it converts.
class EncodingConverter {
 public:
  EncodingConverter(const char* to, const char* from);
  ~EncodingConverter();
  EncodingConverter(const EncodingConverter&) = delete;
  EncodingConverter& operator=(const EncodingConverter&) = delete;

  // False when the system knows no conversion between the two encodings;
  // Convert then converts nothing.
  bool ok() const { return descriptor_ != reinterpret_cast<void*>(-1); }

  // Converts the whole of `in` into `out` (replacing what `out` held), from
  // the initial shift state. False when some byte sequence of `in` has no form
  // in the target encoding, is no valid sequence of the source encoding or is
  // cut short at the end; `out` then holds what the bytes before it gave, and
  // `*stoppedAt` (when given) is the offset in `in` of the first byte that did
  // not convert.
  bool Convert(std::string_view in, std::string& out, size_t* stoppedAt = nullptr);

 private:
  void* descriptor_;  // an iconv_t ((iconv_t)-1 when none), opaque so that users need not include <iconv.h>
};

}  // namespace velkan
