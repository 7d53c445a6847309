// Byte sources and sinks the engine reads from and writes to.
//
// The engine never touches a path itself once a pass has started: it reads
// the code words from a ByteSource and writes the tagged text to a ByteSink,
// so a test can convert a memory buffer to a memory buffer.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace velkan {

// A block of bytes handed from one user to the next: what a thread that runs
// one pass after another keeps between them, so that the buffers of its
// passes are made once. Whoever takes the block owns it until it gives it
// back; what it holds then means nothing to the next user.
class SpareBlock {
 public:
  // The block kept, when it has room for `size` bytes; else a new one of
  // `size` bytes. Its bytes are not cleared.
  std::unique_ptr<char[]> Take(size_t size) {
    if (block_ && size_ >= size) return std::move(block_);
    return std::make_unique_for_overwrite<char[]>(size);
  }
  // Keeps `block`, of `size` bytes, for the next user, unless a larger one
  // is kept already.
  void GiveBack(std::unique_ptr<char[]> block, size_t size) {
    if (block_ && size_ > size) return;
    block_ = std::move(block);
    size_ = size;
  }

 private:
  std::unique_ptr<char[]> block_;
  size_t size_ = 0;
};

// A readable stream of bytes.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to n bytes into buf. Returns the number read, 0 at the end of
  // the data, or -1 on a read error.
  virtual long Read(uint8_t* buf, size_t n) = 0;
  // Total size in bytes when known (for progress), else -1.
  virtual long long Size() const { return -1; }
};

// A writable stream of bytes. A sink may lend the writer room of its own
// buffer ([cur_, end_)): bytes that fit are copied there without a call
// through the sink; the rest go to TakeBytes.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Accepts n bytes. Returns false when the bytes (or earlier buffered bytes
  // that had to be written to make room) could not be written.
  bool Write(const char* data, size_t n) {
    if (n <= static_cast<size_t>(end_ - cur_)) {
      // Most pieces are short tags: two overlapping copies of fixed size
      // take them without a call.
      if (n >= 8 && n <= 16) {
        std::memcpy(cur_, data, 8);
        std::memcpy(cur_ + n - 8, data + n - 8, 8);
      } else if (n != 0) {
        std::memcpy(cur_, data, n);
      }
      cur_ += n;
      return true;
    }
    return TakeBytes(data, n);
  }
  // Writes out everything buffered. Returns false on a write error.
  virtual bool Flush() { return true; }

  // The room lent, for composing bytes in place: [room(), roomEnd()), empty
  // when none is lent. Bytes put there are written by Advance.
  char* room() const { return cur_; }
  char* roomEnd() const { return end_; }
  // Takes the bytes put at [room(), to) as written; `to` lies in the room.
  void Advance(char* to) { cur_ = to; }

 protected:
  // Accepts n bytes that do not fit in the room lent (all bytes, for a sink
  // that lends none); as Write.
  virtual bool TakeBytes(const char* data, size_t n) = 0;
  char* cur_ = nullptr;
  char* end_ = nullptr;
};

// Reads from a byte buffer owned by the caller.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::string_view data) : data_(data) {}
  long Read(uint8_t* buf, size_t n) override;
  long long Size() const override { return static_cast<long long>(data_.size()); }

 private:
  std::string_view data_;
  size_t pos_ = 0;
};

// Appends to a string.
class MemorySink final : public ByteSink {
 public:
  const std::string& data() const { return data_; }

 protected:
  bool TakeBytes(const char* data, size_t n) override {
    data_.append(data, n);
    return true;
  }

 private:
  std::string data_;
};

// Takes every byte and keeps none: the output of a pass that is thrown away.
// It lends a buffer of its own, so writing costs what it costs into a file.
class DiscardSink final : public ByteSink {
 public:
  DiscardSink() { Rewind(); }
  DiscardSink(const DiscardSink&) = delete;
  DiscardSink& operator=(const DiscardSink&) = delete;
  bool Flush() override {
    Rewind();
    return true;
  }

 protected:
  bool TakeBytes(const char*, size_t) override {
    Rewind();
    return true;
  }

 private:
  void Rewind() {
    cur_ = room_;
    end_ = room_ + sizeof room_;
  }
  char room_[16384];
};

