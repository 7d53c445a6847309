#include "tables/code_tables.h"

#include <new>
#include <string>

#include "io/message_mark.h"
#include "tables/table_file.h"

namespace velkan {

namespace {

// Offsets of the regions in the one allocation.
constexpr size_t kLowRegion = 0;          // 0x0000-0x0FFF by low byte: 256
constexpr size_t kMainRegion = 0x100;     // 0x8000-0x9FFF: 8192
constexpr size_t kPageA = 0x2100;         // 0xA000-0xAFFF: 4096
constexpr size_t kPageB = 0x3100;         // 0xB000-0xBFFF: 4096
constexpr size_t kPageC = 0x4100;         // 0xC000-0xCFFF: 4096
constexpr size_t kHalfWidth = 0x5100;     // Shift-JIS 0x8000-0x8FFF: 4096
constexpr size_t kMapSize = 0x6100;
constexpr size_t kNoRegion = kMapSize;

// The index of a source code in the map, or kNoRegion when no region holds it.
size_t RegionIndex(uint16_t source) {
  if (source < 0x1000) return kLowRegion + (source & 0xFF);
  if (source >= 0x8000 && source <= 0x9FFF) return kMainRegion + (source - 0x8000);
  switch (source & 0xF000) {
    case 0xA000: return kPageA + (source & 0x0FFF);
    case 0xB000: return kPageB + (source & 0x0FFF);
    case 0xC000: return kPageC + (source & 0x0FFF);
    default: return kNoRegion;
  }
}

uint16_t WordAt(const std::string& bytes, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(bytes[at]) |
                               static_cast<unsigned char>(bytes[at + 1]) << 8);
}

// Reads one pair table and hands each whole record (first word, second word)
// to `add`. False, with `fault` saying why, when the file cannot be opened or
// read, or its header word is missing.
template <typename Add>
bool LoadPairFile(const TablePaths& paths, const std::string& name, bool header, Add add, TableFault& fault) {
  std::string bytes;
  fault.path = paths.Fixed("\\QDXFILES\\" + name);
  int error = 0;
  TableFileStatus status = ReadTableFile(fault.path, bytes, kMaxTableFileBytes, &error);
  if (status != TableFileStatus::kRead) {
    fault.why = DescribeTableFileStatus(status, error);
    return false;
  }
  size_t at = 0;
  if (header) {
    if (bytes.size() < 2) {
      fault.why = Note(N_("has no header word"));
      return false;
    }
    at = 2;
  }
  for (; bytes.size() - at >= 4; at += 4) add(WordAt(bytes, at), WordAt(bytes, at + 2));
  return true;
}

}  // namespace

bool CodeTables::Allocate() {
  try {
    map_.assign(kMapSize, 0);
  } catch (const std::bad_alloc&) {
    Release();
    return false;
  }
  halfWidthSet_.reset();
  romanBytesMade_ = false;
  return true;
}

void CodeTables::Release() {
  std::vector<uint16_t>().swap(map_);
  halfWidthSet_.reset();
  romanBytesMade_ = false;
}

uint16_t CodeTables::ShiftJisOf(uint16_t source) const {
  size_t i = RegionIndex(source);
  return map_.empty() || i == kNoRegion ? 0 : map_[i];
}

uint8_t CodeTables::SingleByteOf(uint16_t sjis) const {
  if (map_.empty() || sjis < 0x8000 || sjis > 0x8FFF) return 0;
  return static_cast<uint8_t>(map_[kHalfWidth + (sjis - 0x8000)] & 0xFF);
}

uint8_t CodeTables::RomanSingleByte(uint16_t code) const {
  if ((code & 0xFF80) != 0xC300 && (code & 0xFF80) != 0xC400) return 0;
  uint16_t sjis = ShiftJisOf(code);
  uint8_t b = sjis != 0 ? SingleByteOf(sjis) : 0;
  return b < 0x80 ? b : 0;
}

void CodeTables::FillRomanBytes(std::array<uint8_t, 256>& bytes) const {
  for (unsigned i = 0; i < bytes.size(); ++i) {
    bytes[i] = RomanSingleByte(static_cast<uint16_t>((i < 128 ? 0xC300 : 0xC400) + (i & 0x7F)));
  }
}

void CodeTables::AddShiftJisRecord(uint16_t sjis, uint16_t source) {
  size_t i = RegionIndex(source);
  romanBytesMade_ = false;
  if (map_.empty() || i == kNoRegion) return;
  if (map_[i] == 0) map_[i] = sjis;
}

void CodeTables::AddHalfWidthRecord(uint16_t sjis, uint16_t word) {
  romanBytesMade_ = false;
  if (map_.empty() || sjis < 0x8000 || sjis > 0x8FFF) return;
  size_t i = sjis - 0x8000u;
  if (halfWidthSet_.test(i)) return;
  halfWidthSet_.set(i);
  map_[kHalfWidth + i] = word;
}

int16_t LoadCodeTables(CodeTables& tables, const TablePaths& paths, TableFault* fault) {
  TableFault unused;
  TableFault& f = fault ? *fault : unused;
  if (!tables.Allocate()) {
    f = {paths.root(), Note(N_("could not be loaded: no memory for the code tables"))};
    return -1;
  }
  auto addShiftJis = [&](uint16_t sjis, uint16_t source) { tables.AddShiftJisRecord(sjis, source); };
  for (const char* name : kPairTableNames) {
    if (!LoadPairFile(paths, name, true, addShiftJis, f)) return -1;
  }
  if (!LoadPairFile(paths, "SJIS_ZAN.TBL", false, addShiftJis, f)) return -1;
  auto addHalfWidth = [&](uint16_t sjis, uint16_t word) { tables.AddHalfWidthRecord(sjis, word); };
  if (!LoadPairFile(paths, "SJIS_JIS.TBL", true, addHalfWidth, f)) return -1;
  return 0;
}

void ReleaseCodeTables(CodeTables& tables) { tables.Release(); }

}  // namespace velkan
