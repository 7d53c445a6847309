// Line set-up commands besides the character settings: the measure given in
// characters or millimetres, baseline shifts, the indexed length check, the
// fill space, and the justification, origin, tab and accent commands that the
// output cannot express and reports as warnings.
//
// Group commands (called inside a parameter group) return with `currentWord`
// at the first word they did not use; main-slot commands consume their
// command word. Every handler fails when reading an argument failed.
#pragma once

#include <cstdint>

#include "conversion/flow.h"

namespace velkan {

class Conversion;

// Word after 0xD03B that selects how its length is read.

// 0xD05E, group: measure = a count of characters without the last pitch
// difference (ReadCharsSpan).
Flow CmdMeasureChars(Conversion& c);

// 0xD03A, group: measure = a length in quarter millimetres.
Flow CmdMeasureMillimetres(Conversion& c);

// 0xD02A / 0xD02B, group: the next <MOVE> tag shifts the text up / down by the
// length read (units and quarters); shifts before the same step add up.
Flow CmdShiftUp(Conversion& c);
Flow CmdShiftDown(Conversion& c);

// 0xD0B5 / 0xD0B6, pre-phase and main: as 0xD02A / 0xD02B with half the line
// spacing, truncated toward zero; the pre-phase goes on.
Flow CmdShiftUpHalfLine(Conversion& c);
Flow CmdShiftDownHalfLine(Conversion& c);

// 0xD03B, group: an index 0..60, then a selector word (0xD039 length, 0xD03A
// millimetres, 0xD05E characters) and a length within the job's length
// limits. Has no effect when well formed; anything else is a malformed job
// and fails, which ends the conversion.
Flow CmdCheckIndexedLength(Conversion& c);

// 0xD0B4, main: closes an open manual ruby and writes "<FILSP>".
Flow CmdFillSpace(Conversion& c);

// 0xD01D, 0xD022, pre-phase and main: consumed without effect; the pre-phase
// goes on.
Flow CmdNoEffect(Conversion& c);

// Main-slot commands reported by their name alone. Those that also stand in
// the pre-phase go on there, or end it, as noted.
Flow CmdOriginSet(Conversion& c);          // 0xD07A "原点登録"
Flow CmdOriginReturn(Conversion& c);       // 0xD07B "原点復帰"
Flow CmdHorizontalTab(Conversion& c);      // 0xD024 "水平タブ", also pre-phase: goes on
Flow CmdVerticalTabStart(Conversion& c);   // 0xD025 "垂直タブ始"
Flow CmdVerticalTabMiddle(Conversion& c);  // 0xD026 "垂直タブ中"
Flow CmdVerticalTabEnd(Conversion& c);     // 0xD027 "垂直タブ終"
Flow CmdCapitalAccent(Conversion& c);      // 0xD04B "大文字アクセント"
Flow CmdSmallAccent(Conversion& c);        // 0xD04A "小文字アクセント"
Flow CmdOneShotSolid(Conversion& c);       // 0xD0AD "ワンショットベタ"
Flow CmdJustifyPlanted(Conversion& c);     // 0xD0D7 "行ジャスト(植木)"
Flow CmdJustifyLeading(Conversion& c);     // 0xD0D8 "行JUST(行間)"
Flow CmdJustifyIgnore(Conversion& c);      // 0xD0D1 "行JUST(無視)", also pre-phase: ends it
Flow CmdJustifyNoSplit(Conversion& c);     // 0xD0DD "行JUST(分禁)", also pre-phase: ends it
Flow CmdIgnoreIndent(Conversion& c);       // 0xD079 "インデント無視"

// 0xD09D, main: one optional digit. Without it, warns "原点登録，値(0)"; with it,
// writes nothing. The digit is consumed; any other word that follows stays
// pending and is handled as usual.
Flow CmdOriginSetValue(Conversion& c);

// 0xD09E, main: as 0xD09D without any warning.
Flow CmdOriginReturnValue(Conversion& c);

// 0xD0CF, group: a line length (units and quarters); warns with its value when
// it is below the smallest character size.
Flow CmdJustifySize(Conversion& c);

// 0xD0D0, group: a line length (units and quarters); warns only for a negative
// length.
Flow CmdJustifyLeadingLength(Conversion& c);

// 0xD0DA, group: a length; warns "混植開始位置，%g" with it.
Flow CmdMixedStart(Conversion& c);

// 0xD040, group: a length; warns "行頭位置指定，%g" with it.
Flow CmdLineHeadPosition(Conversion& c);

// 0xD04C, group: three comma-separated sizes; warns with them in quarter
// units, nothing when a comma is missing.
Flow CmdWordSpace(Conversion& c);

// 0xD0CC, group: two comma-separated sizes and an optional integer after a
// further comma (0 without it); warns with the sizes in quarter units and the
// integer, nothing when the first comma is missing.
Flow CmdAutoDeform(Conversion& c);

}  // namespace velkan
