// The job-side code tables: the Shift-JIS form of each source code and the
// single-byte form of each full-width Shift-JIS code.
#pragma once

#include <cstdint>
#include <vector>

#include "tables/table_root.h"

namespace velkan {

// The pair tables in the order they are loaded; the first record that names a
// source code decides its Shift-JIS form.
inline constexpr const char* kPairTableNames[] = {
    "SJIS_HNW.TBL", "SJIS_ROM.TBL", "SJIS_ITA.TBL", "SJIS_RUB.TBL", "SJ_KKA_0.TBL",
    "SJ_KKA_1.TBL", "SJ_KKA_2.TBL", "SJ_KMA_0.TBL", "SJ_KMA_1.TBL", "SJ_KMA_2.TBL",
    "SJ_KU2_0.TBL", "SJ_KU2_1.TBL", "SJ_KU3_0.TBL", "SJ_KU3_1.TBL", "SJ_KU3_2.TBL",
    "SJ_KUR_0.TBL", "SJ_KUR_1.TBL", "SJ_KUR_2.TBL"};

class CodeTables {
 public:
  // Shift-JIS form of a source code, 0 when it has none (or nothing is loaded).
  // Codes 0x0000-0x0FFF share entries by their low byte.
  uint16_t ShiftJisOf(uint16_t source) const;
  // Single-byte form of a full-width Shift-JIS code 0x8000-0x8FFF, 0 if none.
  uint8_t SingleByteOf(uint16_t sjis) const;

  // Stores a record (Shift-JIS code, source code) unless the entry is set.
  void AddShiftJisRecord(uint16_t sjis, uint16_t source);
  // Stores an "SJIS_JIS.TBL" record (full-width code, single byte) unless set.
  void AddHalfWidthRecord(uint16_t sjis, uint16_t single);

  bool loaded() const { return !map_.empty(); }
  void Allocate();
  void Release();

 private:
  // Five ShiftJisMap regions, then the 4096 HalfWidthMap entries.
  std::vector<uint16_t> map_;
};

// Allocates the tables and loads the pair tables, "SJIS_ZAN.TBL" (no header
// word) and "SJIS_JIS.TBL" from "\QDXFILES\". Returns 0, or -1 at the first
// file that cannot be opened or whose header word cannot be read; the files
// after it are not loaded, what was loaded stays. `failedFile` (if given)
// receives the name of the file that stopped the load.
int16_t LoadCodeTables(CodeTables& tables, const TablePaths& paths, std::string* failedFile = nullptr);
void ReleaseCodeTables(CodeTables& tables);

}  // namespace velkan
