// Byte sources and sinks the engine reads from and writes to.
//
// The engine never touches a path itself once a pass has started: it reads
// the code words from a ByteSource and writes the tagged text to a ByteSink,
// so a test can convert a memory buffer to a memory buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace velkan {

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

// Reads a file descriptor (not owned) with large reads.
class FdSource final : public ByteSource {
 public:
  explicit FdSource(int fd, long long size = -1) : fd_(fd), size_(size) {}
  long Read(uint8_t* buf, size_t n) override;
  long long Size() const override { return size_; }

 private:
  int fd_;
  long long size_;
};

// Writes a file descriptor (not owned) through a 64 KiB buffer. Into a
// regular file it starts the disk's writing of every 8 MiB written, so
// that a sync at the end of a large output waits for its last part only
// rather than for all of it (and the dirty pages stay few).
class FdSink final : public ByteSink {
 public:
  explicit FdSink(int fd) : fd_(fd) {}
  FdSink(const FdSink&) = delete;
  FdSink& operator=(const FdSink&) = delete;
  ~FdSink() override { Flush(); }
  bool Flush() override;
  // True once any write to the descriptor failed.
  bool failed() const { return failed_; }
  // errno of the first failed write, 0 if none.
  int error() const { return error_; }
  // Bytes the descriptor has taken so far (buffered bytes not counted).
  long long written() const { return written_; }

 protected:
  bool TakeBytes(const char* data, size_t n) override;

 private:
  bool WriteAll(const char* data, size_t n);
  void WriteBehind();
  int fd_;
  // The buffer, made at the first write; [buf_, cur_) is filled and
  // [cur_, end_) lent to writers. No room is lent once a write failed.
  std::unique_ptr<char[]> buf_;
  bool failed_ = false;
  int error_ = 0;
  long long written_ = 0;
  // Whether the descriptor is a regular file; the file's offset where the
  // sink's bytes begin, and where those whose writing to the disk was not
  // yet started begin.
  bool regular_ = false;
  long long start_ = 0;
  long long behindFrom_ = 0;
};

}  // namespace velkan
