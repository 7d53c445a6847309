// The lines of a font information file ("fntinf.fil") as the table tools see
// them: what the converter reads from each line, and the column layout of the
// readable "font" directive.
//
// A font line holds the group number and the font number read as "%3d%3d" at
// its start, a further font number "%3d" at column 110 (blank: none), a blank
// at column 113 (else the line is not used) and the overlay number "%2d" at
// column 125 (blank or absent: 0). The first line of the file is a title and
// never read; lines whose first character is above "9" are not used either.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "io/note.h"

namespace velkan {

// What the converter takes from one used font line.
struct FontInfoLine {
  int group = 0;
  int font = 0;
  bool pairedFont = false;  // the font is one of an odd/even pair (1-39, 301-400): both are set
  int alsoFont = -1;        // the font at column 110, -1 when blank
  bool setsOverlay = false; // the group is below 1000, so its overlay is set
  int overlay = 0;
};

// What the converter takes from a line after the title, or nullopt when it
// does not use the line. `why` (if given) receives the reason a line is not
// used.
std::optional<FontInfoLine> ReadFontInfoLine(std::string_view line, std::string* why = nullptr);

// The lines of a font information file as the converter reads them (pieces of
// at most 255 bytes, a CR before the line feed dropped), title included.
std::vector<std::string_view> FontInfoFileLines(std::string_view bytes);

// The "font G F [also E] [overlay N] [name TEXT]" directive whose layout is
// exactly `line`, or nullopt when the line has another layout.
std::optional<std::string> FontLineDirective(std::string_view line);

// Lays out the line of a "font" directive (UTF-8) as Shift_JIS bytes: the
// numbers "%3d%3d", a blank and the name from column 6, the further font
// left-aligned at column 110 (a blank there would hide it), a blank at 113,
// the overlay "%02d" at 125. False with `error` set when the directive is
// malformed, the name does not fit, or a group below 100 comes with a font of
// 100 or more (the converter would read their digits as one number).
bool RenderFontDirective(std::string_view directive, std::string& line, Note& error);

// One line saying what the converter makes of a line after the title.
std::string DescribeFontLine(std::string_view line);

}  // namespace velkan
