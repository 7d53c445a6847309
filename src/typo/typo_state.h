// The typographic settings of a pass: the current settings, the settings last
// written to the output, and the one-shot values of the <MOVE> tag.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace velkan {

// Lengths in internal units, sizes in quarter units.
struct TypoState {
  int16_t font = 0;
  int16_t height = 0;
  int16_t width = 0;
  int16_t jkr = 0;        // pitch minus width
  int16_t tume = 0;       // -99..99
  int16_t colour = 0;     // -1 none
  int32_t lineSpacing = 0;
  int32_t indentLeft = 0;
  int32_t indentRight = 0;
  int32_t indentHanging = 0;
  int32_t indentStart = 0;
  int32_t measure = 0;
  int32_t position = 0;   // 0 CENTER, 1 TOP, 2 BOTTOM, 3 BASE
};
// Compared byte for byte (every field is written by the tags): no padding.
static_assert(std::has_unique_object_representations_v<TypoState>);

// One-shot values written by the next <MOVE> tag, then cleared.
struct PendingMove {
  int32_t up = 0;
  int16_t aki = 0;
  int16_t bnkn = 0;  // -1 or 0
};

// The bounds the setting commands check sizes and lengths against. The same
// for pt and Q jobs; set by InitJob.
struct SizeLimits {
  int16_t minSize = 0;    // quarter units
  int16_t maxSize = 0;    // quarter units
  int32_t minLength = 0;  // internal units
  int32_t maxLength = 0;  // internal units
};

// The limits of every job: sizes 4.5 to 186 units, lengths 0.25 to 1850 units.
inline constexpr SizeLimits kJobLimits{18, 744, 3240, 23976000};

// Sets a record to the values the output system starts with: font 1, size 8
// units (32 quarters), line spacing 12 units, measure 132 units, position
// CENTER, no colour, everything else 0.
void ResetTypoState(TypoState& typo);

// True when the <J>, <G> or <MOVE> tag has something to write: a setting
// differs from the emitted one or a one-shot value waits. Most steps of the
// main loop change nothing the tags carry.
inline bool CharacterTagsPending(const TypoState& now, const TypoState& emitted, const PendingMove& move) {
  return __builtin_memcmp(&now, &emitted, sizeof now) != 0 || move.up != 0 || move.aki != 0 || move.bnkn == -1;
}

// Whether a <J> or a <G> tag has an attribute to write.
inline bool JTagPending(const TypoState& now, const TypoState& was) {
  return now.font != was.font || now.height != was.height || now.width != was.width ||
         now.position != was.position || now.jkr != was.jkr || now.colour != was.colour || now.tume != was.tume;
}
// The six lengths of a <G> tag lie together, line spacing to measure, and
// are compared as words.
inline bool GTagPending(const TypoState& now, const TypoState& was) {
  static_assert(offsetof(TypoState, lineSpacing) == 12 && offsetof(TypoState, measure) == 32);
  const char* n = reinterpret_cast<const char*>(&now);
  const char* w = reinterpret_cast<const char*>(&was);
  uint32_t n12, w12, n32, w32;
  uint64_t n16, w16, n24, w24;
  std::memcpy(&n12, n + 12, 4);
  std::memcpy(&w12, w + 12, 4);
  std::memcpy(&n16, n + 16, 8);
  std::memcpy(&w16, w + 16, 8);
  std::memcpy(&n24, n + 24, 8);
  std::memcpy(&w24, w + 24, 8);
  std::memcpy(&n32, n + 32, 4);
  std::memcpy(&w32, w + 32, 4);
  return ((n12 ^ w12) | (n16 ^ w16) | (n24 ^ w24) | (n32 ^ w32)) != 0;
}
inline bool MoveTagPending(const PendingMove& move) { return move.up != 0 || move.aki != 0 || move.bnkn == -1; }

}  // namespace velkan
