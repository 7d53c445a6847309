#include "driver/io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velkan {

namespace {
constexpr size_t kSinkBuffer = 64 * 1024;
constexpr long long kWriteBehind = 8 << 20;
}  // namespace

long MemorySource::Read(uint8_t* buf, size_t n) {
  size_t left = data_.size() - pos_;
  if (n > left) n = left;
  if (n == 0) return 0;  // an empty view may have no data pointer at all
  std::memcpy(buf, data_.data() + pos_, n);
  pos_ += n;
  return static_cast<long>(n);
}

long FdSource::Read(uint8_t* buf, size_t n) {
  for (;;) {
    ssize_t r = ::read(fd_, buf, n);
    if (r >= 0) return static_cast<long>(r);
    if (errno != EINTR) return -1;
  }
}

bool FdSink::WriteAll(const char* data, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd_, data, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      if (!failed_) error_ = errno;
      failed_ = true;
      end_ = cur_;  // no room is lent after a failure
      return false;
    }
    data += w;
    n -= static_cast<size_t>(w);
    written_ += w;
  }
  if (regular_ && start_ + written_ - behindFrom_ >= kWriteBehind) WriteBehind();
  return true;
}

void FdSink::WriteBehind() {
  // Only starts the writing and does not wait for it; a file system that
  // cannot do this says so here, and a failed write shows in the sync at the
  // end, so the result is not looked at.
  (void)::sync_file_range(fd_, behindFrom_, start_ + written_ - behindFrom_, SYNC_FILE_RANGE_WRITE);
  behindFrom_ = start_ + written_;
}

bool FdSink::TakeBytes(const char* data, size_t n) {
  if (failed_) return false;
  if (!buf_) {
    buf_ = std::make_unique<char[]>(kSinkBuffer);
    cur_ = buf_.get();
    end_ = cur_ + kSinkBuffer;
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) {
      // The sink's bytes go to the file from where its descriptor stands.
      off_t at = ::lseek(fd_, 0, SEEK_CUR);
      regular_ = at >= 0;
      start_ = behindFrom_ = at;
    }
  }
  if (n > static_cast<size_t>(end_ - cur_)) {
    if (!Flush()) return false;
    if (n >= kSinkBuffer) return WriteAll(data, n);
  }
  std::memcpy(cur_, data, n);
  cur_ += n;
  return true;
}

bool FdSink::Flush() {
  if (failed_) return false;
  if (!buf_ || cur_ == buf_.get()) return true;
  bool ok = WriteAll(buf_.get(), static_cast<size_t>(cur_ - buf_.get()));
  cur_ = buf_.get();
  if (!ok) end_ = cur_;  // nothing more is taken in
  return ok;
}

}  // namespace velkan
