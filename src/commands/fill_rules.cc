#include "commands/fill_rules.h"

#include <algorithm>
#include <string_view>

#include "commands/arguments.h"
#include "commands/ruby.h"
#include "commands/rules.h"
#include "commands/warning_commands.h"
#include "conversion/code_stream.h"
#include "conversion/conversion.h"
#include "conversion/readers.h"
#include "typo/definition_file.h"
#include "typo/typo_literals.h"
#include "typo/units.h"

namespace velkan {

Flow CmdFillRule(Conversion& c) {
  CodeStream& s = c.stream;
  CloseManualRuby(c);
  s.Consume();
  if (s.Take() < 0) return Flow::kFail;
  const uint16_t w1 = s.current();
  // The tag is composed on the stack.
  constexpr std::string_view kHead = "<FIL", kAki = " aki=30em", kType = " type=";
  constexpr std::string_view kSpaceLine = lit::kTagFillSpaceLine;
  char tag[kHead.size() + kMostThicknessLine + kAki.size() +
           std::max({kSpaceLine.size(), kType.size() + kMostDefinitionLine, kMostThicknessLine}) + 1];
  char* d = std::copy(kHead.begin(), kHead.end(), tag);
  bool written = false;

  // Reads the optional thickness digit behind a rule word (a word that is
  // no digit stays pending; the key is then 0) and puts its line.
  auto thicknessDigitLine = [&]() {
    int16_t n;
    if (ReadDigits(c, n, 1) < 0) return false;
    d = PutThicknessLine(c, d, n);
    return true;
  };
  if (w1 == kVerticalHorizontalRule) {
    if (!thicknessDigitLine()) return Flow::kFail;
    written = true;
  }
  if (w1 == kBell) {
    if (s.Take() < 0) return Flow::kFail;
    if (s.current() == kTagEm) {
      if (!thicknessDigitLine()) return Flow::kFail;
      d = std::copy(kAki.begin(), kAki.end(), d);
      written = true;
    }
    // Any other word after the bell is dropped.
  }
  if (w1 == kSpaceCommand) {
    d = std::copy(kSpaceLine.begin(), kSpaceLine.end(), d);
    written = true;
  } else {
    char key[4];
    PutHex4(key, w1);
    if (auto v = c.definitions.Find(lit::kSectionFillRule, std::string_view(key, sizeof key))) {
      // A value is part of one line of the file; never longer.
      const std::string_view type = v->substr(0, kMostDefinitionLine);
      d = std::copy(kType.begin(), kType.end(), d);
      d = std::copy(type.begin(), type.end(), d);
      written = true;
    } else if (char* line = d; (d = PutThicknessLine(c, d, 0)) != line) {
      written = true;
    }
  }
  *d++ = '>';

  if (written) {
    c.out.WriteText(std::string_view(tag, static_cast<size_t>(d - tag)));
  } else if (InCommandTable(w1)) {
    s.Keep(w1);
  }
  return Flow::kGoOn;
}

Flow CmdPageNumber0(Conversion& c) { return WarnAndConsume(c, kWarningTag<lit::kWarnPageNumber0>); }
Flow CmdPageNumber1(Conversion& c) { return WarnAndConsume(c, kWarningTag<lit::kWarnPageNumber1>); }
Flow CmdPageNumber2(Conversion& c) { return WarnAndConsume(c, kWarningTag<lit::kWarnPageNumber2>); }

Flow CmdPageNumberValues(Conversion& c) {
  CodeStream& s = c.stream;
  NumberValues& values = c.session.numberValues;
  for (int16_t& value : values) {
    int16_t r = ReadInteger(c, value);
    if (r < 0) return Flow::kFail;
    if (r == 0 || s.current() != kCommaSeparator) {
      if (SkipArguments(c) < 0) return Flow::kFail;
      break;
    }
  }
  c.out.WriteWarningF<lit::kWarnPageNumberValues>(values[0], values[1], values[2], values[3], values[4],
                      values[5]);
  return Flow::kGoOn;
}

Flow CmdCentering(Conversion& c) {
  int32_t length;
  if (ReadLength(c, length) < 0) return Flow::kFail;
  c.out.WriteWarningF<lit::kWarnCentering>(LengthHundredths(length));
  return Flow::kGoOn;
}

Flow CmdBaselineJump(Conversion& c) {
  int16_t size;
  if (ReadQuarters(c, size) < 0) return Flow::kFail;
  c.out.WriteWarningF<lit::kWarnBaselineJump>(size);
  return Flow::kGoOn;
}

Flow CmdSplitLineParameters(Conversion& c) {
  return WithArguments(c, [&](auto& a) {
    SplitLineParameters p;
    if (a.Quarters(p.firstSize) < 0) return Flow::kFail;
    if (a.current() == kCommaSeparator) {
      if (a.Quarters(p.secondSize) < 0) return Flow::kFail;
      if (a.current() == kCommaSeparator) {
        if (a.Integer(p.type) < 0) return Flow::kFail;
        if (a.current() == kCommaSeparator && a.Integer(p.par) < 0) return Flow::kFail;
      }
    }
    c.splitLine = p;
    return Flow::kGoOn;
  });
}

Flow CmdBoxParameters(Conversion& c) {
  return WithArguments(c, [&](auto& a) {
    BoxParameters p;
    if (a.Integer(p.lineSelector) < 0) return Flow::kFail;
    if (a.current() == kCommaSeparator) {
      int16_t r = a.Length(p.gap);
      if (r < 0) return Flow::kFail;
      if (r == 0) p.gap = kInternalPerUnit;
    }
    c.box = p;
    return Flow::kGoOn;
  });
}

}  // namespace velkan
