#include "commands/rules.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "commands/arguments.h"
#include "commands/ruby.h"
#include "commands/warning_commands.h"
#include "conversion/code_stream.h"
#include "conversion/conversion.h"
#include "conversion/readers.h"
#include "typo/typo_literals.h"
#include "typo/units.h"

namespace velkan {

namespace {

constexpr int16_t kMaxUnderlineType = 4;
constexpr int16_t kMaxThicknessKey = 9;

// Clamps a wide intermediate to the 32-bit range of a length.
int32_t ClampLength(int64_t v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

std::string Decimal(int32_t v) { return std::to_string(v); }

// "</UL2>" and so on for the underline type in force.
const char* UnderlineEndTag(int16_t type) {
  switch (type) {
    case 1: return "</UL1>";
    case 2: return "</UL5>";
    case 3:
    case 4: return "</UL3>";
    default: return "</UL2>";
  }
}

// Copies `text` to `d`; returns the end.
char* PutText(char* d, std::string_view text) {
  std::memcpy(d, text.data(), text.size());
  return d + text.size();
}

// The most bytes PutUnderlineStartTag writes: the longer of its two forms.
constexpr size_t kMostUnderlineStartTag =
    4 + 5 + kMostNumberWithUnit + 6 + kMostDefinitionLine + sizeof lit::kTagUnderlineKindOneTail + 1;
static_assert(kMostUnderlineStartTag >= 4 + sizeof lit::kTagUnderlineSolidHead + kMostNumberWithUnit + 48 + 1);

// Writes the start tag of the underline type in force at `d`; returns the
// end.
char* PutUnderlineStartTag(Conversion& c, char* d) {
  const UnderlineSettings& u = c.underline;
  const int16_t unit = c.session.settings.unit;
  if (u.type == 3 || u.type == 4) {
    d = PutText(d, "<UL3");
    d = PutText(d, lit::kTagUnderlineSolidHead);
    d = PutNumberWithUnit(d, LengthHundredths(UnderlineRuleWidth(c)), unit);
    // The shade is the tens digit of the line kind: 10 % for 0, up to 100 %.
    int32_t k = (int32_t{u.lineKind} / 10) % 10;
    char shade[48];
    int n = std::snprintf(shade, sizeof shade, lit::kTagUnderlineShade, 10 * k + 10);
    d = PutText(d, std::string_view(shade, static_cast<size_t>(n)));
    *d++ = '>';
    return d;
  }
  d = PutText(d, u.type == 1 ? "<UL1" : u.type == 2 ? "<UL5" : "<UL2");
  if (u.gap != 0) d = PutNumberWithUnit(PutText(d, " aki="), LengthHundredths(u.gap), unit);
  // A value is part of one line of the definition file; never longer.
  auto value = [](std::string_view v) { return v.substr(0, kMostDefinitionLine); };
  if (u.lineKind == 0) {
    d = PutThicknessLine(c, d, u.thicknessKey);
  } else if (u.lineKind == 1) {
    if (auto v = c.definitions.Find(lit::kSectionRuleKind, "1")) {
      d = PutText(PutText(PutText(d, " line="), value(*v)), lit::kTagUnderlineKindOneTail);
    }
  } else if (auto v = c.definitions.Find(lit::kSectionRuleKind, Decimal(u.lineKind))) {
    d = PutText(PutText(d, " type="), value(*v));
  }
  *d++ = '>';
  return d;
}

// The coordinate rule; `counted` reads the trailing integer of 0xD08B and
// 0xD0A6.
Flow CoordinateRule(Conversion& c, bool counted) {
  CodeStream& s = c.stream;
  int16_t n;
  if (ReadInteger(c, n) < 0) return Flow::kFail;
  int32_t lengths[3];
  for (int32_t& l : lengths) {
    if (s.current() != kCommaSeparator) return SkipArguments(c) < 0 ? Flow::kFail : Flow::kGoOn;
    if (ReadLength(c, l) < 0) return Flow::kFail;
  }
  c.out.WriteWarningF<lit::kWarnCoordinateRule>(n, LengthHundredths(lengths[0]), LengthHundredths(lengths[1]),
                      LengthHundredths(lengths[2]));
  if (counted && s.current() == kCommaSeparator) {
    int16_t ignored;
    if (ReadInteger(c, ignored) < 0) return Flow::kFail;
  }
  return Flow::kGoOn;
}

// Reads one optional digit word behind a main-slot command (a word that is
// no digit stays pending) and writes the warning.
Flow DigitThenWarn(Conversion& c, const WarningTag& warning) {
  int16_t ignored;
  if (ReadDigits(c, ignored, 1) < 0) return Flow::kFail;
  c.out.WriteWarning(warning);
  return Flow::kGoOn;
}

// PutThicknessLine with a definition file open: apart, so that the common
// case without one costs no frame.
[[gnu::noinline]] char* PutThicknessName(const Conversion& c, char* d, int32_t key) {
  char decimal[12];
  const char* end = std::to_chars(decimal, decimal + sizeof decimal, key).ptr;
  if (auto v = c.definitions.Find(lit::kSectionRuleThickness,
                                  std::string_view(decimal, static_cast<size_t>(end - decimal)))) {
    std::memcpy(d, " line=", 6);
    d += 6;
    // A value is part of one line of the file; never longer.
    std::string_view line = v->substr(0, kMostDefinitionLine);
    std::memcpy(d, line.data(), line.size());
    d += line.size();
  }
  return d;
}

}  // namespace

char* PutThicknessLine(const Conversion& c, char* d, int32_t key) {
  // Without a definition file the key is not even spelled.
  if (!c.definitions.isOpen()) return d;
  return PutThicknessName(c, d, key);
}

// The enclosure size is a length in internal units, the character height a
// count of quarter units. Both are brought to internal units before they are
// combined, so the margin is half of (size - height) in the job unit, halved
// toward zero, and written to hundredths like every length. An enclosure
// size of 0 (none given since the job started) gives no margin rather than
// a negative one of half the character height.
int32_t EnclosureMargin(const Conversion& c) {
  if (c.rules.enclosureSize == 0) return 0;
  int64_t height = int64_t{c.typo.height} * kInternalPerQuarter;
  return ClampLength((int64_t{c.rules.enclosureSize} - height) / 2);
}

char* PutEnclosureOpening(Conversion& c, char* d) {
  auto put = [&d](std::string_view text) {
    std::memcpy(d, text.data(), text.size());
    d += text.size();
  };
  put("<MAKI");
  d = PutThicknessLine(c, d, c.rules.thicknessKey);
  const Hundredths margin = LengthHundredths(EnclosureMargin(c));
  if (margin.count != 0) {
    put(" gaki=");
    d = PutNumberWithUnit(d, margin, c.session.settings.unit);
  }
  *d++ = '>';
  return d;
}

// As for the margin, the character height (quarter units) is converted to
// internal units before the two gaps (internal units) are added.
int32_t UnderlineRuleWidth(const Conversion& c) {
  int64_t height = int64_t{c.typo.height} * kInternalPerQuarter;
  return ClampLength(height + 2 * int64_t{c.underline.gap});
}

Flow CmdUnderlineSettings(Conversion& c) {
  return WithArguments(c, [&](auto& a) {
    UnderlineSettings u;  // the defaults for every field not given
    int16_t v;
    int16_t r = a.Integer(v);
    if (r < 0) return Flow::kFail;
    u.type = (r == 0 || v < 0 || v > kMaxUnderlineType) ? 0 : v;
    if (a.current() == kCommaSeparator) {
      if ((r = a.Integer(v)) < 0) return Flow::kFail;
      u.thicknessKey = (r == 0 || v < 0 || v > kMaxThicknessKey) ? 0 : v;
      if (a.current() == kCommaSeparator) {
        int32_t gap;
        if ((r = a.Length(gap)) < 0) return Flow::kFail;
        u.gap = r == 0 ? kInternalPerUnit : gap;
        if (a.current() == kCommaSeparator) {
          if ((r = a.Integer(v)) < 0) return Flow::kFail;
          u.lineKind = r == 0 ? 0 : v;
          // A length, one character word and an integer are accepted without
          // effect.
          if (a.current() == kCommaSeparator) {
            int32_t ignoredLength;
            if (a.Length(ignoredLength) < 0) return Flow::kFail;
            if (a.current() == kCommaSeparator) {
              // The character word; a command in its place ends the arguments
              // and stays current, so the group's closing word is never passed.
              if (a.Take() < 0) return Flow::kFail;
              if (!IsCommandWord(a.current())) {
                if (a.Take() < 0) return Flow::kFail;
                if (a.current() == kCommaSeparator && a.Integer(v) < 0) return Flow::kFail;
              }
            }
          }
        }
      }
    }
    c.underline = u;
    return Flow::kGoOn;
  });
}

Flow CmdUnderlineMark(Conversion& c) {
  CloseManualRuby(c);
  if (c.underlineOpen == 1) {
    c.out.WriteText(UnderlineEndTag(c.underline.type));
    c.underlineOpen = 0;
  } else {
    c.out.WriteComposed<kMostUnderlineStartTag>([&c](char* d) { return PutUnderlineStartTag(c, d); });
    c.underlineOpen = 1;
  }
  c.stream.Consume();
  return Flow::kGoOn;
}

Flow CmdRuleSettings(Conversion& c) {
  return WithArguments(c, [&](auto& a) {
    auto skip = [&a] { return a.Skip() < 0 ? Flow::kFail : Flow::kGoOn; };
    int16_t key;
    int32_t inner, size;
    if (a.Integer(key) < 0) return Flow::kFail;
    if (a.current() != kCommaSeparator) return skip();
    if (a.Length(inner) < 0) return Flow::kFail;
    if (a.current() != kCommaSeparator) return skip();
    if (a.Length(size) < 0) return Flow::kFail;
    c.rules = RuleSettings{key, inner, size};
    return Flow::kGoOn;
  });
}

Flow CmdEnclosureBox(Conversion& c) {
  // The whole text composed in the output's room and written at once, no
  // string grown piece by piece.
  c.out.WriteComposed<kMostEnclosureOpening + 8 + kMostNumberWithUnit + 1 + 7>([&c](char* d) {
    d = PutEnclosureOpening(c, d);
    if (c.rules.innerWidth != 0) {
      std::memcpy(d, "<em wid=", 8);
      d = PutNumberWithUnit(d + 8, LengthHundredths(c.rules.innerWidth), c.session.settings.unit);
      *d++ = '>';
    }
    std::memcpy(d, "</MAKI>", 7);
    return d + 7;
  });
  c.stream.Consume();
  return Flow::kGoOn;
}

Flow CmdRelativeRuleDigit(Conversion& c) { return DigitThenWarn(c, kWarningTag<lit::kWarnRelativeRule>); }
Flow CmdRelativeRule(Conversion& c) { return WarnAndConsume(c, kWarningTag<lit::kWarnRelativeRule>); }
Flow CmdRelativeRuleIgnored(Conversion& c) { return WarnAndConsume(c, kWarningTag<lit::kWarnRelativeRuleIgnored>); }
Flow CmdVerticalHorizontalRule(Conversion& c) { return DigitThenWarn(c, kWarningTag<lit::kWarnVerticalHorizontalRule>); }
Flow CmdCoordinateRule(Conversion& c) { return CoordinateRule(c, false); }
Flow CmdCoordinateRuleCounted(Conversion& c) { return CoordinateRule(c, true); }

}  // namespace velkan
