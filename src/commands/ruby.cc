#include "commands/ruby.h"

#include <string_view>

#include "conversion/conversion.h"

namespace velkan {

namespace {

Flow ThreeMark(Conversion& c, int16_t& state, std::string_view middle) {
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
  c.stream.Consume();
  return Flow::kGoOn;
}

Flow Placement(Conversion& c, std::string_view tag) {
  if (c.ruby.manual == 1) {
    c.out.WriteText("<RUB2 mode=MANUAL>");
    c.ruby.manual = 2;
  }
  c.out.WriteText(tag);
  c.stream.Consume();
  return Flow::kGoOn;
}

}  // namespace

void CloseManualRuby(Conversion& c) {
  if (c.ruby.manual == 2) {
    c.out.WriteText("</RUB>");
    c.ruby.manual = 0;
  }
}

Flow CmdGroupRubyA(Conversion& c) { return ThreeMark(c, c.ruby.groupA, "<RUB2 mode=GROUP>"); }
Flow CmdGroupRubyB(Conversion& c) { return ThreeMark(c, c.ruby.groupB, "<RUB2 mode=GROUP>"); }
Flow CmdKinsokuRuby(Conversion& c) { return ThreeMark(c, c.ruby.kinsoku, "<RUB2 mode=KINSOKU>"); }

Flow CmdManualRuby(Conversion& c) {
  if (c.ruby.manual == 0) {
    c.out.WriteText("<RUB>");
    c.ruby.manual = 1;
  } else if (c.ruby.manual == 2) {
    c.out.WriteText("</RUB>");
    c.ruby.manual = 0;
  }
  c.stream.Consume();
  return Flow::kGoOn;
}

Flow CmdRubyRd2(Conversion& c) { return Placement(c, "<rd2>"); }
Flow CmdRubyRd4(Conversion& c) { return Placement(c, "<rd4>"); }
Flow CmdRubyRb2(Conversion& c) { return Placement(c, "<rb2>"); }
Flow CmdRubyRb4(Conversion& c) { return Placement(c, "<rb4>"); }
Flow CmdRubyRd(Conversion& c) { return Placement(c, "<rd>"); }

}  // namespace velkan
