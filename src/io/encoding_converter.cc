#include "io/encoding_converter.h"

#include <iconv.h>

#include <cerrno>

namespace velkan {

static_assert(sizeof(iconv_t) == sizeof(void*));

EncodingConverter::EncodingConverter(const char* to, const char* from)
    : descriptor_(reinterpret_cast<void*>(iconv_open(to, from))) {}

EncodingConverter::~EncodingConverter() {
  if (ok()) iconv_close(static_cast<iconv_t>(descriptor_));
}

bool EncodingConverter::Convert(std::string_view in, std::string& out, size_t* stoppedAt) {
  out.clear();
  if (stoppedAt != nullptr) *stoppedAt = 0;
  if (!ok()) return false;
  iconv_t cd = static_cast<iconv_t>(descriptor_);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // the initial shift state
  // iconv takes its input through a pointer to non-const char; it only reads.
  char* inPtr = const_cast<char*>(in.data());
  size_t inLeft = in.size();
  char buf[1024];
  bool whole = true;
  while (inLeft > 0) {
    char* outPtr = buf;
    size_t outLeft = sizeof buf;
    size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    out.append(buf, sizeof buf - outLeft);
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      whole = false;
      break;
    }
  }
  if (whole) {
    // The sequence that returns a stateful encoding to its initial state.
    char* outPtr = buf;
    size_t outLeft = sizeof buf;
    if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1)) whole = false;
    out.append(buf, sizeof buf - outLeft);
  }
  if (!whole && stoppedAt != nullptr) *stoppedAt = in.size() - inLeft;
  return whole;
}

}  // namespace velkan
