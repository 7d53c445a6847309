#include "tables/pre_pass_tables.h"

#include <algorithm>
#include <new>

#include "tables/code_tables.h"
#include "tables/command_words.h"
#include "io/message_mark.h"
#include "tables/table_file.h"

namespace velkan {

namespace {

uint16_t WordAt(std::string_view bytes, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(bytes[at]) |
                               static_cast<unsigned char>(bytes[at + 1]) << 8);
}

}  // namespace

size_t BlockTableCapacity(BlockTableId id) {
  switch (id) {
    case BlockTableId::kRom:
    case BlockTableId::kIta:
    case BlockTableId::kRub:
      return 1024;
    case BlockTableId::kHnw:
    case BlockTableId::kKka0:
    case BlockTableId::kKma0:
      return 512;
    default:
      return 256;
  }
}

void BlockTable::Reset(size_t capacity) {
  words_.assign(capacity, 0);
  BuildIndex();
}

size_t BlockTable::Fill(std::string_view bytes) {
  size_t n = std::min(bytes.size() / 2, words_.size());
  for (size_t i = 0; i < n; ++i) words_[i] = WordAt(bytes, 2 * i);
  BuildIndex();
  return n;
}

void BlockTable::BuildIndex() {
  index_.clear();
  for (size_t i = 0; i + 1 < words_.size(); i += 2) index_.emplace_back(words_[i], words_[i + 1]);
  // A stable sort keeps the pairs of one key in block order; the first of
  // them is the one a search from the start finds.
  std::stable_sort(index_.begin(), index_.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  index_.erase(std::unique(index_.begin(), index_.end(),
                           [](const auto& a, const auto& b) { return a.first == b.first; }),
               index_.end());
}

uint16_t BlockTable::Lookup(uint16_t key) const {
  auto it = std::lower_bound(index_.begin(), index_.end(), key,
                             [](const auto& pair, uint16_t k) { return pair.first < k; });
  return it != index_.end() && it->first == key ? it->second : 0;
}

namespace {

// Sorts (character, value) pairs by character, keeping the first pair of
// each character.
void SortKeepingFirst(std::vector<std::pair<uint16_t, uint16_t>>& pairs) {
  std::stable_sort(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  pairs.erase(std::unique(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) { return a.first == b.first; }),
              pairs.end());
}

uint16_t Find(const std::vector<std::pair<uint16_t, uint16_t>>& pairs, uint16_t key) {
  auto it = std::lower_bound(pairs.begin(), pairs.end(), key,
                             [](const auto& pair, uint16_t k) { return pair.first < k; });
  return it != pairs.end() && it->first == key ? it->second : 0;
}

}  // namespace

void PrePassTables::IndexCharacters() {
  auto [low, high] = std::minmax_element(commandGlyphs.begin(), commandGlyphs.end());
  commandGlyphMin = *low;
  commandGlyphMax = *high;
  commandIndex.clear();
  for (size_t i = 0; i < commandGlyphs.size(); ++i) {
    if (commandGlyphs[i] != 0) commandIndex.emplace_back(commandGlyphs[i], CommandWordOf(static_cast<uint8_t>(i)));
  }
  SortKeepingFirst(commandIndex);
  modeIndex.clear();
  for (size_t i = 0; i < modeCharacters.size(); ++i) {
    if (modeCharacters[i] != 0 && kModeOfModeCharacter[i] != 0) {
      modeIndex.emplace_back(modeCharacters[i], kModeOfModeCharacter[i]);
    }
  }
  SortKeepingFirst(modeIndex);
  modeIndexMin = modeIndex.empty() ? uint16_t{0xFFFF} : modeIndex.front().first;
  modeIndexMax = modeIndex.empty() ? uint16_t{0} : modeIndex.back().first;
}

uint16_t PrePassTables::CommandOfGlyph(uint16_t sjis) const {
  if (sjis == 0 || sjis < commandGlyphMin || sjis > commandGlyphMax) return 0;
  return Find(commandIndex, sjis);
}

int PrePassTables::ModeOfCharacter(uint16_t sjis) const {
  if (sjis == 0 || sjis < modeIndexMin || sjis > modeIndexMax) return 0;
  return Find(modeIndex, sjis);
}

void ReleasePrePassTables(PrePassTables& tables) {
  std::vector<uint16_t>().swap(tables.forwardMap);
  tables.commandGlyphs.fill(0);
  tables.modeCharacters.fill(0);
  tables.IndexCharacters();
  tables.singleByteMap.fill(0);
  for (BlockTable& b : tables.blocks) b.Reset(0);
  tables.replacements.Clear();
}

int16_t LoadPrePassTables(PrePassTables& tables, const TablePaths& paths, TableFault* fault,
                          TableFault* replacementFault) {
  ReleasePrePassTables(tables);
  try {
    tables.forwardMap.assign(2 * PrePassTables::kForwardHalf, 0);
    for (size_t i = 0; i < kBlockTableCount; ++i) {
      tables.blocks[i].Reset(BlockTableCapacity(static_cast<BlockTableId>(i)));
    }
  } catch (const std::bad_alloc&) {
    ReleasePrePassTables(tables);
    return -1;
  }
  TableFault unused;
  TableFault& f = fault ? *fault : unused;
  auto fail = [&](Note why) -> int16_t {
    if (!why.empty()) f.why = std::move(why);
    return -1;
  };
  std::string bytes;
  auto read = [&](const std::string& name) {
    f.path = paths.Fixed("\\QDXFILES\\" + name);
    int error = 0;
    TableFileStatus status = ReadTableFile(f.path, bytes, kMaxTableFileBytes, &error);
    f.why = DescribeTableFileStatus(status, error);
    return status == TableFileStatus::kRead;
  };

  // "SJIS_ZAN.TBL": records without a header word.
  if (!read("SJIS_ZAN.TBL")) return fail(Note());
  for (size_t at = 0; bytes.size() - at >= 4; at += 4) {
    uint16_t sjis = WordAt(bytes, at);
    uint16_t code = WordAt(bytes, at + 2);
    long i = PrePassTables::ForwardIndex(sjis);
    if (i >= 0) tables.forwardMap[static_cast<size_t>(i)] = code;
    if (InCommandTable(code)) tables.commandGlyphs[code & 0xFF] = sjis;
    if (code >= 0x1000 && code <= 0x1010) tables.modeCharacters[code - 0x1000] = sjis;
  }
  tables.IndexCharacters();

  // "SJIS_JIS.TBL": header word, then (full-width code, single byte) records.
  if (!read("SJIS_JIS.TBL")) return fail(Note());
  if (bytes.size() < 2) return fail(Note(N_("has no header word")));
  for (size_t at = 2; bytes.size() - at >= 4; at += 4) {
    uint16_t code = WordAt(bytes, at + 2);
    if (code < 0x100) tables.singleByteMap[code] = WordAt(bytes, at);
  }

  for (size_t i = 0; i < kBlockTableCount; ++i) {
    const char* name = kPairTableNames[i];
    if (!read(name)) return fail(Note());
    if (bytes.size() < 2) return fail(Note(N_("has no header word")));
    if (tables.blocks[i].Fill(std::string_view(bytes).substr(2)) == 0) return fail(Note(N_("holds no word after its header")));
  }
  f = {};

  TableFault replacement;
  if (LoadReplacementTable(tables.replacements, paths, &replacement) != 0 && replacementFault) {
    *replacementFault = std::move(replacement);
  }
  return 0;
}

}  // namespace velkan
