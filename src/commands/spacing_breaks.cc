#include "commands/spacing_breaks.h"

#include <array>
#include <string_view>

#include "commands/commands_literals.h"
#include "commands/format_commands.h"
#include "commands/ruby.h"
#include "commands/rules.h"
#include "commands/warning_commands.h"
#include "conversion/code_stream.h"
#include "conversion/conversion.h"
#include "conversion/format_store.h"

namespace velkan {

namespace {

Flow LineEnd(Conversion& c, std::string_view text) {
  CloseManualRuby(c);
  Session& s = c.session;
  if (!(s.suppressLineEnd && s.atLineStart)) {
    c.out.WriteText(text);
    s.atLineStart = 1;
  }
  s.suppressLineEnd = 0;
  c.stream.Consume();
  return Flow::kGoOn;
}

// A simple tag: optionally CloseManualRuby, then the text. Result 0.
Flow Tag(Conversion& c, std::string_view text, bool closeRuby) {
  if (closeRuby) CloseManualRuby(c);
  c.out.WriteText(text);
  c.stream.Consume();
  return Flow::kGoOn;
}

constexpr std::array<BellRow, 5> kBellTable = {{
    {kBell, CmdSwitchSource},                 // the replay toggle, as 0xD0B3
    {kTagEm, CmdVerticalHorizontalRule},      // as 0xD08F
    {kTagTh, CmdVerticalHorizontalRule},      // as 0xD08F
    {kLineEndRT, CmdLineEnd},                 // a plain line end, as 0xD009
    {kEndOfText23, nullptr},
}};

}  // namespace

Flow CmdLineEndRT(Conversion& c) { return LineEnd(c, "<G jst=RT>\r\n"); }
Flow CmdLineEndQC(Conversion& c) { return LineEnd(c, "<G jst=QC>\r\n"); }
Flow CmdLineEndQR(Conversion& c) { return LineEnd(c, "<G jst=QR>\r\n"); }
Flow CmdLineEnd(Conversion& c) { return LineEnd(c, "\r\n"); }

Flow CmdEndOfText(Conversion& c) {
  CloseManualRuby(c);
  c.stream.Consume();
  return Flow::kEndJob;
}

Flow CmdEndOfTextInPrePhase(Conversion& c) {
  CloseManualRuby(c);
  c.stream.Consume();
  return Flow::kGoOn;
}

Flow CmdZeroLine(Conversion& c) {
  c.out.WriteText("<G l=0>");
  c.session.suppressLineEnd = 1;
  c.stream.Consume();
  return Flow::kGoOn;
}

Flow CmdPageBreak(Conversion& c) { return WarnAndConsume(c, kWarningTag<lit::kWarnPageBreak>); }
Flow CmdColumnBreak(Conversion& c) { return WarnAndConsume(c, kWarningTag<lit::kWarnColumnBreak>); }

Flow CmdCloseRubyOnly(Conversion& c) {
  CloseManualRuby(c);
  c.stream.Consume();
  return Flow::kGoOn;
}

Flow CmdTagHyphen(Conversion& c) { return Tag(c, "<->", false); }
Flow CmdTagDm(Conversion& c) { return Tag(c, "<dm>", true); }
Flow CmdTagD2(Conversion& c) { return Tag(c, "<d2>", true); }
Flow CmdTagD1(Conversion& c) { return Tag(c, "<d1>", true); }
Flow CmdTagEm(Conversion& c) { return Tag(c, "<em>", true); }
Flow CmdTagEn(Conversion& c) { return Tag(c, "<en>", true); }
Flow CmdTagTk(Conversion& c) { return Tag(c, "<tk>", true); }
Flow CmdTagMi(Conversion& c) { return Tag(c, "<mi>", true); }
Flow CmdTagTh(Conversion& c) { return Tag(c, "<th>", true); }
Flow CmdTagSpOneMoji(Conversion& c) { return Tag(c, "<sp wid=1moji>", true); }
Flow CmdTagS2(Conversion& c) { return Tag(c, "<s2>", true); }
Flow CmdTagS4(Conversion& c) { return Tag(c, "<s4>", true); }
Flow CmdTagS3(Conversion& c) { return Tag(c, "<s3>", true); }

Flow CmdSpace(Conversion& c) { return Tag(c, c.rawTagOpen ? " " : "<sp>", true); }

Flow CmdNoBreakDm(Conversion& c) {
  CloseManualRuby(c);
  c.out.WriteText("<dm wid=0>");
  c.ChangeMove().bnkn = -1;
  c.stream.Consume();
  return Flow::kEndPrePhase;
}

Flow CmdNoBreak(Conversion& c) {
  CloseManualRuby(c);
  c.ChangeMove().bnkn = -1;
  c.stream.Consume();
  return Flow::kGoOn;
}

Flow CmdRawTagBracket(Conversion& c) {
  c.out.WriteText(c.rawTagOpen ? ">" : "<");
  c.rawTagOpen = c.rawTagOpen ? 0 : 1;
  c.stream.Consume();
  return Flow::kGoOn;
}

std::span<const BellRow> BellTable() { return kBellTable; }

Flow CmdBell(Conversion& c) {
  CodeStream& s = c.stream;
  if (s.Take() < 0) return Flow::kFail;
  for (const BellRow& row : kBellTable) {
    if (row.word == s.current()) {
      if (row.action != nullptr) return row.action(c);
      break;
    }
    if (row.word == kEndOfText23) break;
  }
  return WarnAndConsume(c, kWarningTag<lit::kWarnBell>);
}

}  // namespace velkan
