// Line ends, the end of the text, the simple spacing and break tags, the raw
// tag brackets and the bell.
#pragma once

#include <cstdint>
#include <span>

namespace velkan {

class Conversion;

// Line ends: CloseManualRuby, then the text unless both `suppressLineEnd`
// and `atLineStart` are set; `atLineStart` is set after the text and
// `suppressLineEnd` cleared. Result 0.
int16_t CmdLineEndRT(Conversion& c);   // 0xD001 "<G jst=RT>" CR LF
int16_t CmdLineEndQC(Conversion& c);   // 0xD005 "<G jst=QC>" CR LF
int16_t CmdLineEndQR(Conversion& c);   // 0xD00B "<G jst=QR>" CR LF
int16_t CmdLineEnd(Conversion& c);     // 0xD009, 0xD01C, 0xD0BB CR LF

// 0xD020, 0xD023, 0xD056: CloseManualRuby, consume, result 2 (end of job in
// the main slot; in the pre-phase the word is simply consumed).
int16_t CmdEndOfText(Conversion& c);

// 0xD029: "<G l=0>", then sets `suppressLineEnd`. Result 0.
int16_t CmdZeroLine(Conversion& c);

// 0xD0F7, 0xD0F8: the warnings "改頁" and "改段". Result 0.
int16_t CmdPageBreak(Conversion& c);
int16_t CmdColumnBreak(Conversion& c);

// 0xD01F: CloseManualRuby, no output. Result 0.
int16_t CmdCloseRubyOnly(Conversion& c);

// Simple tags, each written as it stands. 0xD04D "<->" leaves an open manual
// ruby open; the others call CloseManualRuby first. Result 0.
int16_t CmdTagHyphen(Conversion& c);        // 0xD04D "<->"
int16_t CmdTagDm(Conversion& c);            // 0xD06D "<dm>"
int16_t CmdTagD2(Conversion& c);            // 0xD0A1 "<d2>"
int16_t CmdTagD1(Conversion& c);            // 0xD0A2 "<d1>"
int16_t CmdTagEm(Conversion& c);            // 0xD008 "<em>"
int16_t CmdTagEn(Conversion& c);            // 0xD007 "<en>"
int16_t CmdTagTk(Conversion& c);            // 0xD04E "<tk>"
int16_t CmdTagMi(Conversion& c);            // 0xD04F "<mi>"
int16_t CmdTagTh(Conversion& c);            // 0xD006 "<th>"
int16_t CmdTagSpOneMoji(Conversion& c);     // 0xD0B0 "<sp wid=1moji>"
int16_t CmdTagS2(Conversion& c);            // 0xD0B1 "<s2>"
int16_t CmdTagS4(Conversion& c);            // 0xD05D "<s4>"
int16_t CmdTagS3(Conversion& c);            // 0xD0B2 "<s3>"

// 0xD002: CloseManualRuby, then "<sp>", or a single blank while a raw tag is
// open. Result 0.
int16_t CmdSpace(Conversion& c);

// 0xD060, pre-phase and main: CloseManualRuby, "<dm wid=0>" and a no-break
// mark (PendingMove.bnkn = -1) for the next <MOVE> tag. Result 0.
int16_t CmdNoBreakDm(Conversion& c);

// 0xD078, pre-phase and main: CloseManualRuby and the no-break mark only.
// Result 1, so the pre-phase goes on.
int16_t CmdNoBreak(Conversion& c);

// 0xD03D: writes "<" and opens a raw tag, or ">" and closes it. Result 1.
int16_t CmdRawTagBracket(Conversion& c);

// A bell sub-command: the word that follows 0xD00A, and what it does.
struct BellRow {
  uint16_t word;
  int16_t (*action)(Conversion& c);  // nullptr: no action
};

// The bell table in its search order; its last row, 0xD023 without an
// action, ends every search.
std::span<const BellRow> BellTable();

// 0xD00A: fetches the sub-command and runs its action from the bell table
// (the action consumes it and its result is returned unchanged); any other
// sub-command is consumed with the warning "ベル" and result 0. Result -1
// when the fetch failed.
int16_t CmdBell(Conversion& c);

}  // namespace velkan
