// Line ends, the end of the text, the simple spacing and break tags, the raw
// tag brackets and the bell.
#pragma once

#include <cstdint>
#include <span>

#include "conversion/flow.h"

namespace velkan {

class Conversion;

// Line ends: CloseManualRuby, then the text unless both `suppressLineEnd` and
// `atLineStart` are set; `atLineStart` is set after the text and
// `suppressLineEnd` cleared.
Flow CmdLineEndRT(Conversion& c);   // 0xD001 "<G jst=RT>" CR LF
Flow CmdLineEndQC(Conversion& c);   // 0xD005 "<G jst=QC>" CR LF
Flow CmdLineEndQR(Conversion& c);   // 0xD00B "<G jst=QR>" CR LF
Flow CmdLineEnd(Conversion& c);     // 0xD009, 0xD01C, 0xD0BB CR LF

// 0xD020, 0xD023, 0xD056: CloseManualRuby and consume; in the main slot the
// job ends (in the pre-phase 0xD020 is only consumed, see
// CmdEndOfTextInPrePhase).
Flow CmdEndOfText(Conversion& c);

// 0xD020 in the pre-phase: CloseManualRuby and consume; the pre-phase goes
// on (the text ends only where the main dispatch meets its end).
Flow CmdEndOfTextInPrePhase(Conversion& c);

// 0xD029: "<G l=0>", then sets `suppressLineEnd`.
Flow CmdZeroLine(Conversion& c);

// 0xD0F7, 0xD0F8: the warnings "改頁" and "改段".
Flow CmdPageBreak(Conversion& c);
Flow CmdColumnBreak(Conversion& c);

// 0xD01F: CloseManualRuby, no output.
Flow CmdCloseRubyOnly(Conversion& c);

// Simple tags, each written as it stands. 0xD04D "<->" leaves an open manual
// ruby open; the others call CloseManualRuby first.
Flow CmdTagHyphen(Conversion& c);        // 0xD04D "<->"
Flow CmdTagDm(Conversion& c);            // 0xD06D "<dm>"
Flow CmdTagD2(Conversion& c);            // 0xD0A1 "<d2>"
Flow CmdTagD1(Conversion& c);            // 0xD0A2 "<d1>"
Flow CmdTagEm(Conversion& c);            // 0xD008 "<em>"
Flow CmdTagEn(Conversion& c);            // 0xD007 "<en>"
Flow CmdTagTk(Conversion& c);            // 0xD04E "<tk>"
Flow CmdTagMi(Conversion& c);            // 0xD04F "<mi>"
Flow CmdTagTh(Conversion& c);            // 0xD006 "<th>"
Flow CmdTagSpOneMoji(Conversion& c);     // 0xD0B0 "<sp wid=1moji>"
Flow CmdTagS2(Conversion& c);            // 0xD0B1 "<s2>"
Flow CmdTagS4(Conversion& c);            // 0xD05D "<s4>"
Flow CmdTagS3(Conversion& c);            // 0xD0B2 "<s3>"

// 0xD002: CloseManualRuby, then "<sp>", or a single blank while a raw tag is
// open.
Flow CmdSpace(Conversion& c);

// 0xD060, pre-phase and main: CloseManualRuby, "<dm wid=0>" and a no-break
// mark (PendingMove.bnkn = -1) for the next <MOVE> tag; ends the pre-phase.
Flow CmdNoBreakDm(Conversion& c);

// 0xD078, pre-phase and main: CloseManualRuby and the no-break mark only;
// the pre-phase goes on.
Flow CmdNoBreak(Conversion& c);

// 0xD03D: writes "<" and opens a raw tag, or ">" and closes it.
Flow CmdRawTagBracket(Conversion& c);

// A bell sub-command: the word that follows 0xD00A, and what it does.
struct BellRow {
  uint16_t word;
  Flow (*action)(Conversion& c);  // nullptr: no action
};

// The bell table in its search order; its last row, 0xD023 without an
// action, ends every search.
std::span<const BellRow> BellTable();

// 0xD00A: fetches the sub-command and runs its action from the bell table
// (the action consumes it and its result is returned unchanged); any other
// sub-command is consumed with the warning "ベル". Fails when the fetch
// failed.
Flow CmdBell(Conversion& c);

}  // namespace velkan
