#include "io/byte_streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

#include "io/cancellable_wait.h"

namespace velkan {

namespace {
constexpr size_t kSinkBuffer = 64 * 1024;
constexpr long long kWriteBehind = 8 << 20;
// The buffers once a thread writes them: fewer hand-overs for large outputs.
constexpr size_t kThreadBuffer = 256 * 1024;
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
  if (ended_) return 0;
  for (;;) {
    ssize_t r = ::read(fd_, buf, n);
    if (r >= 0) {
      read_ += r;
      // A regular file gives fewer bytes than asked for only at its end. A
      // size of 0 says nothing (files of /proc have content all the same).
      ended_ = r > 0 && static_cast<size_t>(r) < n && size_ > 0 && read_ == size_;
      return static_cast<long>(r);
    }
    if (errno != EINTR) {
      if (error_ == 0) error_ = errno;
      return -1;
    }
  }
}

bool FdSink::FileWriter::Write(const char* data, size_t n) {
  long long done = written.load(std::memory_order_relaxed);
  while (n > 0) {
    ssize_t w = ::write(fd, data, n);
    if (w <= 0) {
      if (w < 0 && errno == EINTR) continue;
      if (w < 0 && errno == EAGAIN && cancelled != nullptr) {
        // No room yet in a FIFO or device opened without blocking.
        const int waited = WaitUntilWritable(fd, *cancelled);
        if (waited == 0) continue;
        error = waited;
        written.store(done, std::memory_order_relaxed);
        return false;
      }
      // A descriptor that takes nothing and names no error would be asked
      // again for ever: it counts as full, as the file utilities count it.
      error = w < 0 ? errno : ENOSPC;
      written.store(done, std::memory_order_relaxed);
      return false;
    }
    data += w;
    n -= static_cast<size_t>(w);
    done += w;
  }
  written.store(done, std::memory_order_relaxed);
  if (regular && start + done - behindFrom >= kWriteBehind) {
    // Only starts the writing and does not wait for it; a file system that
    // cannot do this says so here, and a failed write shows in the sync at
    // the end, so the result is not looked at.
    (void)::sync_file_range(fd, behindFrom, start + done - behindFrom, SYNC_FILE_RANGE_WRITE);
    behindFrom = start + done;
  }
  return true;
}

// A buffer handed over is the thread's until it has been written; then it is
// the spare the sink takes at the next hand-over.
struct FdSink::Thread {
  std::mutex m;
  std::condition_variable work;  // a buffer to write, or the end
  std::condition_variable done;  // the buffer is written
  std::unique_ptr<char[]> buf;
  size_t size = 0;
  bool busy = false;
  bool ok = true;
  bool quit = false;
  std::thread worker;
};

FdSink::FdSink(int fd, SpareBlock* spare) : spare_(spare) { file_.fd = fd; }

FdSink::~FdSink() {
  Flush();
  if (thread_) {
    {
      std::lock_guard<std::mutex> l(thread_->m);
      thread_->quit = true;
    }
    thread_->work.notify_one();
    thread_->worker.join();
  }
  if (spare_ != nullptr && buf_) spare_->GiveBack(std::move(buf_), capacity_);
}

void FdSink::Fail(int error) {
  if (!failed_) error_ = error;
  failed_ = true;
  end_ = cur_;  // no room is lent after a failure
}

bool FdSink::WriteHere(const char* data, size_t n) {
  if (file_.Write(data, n)) return true;
  Fail(file_.error);
  return false;
}

bool FdSink::Wait() {
  if (!thread_) return true;
  std::unique_lock<std::mutex> l(thread_->m);
  thread_->done.wait(l, [this] { return !thread_->busy; });
  if (thread_->ok) return true;
  l.unlock();
  Fail(file_.error);
  return false;
}

bool FdSink::StartThread() {
  try {
    auto t = std::make_unique<Thread>();
    t->buf = std::make_unique_for_overwrite<char[]>(kThreadBuffer);
    auto larger = std::make_unique_for_overwrite<char[]>(kThreadBuffer);
    Thread* raw = t.get();
    t->worker = std::thread([raw, this] {
      std::unique_lock<std::mutex> l(raw->m);
      for (;;) {
        raw->work.wait(l, [raw] { return raw->busy || raw->quit; });
        if (!raw->busy) return;
        l.unlock();
        bool ok = file_.Write(raw->buf.get(), raw->size);
        l.lock();
        raw->ok = ok;
        raw->busy = false;
        raw->done.notify_one();
      }
    });
    thread_ = std::move(t);
    if (spare_ != nullptr) spare_->GiveBack(std::move(buf_), capacity_);
    buf_ = std::move(larger);
    capacity_ = kThreadBuffer;
    cur_ = buf_.get();
    end_ = cur_ + capacity_;
    return true;
  } catch (const std::exception&) {
    return false;  // no thread to be had: the sink writes itself, as into a pipe
  }
}

bool FdSink::HandOver(bool mayStart) {
  const size_t n = static_cast<size_t>(cur_ - buf_.get());
  if (n == 0) return true;
  if (!thread_) {
    // Written here: into no regular file, and until the first buffer is
    // full; the thread started then takes larger ones.
    cur_ = buf_.get();
    if (!WriteHere(cur_, n)) return false;
    if (mayStart && file_.regular) StartThread();
    return true;
  }
  if (!Wait()) return false;
  {
    std::lock_guard<std::mutex> l(thread_->m);
    std::swap(buf_, thread_->buf);
    thread_->size = n;
    thread_->busy = true;
  }
  thread_->work.notify_one();
  cur_ = buf_.get();
  end_ = cur_ + capacity_;
  return true;
}

bool FdSink::TakeBytes(const char* data, size_t n) {
  if (failed_) return false;
  if (!buf_) {
    buf_ = spare_ != nullptr ? spare_->Take(kSinkBuffer) : std::make_unique_for_overwrite<char[]>(kSinkBuffer);
    capacity_ = kSinkBuffer;
    cur_ = buf_.get();
    end_ = cur_ + capacity_;
    struct stat st {};
    if (knownNew_) {
      file_.regular = true;
    } else if (::fstat(file_.fd, &st) == 0 && S_ISREG(st.st_mode)) {
      // The sink's bytes go to the file from where its descriptor stands.
      off_t at = ::lseek(file_.fd, 0, SEEK_CUR);
      file_.regular = at >= 0;
      file_.start = file_.behindFrom = at;
    }
  }
  if (n > static_cast<size_t>(end_ - cur_)) {
    if (!HandOver(true)) return false;
    if (n >= capacity_) {
      // Straight to the descriptor, after the buffer handed over.
      return Wait() && WriteHere(data, n);
    }
  }
  std::memcpy(cur_, data, n);
  cur_ += n;
  return true;
}

bool FdSink::Flush() {
  if (failed_) return false;
  if (!buf_) return true;
  return HandOver(false) && Wait();
}

}  // namespace velkan
