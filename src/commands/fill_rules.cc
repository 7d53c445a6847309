#include "commands/fill_rules.h"

#include <string>

#include "commands/arguments.h"
#include "commands/ruby.h"
#include "commands/rules.h"
#include "commands/warning_commands.h"
#include "conversion/code_stream.h"
#include "conversion/conversion.h"
#include "conversion/readers.h"
#include "typo/typo_literals.h"
#include "typo/units.h"

namespace velkan {

namespace {


// Reads the optional thickness digit behind a rule word (a word that is no
// digit stays pending; the key is then 0) and appends its line.
int16_t ThicknessDigitLine(Conversion& c, std::string& tag) {
  int16_t n;
  if (ReadDigits(c, n, 1) < 0) return -1;
  AppendThicknessLine(c, tag, n);
  return 0;
}

}  // namespace

Flow CmdFillRule(Conversion& c) {
  CodeStream& s = c.stream;
  CloseManualRuby(c);
  s.Consume();
  if (s.Take() < 0) return Flow::kFail;
  const uint16_t w1 = s.current();
  std::string tag = "<FIL";
  bool written = false;

  if (w1 == kVerticalHorizontalRule) {
    if (ThicknessDigitLine(c, tag) < 0) return Flow::kFail;
    written = true;
  }
  if (w1 == kBell) {
    if (s.Take() < 0) return Flow::kFail;
    if (s.current() == kTagEm) {
      if (ThicknessDigitLine(c, tag) < 0) return Flow::kFail;
      tag += " aki=30em";
      written = true;
    }
    // Any other word after the bell is dropped.
  }
  if (w1 == kSpaceCommand) {
    tag += lit::kTagFillSpaceLine;
    written = true;
  } else {
    char key[4];
    PutHex4(key, w1);
    if (auto v = c.definitions.Lookup(lit::kSectionFillRule, std::string_view(key, sizeof key))) {
      tag += " type=";
      tag += *v;
      written = true;
    } else if (AppendThicknessLine(c, tag, 0)) {
      written = true;
    }
  }
  tag += '>';

  if (written) {
    c.out.WriteText(tag);
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
  c.out.WriteWarningF(lit::kWarnPageNumberValues, values[0], values[1], values[2], values[3], values[4],
                      values[5]);
  return Flow::kGoOn;
}

Flow CmdCentering(Conversion& c) {
  int32_t length;
  if (ReadLength(c, length) < 0) return Flow::kFail;
  c.out.WriteWarningF(lit::kWarnCentering, FormatLength(length));
  return Flow::kGoOn;
}

Flow CmdBaselineJump(Conversion& c) {
  int16_t size;
  if (ReadQuarters(c, size) < 0) return Flow::kFail;
  c.out.WriteWarningF(lit::kWarnBaselineJump, size);
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
