// Line set-up commands besides the character settings: the measure given in
// characters or millimetres, baseline shifts, the indexed length check, the
// fill space, and the justification, origin, tab and accent commands that the
// output cannot express and reports as warnings.
//
// Group commands (called inside a parameter group) return with `currentWord`
// at the first word they did not use; main-slot commands consume their
// command word. Every handler returns -1 when reading an argument failed.
#pragma once

#include <cstdint>

namespace velkan {

class Conversion;

// Word after 0xD03B that selects how its length is read.

// 0xD05E, group: measure = a count of characters without the last pitch
// difference (ReadCharsSpan). Result 1.
int16_t CmdMeasureChars(Conversion& c);

// 0xD03A, group: measure = a length in quarter millimetres. Result 1.
int16_t CmdMeasureMillimetres(Conversion& c);

// 0xD02A / 0xD02B, group: the next <MOVE> tag shifts the text up / down by the
// length read (units and quarters); shifts before the same step add up.
// Result 1.
int16_t CmdShiftUp(Conversion& c);
int16_t CmdShiftDown(Conversion& c);

// 0xD0B5 / 0xD0B6, pre-phase and main: as 0xD02A / 0xD02B with half the line
// spacing, truncated toward zero. Result 1.
int16_t CmdShiftUpHalfLine(Conversion& c);
int16_t CmdShiftDownHalfLine(Conversion& c);

// 0xD03B, group: an index 0..60, then a selector word (0xD039 length, 0xD03A
// millimetres, 0xD05E characters) and a length within the job's length
// limits. Has no effect when well formed (result 1); anything else is a
// malformed job and ends the conversion (result -1).
int16_t CmdCheckIndexedLength(Conversion& c);

// 0xD0B4, main: closes an open manual ruby and writes "<FILSP>". Result 0.
int16_t CmdFillSpace(Conversion& c);

// 0xD01D, 0xD022, pre-phase and main: consumed without effect. Result 1.
int16_t CmdNoEffect(Conversion& c);

// Main-slot commands reported by their name alone (result in brackets):
int16_t CmdOriginSet(Conversion& c);          // 0xD07A "原点登録" (0)
int16_t CmdOriginReturn(Conversion& c);       // 0xD07B "原点復帰" (0)
int16_t CmdHorizontalTab(Conversion& c);      // 0xD024 "水平タブ" (1), also pre-phase
int16_t CmdVerticalTabStart(Conversion& c);   // 0xD025 "垂直タブ始" (0)
int16_t CmdVerticalTabMiddle(Conversion& c);  // 0xD026 "垂直タブ中" (0)
int16_t CmdVerticalTabEnd(Conversion& c);     // 0xD027 "垂直タブ終" (0)
int16_t CmdCapitalAccent(Conversion& c);      // 0xD04B "大文字アクセント" (0)
int16_t CmdSmallAccent(Conversion& c);        // 0xD04A "小文字アクセント" (0)
int16_t CmdOneShotSolid(Conversion& c);       // 0xD0AD "ワンショットベタ" (1)
int16_t CmdJustifyPlanted(Conversion& c);     // 0xD0D7 "行ジャスト(植木)" (0)
int16_t CmdJustifyLeading(Conversion& c);     // 0xD0D8 "行JUST(行間)" (0)
int16_t CmdJustifyIgnore(Conversion& c);      // 0xD0D1 "行JUST(無視)" (0), also pre-phase
int16_t CmdJustifyNoSplit(Conversion& c);     // 0xD0DD "行JUST(分禁)" (0), also pre-phase
int16_t CmdIgnoreIndent(Conversion& c);       // 0xD079 "インデント無視" (0)

// 0xD09D, main: one optional digit. Without it, warns "原点登録，値(0)";
// with it, writes nothing. The digit is consumed; any other word that follows
// stays pending and is handled as usual. Result 0.
int16_t CmdOriginSetValue(Conversion& c);

// 0xD09E, main: as 0xD09D without any warning. Result 0.
int16_t CmdOriginReturnValue(Conversion& c);

// 0xD0CF, group: a line length (units and quarters); warns with its value
// when it is below the smallest character size. Result 1.
int16_t CmdJustifySize(Conversion& c);

// 0xD0D0, group: a line length (units and quarters); warns only for a
// negative length. Result 1.
int16_t CmdJustifyLeadingLength(Conversion& c);

// 0xD0DA, group: a length; warns "混植開始位置，%g" with it. Result 1.
int16_t CmdMixedStart(Conversion& c);

// 0xD040, group: a length; warns "行頭位置指定，%g" with it. Result 1.
int16_t CmdLineHeadPosition(Conversion& c);

// 0xD04C, group: three comma-separated sizes; warns with them in quarter
// units, nothing when a comma is missing. Result 1.
int16_t CmdWordSpace(Conversion& c);

// 0xD0CC, group: two comma-separated sizes and an optional integer after a
// further comma (0 without it); warns with the sizes in quarter units and the
// integer, nothing when the first comma is missing. Result 1.
int16_t CmdAutoDeform(Conversion& c);

}  // namespace velkan
