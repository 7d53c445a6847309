// The escape definitions of text jobs ("velkansys.tbl", then "velkanuser.tbl"):
// lead characters, mode and command names, code pairs and markers.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tables/table_root.h"

namespace velkan {

struct EscapeName {
  std::array<char, 8> text{};  // not terminated
  uint8_t length = 0;          // 0 = no name
};

struct EscapeMarker {
  std::array<char, 40> text{};  // zero padded
  uint8_t length = 0;
  uint16_t code = 0;            // the marker's code word (its key)
};

struct EscapeDefinitions {
  bool locked = true;                         // "#" and "$" lines count only while unlocked
  char modeLead = 0;                          // "$" 9001
  std::array<EscapeName, 11> modeNames{};     // "$" 0000-000A
  std::array<char, 2> commandLead{};          // "#" 9001, 9002
  std::array<EscapeName, 256> commandNames{}; // "#" D000-D0FF, by low byte
  struct Pair {
    uint16_t key = 0;   // Shift-JIS code
    uint16_t value = 0; // code word
  };
  std::vector<Pair> pairs;                    // "&", at most 1024, per-file positions from 0
  char markerClose = 0;                       // "@" 9001
  char markerLead = 0;                        // "@" 9002
  std::array<EscapeMarker, 3> markers{};      // "@" other keys, numbered from 0 in each file
};

inline constexpr size_t kMaxEscapePairs = 1024;

// Resets the definitions (lock set) and reads "\qdxfiles\velkansys.tbl", then
// "\qdxfiles\velkanuser.tbl". Returns 0, or -1 if either cannot be opened (the
// first file's definitions then stay in force).
int16_t LoadEscapeDefinitions(EscapeDefinitions& defs, const TablePaths& paths);
// Reads one file of definitions into `defs` (the lock carries over).
int16_t ReadEscapeDefinitionFile(EscapeDefinitions& defs, const std::filesystem::path& file);
void ReleaseEscapeDefinitions(EscapeDefinitions& defs);

}  // namespace velkan
