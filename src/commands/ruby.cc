#include "commands/ruby.h"

#include <string_view>

#include "conversion/conversion.h"

namespace velkan {

namespace {

int16_t ThreeMark(Conversion& c, int16_t& state, std::string_view middle) {
  CloseManualRuby(c);
  switch (state) {
    case 0:
      c.out.WriteText("<RUB>");
      state = 1;
      break;
    case 1:
      c.out.WriteText(middle);
      state = 2;
      break;
    default:
      c.out.WriteText("</RUB>");
      state = 0;
      break;
  }
  c.stream.wordPending = 0;
  return 0;
}

int16_t Placement(Conversion& c, std::string_view tag) {
  if (c.ruby.manual == 1) {
    c.out.WriteText("<RUB2 mode=MANUAL>");
    c.ruby.manual = 2;
  }
  c.out.WriteText(tag);
  c.stream.wordPending = 0;
  return 0;
}

}  // namespace

void CloseManualRuby(Conversion& c) {
  if (c.ruby.manual == 2) {
    c.out.WriteText("</RUB>");
    c.ruby.manual = 0;
  }
}

int16_t CmdGroupRubyA(Conversion& c) { return ThreeMark(c, c.ruby.groupA, "<RUB2 mode=GROUP>"); }
int16_t CmdGroupRubyB(Conversion& c) { return ThreeMark(c, c.ruby.groupB, "<RUB2 mode=GROUP>"); }
int16_t CmdKinsokuRuby(Conversion& c) { return ThreeMark(c, c.ruby.kinsoku, "<RUB2 mode=KINSOKU>"); }

int16_t CmdManualRuby(Conversion& c) {
  if (c.ruby.manual == 0) {
    c.out.WriteText("<RUB>");
    c.ruby.manual = 1;
  } else if (c.ruby.manual == 2) {
    c.out.WriteText("</RUB>");
    c.ruby.manual = 0;
  }
  c.stream.wordPending = 0;
  return 0;
}

int16_t CmdRubyRd2(Conversion& c) { return Placement(c, "<rd2>"); }
int16_t CmdRubyRd4(Conversion& c) { return Placement(c, "<rd4>"); }
int16_t CmdRubyRb2(Conversion& c) { return Placement(c, "<rb2>"); }
int16_t CmdRubyRb4(Conversion& c) { return Placement(c, "<rb4>"); }
int16_t CmdRubyRd(Conversion& c) { return Placement(c, "<rd>"); }

}  // namespace velkan
