// The job-side code tables: the Shift-JIS form of each source code and the
// single-byte form of each full-width Shift-JIS code.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <string>
#include <vector>

#include "tables/table_file.h"
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
  // Codes 0x0000-0x0FFF share entries by their low byte; codes outside
  // 0x0000-0x0FFF and 0x8000-0xCFFF have none.
  uint16_t ShiftJisOf(uint16_t source) const;
  // Single-byte form of a full-width Shift-JIS code 0x8000-0x8FFF, 0 if none
  // (and for every code outside that range).
  uint8_t SingleByteOf(uint16_t sjis) const;
  // The single byte (below 0x80) a roman code of page 0xC3 or 0xC4 is
  // written as, 0 when it is written otherwise (or is no such code).
  uint8_t RomanSingleByte(uint16_t code) const;
  // RomanSingleByte of 0xC300-0xC37F, then 0xC400-0xC47F, as made by
  // MakeRomanBytes; null when a record was stored (or the tables allocated
  // or freed) since.
  const std::array<uint8_t, 256>* romanBytes() const { return romanBytesMade_ ? &romanBytes_ : nullptr; }
  // RomanSingleByte of each of those codes into `bytes`.
  void FillRomanBytes(std::array<uint8_t, 256>& bytes) const;
  // Makes romanBytes() from the tables as they stand: once they are loaded,
  // so that the passes that read them need not each make it.
  void MakeRomanBytes() {
    FillRomanBytes(romanBytes_);
    romanBytesMade_ = true;
  }

  // Stores a record (Shift-JIS code, source code) while the source code's
  // entry is still zero; a source code in no region is skipped. Needs
  // Allocate().
  void AddShiftJisRecord(uint16_t sjis, uint16_t source);
  // Stores an "SJIS_JIS.TBL" record (full-width code, code word whose low
  // byte is the single-byte form). The first record for a full-width code
  // decides, even one that gives no single byte; codes outside
  // 0x8000-0x8FFF are skipped. Needs Allocate().
  void AddHalfWidthRecord(uint16_t sjis, uint16_t word);

  // Whether the tables are allocated.
  bool loaded() const { return !map_.empty(); }
  // Makes all entries zero (allocating them); false when memory runs out.
  bool Allocate();
  // Frees the entries; every look-up then gives 0.
  void Release();

 private:
  // Five ShiftJisMap regions, then the 4096 HalfWidthMap entries.
  std::vector<uint16_t> map_;
  // Which HalfWidthMap entries a record has already decided.
  std::bitset<0x1000> halfWidthSet_;
  std::array<uint8_t, 256> romanBytes_{};
  bool romanBytesMade_ = false;
};

// Allocates the tables and loads the pair tables, "SJIS_ZAN.TBL" (no header
// word) and "SJIS_JIS.TBL" from "\QDXFILES\", in this order. Returns 0, or
// -1 at the first file that cannot be opened (or is no regular file), whose
// header word cannot be read or whose read fails; the files after it are not
// loaded, what was loaded stays. A record cut short at the end of a file is
// ignored. `fault` (if given) receives the file that stopped the load and
// why. -1 with nothing loaded when memory runs out.
int16_t LoadCodeTables(CodeTables& tables, const TablePaths& paths, TableFault* fault = nullptr);

// Frees the tables at the end of a job.
void ReleaseCodeTables(CodeTables& tables);

}  // namespace velkan
