// The escape definitions of text jobs ("velkansys.tbl", then "velkanuser.tbl"):
// lead characters, mode and command names, code pairs and markers, and the
// matches the text pre-pass makes with them.
//
// A definition file is a text of lines (read in pieces of at most 79
// characters; a CR before the line feed is not part of a line). Column 0 is
// the record letter ("%", "$", "#", "&", "@" or "\"; other lines are
// ignored), columns 1-4 a key of four hexadecimal digits (any other character,
// or a missing one, counts as digit 0), column 5 a separator, and column 6 on
// the value: up to the first ";" (or NUL), at most 40 characters.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tables/table_file.h"
#include "tables/table_root.h"

namespace velkan {

inline constexpr size_t kEscapeLineLength = 79;    // longer lines are read in pieces
inline constexpr size_t kEscapeValueLength = 40;   // characters of a value kept
inline constexpr size_t kEscapeNameLength = 8;     // longer mode/command names are cut
inline constexpr size_t kMaxEscapePairs = 1024;    // "&" lines of a file beyond are dropped
inline constexpr size_t kEscapeMarkerCount = 3;    // "@" markers of a file beyond are dropped
inline constexpr size_t kMarkerCompareLength = 12; // bytes of a marker text compared

// A mode or command name.
struct EscapeName {
  std::array<char, kEscapeNameLength> text{};  // not terminated
  uint8_t length = 0;                          // 0 = no name
};

// A marker: a text the pre-pass skips, leaving its code word as the last code.
struct EscapeMarker {
  std::array<char, kEscapeValueLength> text{};  // zero padded
  uint8_t length = 0;                           // 0 = not defined
  uint16_t code = 0;                            // the marker's code word (its key)
};

// A code pair: a Shift-JIS character that stands for a code word.
struct EscapePair {
  uint16_t key = 0;    // Shift-JIS code; 0 ends the list for look-ups
  uint16_t value = 0;  // code word
};

// Lead characters are single bytes; 0 means none is defined (and never
// matches).
struct EscapeDefinitions {
  bool locked = true;                          // "#" and "$" lines count only while unlocked ("%")
  char modeLead = 0;                           // "$" 9001
  std::array<EscapeName, 11> modeNames{};      // "$" 0000-000A
  std::array<char, 2> commandLead{};           // "#" 9001, 9002
  std::array<EscapeName, 256> commandNames{};  // "#" D000-D0FF, by low byte
  // "&" lines, stored from position 0 in each file; kMaxEscapePairs entries
  // once loaded, empty after ReleaseEscapeDefinitions.
  std::vector<EscapePair> pairs;
  char markerClose = 0;                             // "@" 9001
  char markerLead = 0;                              // "@" 9002
  std::array<EscapeMarker, kEscapeMarkerCount> markers{};  // other "@" lines, from 0 in each file
};

// Resets the definitions (all texts and lengths zero, no pairs, lock set) and
// reads "\qdxfiles\velkansys.tbl", then "\qdxfiles\velkanuser.tbl"; the lock
// carries over from the first file into the second. Both files are read even
// when the first is missing. Returns 0, or -1 if either cannot be opened (or
// is no regular file, or a read fails); whatever was read stays in force.
// `faults` (if given) receives each file that failed, and why.
int16_t LoadEscapeDefinitions(EscapeDefinitions& defs, const TablePaths& paths,
                              std::vector<TableFault>* faults = nullptr);

// Reads one definition file into `defs` on top of what is there: "&" pairs
// and "@" markers are numbered from 0 again, so they replace the entries at
// the same positions. Returns 0, or -1 when the file cannot be opened (or is
// no regular file) or a read fails; the lines before a read failure count.
// `why` (if given) then says what went wrong.
int16_t ReadEscapeDefinitionFile(EscapeDefinitions& defs, const std::filesystem::path& file,
                                 Note* why = nullptr);

// Applies one line (without its line end, at most kEscapeLineLength bytes
// used) to `defs`. `pairIndex` and `markerIndex` are the file's running
// counts of "&" and "@" entries.
void ApplyEscapeDefinitionLine(EscapeDefinitions& defs, std::string_view line, size_t& pairIndex,
                               size_t& markerIndex);

// Frees the pair list; pair look-ups then find nothing.
void ReleaseEscapeDefinitions(EscapeDefinitions& defs);

// The result of a name or marker match: the code (0 = no match) and the
// number of text bytes it covers.
struct EscapeMatch {
  uint16_t code = 0;
  size_t length = 0;
};

// The code word of the first "&" pair whose key is `sjis`; 0 when none. The
// search stops at the first pair with key 0.
uint16_t LookupEscapePair(const EscapeDefinitions& defs, uint16_t sjis);

// Whether `byte` is the mode lead, one of the two command leads, or the
// marker lead (an undefined lead, 0, never is).
bool IsModeLead(const EscapeDefinitions& defs, char byte);
bool IsCommandLead(const EscapeDefinitions& defs, char byte);
bool IsMarkerLead(const EscapeDefinitions& defs, char byte);

// The mode name at the start of `text`: the first number key 0-10 whose name
// (of non-zero length) equals the text there over the name's length. Gives
// the key and the name's length; a match of key 0 counts as none (code 0).
// Never looks past the end of `text`.
EscapeMatch MatchModeName(const EscapeDefinitions& defs, std::string_view text);

// The command name at the start of `text`: the first command word, in order
// of the low byte, whose name matches as above. Gives 0xD000 + the low byte
// and the name's length, or code 0. Never looks past the end of `text`.
EscapeMatch MatchCommandName(const EscapeDefinitions& defs, std::string_view text);

// The command names of a set of definitions by their second byte, so that a
// text is compared with the few names that may begin it: for each byte b,
// `names` from `starts[b]` to `starts[b + 1]` holds, in ascending order of
// their low bytes, the names whose second byte is b and those of one byte.
// Each is kept as its bytes loaded into one word with a mask of its length,
// so that a name is compared with the text in one step.
struct IndexedCommandName {
  uint64_t bytes = 0;  // the name's bytes, zero padded, as LoadNameWord loads them
  uint64_t mask = 0;   // ones over the name's bytes
  uint16_t code = 0;   // 0xD000 + the low byte
  uint8_t length = 0;
};
struct CommandNameIndex {
  std::array<uint16_t, 257> starts{};
  std::vector<IndexedCommandName> names;
};
CommandNameIndex IndexCommandNames(const EscapeDefinitions& defs);

// MatchCommandName through `index`, made by IndexCommandNames of `defs`.
EscapeMatch MatchCommandName(const EscapeDefinitions& defs, const CommandNameIndex& index, std::string_view text);

// A marker match: the marker's number (-1 = no match), its code word and the
// number of text bytes the pre-pass skips for it.
struct MarkerMatch {
  int marker = -1;
  uint16_t code = 0;
  size_t length = 0;
};

// The marker at the start of `text`, which must begin with the marker lead.
// The marker text runs from the lead through the closing character, searched
// from the third byte on and within the first 40 bytes; zero padded, its
// first 12 bytes are compared with markers 0, 1 and 2 in this order. Gives
// the marker's number and code word and the length of the marker text, plus
// 5 for marker 0 (the bytes after it that go with it), but never more than
// text.size(). Undefined markers (length 0) never match. Never looks past the
// end of `text`.
MarkerMatch MatchMarker(const EscapeDefinitions& defs, std::string_view text);

}  // namespace velkan
