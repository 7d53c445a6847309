// Byte sources and sinks the engine reads from and writes to.
//
// The engine never touches a path itself once a pass has started: it reads
// the code words from a ByteSource and writes the tagged text to a ByteSink,
// so a test can convert a memory buffer to a memory buffer.
#pragma once

#include <cstddef>
#include <cstdint>
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

// A writable stream of bytes.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Accepts n bytes. Returns false when the bytes (or earlier buffered bytes
  // that had to be written to make room) could not be written.
  virtual bool Write(const char* data, size_t n) = 0;
  // Writes out everything buffered. Returns false on a write error.
  virtual bool Flush() { return true; }
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
  bool Write(const char* data, size_t n) override {
    data_.append(data, n);
    return true;
  }
  const std::string& data() const { return data_; }

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

// Writes a file descriptor (not owned) through a 64 KiB buffer.
class FdSink final : public ByteSink {
 public:
  explicit FdSink(int fd) : fd_(fd) {}
  FdSink(const FdSink&) = delete;
  FdSink& operator=(const FdSink&) = delete;
  ~FdSink() override { Flush(); }
  bool Write(const char* data, size_t n) override;
  bool Flush() override;
  // True once any write to the descriptor failed.
  bool failed() const { return failed_; }
  // errno of the first failed write, 0 if none.
  int error() const { return error_; }
  // Bytes the descriptor has taken so far (buffered bytes not counted).
  long long written() const { return written_; }

 private:
  bool WriteAll(const char* data, size_t n);
  int fd_;
  std::unique_ptr<char[]> buf_;  // made at the first write
  size_t used_ = 0;
  bool failed_ = false;
  int error_ = 0;
  long long written_ = 0;
};

}  // namespace velkan
