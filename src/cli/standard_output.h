// The standard output of the velkan command, with its write errors kept.
#pragma once

#include <streambuf>

namespace velkan::cli {

// A buffer over descriptor 1 that std::cout writes through while the object
// lives. It keeps the first write that failed (a full disk, a closed pipe),
// so the failure is reported however early it happened, also for output
// small enough to wait in the buffer until the end; bytes after a failure
// are dropped.
class StandardOutput final : public std::streambuf {
 public:
  // Becomes the buffer of std::cout.
  StandardOutput();
  // Gives std::cout its own buffer back (what is buffered is written first).
  ~StandardOutput() override;
  StandardOutput(const StandardOutput&) = delete;
  StandardOutput& operator=(const StandardOutput&) = delete;

  // Writes out what is buffered and closes descriptor 1 (a descriptor that
  // was never open is no failure when nothing was written). Returns the errno
  // of the first failed write or of the close, 0 when all went well.
  int Close();

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int sync() override;

 private:
  // Writes [pbase(), pptr()) and empties the buffer.
  void Drain();
  void WriteOut(const char* s, size_t n);

  std::streambuf* previous_;
  int error_ = 0;
  bool wrote_ = false;
  char buf_[64 * 1024];
};

}  // namespace velkan::cli
