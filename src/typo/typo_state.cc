#include "typo/typo_state.h"

#include <charconv>
#include <cstring>
#include <cstdio>
#include <optional>
#include <string>

#include "typo/definition_file.h"
#include "typo/typo_literals.h"
#include "typo/units.h"

namespace velkan {

namespace {

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

std::string_view ComposeJTag(const TypoState& now, TypoState& was, const TagFormat& format, TagText& tag) {
  const int16_t unit = format.unit;
  const bool vertical = format.vertical;

  if (now.font != was.font) {
    AddNamed(format.names, tag, " f=", lit::kSectionFontNames, now.font);
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
    AddNamed(format.names, tag, " color=", lit::kSectionColourNames, now.colour);
    was.colour = now.colour;
  }

  if (now.tume != was.tume) {
    tag.Add(" tume=");
    tag.AddInt(PerMille(now.tume));
    was.tume = now.tume;
  }

  return tag.Close();
}

std::string_view ComposeGTag(const TypoState& now, TypoState& was, const TagFormat& format, TagText& tag) {
  const int16_t unit = format.unit;

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

  return tag.Close();
}

std::string_view ComposeMoveTag(PendingMove& m, const TagFormat& format, TagText& tag) {
  if (m.up != 0) {
    tag.Add(" up=");
    tag.AddNumberWithUnit(-FormatLength(m.up), format.unit);
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
  return tag.Close();
}

}  // namespace velkan
