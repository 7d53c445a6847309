// The state tags composed from the typographic state: "<J ...>", "<G ...>"
// and "<MOVE ...>".
//
// The writers are templates over `tags`, the caller's view of what a tag is
// composed from and where it goes, passed by value (a reference wrapped in a
// small struct), so that the main loop's step reads its state and writes its
// output directly. `tags` provides:
//   now()        const TypoState&   the current settings
//   emitted()    TypoState&         the settings last written
//   move()       PendingMove&       the one-shot <MOVE> values
//   unit()       int16_t            the job's unit (0 pt, 1 Q)
//   vertical()   bool               vertical composition
//   names()      const DefinitionFile&   names of fonts and colours
//   WriteText(std::string_view)     writes a finished tag
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "typo/definition_file.h"
#include "typo/state_tag_cache.h"
#include "typo/typo_literals.h"
#include "typo/typo_state.h"
#include "typo/units.h"

namespace velkan {

namespace state_tags {

// A tag composed in a buffer of the stack; a tag longer than the buffer
// (names from the definition file can be long) goes on in a string.
class TagText {
 public:
  explicit TagText(std::string_view name) : nameLength_(name.size()) { Add(name); }
  TagText(const TagText&) = delete;
  TagText& operator=(const TagText&) = delete;

  // Inlined, so that the keys' lengths are known where they are copied.
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
  // The number as PutHundredths writes it, followed by the unit name.
  void AddNumberWithUnit(Hundredths value, int16_t unit) {
    char d[kMostG];
    Add(std::string_view(d, static_cast<size_t>(PutHundredths(d, value) - d)));
    Add(UnitName(unit));
  }
  // Writes "<NAME ...>" with out.WriteText when at least one attribute
  // follows the name.
  template <typename Tags>
  void WriteIfAny(Tags& out) {
    if (size() == nameLength_) return;
    Add(">");
    out.WriteText(long_.empty() ? std::string_view(buf_, size_) : std::string_view(long_));
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

// The attributes of the state tags.

// " key=" followed by the name the definition file gives the number in
// `section`, or by the number itself when it has none.
[[gnu::always_inline]] inline void AddNamed(const DefinitionFile& names, TagText& tag, std::string_view key,
                                            const char* section, int16_t number) {
  char d[8];
  std::string_view decimal(d, static_cast<size_t>(std::to_chars(d, d + sizeof d, number).ptr - d));
  tag.Add(key);
  if (std::optional<std::string> name = names.Lookup(section, decimal)) {
    tag.Add(*name);
  } else {
    tag.Add(decimal);
  }
}

// A size attribute " key=%g" followed by the unit.
[[gnu::always_inline]] inline void AddSize(TagText& tag, std::string_view key, int16_t quarters, int16_t unit) {
  tag.Add(key);
  tag.AddNumberWithUnit(SizeHundredths(quarters), unit);
}

// A measure or indent: "%dmoji" when it is a whole number of character
// heights, else the length in the job unit.
inline void AddLineLength(TagText& tag, std::string_view key, int32_t length, int16_t height, int16_t unit) {
  tag.Add(key);
  MojiCountResult m = MojiCount(length, height);
  if (m.isWhole) {
    tag.AddInt(m.count);
    tag.Add("moji");
  } else {
    tag.AddNumberWithUnit(LengthHundredths(length), unit);
  }
}

inline std::string_view PositionName(int32_t position) {
  switch (position) {
    case 1: return "TOP";
    case 2: return "BOTTOM";
    case 3: return "BASE";
    default: return "CENTER";
  }
}

}  // namespace state_tags

// "<J" with f, size (or h and w), posi, jkr, color and tume for the character
// settings that differ from the emitted ones, which then take the current
// values. Font and colour numbers are written as the
// names the definition file gives them in sections "書体名" and "カラー",
// else as numbers. In vertical composition h carries the width and w the
// height. A pitch difference that changes to 0 is noted but not written.
// Nothing is written when no attribute was added.
template <typename Tags>
void WriteJTag(Tags tags) {
  const TypoState& now = tags.now();
  TypoState& was = tags.emitted();
  state_tags::TagText tag("<J");
  const int16_t unit = tags.unit();
  const bool vertical = tags.vertical();

  if (now.font != was.font) {
    state_tags::AddNamed(tags.names(), tag, " f=", lit::kSectionFontNames, now.font);
    was.font = now.font;
  }

  // Equal height and width make one size attribute; otherwise each changed
  // dimension is written on its own. The output's h is across the line, so
  // in vertical composition it carries the width and w the height.
  const bool square = now.height == now.width;
  bool sizeWritten = false;
  if (now.height != was.height) {
    if (square) {
      state_tags::AddSize(tag, " size=", now.height, unit);
      sizeWritten = true;
    } else {
      state_tags::AddSize(tag, vertical ? " w=" : " h=", now.height, unit);
    }
    was.height = now.height;
  }
  if (now.width != was.width) {
    if (!square) {
      state_tags::AddSize(tag, vertical ? " h=" : " w=", now.width, unit);
    } else if (!sizeWritten) {
      state_tags::AddSize(tag, " size=", now.width, unit);
    }
    was.width = now.width;
  }

  if (now.position != was.position) {
    tag.Add(" posi=");
    tag.Add(state_tags::PositionName(now.position));
    was.position = now.position;
  }

  if (now.jkr != was.jkr) {
    if (now.jkr != 0) state_tags::AddSize(tag, " jkr=", now.jkr, unit);
    was.jkr = now.jkr;
  }

  if (now.colour != was.colour) {
    state_tags::AddNamed(tags.names(), tag, " color=", lit::kSectionColourNames, now.colour);
    was.colour = now.colour;
  }

  if (now.tume != was.tume) {
    tag.Add(" tume=");
    tag.AddInt(PerMille(now.tume));
    was.tume = now.tume;
  }

  tag.WriteIfAny(tags);
}

// "<G" with l, mes, ind_l, ind_r, ind_s and ind_h for the line settings that
// changed, as WriteJTag. The measure and indents are written as a whole
// number of character heights ("%dmoji") when they are one, else as lengths.
template <typename Tags>
void WriteGTag(Tags tags) {
  const TypoState& now = tags.now();
  TypoState& was = tags.emitted();
  state_tags::TagText tag("<G");
  const int16_t unit = tags.unit();

  if (now.lineSpacing != was.lineSpacing) {
    tag.Add(" l=");
    tag.AddNumberWithUnit(LengthHundredths(now.lineSpacing), unit);
    was.lineSpacing = now.lineSpacing;
  }

  struct LineLength {
    const char* key;
    int32_t TypoState::*field;
  };
  static constexpr LineLength kLengths[] = {
      {" mes=", &TypoState::measure},          {" ind_l=", &TypoState::indentLeft},
      {" ind_r=", &TypoState::indentRight},    {" ind_s=", &TypoState::indentStart},
      {" ind_h=", &TypoState::indentHanging},
  };
  for (const LineLength& l : kLengths) {
    if (now.*l.field != was.*l.field) {
      state_tags::AddLineLength(tag, l.key, now.*l.field, now.height, unit);
      was.*l.field = now.*l.field;
    }
  }

  tag.WriteIfAny(tags);
}

namespace state_tags {

// The bytes of `state` from `offset` on as one word.
template <typename Word>
inline Word Load(const TypoState& state, size_t offset) {
  Word w;
  std::memcpy(&w, reinterpret_cast<const char*>(&state) + offset, sizeof w);
  return w;
}

// For each 16-bit (`lanes` 0x7FFF...) or 32-bit (0x7FFFFFFF...) lane of
// `d`, its top bit set when the lane is not zero.
inline uint64_t NonZeroLanes(uint64_t d, uint64_t lanes) { return (((d & lanes) + lanes) | d) & ~lanes; }

// The whole lanes whose top bit `nonZero` sets.
inline uint64_t WholeLanes(uint64_t nonZero, int laneBits) {
  return (nonZero >> (laneBits - 1)) * ((uint64_t{1} << laneBits) - 1);
}

}  // namespace state_tags

// What the text of WriteJTag depends on: the values of the character
// settings that differ from the emitted ones, which of them differ, whether
// the size is square, the unit, the direction and the generation of the
// names. Kept beside WriteJTag: whatever it comes to read must be here too.
// Font, height, width and jkr are compared as four lanes of one word, tume
// and colour as two lanes of another.
inline StateTagKey JTagKey(const TypoState& now, const TypoState& was, int16_t unit, bool vertical,
                           uint32_t namesGeneration) {
  using state_tags::Load;
  static_assert(offsetof(TypoState, font) == 0 && offsetof(TypoState, height) == 2 &&
                offsetof(TypoState, width) == 4 && offsetof(TypoState, jkr) == 6 && offsetof(TypoState, tume) == 8 &&
                offsetof(TypoState, colour) == 10);
  constexpr uint64_t k16 = 0x7FFF7FFF7FFF7FFFULL;
  const uint64_t n0 = Load<uint64_t>(now, 0), n1 = Load<uint32_t>(now, 8);
  const uint64_t c0 = state_tags::NonZeroLanes(n0 ^ Load<uint64_t>(was, 0), k16);
  const uint64_t c1 = state_tags::NonZeroLanes(n1 ^ Load<uint32_t>(was, 8), k16 & 0xFFFFFFFF);
  const bool position = now.position != was.position;
  const uint64_t p = position ? static_cast<uint32_t>(now.position) : 0;
  return StateTagKey{{n0 & state_tags::WholeLanes(c0, 16), (n1 & state_tags::WholeLanes(c1, 16)) | p << 32,
                      namesGeneration | static_cast<uint64_t>(static_cast<uint16_t>(unit)) << 32 |
                          uint64_t{vertical} << 48 | uint64_t{now.height == now.width} << 49 | uint64_t{'J'} << 56,
                      c0 | c1 >> 1 | uint64_t{position}}};
}

// What the text of WriteGTag depends on: the line settings that changed and
// their values, the character height when a measure or indent changed (it
// decides "moji"), and the unit. The six lengths are compared as lanes of
// two vectors, four and two; the fourth word holds which of them changed
// (bit k for the kth length), the height above them, then the unit.
inline StateTagKey GTagKey(const TypoState& now, const TypoState& was, int16_t unit) {
  static_assert(offsetof(TypoState, lineSpacing) == 12 && offsetof(TypoState, measure) == 32 &&
                offsetof(TypoState, indentLeft) == 16 && offsetof(TypoState, indentStart) == 28);
  using Four = int32_t __attribute__((vector_size(16)));
  using Two = int32_t __attribute__((vector_size(8)));
  const char* const n = reinterpret_cast<const char*>(&now);
  const char* const w = reinterpret_cast<const char*>(&was);
  Four n4, w4;
  Two n2, w2;
  std::memcpy(&n4, n + 12, sizeof n4);
  std::memcpy(&w4, w + 12, sizeof w4);
  std::memcpy(&n2, n + 28, sizeof n2);
  std::memcpy(&w2, w + 28, sizeof w2);
  // Lanes of all ones where a length changed, and the values there.
  const Four c4 = n4 != w4;
  const Two c2 = n2 != w2;
  const Four v4 = n4 & c4;
  const Two v2 = n2 & c2;
  uint64_t part[3], c[3];
  std::memcpy(part, &v4, sizeof v4);
  std::memcpy(part + 2, &v2, sizeof v2);
  std::memcpy(c, &c4, sizeof c4);
  std::memcpy(c + 2, &c2, sizeof c2);
  // Bit 0 and 32 of each word of lanes, the first word's at 0, the second's
  // at 1, the third's at 2; then the high lanes' brought down to 3 to 5.
  constexpr uint64_t kLow = 0x0000000100000001ULL;
  const uint64_t bits = (c[0] & kLow) | (c[1] & kLow) << 1 | (c[2] & kLow) << 2;
  const uint64_t changed = (bits | bits >> 29) & 0x3F;
  // Anything but the line spacing (bit 0).
  const uint64_t height = changed > 1 ? uint64_t{static_cast<uint16_t>(now.height)} << 8 : 0;
  return StateTagKey{{part[0], part[1], part[2],
                      changed | height | static_cast<uint64_t>(static_cast<uint16_t>(unit)) << 24 |
                          uint64_t{'G'} << 48}};
}

namespace state_tags {

// The settings that differ between the current and the emitted ones, as
// the bits that differ in the words the settings lie in.
struct SettingsChanges {
  uint64_t fontToJkr;    // font, height, width and jkr, 16 bits each from the low end
  uint32_t tumeColour;   // tume and colour
  uint32_t position;
  uint32_t lineSpacing;
  uint64_t indentsMeasure;  // not 0 when an indent or the measure differs
  // Whether the <J> or the <G> tag has an attribute to write.
  bool j() const { return (fontToJkr | tumeColour | position) != 0; }
  bool g() const { return (lineSpacing | indentsMeasure) != 0; }
};

inline SettingsChanges ChangesOf(const TypoState& now, const TypoState& was) {
  static_assert(offsetof(TypoState, lineSpacing) == 12 && offsetof(TypoState, measure) == 32 &&
                offsetof(TypoState, position) == 36 && sizeof(TypoState) == 40);
  return {Load<uint64_t>(now, 0) ^ Load<uint64_t>(was, 0), Load<uint32_t>(now, 8) ^ Load<uint32_t>(was, 8),
          Load<uint32_t>(now, 36) ^ Load<uint32_t>(was, 36), Load<uint32_t>(now, 12) ^ Load<uint32_t>(was, 12),
          (Load<uint64_t>(now, 16) ^ Load<uint64_t>(was, 16)) | (Load<uint64_t>(now, 24) ^ Load<uint64_t>(was, 24)) |
              (Load<uint32_t>(now, 32) ^ Load<uint32_t>(was, 32))};
}

}  // namespace state_tags

// The key of SingleChangeTexts for the text of WriteJTag when one setting
// changed alone, or 0: a font (the text depends on the font and the
// generation of the names) or a size that stays square (the height or the
// width or both changed and are equal; the text is " size=" with the height,
// and depends on it and the unit only). Called when the tag has something to
// write. Kept beside WriteJTag: whatever it comes to read must be here too.
inline uint64_t SingleJChangeKey(const state_tags::SettingsChanges& changes, const TypoState& now, int16_t unit,
                                 uint32_t namesGeneration) {
  if ((changes.tumeColour | changes.position) != 0) return 0;
  const uint64_t d = changes.fontToJkr;
  if (d == 0) return 0;
  if (d == (d & 0xFFFF)) {
    return uint64_t{'f'} << 56 | uint64_t{namesGeneration} << 16 | static_cast<uint16_t>(now.font);
  }
  if ((d & 0xFFFF00000000FFFFULL) == 0 && now.height == now.width) {
    return uint64_t{'s'} << 56 | uint64_t{static_cast<uint16_t>(unit)} << 16 | static_cast<uint16_t>(now.height);
  }
  return 0;
}
inline uint64_t SingleJChangeKey(const TypoState& now, const TypoState& was, int16_t unit,
                                 uint32_t namesGeneration) {
  return SingleJChangeKey(state_tags::ChangesOf(now, was), now, unit, namesGeneration);
}

// The key of SingleChangeTexts for the text of WriteJTag when what a size
// command changes changed and nothing else, or 0: a size that stays square
// with its position or pitch difference, or either of these alone (the text
// is " size=" with the height when the height or the width or both changed
// and are equal, " posi=" with the position's name when it changed, " jkr="
// with the pitch difference when it changed to another than 0, and depends
// on those and the unit only). For the changes SingleJChangeKey gives no key;
// called when the tag has something to write. Kept beside WriteJTag:
// whatever it comes to read must be here too.
inline uint64_t SizeChangeKey(const state_tags::SettingsChanges& changes, const TypoState& now, int16_t unit) {
  const uint64_t d = changes.fontToJkr;
  if (changes.tumeColour != 0 || (d & 0xFFFF) != 0 || now.height != now.width) return 0;
  // Which of the size, the position and the pitch difference changed, and
  // the values of those that did (the position by the name it is written
  // with).
  const bool size = (d & 0x0000FFFFFFFF0000ULL) != 0, jkr = (d >> 48) != 0, position = changes.position != 0;
  const uint64_t positionName =
      position && now.position >= 1 && now.position <= 3 ? static_cast<uint64_t>(now.position) : 0;
  return uint64_t{'S'} << 56 | uint64_t{size} << 50 | uint64_t{position} << 51 | uint64_t{jkr} << 52 |
         positionName << 48 | uint64_t{static_cast<uint16_t>(unit)} << 32 |
         (jkr ? uint64_t{static_cast<uint16_t>(now.jkr)} << 16 : 0) | (size ? static_cast<uint16_t>(now.height) : 0);
}

// The key of SingleChangeTexts for the text of WriteJTag when the colour
// changed alone, or 0 (the text is " color=" with the colour's name or its
// number: it depends on the colour and the generation of the names). For the
// changes SingleJChangeKey and SizeChangeKey give no key; called when the
// tag has something to write. Kept beside WriteJTag: whatever it comes to
// read must be here too.
inline uint64_t ColourChangeKey(const state_tags::SettingsChanges& changes, const TypoState& now,
                                uint32_t namesGeneration) {
  static_assert(offsetof(TypoState, tume) == 8 && offsetof(TypoState, colour) == 10);
  // The colour is the high lane of the word of tume and colour.
  if ((changes.fontToJkr | changes.position) != 0 || (changes.tumeColour & 0xFFFF) != 0) return 0;
  return uint64_t{'c'} << 56 | uint64_t{namesGeneration} << 16 | static_cast<uint16_t>(now.colour);
}

// The key of SingleChangeTexts for the text of WriteGTag when the line
// spacing changed alone (the text depends on it and the unit), or 0. Called
// when the tag has something to write.
inline uint64_t SingleGChangeKey(const state_tags::SettingsChanges& changes, const TypoState& now, int16_t unit) {
  // The five lengths after the line spacing: indents and measure.
  if (changes.indentsMeasure != 0) return 0;
  return uint64_t{'l'} << 56 | uint64_t{static_cast<uint16_t>(unit)} << 32 | static_cast<uint32_t>(now.lineSpacing);
}
inline uint64_t SingleGChangeKey(const TypoState& now, const TypoState& was, int16_t unit) {
  return SingleGChangeKey(state_tags::ChangesOf(now, was), now, unit);
}

// The key of SingleChangeTexts for the text of WriteGTag when the measure
// changed alone, or 0 (the text is " mes=" with the measure, as a number of
// character heights or a length in the unit: it depends on the measure, the
// height and the unit; a unit that does not fit in a byte gets no key). For
// the changes SingleGChangeKey gives no key; called when the tag has
// something to write.
inline uint64_t MeasureChangeKey(const state_tags::SettingsChanges& changes, const TypoState& now,
                                 const TypoState& was, int16_t unit) {
  using state_tags::Load;
  static_assert(offsetof(TypoState, indentLeft) == 16 && offsetof(TypoState, measure) == 32);
  // The four indents lie in the words at 16 and 24.
  if (now.measure == was.measure || changes.lineSpacing != 0 || ((Load<uint64_t>(now, 16) ^ Load<uint64_t>(was, 16)) |
                                   (Load<uint64_t>(now, 24) ^ Load<uint64_t>(was, 24))) != 0) {
    return 0;
  }
  if (static_cast<uint16_t>(unit) > 0xFF) return 0;
  return uint64_t{'m'} << 56 | uint64_t{static_cast<uint16_t>(unit)} << 48 |
         uint64_t{static_cast<uint16_t>(now.height)} << 32 | static_cast<uint32_t>(now.measure);
}

// The emitted settings a <J> or <G> tag takes on once written.
inline void TakeJSettings(const TypoState& now, TypoState& was) {
  was.font = now.font;
  was.height = now.height;
  was.width = now.width;
  was.position = now.position;
  was.jkr = now.jkr;
  was.colour = now.colour;
  was.tume = now.tume;
}
inline void TakeGSettings(const TypoState& now, TypoState& was) {
  was.lineSpacing = now.lineSpacing;
  was.measure = now.measure;
  was.indentLeft = now.indentLeft;
  was.indentRight = now.indentRight;
  was.indentStart = now.indentStart;
  was.indentHanging = now.indentHanging;
}

// "<MOVE" with up (the accumulated shift, sign inverted), aki (per mille,
// sign inverted) and bnkn=N for the pending one-shot values, each cleared
// once written. Nothing is written when none is pending. The tag is short
// and of a known most length: composed in a buffer of the stack.
template <typename Tags>
void WriteMoveTag(Tags tags) {
  PendingMove& m = tags.move();
  if (m.up == 0 && m.aki == 0 && m.bnkn != -1) return;
  char tag[5 + 4 + kMostNumberWithUnit + 5 + 11 + 7 + 1];
  std::memcpy(tag, "<MOVE", 5);
  char* d = tag + 5;
  if (m.up != 0) {
    std::memcpy(d, " up=", 4);
    d += 4;
    const Hundredths up = LengthHundredths(m.up);
    if (up.count == 0) {
      // The inverted shift of less than a hundredth is a negative zero,
      // which "%g" writes with its sign.
      std::memcpy(d, "-0", 2);
      d += 2;
      if (tags.unit() == 1) {
        *d++ = 'Q';
      } else {
        std::memcpy(d, "pt", 2);
        d += 2;
      }
    } else {
      d = PutNumberWithUnit(d, Hundredths{-up.count}, tags.unit());
    }
    m.up = 0;
  }
  if (m.aki != 0) {
    std::memcpy(d, " aki=", 5);
    d = std::to_chars(d + 5, d + 16, PerMille(-int32_t{m.aki})).ptr;
    m.aki = 0;
  }
  if (m.bnkn == -1) {
    std::memcpy(d, " bnkn=N", 7);
    d += 7;
    m.bnkn = 0;
  }
  *d++ = '>';
  tags.WriteText(std::string_view(tag, static_cast<size_t>(d - tag)));
}

}  // namespace velkan
