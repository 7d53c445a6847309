// What the converter makes of a table file: the checks of the table tools.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/table_formats.h"

namespace velkan {

// What a check says about a table file.
enum class FindingLevel {
  kNote,       // the converter reads the file fully; worth knowing
  kMalformed,  // the converter rejects, cuts or misreads part of the file
};

struct TableFinding {
  FindingLevel level = FindingLevel::kNote;
  std::string text;  // UTF-8, one line, in the user's language
};

// What the converter would make of a table file: its problems and notes.
// `fileName` (the name the file has under the table root, such as
// "SJIS_ROM.TBL" or "conv05.tbl"; may be empty) decides the limits that
// depend on the file: the capacity of a pair table, whether a code file is an
// overlay.
std::vector<TableFinding> CheckTableBytes(TableFormat format, std::string_view bytes,
                                          std::string_view fileName = {});

// A short account of what a table file holds ("94 records", "12 lines"), in
// the user's language.
std::string SummariseTable(TableFormat format, std::string_view bytes);

// The overlay numbers (1-99) a font information file ("fntinf.fil") gives its
// font groups, in ascending order; each names an overlay file "conv%02d.tbl".
std::vector<int> OverlaysNamedByFontInfo(std::string_view bytes);

}  // namespace velkan
