// The typographic settings of a pass: the current settings, the settings last
// written to the output, and the one-shot values of the <MOVE> tag.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

#include "typo/units.h"

namespace velkan {

class DefinitionFile;

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

// A tag composed in a buffer of the stack; a tag longer than the buffer
// (names from the definition file can be long) goes on in a string.
class TagText {
 public:
  // Starts the tag with its name ("<J").
  explicit TagText(std::string_view name) : nameLength_(name.size()) { Add(name); }
  TagText(const TagText&) = delete;
  TagText& operator=(const TagText&) = delete;

  // Appends text. Inlined, so that the keys' lengths are known where they
  // are copied.
  [[gnu::always_inline]] void Add(std::string_view text) {
    if (long_.empty() && text.size() <= sizeof buf_ - size_) [[likely]] {
      std::memcpy(buf_ + size_, text.data(), text.size());
      size_ += text.size();
      return;
    }
    Spill(text);
  }
  void AddInt(long long v) {
    char d[24];
    Add(std::string_view(d, static_cast<size_t>(std::to_chars(d, d + sizeof d, v).ptr - d)));
  }
  // printf("%g", value) followed by the unit name.
  void AddNumberWithUnit(double value, int16_t unit) {
    char d[kMostG];
    Add(std::string_view(d, static_cast<size_t>(PutG(d, value) - d)));
    Add(UnitName(unit));
  }
  // Closes the tag with ">" and gives its text, when at least one attribute
  // follows the name; else gives an empty text.
  std::string_view Close() {
    if (size() == nameLength_) return {};
    Add(">");
    return long_.empty() ? std::string_view(buf_, size_) : std::string_view(long_);
  }

 private:
  [[gnu::noinline]] void Spill(std::string_view text) {
    if (long_.empty()) long_.assign(buf_, size_);
    long_.append(text);
  }
  size_t size() const { return long_.empty() ? size_ : long_.size(); }
  size_t nameLength_;
  char buf_[192];
  size_t size_ = 0;
  std::string long_;
};

// How the state tags are written: the job's unit (0 pt, 1 Q), the direction
// of composition, and the definition file that names fonts and colours.
struct TagFormat {
  int16_t unit = 0;
  bool vertical = false;
  const DefinitionFile& names;
};

// "<J" with f, size (or h and w), posi, jkr, color and tume for the character
// settings of `now` that differ from `emitted`, which then takes the current
// values. Font and colour numbers are written as the names the definition
// file gives them in sections "書体名" and "カラー", else as numbers. In
// vertical composition h carries the width and w the height. A pitch
// difference that changes to 0 is noted but not written. Composed in `tag`
// ("<J" so far); gives the text to write, empty when no attribute was added.
std::string_view ComposeJTag(const TypoState& now, TypoState& emitted, const TagFormat& format, TagText& tag);

// "<G" with l, mes, ind_l, ind_r, ind_s and ind_h for the line settings that
// changed, as ComposeJTag. The measure and indents are written as a whole
// number of character heights ("%dmoji") when they are one, else as lengths.
std::string_view ComposeGTag(const TypoState& now, TypoState& emitted, const TagFormat& format, TagText& tag);

// "<MOVE" with up (the accumulated shift, sign inverted), aki (per mille,
// sign inverted) and bnkn=N for the pending one-shot values, each cleared
// once composed; as ComposeJTag.
std::string_view ComposeMoveTag(PendingMove& move, const TagFormat& format, TagText& tag);

// Whether a <J> or a <G> tag has an attribute to write.
inline bool JTagPending(const TypoState& now, const TypoState& was) {
  return now.font != was.font || now.height != was.height || now.width != was.width ||
         now.position != was.position || now.jkr != was.jkr || now.colour != was.colour || now.tume != was.tume;
}
inline bool GTagPending(const TypoState& now, const TypoState& was) {
  return now.lineSpacing != was.lineSpacing || now.measure != was.measure || now.indentLeft != was.indentLeft ||
         now.indentRight != was.indentRight || now.indentStart != was.indentStart ||
         now.indentHanging != was.indentHanging;
}
inline bool MoveTagPending(const PendingMove& move) { return move.up != 0 || move.aki != 0 || move.bnkn == -1; }

}  // namespace velkan
