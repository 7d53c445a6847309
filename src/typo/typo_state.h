// The typographic settings of a pass: the current settings, the settings last
// written to the output, and the one-shot values of the <MOVE> tag.
#pragma once

#include <cstdint>

namespace velkan {

class Conversion;

// Lengths in internal units, sizes in quarter units.
struct TypoState {
  int16_t font = 0;
  int16_t height = 0;
  int16_t width = 0;
  int32_t lineSpacing = 0;
  int32_t indentLeft = 0;
  int32_t indentRight = 0;
  int32_t indentHanging = 0;
  int32_t indentStart = 0;
  int16_t jkr = 0;        // pitch minus width
  int32_t measure = 0;
  int16_t tume = 0;       // -99..99
  int32_t position = 0;   // 0 CENTER, 1 TOP, 2 BOTTOM, 3 BASE
  int16_t colour = 0;     // -1 none
};

// One-shot values written by the next <MOVE> tag, then cleared.
struct PendingMove {
  int32_t up = 0;
  int16_t aki = 0;
  int16_t bnkn = 0;  // -1 or 0
};

// Sets both records to the values the output system starts with.
void ResetTypoState(TypoState& typo);

// Writes the <J>, <G> and <MOVE> tags for what changed since they were last
// written. Called once per step of the main loop.
void WriteCharacterTags(Conversion& c);

}  // namespace velkan
