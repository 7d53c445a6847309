#include "commands/inline_structures.h"

#include <charconv>
#include <cstring>
#include <string_view>

#include "commands/arguments.h"
#include "commands/commands_literals.h"
#include "commands/fill_rules.h"
#include "commands/ruby.h"
#include "commands/rules.h"
#include "conversion/conversion.h"
#include "conversion/readers.h"
#include "typo/size_attributes.h"
#include "typo/units.h"

namespace velkan {

namespace {

bool Vertical(const Conversion& c) { return c.session.settings.direction == 1; }
int16_t Unit(const Conversion& c) { return c.session.settings.unit; }

// Copies the literal `text` to `d`; returns the end.
template <size_t N>
char* Put(char* d, const char (&text)[N]) {
  std::memcpy(d, text, N - 1);
  return d + N - 1;
}

void OpenCountedScope(Conversion& c, int16_t characters, int16_t kind) {
  c.session.scopeCountdown = characters;
  c.session.scopeKind = kind;
}

// The shared course of 0xD046 and 0xD047: the tags for the selectors 1, 2, 3.
Flow SuffixOrIndex(Conversion& c, const std::string_view (&tags)[3], int16_t kindBase, const char* warning) {
  int16_t selector;
  int16_t missing = ReadDigits(c, selector, 1);
  if (missing < 0) {
    CloseManualRuby(c);
    return Flow::kFail;
  }
  if (missing != 0 || selector < 1 || selector > 3) selector = 0;
  CloseManualRuby(c);
  if (selector == 0) {
    c.out.WriteWarning(warning);
    return Flow::kGoOn;
  }
  c.out.WriteText(tags[selector - 1]);
  OpenCountedScope(c, 1, static_cast<int16_t>(kindBase + selector));
  return Flow::kGoOn;
}

}  // namespace

Flow CmdTayoParameters(Conversion& c) {
  return WithArguments(c, [&](auto& a) {
    int16_t h, w = 0, aki = 0;
    if (a.Quarters(h) < 0) return Flow::kFail;
    bool complete = a.current() == kCommaSeparator;
    if (complete) {
      if (a.Quarters(w) < 0) return Flow::kFail;
      complete = a.current() == kCommaSeparator;
    }
    if (complete && a.Quarters(aki) < 0) return Flow::kFail;
    const SizeLimits& lim = c.limits;
    auto inRange = [&](int16_t s) { return s >= lim.minSize && s <= lim.maxSize; };
    if (!complete || !inRange(h) || !inRange(w)) return a.Skip() < 0 ? Flow::kFail : Flow::kGoOn;
    c.inlines.tayoHeight = h;
    c.inlines.tayoWidth = w;
    c.inlines.tayoAki = aki;
    return Flow::kGoOn;
  });
}

Flow CmdEmWidth(Conversion& c) {
  return WithArguments(c, [&](auto& a) {
    int32_t width;
    if (a.UnitLength(width) < 0) return Flow::kFail;
    c.inlines.emWidth = width;
    return Flow::kGoOn;
  });
}

Flow CmdTayo(Conversion& c) {
  int16_t characters;
  if (ReadDigits(c, characters, 2) < 0) return Flow::kFail;
  CloseManualRuby(c);
  const InlineStructures& in = c.inlines;
  c.out.WriteComposed<5 + kMostSizeAttributes + 5 + kMostNumberWithUnit + 1>([&](char* d) {
    d = Put(d, "<TAYO");
    if (in.tayoHeight == 0) {
      d = Put(d, " size=0.5moji");
    } else {
      // In vertical composition the output's height is the character's width.
      int16_t refH = Vertical(c) ? c.typo.width : c.typo.height;
      int16_t refW = Vertical(c) ? c.typo.height : c.typo.width;
      d = PutSizeAttributes(d, in.tayoHeight, in.tayoWidth, refH, refW, Unit(c));
    }
    if (in.tayoAki >= 1 && in.tayoAki <= 99) {
      d = PutNumberWithUnit(Put(d, " aki="), SizeHundredths(in.tayoAki), Unit(c));
    } else if (in.tayoAki > 100) {
      d = PutNumberWithUnit(Put(d, " aki="), SizeHundredths(static_cast<int16_t>(100 - in.tayoAki)), Unit(c));
    }
    *d++ = '>';
    return d;
  });
  OpenCountedScope(c, characters, kScopeTayo);
  return Flow::kGoOn;
}

Flow CmdSuffix(Conversion& c) {
  static constexpr std::string_view kTags[3] = {"<SFX3>", "<SFX1>", "<SFX2>"};
  return SuffixOrIndex(c, kTags, kScopeSuffixBase, lit::kWarnSuffix);
}

Flow CmdIndex(Conversion& c) {
  static constexpr std::string_view kTags[3] = {"<IDX3>", "<IDX1>", "<IDX2>"};
  return SuffixOrIndex(c, kTags, kScopeIndexBase, lit::kWarnIndex);
}

Flow CmdDoubleIndex(Conversion& c) {
  CloseManualRuby(c);
  c.out.WriteText("<DIDX>");
  OpenCountedScope(c, 1, kScopeDoubleIndex);
  c.stream.Consume();
  return Flow::kGoOn;
}

Flow CmdWarichu(Conversion& c) {
  CloseManualRuby(c);
  InlineStructures& in = c.inlines;
  if (in.wariOpen == 1) {
    c.out.WriteText("</WARI>");
    in.wariOpen = 0;
  } else {
    const SplitLineParameters& p = c.splitLine;
    c.out.WriteComposed<5 + kMostSizeAttributes + 10 + 5 + 6 + 1>([&](char* d) {
      d = Put(d, "<WARI");
      if (p.firstSize != 0) {
        // The two lines are set at half the current size, halved toward zero.
        int16_t refH = static_cast<int16_t>((Vertical(c) ? c.typo.width : c.typo.height) / 2);
        int16_t refW = static_cast<int16_t>((Vertical(c) ? c.typo.height : c.typo.width) / 2);
        d = PutSizeAttributes(d, p.firstSize, p.secondSize, refH, refW, Unit(c));
        switch (p.type) {
          case 1: d = Put(d, " l=5/4moji"); break;
          case 2: d = Put(d, " l=4/3moji"); break;
          case 3: d = Put(d, " l=3/2moji"); break;
          case 4: d = Put(d, " l=7/4moji"); break;
          default: break;
        }
        if (p.par != 0) {
          d = Put(d, " par=");
          d = std::to_chars(d, d + 6, p.par).ptr;  // "-32768" at the most
        }
      }
      *d++ = '>';
      return d;
    });
    in.wariOpen = 1;
  }
  c.stream.Consume();
  return Flow::kGoOn;
}

Flow CmdFraction(Conversion& c) {
  CloseManualRuby(c);
  InlineStructures& in = c.inlines;
  if (in.bunState == 2) {
    c.out.WriteText("</BUN>");
    in.bunState = 0;
  } else {
    c.out.WriteComposed<5 + 5 + kMostNumberWithUnit + kMostThicknessLine + 1>([&](char* d) {
      d = in.bunState == 0 ? Put(d, "<BUN") : Put(d, "<BUN2");
      d = PutNumberWithUnit(Put(d, " aki="), LengthHundredths(c.box.gap), Unit(c));
      if (c.box.lineSelector == 0) d = PutThicknessLine(c, d, 0);
      *d++ = '>';
      return d;
    });
    in.bunState = static_cast<int16_t>(in.bunState + 1);
  }
  c.stream.Consume();
  return Flow::kGoOn;
}

Flow CmdEuropeanFraction(Conversion& c) {
  c.out.WriteWarning(kWarningTag<lit::kWarnEuropeanFraction>);
  c.stream.Consume();
  return Flow::kGoOn;
}

Flow CmdEmSpace(Conversion& c) {
  c.out.WriteComposed<8 + kMostNumberWithUnit + 1>([&c](char* d) {
    d = PutNumberWithUnit(Put(d, "<em wid="), LengthHundredths(c.inlines.emWidth), Unit(c));
    *d++ = '>';
    return d;
  });
  c.stream.Consume();
  return Flow::kGoOn;
}

}  // namespace velkan
