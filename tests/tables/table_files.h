// Builders of small table files for the tests of the font tables and the
// character output.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/test_support.h"

namespace velkan::test {

using WordPairs = std::vector<std::pair<uint16_t, uint16_t>>;

// Pairs of words as little-endian table bytes.
std::string PairBytes(const WordPairs& pairs);

// Records (n, first, second) of "convpi.tbl".
std::string PiRecordBytes(const std::vector<std::vector<uint16_t>>& records);

// One "fntinf.fil" line (without line end): group and font as "%3d %3d" at
// the start, a further font left-aligned at column 110 (0 = blank), a blank
// at column 113 and the overlay number as "%02d" at column 125 (-1 = blank).
std::string FontInfoLine(int group, int font, int further = 0, int overlay = -1);

// A "fntinf.fil" text: a heading line, then the given lines, CR LF ends.
std::string FontInfoFile(const std::vector<std::string>& lines);

// Writes the code tables under `root`/QDXFILES: the Shift-JIS form of each
// source code (in "SJIS_HNW.TBL"), the single byte of each full-width code
// (in "SJIS_JIS.TBL"), and every other table empty.
void WriteCodeTables(const TempDir& dir, const std::string& root, const WordPairs& sourceToSjis,
                     const WordPairs& sjisToSingle);

}  // namespace velkan::test
