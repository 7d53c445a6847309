#include "typo/typo_state.h"

#include <charconv>
#include <cstring>
#include <cstdio>
#include <optional>
#include <string>

#include "driver/conversion.h"
#include "typo/typo_literals.h"
#include "typo/units.h"

namespace velkan {

namespace {

void AppendInt(std::string& out, long long v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, static_cast<size_t>(r.ptr - buf));
}

// " key=" followed by the name the definition file gives the number in
// `section`, or by the number itself when it has none.
void AppendNamed(Conversion& c, std::string& tag, const char* key, const char* section, int16_t number) {
  std::string decimal;
  AppendInt(decimal, number);
  tag += key;
  if (std::optional<std::string> name = c.definitions.Lookup(section, decimal)) {
    tag += *name;
  } else {
    tag += decimal;
  }
}

// A size attribute " key=%g" followed by the unit.
void AppendSize(std::string& tag, const char* key, int16_t quarters, int16_t unit) {
  tag += key;
  AppendNumberWithUnit(tag, FormatSize(quarters), unit);
}

// A measure or indent: "%dmoji" when it is a whole number of character
// heights, else the length in the job unit.
void AppendLineLength(std::string& tag, const char* key, int32_t length, int16_t height, int16_t unit) {
  tag += key;
  MojiCountResult m = MojiCount(length, height);
  if (m.isWhole) {
    AppendInt(tag, m.count);
    tag += "moji";
  } else {
    AppendNumberWithUnit(tag, FormatLength(length), unit);
  }
}

const char* PositionName(int32_t position) {
  switch (position) {
    case 1: return "TOP";
    case 2: return "BOTTOM";
    case 3: return "BASE";
    default: return "CENTER";
  }
}

// Writes "<NAME ...>" when at least one attribute follows the name.
void WriteTagIfAny(Conversion& c, std::string& tag, size_t nameLength) {
  if (tag.size() == nameLength) return;
  tag += '>';
  c.out.WriteText(tag);
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
  std::string tag = "<J";

  if (now.font != was.font) {
    AppendNamed(c, tag, " f=", lit::kSectionFontNames, now.font);
    was.font = now.font;
  }

  // Equal height and width make one size attribute; otherwise each changed
  // dimension is written on its own. The output's h is across the line, so
  // in vertical composition it carries the width and w the height.
  const bool square = now.height == now.width;
  bool sizeWritten = false;
  if (now.height != was.height) {
    if (square) {
      AppendSize(tag, " size=", now.height, unit);
      sizeWritten = true;
    } else {
      AppendSize(tag, vertical ? " w=" : " h=", now.height, unit);
    }
    was.height = now.height;
  }
  if (now.width != was.width) {
    if (!square) {
      AppendSize(tag, vertical ? " h=" : " w=", now.width, unit);
    } else if (!sizeWritten) {
      AppendSize(tag, " size=", now.width, unit);
    }
    was.width = now.width;
  }

  if (now.position != was.position) {
    tag += " posi=";
    tag += PositionName(now.position);
    was.position = now.position;
  }

  if (now.jkr != was.jkr) {
    if (now.jkr != 0) AppendSize(tag, " jkr=", now.jkr, unit);
    was.jkr = now.jkr;
  }

  if (now.colour != was.colour) {
    AppendNamed(c, tag, " color=", lit::kSectionColourNames, now.colour);
    was.colour = now.colour;
  }

  if (now.tume != was.tume) {
    tag += " tume=";
    AppendInt(tag, PerMille(now.tume));
    was.tume = now.tume;
  }

  WriteTagIfAny(c, tag, 2);
}

void WriteGTag(Conversion& c) {
  TypoState& now = c.typo;
  TypoState& was = c.emitted;
  const int16_t unit = c.session.settings.unit;
  std::string tag = "<G";

  if (now.lineSpacing != was.lineSpacing) {
    tag += " l=";
    AppendNumberWithUnit(tag, FormatLength(now.lineSpacing), unit);
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
      AppendLineLength(tag, l.key, now.*l.field, now.height, unit);
      was.*l.field = now.*l.field;
    }
  }

  WriteTagIfAny(c, tag, 2);
}

void WriteMoveTag(Conversion& c) {
  PendingMove& m = c.move;
  std::string tag = "<MOVE";
  if (m.up != 0) {
    tag += " up=";
    AppendNumberWithUnit(tag, -FormatLength(m.up), c.session.settings.unit);
    m.up = 0;
  }
  if (m.aki != 0) {
    tag += " aki=";
    AppendInt(tag, PerMille(-int32_t{m.aki}));
    m.aki = 0;
  }
  if (m.bnkn == -1) {
    tag += " bnkn=N";
    m.bnkn = 0;
  }
  WriteTagIfAny(c, tag, 5);
}

void WriteCharacterTags(Conversion& c) {
  // Most steps change nothing the tags carry.
  const TypoState& now = c.typo;
  const TypoState& was = c.emitted;
  if (std::memcmp(&now, &was, sizeof now) == 0 && c.move.up == 0 && c.move.aki == 0 && c.move.bnkn != -1) {
    return;
  }
  WriteJTag(c);
  WriteGTag(c);
  WriteMoveTag(c);
}

}  // namespace velkan
