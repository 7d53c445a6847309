#include "io/line_counting_sink.h"

#include <cstring>

namespace velkan {

namespace {
constexpr size_t kBuffer = 64 * 1024;
}  // namespace

LineCountingSink::LineCountingSink(ByteSink& inner) : inner_(inner), buf_(new char[kBuffer]) {
  cur_ = buf_.get();
  end_ = cur_ + kBuffer;
  scanned_ = cur_;
}

void LineCountingSink::Count(const char* from, const char* to, long long at) {
  for (const char* p = from; (p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(to - p))));) {
    ++p;
    ++line_;
    lineStart_ = at + (p - from);
  }
}

LineCountingSink::Position LineCountingSink::Next() {
  Count(scanned_, cur_, base_ + (scanned_ - buf_.get()));
  scanned_ = cur_;
  const long long at = base_ + (cur_ - buf_.get());
  return {line_, at - lineStart_ + 1};
}

bool LineCountingSink::PassOn() {
  Next();
  const size_t n = static_cast<size_t>(cur_ - buf_.get());
  base_ += static_cast<long long>(n);
  cur_ = scanned_ = buf_.get();
  if (n > 0 && !failed_ && !inner_.Write(buf_.get(), n)) failed_ = true;
  // Nothing more is lent once the inner sink refused bytes.
  if (failed_) end_ = cur_;
  return !failed_;
}

bool LineCountingSink::TakeBytes(const char* data, size_t n) {
  if (!PassOn()) return false;
  if (n <= static_cast<size_t>(end_ - cur_)) {
    std::memcpy(cur_, data, n);
    cur_ += n;
    return true;
  }
  Count(data, data + n, base_);
  base_ += static_cast<long long>(n);
  if (!inner_.Write(data, n)) {
    failed_ = true;
    end_ = cur_;
  }
  return !failed_;
}

bool LineCountingSink::Flush() {
  bool ok = PassOn();
  return inner_.Flush() && ok;
}

}  // namespace velkan
