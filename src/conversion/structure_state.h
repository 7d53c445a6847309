// The state of the structures the handlers open and prepare: ruby, the
// inline structures, grouped characters, rules, and the split-line and box
// parameters. Each value-initialised type is its state at the start of a
// pass.
#pragma once

#include <cstdint>

namespace velkan {

// Each 0 (closed), 1 (base open) or 2 (ruby text open). The kinds are
// independent of each other.
struct RubyState {
  int16_t groupA = 0;    // 0xD058
  int16_t groupB = 0;    // 0xD07C
  int16_t kinsoku = 0;   // 0xD0A3
  int16_t manual = 0;    // 0xD07E, the placement commands and the character stage
};

// Scope kinds of the counted inline structures (see ScopeClosingTag).
inline constexpr int16_t kScopeIndexBase = 0;    // + selector 1..3
inline constexpr int16_t kScopeSuffixBase = 10;  // + selector 1..3
inline constexpr int16_t kScopeDoubleIndex = 20;
inline constexpr int16_t kScopeTayo = 30;

// Parameters of the next tags and the open structures; all 0 at the start of
// a job.
struct InlineStructures {
  // Size inside the next TAYO run (quarter units; height 0 = not set).
  int16_t tayoHeight = 0;
  int16_t tayoWidth = 0;
  // Spacing of the next TAYO run in quarter units: 1..99 positive, 101 and
  // above negative by (value - 100), 0 and 100 none.
  int16_t tayoAki = 0;
  // Width of the next "<em wid=...>" (internal units).
  int32_t emWidth = 0;
  int16_t wariOpen = 0;  // 1 while a split note is open
  int16_t bunState = 0;  // 0 none, 1 numerator open, 2 denominator open
};

// The sizes of the two parts (quarter units), set together by 0xD099; a
// first height of 0 means that no size is given.
struct GroupSizes {
  int16_t height0 = 0;
  int16_t width0 = 0;
  int16_t height1 = 0;
  int16_t width1 = 0;
};

// The open group or enclosure and the sizes of the next one.
struct GroupedCharacters {
  int16_t groupState = 0;  // 0 no group open, 1 first part open, 2 second part open
  GroupSizes sizes;
};

// The appearance of the next underline, set by the in-group command 0xD073.
struct UnderlineSettings {
  int16_t type = 0;          // 0 UL2, 1 UL1, 2 UL5, 3 and 4 UL3
  int16_t thicknessKey = 0;  // 0..9, looked up in "罫線太さ"
  int32_t gap = 12960;       // internal units, written as aki
  int16_t lineKind = 0;      // 0 line from thicknessKey, 1 fixed line, else "罫種別"
};

// The rule of enclosures, set by the in-group command 0xD09B.
struct RuleSettings {
  int16_t thicknessKey = 0;   // looked up in "罫線太さ"
  int32_t innerWidth = 0;     // internal units, space inside a stand-alone box
  int32_t enclosureSize = 0;  // internal units, the margin is derived from it
};

// The split-line structure's sizes (quarter units; a first size of 0 means
// none), its type (line spacing) and par value; set together by 0xD064.
struct SplitLineParameters {
  int16_t firstSize = 0;
  int16_t secondSize = 0;
  int16_t type = 0;
  int16_t par = 0;
};

// The box structure's line selector (0: the line comes from the definition
// file) and gap (internal units); set together by 0xD0A0.
struct BoxParameters {
  int16_t lineSelector = 0;
  int32_t gap = 0;
};

}  // namespace velkan
