// The code tables of the text pre-pass: which Shift-JIS character stands for
// which code word, command or input mode, the full-width form of each single
// byte, the per-mode block tables and the replacement table.
//
// They are built from the same files as the job-side code tables, but each
// file is read the way the text pre-pass looks it up.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tables/replacement_table.h"
#include "tables/table_file.h"
#include "tables/table_root.h"

namespace velkan {

// The block tables, in the order they are loaded (the job-side order).
enum class BlockTableId : uint8_t {
  kHnw, kRom, kIta, kRub,
  kKka0, kKka1, kKka2,
  kKma0, kKma1, kKma2,
  kKu20, kKu21,
  kKu30, kKu31, kKu32,
  kKur0, kKur1, kKur2,
};
inline constexpr size_t kBlockTableCount = 18;

// The capacity in words of a block table: "SJIS_ROM", "SJIS_ITA" and
// "SJIS_RUB" 1024; "SJIS_HNW", "SJ_KKA_0" and "SJ_KMA_0" 512; the rest 256.
size_t BlockTableCapacity(BlockTableId id);

// A pair table read as one raw block of words after its header word: pairs
// of (Shift-JIS key, code word), looked up from the start. A longer file is
// cut at the capacity; a shorter one leaves zero pairs behind it.
class BlockTable {
 public:
  // Makes the block `capacity` zero words (capacity even).
  void Reset(size_t capacity);
  // Fills the block from the front with the words of `bytes` (low byte
  // first, a trailing odd byte ignored), at most the capacity. Returns the number of words
  // taken; 0 means the block read yielded nothing.
  size_t Fill(std::string_view bytes);

  // The value of the first pair whose key is `key`; 0 when there is none
  // (a pair whose value is 0 reads as none too).
  uint16_t Lookup(uint16_t key) const;

  // The raw block (for tests).
  const std::vector<uint16_t>& words() const { return words_; }

 private:
  void BuildIndex();

  std::vector<uint16_t> words_;
  // (key, value) of the first pair of each key, sorted by key, so that a
  // look-up gives the same value as a search from the start of the block.
  std::vector<std::pair<uint16_t, uint16_t>> index_;
};

// The input modes that a mode character selects, by its code 0x1000-0x1010
// minus 0x1000; 0 = no mode (0x1005-0x100A and 0x100F).
inline constexpr std::array<uint8_t, 17> kModeOfModeCharacter = {1, 2, 3, 4, 5, 0, 0, 0, 0,
                                                                 0, 0, 6, 7, 8, 9, 0, 10};

struct PrePassTables {
  // Shift-JIS 0x8000-0x9FFF, then 0xE000-0xFFFF, to a code word ("SJIS_ZAN"
  // records; a later record overwrites an earlier one). Empty until loaded.
  std::vector<uint16_t> forwardMap;
  // By the low byte of a command word: the Shift-JIS character that stands
  // for it (0 = none), and the smallest and largest entry, zero entries
  // included, as a quick range test.
  std::array<uint16_t, 256> commandGlyphs{};
  uint16_t commandGlyphMin = 0;
  uint16_t commandGlyphMax = 0;
  // By mode code minus 0x1000: the Shift-JIS character of the mode (0 = none).
  std::array<uint16_t, 17> modeCharacters{};
  // By single byte: its full-width Shift-JIS form ("SJIS_JIS" records).
  std::array<uint16_t, 256> singleByteMap{};
  std::array<BlockTable, kBlockTableCount> blocks;
  ReplacementTable replacements;

  // Builds the look-up index of the command and mode characters from
  // `commandGlyphs` and `modeCharacters`, with the quick range test; needed
  // after they change (LoadPrePassTables does it).
  void IndexCharacters();

  // The block table `id`.
  const BlockTable& block(BlockTableId id) const { return blocks[static_cast<size_t>(id)]; }

  // (Shift-JIS character, command word) of the lowest command of each
  // character, and (character, mode) of the first mode character that
  // selects a mode, both sorted by character. Built by IndexCharacters.
  std::vector<std::pair<uint16_t, uint16_t>> commandIndex;
  std::vector<std::pair<uint16_t, uint16_t>> modeIndex;
  // The smallest and largest character of `modeIndex` (none: 0xFFFF and 0),
  // a quick range test for the characters of a text, most of which are none.
  uint16_t modeIndexMin = 0xFFFF;
  uint16_t modeIndexMax = 0;

  // `forwardMap` holds kForwardHalf entries for 0x8000-0x9FFF, then as many
  // for 0xE000-0xFFFF; ForwardIndex gives a character's entry, -1 outside
  // the two ranges.
  static constexpr size_t kForwardHalf = 0x2000;
  static long ForwardIndex(uint16_t sjis) {
    if (sjis >= 0x8000 && sjis <= 0x9FFF) return sjis - 0x8000;
    if (sjis >= 0xE000) return static_cast<long>(kForwardHalf) + (sjis - 0xE000);
    return -1;
  }
  // The code word `ForwardMap` gives for a double-byte character; 0 for a
  // character outside its two ranges, or one no record names.
  uint16_t Forward(uint16_t sjis) const {
    const long i = ForwardIndex(sjis);
    return i < 0 || forwardMap.empty() ? 0 : forwardMap[static_cast<size_t>(i)];
  }
  // The command word (0xD000 + low byte) whose Shift-JIS character is `sjis`,
  // the lowest low byte first; 0 when none. Character 0 never matches (it
  // marks an entry no record filled).
  uint16_t CommandOfGlyph(uint16_t sjis) const;
  // The mode (1-10) whose mode character is `sjis`; 0 when it is none, or
  // stands for one of the codes that select no mode. Character 0 never
  // matches.
  int ModeOfCharacter(uint16_t sjis) const;
};

// Clears the tables, allocates them and loads "\QDXFILES\SJIS_ZAN.TBL" (no
// header word), "SJIS_JIS.TBL" (header word), the eighteen block tables in
// the job order, then "\qdxfiles\nmcnv.tbl". Returns 0, or -1 at the first
// code table that cannot be opened, whose header word cannot be read, or
// whose block read yields nothing: the tables after it (and the replacement
// table) stay empty and `fault` (if given) receives the file and why. A
// "nmcnv.tbl" that cannot be used leaves the replacement table empty (or
// with the lines read before a failed read) and is described in
// `replacementFault` (if given). -1 with nothing loaded when memory runs out.
int16_t LoadPrePassTables(PrePassTables& tables, const TablePaths& paths, TableFault* fault = nullptr,
                          TableFault* replacementFault = nullptr);

// Frees the tables; every look-up then finds nothing.
void ReleasePrePassTables(PrePassTables& tables);

}  // namespace velkan
