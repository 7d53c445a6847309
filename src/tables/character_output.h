// The output of character runs.
#pragma once

#include <cstdint>

namespace velkan {

class Conversion;

struct CharacterState {
  // The class of the character written last (0 at job start); decides the
  // separators written between characters of different kinds.
  int16_t charClass = 0;
  // Set by 0xD093: the next character is written as a code tag.
  int16_t oneShotCode = 0;
};

// Writes a run of character words (terminated by a 0 word, at most 255) in
// the given direction (0 horizontal, 1 vertical) and font.
void WriteCharacterRun(Conversion& c, const uint16_t* run, int16_t direction, int16_t font);

}  // namespace velkan
