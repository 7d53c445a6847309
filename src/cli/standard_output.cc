#include "cli/standard_output.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

namespace velkan::cli {

StandardOutput::StandardOutput() {
  setp(buf_, buf_ + sizeof buf_);
  previous_ = std::cout.rdbuf(this);
}

StandardOutput::~StandardOutput() {
  Drain();
  std::cout.rdbuf(previous_);
}

void StandardOutput::WriteOut(const char* s, size_t n) {
  if (n > 0) wrote_ = true;
  while (n > 0 && error_ == 0) {
    ssize_t w = ::write(STDOUT_FILENO, s, n);
    if (w <= 0) {
      // A descriptor that takes nothing and names no error counts as full.
      if (w == 0) error_ = ENOSPC;
      else if (errno != EINTR) error_ = errno;
      continue;
    }
    s += w;
    n -= static_cast<size_t>(w);
  }
}

void StandardOutput::Drain() {
  WriteOut(pbase(), static_cast<size_t>(pptr() - pbase()));
  setp(buf_, buf_ + sizeof buf_);
}

StandardOutput::int_type StandardOutput::overflow(int_type c) {
  Drain();
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

std::streamsize StandardOutput::xsputn(const char* s, std::streamsize n) {
  const size_t size = static_cast<size_t>(n);
  if (size <= static_cast<size_t>(epptr() - pptr())) {
    std::memcpy(pptr(), s, size);
    pbump(static_cast<int>(n));
    return n;
  }
  Drain();
  if (size < sizeof buf_) {
    std::memcpy(pptr(), s, size);
    pbump(static_cast<int>(n));
  } else {
    WriteOut(s, size);
  }
  return n;  // a failure is kept, not shown to the stream
}

int StandardOutput::sync() {
  Drain();
  return 0;
}

int StandardOutput::Close() {
  Drain();
  if (::close(STDOUT_FILENO) != 0 && error_ == 0 && errno != EINTR && (errno != EBADF || wrote_)) error_ = errno;
  return error_;
}

}  // namespace velkan::cli
