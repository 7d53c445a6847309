#include "tables/code_tables.h"

#include <cstdio>
#include <memory>
#include <string>

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

// The index of a source code in the map, or -1 when no region holds it.
long RegionIndex(uint16_t source) {
  if (source < 0x1000) return static_cast<long>(kLowRegion + (source & 0xFF));
  if (source >= 0x8000 && source <= 0x9FFF) return static_cast<long>(kMainRegion + (source - 0x8000));
  switch (source & 0xF000) {
    case 0xA000: return static_cast<long>(kPageA + (source & 0x0FFF));
    case 0xB000: return static_cast<long>(kPageB + (source & 0x0FFF));
    case 0xC000: return static_cast<long>(kPageC + (source & 0x0FFF));
    default: return -1;
  }
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool ReadWord(std::FILE* f, uint16_t& w) {
  unsigned char b[2];
  if (std::fread(b, 1, 2, f) != 2) return false;
  w = static_cast<uint16_t>(b[0] | b[1] << 8);
  return true;
}

// Opens a table and reads its header word if it has one; nullptr on failure.
File OpenTable(const TablePaths& paths, const std::string& name, bool header) {
  File f(std::fopen(paths.Fixed("\\QDXFILES\\" + name).c_str(), "rb"));
  if (!f) return nullptr;
  uint16_t ignored;
  if (header && !ReadWord(f.get(), ignored)) return nullptr;
  return f;
}

}  // namespace

void CodeTables::Allocate() { map_.assign(kMapSize, 0); }
void CodeTables::Release() { std::vector<uint16_t>().swap(map_); }

uint16_t CodeTables::ShiftJisOf(uint16_t source) const {
  if (map_.empty()) return 0;
  long i = RegionIndex(source);
  return i < 0 ? 0 : map_[static_cast<size_t>(i)];
}

uint8_t CodeTables::SingleByteOf(uint16_t sjis) const {
  if (map_.empty() || sjis < 0x8000 || sjis > 0x8FFF) return 0;
  return static_cast<uint8_t>(map_[kHalfWidth + (sjis - 0x8000)] & 0xFF);
}

void CodeTables::AddShiftJisRecord(uint16_t sjis, uint16_t source) {
  long i = RegionIndex(source);
  if (i >= 0 && map_[static_cast<size_t>(i)] == 0) map_[static_cast<size_t>(i)] = sjis;
}

void CodeTables::AddHalfWidthRecord(uint16_t sjis, uint16_t single) {
  if (sjis < 0x8000 || sjis > 0x8FFF) return;
  uint16_t& entry = map_[kHalfWidth + (sjis - 0x8000)];
  if (entry == 0) entry = single;
}

int16_t LoadCodeTables(CodeTables& tables, const TablePaths& paths, std::string* failedFile) {
  tables.Allocate();
  auto fail = [&](const std::string& name) -> int16_t {
    if (failedFile) *failedFile = name;
    return -1;
  };
  uint16_t sjis, code;
  for (const char* name : kPairTableNames) {
    File f = OpenTable(paths, name, true);
    if (!f) return fail(name);
    while (ReadWord(f.get(), sjis) && ReadWord(f.get(), code)) tables.AddShiftJisRecord(sjis, code);
  }
  {
    File f = OpenTable(paths, "SJIS_ZAN.TBL", false);
    if (!f) return fail("SJIS_ZAN.TBL");
    while (ReadWord(f.get(), sjis) && ReadWord(f.get(), code)) tables.AddShiftJisRecord(sjis, code);
  }
  {
    File f = OpenTable(paths, "SJIS_JIS.TBL", true);
    if (!f) return fail("SJIS_JIS.TBL");
    while (ReadWord(f.get(), sjis) && ReadWord(f.get(), code)) tables.AddHalfWidthRecord(sjis, code & 0xFF);
  }
  return 0;
}

void ReleaseCodeTables(CodeTables& tables) { tables.Release(); }

}  // namespace velkan
