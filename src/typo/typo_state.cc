#include "typo/typo_state.h"

#include <charconv>
#include <cstring>
#include <cstdio>
#include <optional>
#include <string>

#include "conversion/conversion.h"
#include "typo/typo_literals.h"
#include "typo/units.h"

namespace velkan {

namespace {

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
  // printf("%g", value) followed by the unit name.
  void AddNumberWithUnit(double value, int16_t unit) {
    char d[kMostG];
    Add(std::string_view(d, static_cast<size_t>(PutG(d, value) - d)));
    Add(UnitName(unit));
  }
  // Writes "<NAME ...>" when at least one attribute follows the name.
  void WriteIfAny(Conversion& c) {
    if (size() == nameLength_) return;
    Add(">");
    c.out.WriteText(long_.empty() ? std::string_view(buf_, size_) : std::string_view(long_));
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

// " key=" followed by the name the definition file gives the number in
// `section`, or by the number itself when it has none.
[[gnu::always_inline]] inline void AddNamed(Conversion& c, TagText& tag, std::string_view key, const char* section,
                                            int16_t number) {
  char d[8];
  std::string_view decimal(d, static_cast<size_t>(std::to_chars(d, d + sizeof d, number).ptr - d));
  tag.Add(key);
  if (std::optional<std::string> name = c.definitions.Lookup(section, decimal)) {
    tag.Add(*name);
  } else {
    tag.Add(decimal);
  }
}

// A size attribute " key=%g" followed by the unit.
[[gnu::always_inline]] inline void AddSize(TagText& tag, std::string_view key, int16_t quarters, int16_t unit) {
  tag.Add(key);
  tag.AddNumberWithUnit(FormatSize(quarters), unit);
}

// A measure or indent: "%dmoji" when it is a whole number of character
// heights, else the length in the job unit.
void AddLineLength(TagText& tag, std::string_view key, int32_t length, int16_t height, int16_t unit) {
  tag.Add(key);
  MojiCountResult m = MojiCount(length, height);
  if (m.isWhole) {
    tag.AddInt(m.count);
    tag.Add("moji");
  } else {
    tag.AddNumberWithUnit(FormatLength(length), unit);
  }
}

std::string_view PositionName(int32_t position) {
  switch (position) {
    case 1: return "TOP";
    case 2: return "BOTTOM";
    case 3: return "BASE";
    default: return "CENTER";
  }
}

}  // namespace

void ResetTypoState(TypoState& typo) {
  typo = TypoState{};
  typo.font = 1;
  typo.height = 32;
  typo.width = 32;
  typo.lineSpacing = 155520;
  typo.measure = 1710720;
  typo.position = 0;
  typo.colour = -1;
}

void WriteJTag(Conversion& c) {
  TypoState& now = c.typo;
  TypoState& was = c.emitted;
  const int16_t unit = c.session.settings.unit;
  const bool vertical = c.session.settings.direction == 1;
  TagText tag("<J");

  if (now.font != was.font) {
    AddNamed(c, tag, " f=", lit::kSectionFontNames, now.font);
    was.font = now.font;
  }

  // Equal height and width make one size attribute; otherwise each changed
  // dimension is written on its own. The output's h is across the line, so
  // in vertical composition it carries the width and w the height.
  const bool square = now.height == now.width;
  bool sizeWritten = false;
  if (now.height != was.height) {
    if (square) {
      AddSize(tag, " size=", now.height, unit);
      sizeWritten = true;
    } else {
      AddSize(tag, vertical ? " w=" : " h=", now.height, unit);
    }
    was.height = now.height;
  }
  if (now.width != was.width) {
    if (!square) {
      AddSize(tag, vertical ? " h=" : " w=", now.width, unit);
    } else if (!sizeWritten) {
      AddSize(tag, " size=", now.width, unit);
    }
    was.width = now.width;
  }

  if (now.position != was.position) {
    tag.Add(" posi=");
    tag.Add(PositionName(now.position));
    was.position = now.position;
  }

  if (now.jkr != was.jkr) {
    if (now.jkr != 0) AddSize(tag, " jkr=", now.jkr, unit);
    was.jkr = now.jkr;
  }

  if (now.colour != was.colour) {
    AddNamed(c, tag, " color=", lit::kSectionColourNames, now.colour);
    was.colour = now.colour;
  }

  if (now.tume != was.tume) {
    tag.Add(" tume=");
    tag.AddInt(PerMille(now.tume));
    was.tume = now.tume;
  }

  tag.WriteIfAny(c);
}

void WriteGTag(Conversion& c) {
  TypoState& now = c.typo;
  TypoState& was = c.emitted;
  const int16_t unit = c.session.settings.unit;
  TagText tag("<G");

  if (now.lineSpacing != was.lineSpacing) {
    tag.Add(" l=");
    tag.AddNumberWithUnit(FormatLength(now.lineSpacing), unit);
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
      AddLineLength(tag, l.key, now.*l.field, now.height, unit);
      was.*l.field = now.*l.field;
    }
  }

  tag.WriteIfAny(c);
}

void WriteMoveTag(Conversion& c) {
  PendingMove& m = c.move;
  TagText tag("<MOVE");
  if (m.up != 0) {
    tag.Add(" up=");
    tag.AddNumberWithUnit(-FormatLength(m.up), c.session.settings.unit);
    m.up = 0;
  }
  if (m.aki != 0) {
    tag.Add(" aki=");
    tag.AddInt(PerMille(-int32_t{m.aki}));
    m.aki = 0;
  }
  if (m.bnkn == -1) {
    tag.Add(" bnkn=N");
    m.bnkn = 0;
  }
  tag.WriteIfAny(c);
}

void WriteCharacterTags(Conversion& c) {
  const TypoState& now = c.typo;
  const TypoState& was = c.emitted;
  if (!CharacterTagsPending(now, was, c.move)) return;
  // Each tag is written only when one of its attributes changed (a tag with
  // no attribute to write is left out anyway).
  if (now.font != was.font || now.height != was.height || now.width != was.width ||
      now.position != was.position || now.jkr != was.jkr || now.colour != was.colour || now.tume != was.tume) {
    WriteJTag(c);
  }
  if (now.lineSpacing != was.lineSpacing || now.measure != was.measure || now.indentLeft != was.indentLeft ||
      now.indentRight != was.indentRight || now.indentStart != was.indentStart ||
      now.indentHanging != was.indentHanging) {
    WriteGTag(c);
  }
  if (c.move.up != 0 || c.move.aki != 0 || c.move.bnkn == -1) WriteMoveTag(c);
}

}  // namespace velkan
