// What the fuzz targets share: a small table root made once per process, a
// store of user-defined formats put back to its first state before every
// run, and a pass over bytes in memory through the job's own steps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/job.h"
#include "io/byte_streams.h"
#include "tables/code_tables.h"

namespace velkan::fuzz {

// A folder of its own for this process, removed when the process ends, with
// a small table root below it: every code table, the escape definitions, the
// replacement table, the pi-font file, a definition file and a store of
// user-defined formats with formats 1, 2 and 3 defined.
class Fixture {
 public:
  // The one fixture of the process, made on first use.
  static Fixture& Get();

  const std::filesystem::path& dir() const { return dir_; }
  // The table root ("qdxfiles" below it).
  std::filesystem::path root() const { return dir_ / "root"; }
  // The store directory ("QDXFILES/udf2.tbl" and "udf2.fle" below it).
  std::filesystem::path storeDir() const { return dir_ / "store"; }
  // The definition file of the fixture (Shift_JIS).
  std::filesystem::path definitions() const { return dir_ / "job.def"; }

  // Puts the store back as it was made: its flags and the records of the
  // formats it defines, at their full sizes.
  void ResetStore() const;

  // Writes `bytes` to `relative` below the fixture folder (creating
  // folders) and returns its path.
  std::filesystem::path Write(const std::string& relative, std::string_view bytes) const;

  // Job options over the fixture: table root, store, definition file.
  JobOptions Options() const;

  // Writes the fixture's font tables (code files, overlay 1, roman tables,
  // pi codes, font information, ruby table, pitch file) below `root`, a
  // folder relative to the fixture folder.
  void WriteFontTables(const std::string& root) const;

 private:
  Fixture();
  ~Fixture();
  std::filesystem::path dir_;
  std::string storeTable_;
  std::string storeFormats_;
};

// Runs one pass over `input` (code words, high byte first) with `options`
// through ConvertStream into memory and returns the output.
std::string ConvertBytes(const JobOptions& options, std::string_view input);

// What a PreparedPass run may choose besides its input.
struct PassChoices {
  int direction = 0;
  int unit = 0;
  int warnings = 0;
  // The definition file's text; nullptr: the fixture's own.
  const std::string* definitions = nullptr;
  // The store directory; empty: the fixture's store, put back first.
  std::filesystem::path storeDir;
  // Code tables to lend the pass instead of the fixture's; nullptr: those.
  CodeTables* codes = nullptr;
  // The table root the pass reads its font tables from; empty: the
  // fixture's.
  std::filesystem::path tableRoot;
};

// A pass over the fixture whose code tables, pi-font file and pre-pass
// tables are read once, not per run: each Convert starts a fresh Pass as
// ConvertStream does, lends it the loaded tables, opens the store files and
// runs the main loop (the font tables, which a pass changes, are read every
// run, as in a job). Many times faster than ConvertBytes, which reads every
// table per run. A chain of
// format calls that reads no input ends after 4096 starts (not 2^20), which
// spares the fuzzer long runs that show nothing new.
class PreparedPass {
 public:
  // Reads the fixture's tables, pi-font file and definition file.
  PreparedPass();
  ~PreparedPass();
  PreparedPass(const PreparedPass&) = delete;
  PreparedPass& operator=(const PreparedPass&) = delete;

  // Converts `input` (code words, high byte first) and returns the output.
  std::string Convert(std::string_view input, const PassChoices& choices = {});
  // Converts a text job: `text` goes through the text pre-pass (with the
  // fixture's pre-pass tables, read once) into the pass.
  std::string ConvertText(std::string_view text, const PassChoices& choices = {});

 private:
  std::string ConvertFrom(ByteSource& source, const PassChoices& choices);

  JobOptions options_;
  std::string definitions_;
  struct Tables;
  std::unique_ptr<Tables> tables_;  // lent to each pass in turn
};

// Code words as input bytes, high byte first; as table bytes, low first.
std::string BigEndianWords(const std::vector<uint16_t>& words);
std::string LittleEndianWords(const std::vector<uint16_t>& words);

// Splits fuzz data into a piece whose length is given by its first two bytes
// (low byte first, cut to what is there) and the rest.
struct Split {
  std::string_view first;
  std::string_view rest;
};
Split SplitByLength(const uint8_t* data, size_t size);

}  // namespace velkan::fuzz
