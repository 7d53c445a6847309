// The replacement table of text jobs ("\qdxfiles\nmcnv.tbl"): text sequences
// that stand for lists of code words.
//
// Each line of the file is a key, an "=" and code words written as four
// hexadecimal digits each, optionally separated by ",": "ab=D00A,8140". Lines
// are read in pieces of at most 79 characters, each piece a line of its own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "io/byte_order.h"
#include "tables/table_file.h"
#include "tables/table_root.h"

namespace velkan {

inline constexpr size_t kReplacementLineLength = 79;   // longer lines are read in pieces
inline constexpr size_t kReplacementScanLength = 75;   // characters after "=" scanned for words
inline constexpr size_t kMaxReplacementKey = 20;       // longer keys are cut to their first 20 bytes
inline constexpr size_t kMaxReplacementWords = 10;     // further words of a line are dropped
inline constexpr size_t kMaxReplacementEntries = 256;  // further lines are dropped

// One entry: a key of 1-20 bytes and 1-10 code words.
struct ReplacementEntry {
  std::array<char, kMaxReplacementKey> key{};
  uint8_t keyLength = 0;
  // The words as big-endian byte pairs, ready to be written as they stand.
  std::array<char, 2 * kMaxReplacementWords> words{};
  uint8_t wordCount = 0;

  // The key's bytes.
  std::string_view Key() const { return {key.data(), keyLength}; }
  // The words as they go into the code stream, high byte first.
  std::string_view WordBytes() const { return {words.data(), 2u * wordCount}; }
  // Word i (i < wordCount).
  uint16_t Word(size_t i) const { return LoadBigEndian16(words.data() + 2 * i); }
};

class ReplacementTable {
 public:
  // Removes every entry.
  void Clear();

  // Adds the entry one line (without its line end) defines and returns true;
  // returns false and adds nothing for a line with no "=" within its first 79
  // characters, an "=" in column 0, no complete word, or a full table. The
  // key is every byte before the first "=" (cut at 20 bytes). After the "="
  // at most 75 characters are scanned: "," is skipped, hexadecimal digits
  // make a word four at a time, any other character ends the scan; digits
  // that do not complete a word are dropped, and so are words beyond the
  // tenth.
  bool AddLine(std::string_view line);

  // The first entry, in file order, whose key equals the bytes at the start
  // of `text`; nullptr when none. Never looks past the end of `text`.
  const ReplacementEntry* Match(std::string_view text) const;

  // The number of entries, whether there are none, and entry i (i < size())
  // in file order.
  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  const ReplacementEntry& operator[](size_t i) const { return entries_[i]; }

 private:
  std::vector<ReplacementEntry> entries_;
  // Per first byte of the key, the entries that begin with it, in file order.
  std::array<std::vector<uint16_t>, 256> byFirstByte_{};
};

// Clears the table and reads "\qdxfiles\nmcnv.tbl" into it. Returns 0, or -1
// when the file cannot be opened (or is no regular file) or a read fails; the
// table then holds what was read (nothing for a missing file), and `fault`
// (if given) says why.
int16_t LoadReplacementTable(ReplacementTable& table, const TablePaths& paths, TableFault* fault = nullptr);

}  // namespace velkan
