// Helpers shared by the tests: Shift_JIS text, word buffers, temporary table
// roots and in-memory conversions.
#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "conversion/conversion.h"
#include "conversion/flow.h"
#include "conversion/session.h"
#include "io/byte_streams.h"
#include "tables/pass_tables.h"

namespace velkan {

// Shows a handler's result by its name in test failures.
void PrintTo(Flow flow, std::ostream* os);

}  // namespace velkan

namespace velkan::test {

// UTF-8 text as Shift_JIS (code page 932) bytes. Aborts the test on text
// that has no Shift_JIS form.
std::string Sjis(const std::string& utf8);

// Shift_JIS bytes as UTF-8, for readable failure messages; bytes that do not
// convert are shown as \xHH.
std::string Readable(const std::string& bytes);

// The whole content of a file ("" when it cannot be read).
std::string Slurp(const std::filesystem::path& p);

// From now on in this process and the programs it starts, every write to
// descriptor `fd` takes nothing and names no error (returns 0), as some file
// systems may. False when no such filter can be set here. For a child only.
bool MakeWritesTakeNothing(int fd);

// Code words as input bytes, high byte first.
std::string WordBytes(const std::vector<uint16_t>& words);

// Code words as table bytes, low byte first.
std::string LittleEndianWords(const std::vector<uint16_t>& words);

// A temporary directory removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  // Writes a file below the directory (creating parent folders).
  std::filesystem::path Write(const std::string& relative, const std::string& bytes) const;

 private:
  std::filesystem::path path_;
};

// The tables of a pass read from `root` as a job reads them; an empty root
// gives a pass without tables (every table missing), as the passes over words
// in memory run.
class LoadedTables : public PassTables {
 public:
  explicit LoadedTables(const std::filesystem::path& root = {}) : PassTables(TablePaths(root, std::nullopt)) {
    LoadPassTables(*this);
  }
};

// Collects the output in a string through a buffer of `room` bytes that it
// lends to the writer, as the file sink lends one; what is still in the
// buffer is collected by Flush.
class LendingSink final : public ByteSink {
 public:
  explicit LendingSink(size_t room) : buf_(room) { Reset(); }
  bool Flush() override {
    data_.append(buf_.data(), static_cast<size_t>(cur_ - buf_.data()));
    Reset();
    return true;
  }
  const std::string& data() const { return data_; }

 protected:
  bool TakeBytes(const char* data, size_t n) override {
    Flush();
    if (n <= buf_.size()) return Write(data, n);
    data_.append(data, n);
    return true;
  }

 private:
  void Reset() {
    cur_ = buf_.data();
    end_ = buf_.data() + buf_.size();
  }
  std::vector<char> buf_;
  std::string data_;
};

// Runs one pass over the given input words in memory and returns the output.
struct MemoryRun {
  std::string output;
  Flow loopResult = Flow::kFail;
};

struct MemoryJob {
  int direction = 0;
  int unit = 0;
  int warnings = 0;
  std::filesystem::path root;  // empty: no tables
  std::string definitions;     // definition file content (Shift_JIS); empty = none
  bool haveDefinitions = false;
  // The store directory of user-defined formats; empty: no store is open,
  // so no format is defined and defining one fails.
  std::filesystem::path storeDir;
  // 0: the output goes to a MemorySink, which lends no room; else to a sink
  // that lends a buffer of this many bytes, as the file sink does.
  size_t lentRoom = 0;
  // 0: the input is read whole; else at most this many bytes a read, so that
  // the block read ends wherever a read ends.
  size_t chunk = 0;
};

MemoryRun RunWords(Session& session, const std::vector<uint16_t>& words, const MemoryJob& job = {});
MemoryRun RunBytes(Session& session, const std::string& input, const MemoryJob& job = {});

}  // namespace velkan::test
