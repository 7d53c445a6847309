#include "commands/spacing_breaks.h"

#include <array>
#include <string_view>

#include "commands/commands_literals.h"
#include "commands/format_commands.h"
#include "commands/ruby.h"
#include "commands/rules.h"
#include "conversion/code_stream.h"
#include "conversion/conversion.h"
#include "conversion/format_store.h"

namespace velkan {

namespace {

int16_t LineEnd(Conversion& c, std::string_view text) {
  CloseManualRuby(c);
  Session& s = c.session;
  if (!(s.suppressLineEnd && s.atLineStart)) {
    c.out.WriteText(text);
    s.atLineStart = 1;
  }
  s.suppressLineEnd = 0;
  c.stream.wordPending = 0;
  return 0;
}

// A simple tag: optionally CloseManualRuby, then the text. Result 0.
int16_t Tag(Conversion& c, std::string_view text, bool closeRuby) {
  if (closeRuby) CloseManualRuby(c);
  c.out.WriteText(text);
  c.stream.wordPending = 0;
  return 0;
}

constexpr std::array<BellRow, 5> kBellTable = {{
    {kBell, CmdSwitchSource},                 // the replay toggle, as 0xD0B3
    {kTagEm, CmdVerticalHorizontalRule},      // as 0xD08F
    {kTagTh, CmdVerticalHorizontalRule},      // as 0xD08F
    {kLineEndRT, CmdLineEnd},                 // a plain line end, as 0xD009
    {kEndOfText23, nullptr},
}};

}  // namespace

int16_t CmdLineEndRT(Conversion& c) { return LineEnd(c, "<G jst=RT>\r\n"); }
int16_t CmdLineEndQC(Conversion& c) { return LineEnd(c, "<G jst=QC>\r\n"); }
int16_t CmdLineEndQR(Conversion& c) { return LineEnd(c, "<G jst=QR>\r\n"); }
int16_t CmdLineEnd(Conversion& c) { return LineEnd(c, "\r\n"); }

int16_t CmdEndOfText(Conversion& c) {
  CloseManualRuby(c);
  c.stream.wordPending = 0;
  return 2;
}

int16_t CmdZeroLine(Conversion& c) {
  c.out.WriteText("<G l=0>");
  c.session.suppressLineEnd = 1;
  c.stream.wordPending = 0;
  return 0;
}

int16_t CmdPageBreak(Conversion& c) { return WarnAndConsume(c, lit::kWarnPageBreak); }
int16_t CmdColumnBreak(Conversion& c) { return WarnAndConsume(c, lit::kWarnColumnBreak); }

int16_t CmdCloseRubyOnly(Conversion& c) {
  CloseManualRuby(c);
  c.stream.wordPending = 0;
  return 0;
}

int16_t CmdTagHyphen(Conversion& c) { return Tag(c, "<->", false); }
int16_t CmdTagDm(Conversion& c) { return Tag(c, "<dm>", true); }
int16_t CmdTagD2(Conversion& c) { return Tag(c, "<d2>", true); }
int16_t CmdTagD1(Conversion& c) { return Tag(c, "<d1>", true); }
int16_t CmdTagEm(Conversion& c) { return Tag(c, "<em>", true); }
int16_t CmdTagEn(Conversion& c) { return Tag(c, "<en>", true); }
int16_t CmdTagTk(Conversion& c) { return Tag(c, "<tk>", true); }
int16_t CmdTagMi(Conversion& c) { return Tag(c, "<mi>", true); }
int16_t CmdTagTh(Conversion& c) { return Tag(c, "<th>", true); }
int16_t CmdTagSpOneMoji(Conversion& c) { return Tag(c, "<sp wid=1moji>", true); }
int16_t CmdTagS2(Conversion& c) { return Tag(c, "<s2>", true); }
int16_t CmdTagS4(Conversion& c) { return Tag(c, "<s4>", true); }
int16_t CmdTagS3(Conversion& c) { return Tag(c, "<s3>", true); }

int16_t CmdSpace(Conversion& c) { return Tag(c, c.rawTagOpen ? " " : "<sp>", true); }

int16_t CmdNoBreakDm(Conversion& c) {
  CloseManualRuby(c);
  c.out.WriteText("<dm wid=0>");
  c.move.bnkn = -1;
  c.stream.wordPending = 0;
  return 0;
}

int16_t CmdNoBreak(Conversion& c) {
  CloseManualRuby(c);
  c.move.bnkn = -1;
  c.stream.wordPending = 0;
  return 1;
}

int16_t CmdRawTagBracket(Conversion& c) {
  c.out.WriteText(c.rawTagOpen ? ">" : "<");
  c.rawTagOpen = c.rawTagOpen ? 0 : 1;
  c.stream.wordPending = 0;
  return 1;
}

std::span<const BellRow> BellTable() { return kBellTable; }

int16_t CmdBell(Conversion& c) {
  CodeStream& s = c.stream;
  if (NextWord(c, s.currentWord) < 0) return -1;
  for (const BellRow& row : kBellTable) {
    if (row.word == s.currentWord) {
      if (row.action != nullptr) return row.action(c);
      break;
    }
    if (row.word == kEndOfText23) break;
  }
  return WarnAndConsume(c, lit::kWarnBell);
}

}  // namespace velkan
