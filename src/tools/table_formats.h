// The readable form of every table file, and the checks a table tool makes.
//
// A readable form is a UTF-8 text. Lines whose first non-blank character is
// "#" are comments, and so is everything after a "#" on a line that is not a
// text line. The first other line names the format ("format pairs"); the
// lines after it describe the file:
//
// - Word-pair formats (pairs, zan, halfwidth, codes, roman, ruby): an
//   optional "header HHHH" (pairs and halfwidth only, before any record),
//   records "KKKK VVVV" in hexadecimal, runs "run KKKK VVVV N" (N records
//   whose key and value both count up by one), and "tail HH ..." for bytes
//   after the last whole record.
// - pi-codes: records "N FFFF SSSS" (N decimal), runs "run N FFFF SSSS C",
//   "tail HH ...".
// - pitch: "length N" (the file's size), "font F B" (header byte 2 + F is B),
//   "header-byte I V" (header bytes 0 and 1), "block B" followed by rows
//   "CC: w w ..." (signed widths from column CC, hexadecimal, on).
// - pi-widths: "length N" and rows "NNN: w w ..." (widths of pi characters
//   from NNN on, decimal).
// - Text formats (escapes, replacements, fontinfo, text): one line of the
//   file per "| TEXT" line (TEXT written as Shift_JIS, blanks kept, "|"
//   alone is an empty line) or "|x HH ..." line (raw bytes); "line-end crlf",
//   "line-end lf" or "line-end none" sets what follows the lines after it
//   (crlf at first). fontinfo also takes "font G F [also E] [overlay N]
//   [name TEXT]", which lays out one font line in its columns.
//
// DumpTable writes the readable form of any bytes, and BuildTable(DumpTable(b))
// gives back exactly b.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "io/note.h"

namespace velkan {

enum class TableFormat {
  kPairs,         // Shift-JIS pair tables with a header word: SJIS_HNW.TBL, SJ_KMA_1.TBL, ...
  kZan,           // "SJIS_ZAN.TBL": Shift-JIS code, source code; no header word
  kHalfWidth,     // "SJIS_JIS.TBL": full-width Shift-JIS code, single byte; header word
  kCodes,         // "conv00.tbl" and the overlays "conv01.tbl"-"conv99.tbl"
  kRoman,         // "conv021.tbl", "conv022.tbl"
  kPiCodes,       // "convpi.tbl"
  kRuby,          // "convura.tbl"
  kFontInfo,      // "fntinf.fil" (text)
  kPitch,         // "pitfile.fil"
  kPiWidths,      // "pifont.fil"
  kEscapes,       // "velkansys.tbl", "velkanuser.tbl" (text)
  kReplacements,  // "nmcnv.tbl" (text)
  kText,          // any other Shift_JIS text, such as a definition file
};

struct TableFormatInfo {
  TableFormat format;
  std::string_view name;      // as in the "format" line and --format
  std::string_view describes; // one line for usage texts
};

// Every format, in the order of TableFormat.
std::span<const TableFormatInfo> TableFormats();

// The name of a format ("pairs").
std::string_view FormatName(TableFormat format);

// The format called `name`, if any.
std::optional<TableFormat> FormatNamed(std::string_view name);

// The format of a table file recognised by its name (the last component of a
// path, without regard to case): the names the converter opens, "conv%02d.tbl"
// for any two digits, and "*.def" as text.
std::optional<TableFormat> FormatOfFileName(std::string_view path);

// The readable form of a table file's bytes in `format`, with comments that
// show the characters and what the entries mean. Bytes that do not fit the
// format are kept (as a tail, raw lines or lengths).
std::string DumpTable(TableFormat format, std::string_view bytes);

// The result of compiling a readable form.
struct TableBuild {
  bool ok = false;
  TableFormat format = TableFormat::kText;
  std::string bytes;  // the table file, when ok
  Note fault;         // "line N: what is wrong", when not ok
  std::string error;  // the fault in English
};

// Compiles a readable form into the bytes of the table file.
TableBuild BuildTable(std::string_view source);

}  // namespace velkan
