// The character stage of the main loop: collects the characters up to the
// next command into runs, switches and closes manual ruby, and closes the
// counted inline scopes after their last character.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace velkan {

class Conversion;

inline constexpr int kMaxRun = 255;

// True when a non-command word is a character the stage accepts.
constexpr bool IsValidCharacter(uint16_t w) {
  // The pages of most characters first, with one test.
  if ((w >> 12) - 4u <= 5u) return true;
  switch (w >> 12) {
    case 0x0: return w >= 0x0001 && w <= 0x07FF;
    case 0x4: case 0x5: case 0x6: case 0x7: case 0x8: case 0x9: return true;
    case 0xA: return (w & 0x0F00) <= 0x0300 && (w & 0x00FF) <= 0x7F;
    case 0xB: return (w & 0x0F00) <= 0x0200 && (w & 0x00FF) <= 0x7F;
    case 0xC: return (w & 0x0F00) <= 0x0900 && (w & 0x00FF) <= 0x7F;
    default: return false;
  }
}

// Collects characters from the pending or next word up to the first command
// word, which is left pending. Invalid words end the run with a warning and
// are dropped. `written` counts the characters of the run the caller already
// wrote straight to the output (the main loop's sweep). Returns 0, or
// -1 when fetching a word failed.
int16_t RunCharacters(Conversion& c, size_t written = 0);

// The closing tag of a counted scope kind, empty for kinds without one.
std::string_view ScopeClosingTag(int16_t kind);

}  // namespace velkan
