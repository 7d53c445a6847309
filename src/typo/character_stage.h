// The character stage of the main loop: collects the characters up to the
// next command into runs, switches and closes manual ruby, and closes the
// counted inline scopes after their last character.
#pragma once

#include <cstdint>

namespace velkan {

class Conversion;

inline constexpr int kMaxRun = 255;

// True when a non-command word is a character the stage accepts.
bool IsValidCharacter(uint16_t w);

// Collects characters from the pending or next word up to the first command
// word, which is left pending. Invalid words end the run with a warning and
// are dropped. Returns 0, or -1 when fetching a word failed.
int16_t RunCharacters(Conversion& c);

// The closing tag of a counted scope kind, or nullptr for kinds without one.
const char* ScopeClosingTag(int16_t kind);

}  // namespace velkan