// Reads a file descriptor (not owned) with large reads. `size`, when known
// (a regular file's size, else -1), also spares the read that would only find
// the end: once a read came back short with exactly `size` bytes read in all,
// the file ended there. A file that grew past it is read to its end as any.
class FdSource final : public ByteSource {
 public:
  explicit FdSource(int fd, long long size = -1) : fd_(fd), size_(size) {}
  long Read(uint8_t* buf, size_t n) override;
  long long Size() const override { return size_; }
  // errno of the first failed read, 0 if none.
  int error() const { return error_; }

 private:
  int fd_;
  long long size_;
  long long read_ = 0;  // bytes read so far
  bool ended_ = false;  // the end was met where `size_` said it lies
  int error_ = 0;
};

// Writes a file descriptor (not owned) through a 64 KiB buffer. Into a
// regular file, once the output outgrows the buffer, a thread of the sink's
// own writes each full buffer (then of 256 KiB) while the next one fills,
// and the disk's writing is started every 8 MiB, so that a sync at the end
// waits for the last part only (and the dirty pages stay few). A write that
// fails on that thread is reported when the next buffer is handed over, or
// by Flush.
class FdSink final : public ByteSink {
 public:
  // With `spare`, the sink's buffer is taken from it and given back to it
  // when the sink is done.
  explicit FdSink(int fd, SpareBlock* spare = nullptr);
  // A sink whose descriptor is given by Attach, before anything is written.
  explicit FdSink(SpareBlock* spare = nullptr) : FdSink(-1, spare) {}
  void Attach(int fd) { file_.fd = fd; }
  // The same for a regular file the caller has just made, empty: written from
  // its start without asking the descriptor what it is and where it stands.
  void AttachNewFile(int fd) {
    file_.fd = fd;
    knownNew_ = true;
  }
  // The same for a descriptor opened with O_NONBLOCK (a FIFO or a device a
  // job that can be cancelled opened, see OutputFile::nonBlocking): where it
  // has no room, the write waits for some, asking `cancelled` (not owned)
  // while it waits (see io/cancellable_wait.h); once it says true the write
  // fails with ECANCELED. It is asked on the thread that writes, which for
  // anything but a regular file is the thread that uses the sink.
  void AttachNonBlocking(int fd, const std::function<bool()>& cancelled) {
    file_.fd = fd;
    file_.cancelled = &cancelled;
  }
  FdSink(const FdSink&) = delete;
  FdSink& operator=(const FdSink&) = delete;
  ~FdSink() override;
  // Writes out everything buffered and waits until the descriptor took it.
  bool Flush() override;
  // True once any write to the descriptor failed.
  bool failed() const { return failed_; }
  // errno of the first failed write, 0 if none.
  int error() const { return error_; }
  // Bytes the descriptor has taken so far (buffered bytes not counted).
  long long written() const { return file_.written.load(std::memory_order_relaxed); }

 protected:
  bool TakeBytes(const char* data, size_t n) override;

 private:
  // The descriptor's writing, done by the sink or by its thread, never by
  // both at once.
  struct FileWriter {
    // Writes all n bytes; false (with `error` set) when the descriptor
    // refused some.
    bool Write(const char* data, size_t n);
    int fd;
    int error = 0;
    // Asked while a descriptor opened with O_NONBLOCK has no room; null:
    // the descriptor blocks, and EAGAIN is a failure like any.
    const std::function<bool()>* cancelled = nullptr;
    std::atomic<long long> written{0};
    // Whether the descriptor is a regular file; the file's offset where the
    // sink's bytes begin, and where those whose writing to the disk was not
    // yet started begin.
    bool regular = false;
    long long start = 0;
    long long behindFrom = 0;
  };
  struct Thread;
  // Writes [buf_, cur_), on the thread when one runs (started when
  // `mayStart` and the file is regular), and empties the buffer.
  bool HandOver(bool mayStart);
  // Starts the thread, with the larger buffers, on an empty buffer; false
  // when no thread can be had.
  bool StartThread();
  // Waits until the thread has written the buffer it was handed.
  bool Wait();
  // Writes on the sink's side, while no thread writes; a failure is recorded.
  bool WriteHere(const char* data, size_t n);
  void Fail(int error);

  FileWriter file_;
  // The buffer, made at the first write; [buf_, cur_) is filled and
  // [cur_, end_) lent to writers. No room is lent once a write failed.
  std::unique_ptr<char[]> buf_;
  size_t capacity_ = 0;
  std::unique_ptr<Thread> thread_;
  bool failed_ = false;
  int error_ = 0;
  bool knownNew_ = false;  // AttachNewFile
  SpareBlock* spare_;
};

}  // namespace velkan
