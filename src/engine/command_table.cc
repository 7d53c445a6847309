#include "engine/command_table.h"

#include "commands/fill_rules.h"
#include "commands/format_commands.h"
#include "commands/grouped_characters.h"
#include "commands/indents.h"
#include "commands/inline_structures.h"
#include "commands/justification.h"
#include "commands/mode_switches.h"
#include "commands/pi_characters.h"
#include "commands/positioning.h"
#include "commands/ruby.h"
#include "commands/rules.h"
#include "commands/spacing_breaks.h"
#include "commands/stage_commands.h"
#include "commands/warning_commands.h"
#include "conversion/tag_writer.h"
#include "engine/main_loop.h"
#include "tables/command_words.h"

namespace velkan {

namespace {

// One line per command word: word, name, its handlers in the pre-phase, in
// the main dispatch and inside a parameter group ({}: none), and what it
// does. Mode words are named after their mode; they follow a permit or a
// forbid, which reads them (commands/mode_switches.cc).
constexpr CommandRow kRows[] = {
//   word    name                     pre-phase               main                       in-group
    {0xD000, "filler",                {},                     {},                        {}},                       // dropped by the code stream
    {0xD001, "line-end-rt",           {},                     CmdLineEndRT,              {}},                       // line end, justified right
    {0xD002, "space",                 {},                     CmdSpace,                  {}},                       // space <sp> (a blank inside a raw tag)
    {0xD003, "group",                 RunParameterGroup,      RunParameterGroup,         {}},                       // open a parameter group
    {0xD004, "group-end",             ConsumeWord,            ConsumeWord,               {}},                       // close a group (harmless outside)
    {0xD005, "line-end-qc",           {},                     CmdLineEndQC,              {}},                       // line end, centred
    {0xD006, "th",                    {},                     CmdTagTh,                  {}},                       // <th>
    {0xD007, "en",                    {},                     CmdTagEn,                  {}},                       // <en>
    {0xD008, "em",                    {},                     CmdTagEm,                  {}},                       // <em>
    {0xD009, "line-end",              {},                     CmdLineEnd,                {}},                       // line end
    {0xD00A, "bell",                  {},                     CmdBell,                   {}},                       // bell: next word is a sub-command
    {0xD00B, "line-end-qr",           {},                     CmdLineEndQR,              {}},                       // line end, flush right
    {0xD00C, "permit",                CmdModePermit,          CmdModePermit,             {}},                       // permit the mode named by the next word
    {0xD00D, "forbid",                CmdModeForbid,          CmdModeForbid,             {}},                       // forbid the mode named by the next word
    {0xD00E, "letter-space-add",      {},                     {},                        {}},                       // mode word: letter spacing added, two digits
    {0xD00F, "ragged-b",              {},                     {},                        {}},                       // mode word: ragged setting, warning
    {0xD010, "tsume-loosen",          {},                     {},                        {}},                       // mode word: tsume loosened, two digits
    {0xD011, "letter-space-sub",      {},                     {},                        {}},                       // mode word: letter spacing reduced, two digits
    {0xD012, "ragged-c",              {},                     {},                        {}},                       // mode word: ragged setting, warning
    {0xD013, "hyphenation",           {},                     {},                        {}},                       // mode word: hyphenation, warning
    {0xD014, "tsume-tighten",         {},                     {},                        {}},                       // mode word: tsume tightened, two digits
    {0xD015, "letter-spacing",        {},                     {},                        {}},                       // mode word: letter spacing, warning
    {0xD018, "print-cancel",          {},                     {},                        {}},                       // mode word: print cancel, warning
    {0xD019, "ragged",                {},                     {},                        {}},                       // mode word: ragged setting, warning
    {0xD01C, "line-end-1c",           {},                     CmdLineEnd,                {}},                       // line end
    {0xD01D, "nop-1d",                CmdNoEffect,            CmdNoEffect,               {}},                       // consumed without effect
    {0xD01E, "fill-rule",             {},                     CmdFillRule,               {}},                       // fill rule <FIL>, line chosen by the next word
    {0xD01F, "ruby-close",            {},                     CmdCloseRubyOnly,          {}},                       // closes a manual ruby, no output
    {0xD020, "end-of-text",           CmdEndOfTextInPrePhase, CmdEndOfText,              {}},                       // end of text (in the pre-phase only consumed)
    {0xD021, "mode-21",               {},                     {},                        {}},                       // mode word, no effect
    {0xD022, "nop-22",                CmdNoEffect,            CmdNoEffect,               {}},                       // consumed without effect
    {0xD023, "end-of-text-23",        {},                     CmdEndOfText,              {}},                       // end of text
    {0xD024, "h-tab",                 CmdHorizontalTab,       CmdHorizontalTab,          {}},                       // warning: horizontal tab
    {0xD025, "v-tab-start",           {},                     CmdVerticalTabStart,       {}},                       // warning: vertical tab start
    {0xD026, "v-tab-middle",          {},                     CmdVerticalTabMiddle,      {}},                       // warning: vertical tab middle
    {0xD027, "v-tab-end",             {},                     CmdVerticalTabEnd,         {}},                       // warning: vertical tab end
    {0xD028, "page-number-0",         {},                     CmdPageNumber0,            {}},                       // warning: page number 0
    {0xD029, "zero-line",             {},                     CmdZeroLine,               {}},                       // <G l=0>, suppresses a following line end at line start
    {0xD02A, "shift-up",              {},                     {},                        CmdShiftUp},               // size: shift the baseline up (group)
    {0xD02B, "shift-down",            {},                     {},                        CmdShiftDown},             // size: shift the baseline down (group)
    {0xD02C, "define-format",         {},                     {},                        CmdDefineFormat},          // define format n: the body follows the group
    {0xD02D, "font",                  {},                     {},                        CmdFont},                  // font number (group)
    {0xD02E, "size-base",             {},                     {},                        CmdSizeBase},              // size[,pitch], position BASE (group)
    {0xD02F, "indent",                {},                     {},                        CmdIndent},                // length,D034|D035,lines: left/right indent (group)
    {0xD030, "indent-reset",          {},                     {},                        CmdIndentReset},           // left, right and hanging indents to 0 (group)
    {0xD031, "indent-hanging",        {},                     {},                        CmdIndentHanging},         // length: hanging indent (group)
    {0xD032, "indent-start",          {},                     {},                        CmdIndentStart},           // length: first-line indent (group)
    {0xD033, "position-indent",       {},                     {},                        CmdPositionIndent},        // D034|D035,n; else warning: position indent (group)
    {0xD034, "left",                  {},                     {},                        {}},                       // selector of an indent
    {0xD035, "right",                 {},                     {},                        {}},                       // selector of an indent
    {0xD036, "baseline-jump",         {},                     {},                        CmdBaselineJump},          // size, warning: baseline jump (group)
    {0xD037, "page-number-values",    {},                     {},                        CmdPageNumberValues},      // up to six page-number values, warning (group)
    {0xD038, "line-spacing",          {},                     {},                        CmdLineSpacing},           // line spacing (group)
    {0xD039, "measure",               {},                     {},                        CmdMeasure},               // measure as a length (group)
    {0xD03A, "measure-mm",            {},                     {},                        CmdMeasureMillimetres},    // quarter mm: measure (group)
    {0xD03B, "indexed-length",        {},                     {},                        CmdCheckIndexedLength},    // index,D039|D03A|D05E,length checked; bad ends the job (group)
    {0xD03C, "length-format",         {},                     {},                        CmdLengthWithFormat},      // length [D03F format number], no effect
    {0xD03D, "raw-tag",               {},                     CmdRawTagBracket,          {}},                       // raw tag bracket: "<" then ">"
    {0xD03E, "count-format",          {},                     {},                        CmdCountWithFormat},       // count [D03F format number], no effect
    {0xD03F, "call-format",           {},                     {},                        CmdCallFormat},            // call format n (replay after the group)
    {0xD040, "line-start-position",   {},                     {},                        CmdLineHeadPosition},      // length, warning: line-head position (group)
    {0xD041, "width",                 {},                     {},                        CmdWidth},                 // width[,pitch], height kept (group)
    {0xD043, "national-hyphen",       {},                     {},                        CmdNationalHyphen},        // integer, warning: national hyphenation (group)
    {0xD046, "suffix",                {},                     CmdSuffix,                 {}},                       // digit 1-3: <SFX3>/<SFX1>/<SFX2> over one character
    {0xD047, "index",                 {},                     CmdIndex,                  {}},                       // digit 1-3: <IDX3>/<IDX1>/<IDX2> over one character
    {0xD048, "didx",                  {},                     CmdDoubleIndex,            {}},                       // <DIDX> over one character
    {0xD049, "european-fraction",     {},                     CmdEuropeanFraction,       {}},                       // warning: European fraction
    {0xD04A, "accent-lower",          {},                     CmdSmallAccent,            {}},                       // warning: lower-case accent
    {0xD04B, "accent-upper",          {},                     CmdCapitalAccent,          {}},                       // warning: capital accent
    {0xD04C, "word-space",            {},                     {},                        CmdWordSpace},             // size,size,size, warning: word space (group)
    {0xD04D, "hyphen",                {},                     CmdTagHyphen,              {}},                       // <->
    {0xD04E, "tk",                    {},                     CmdTagTk,                  {}},                       // <tk>
    {0xD04F, "mi",                    {},                     CmdTagMi,                  {}},                       // <mi>
    {0xD050, "skip-region",           {},                     {},                        {}},                       // the words up to the next D050 are dropped by the code stream
    {0xD051, "size-top",              {},                     {},                        CmdSizeTop},               // size[,pitch], position TOP (group)
    {0xD052, "size-centre",           {},                     {},                        CmdSizeCenter},            // size[,pitch], position CENTER (group)
    {0xD053, "size-bottom",           {},                     {},                        CmdSizeBottom},            // size[,pitch], position BOTTOM (group)
    {0xD054, "ignored-54",            ConsumeWord,            ConsumeWord,               {}},                       // consumed without effect
    {0xD055, "ignored-55",            ConsumeWord,            ConsumeWord,               {}},                       // consumed without effect
    {0xD056, "end-of-job",            {},                     CmdEndOfText,              {}},                       // end of job (also at end of input)
    {0xD057, "skipped-57",            {},                     CmdSkippedCommand,         CmdSkippedCommand},        // consumed; skipped in a group
    {0xD058, "group-ruby",            {},                     CmdGroupRubyA,             {}},                       // group ruby: open, middle, close
    {0xD059, "warichu",               {},                     CmdWarichu,                {}},                       // <WARI ...> / </WARI>
    {0xD05A, "tayo-size",             {},                     {},                        CmdTayoParameters},        // h,w,aki of the next <TAYO> (group)
    {0xD05B, "pi",                    {},                     CmdPiCharacter,            {}},                       // three digits: pi character
    {0xD05C, "just-mode",             {},                     {},                        {}},                       // mode word: justification, warning
    {0xD05D, "s4",                    {},                     CmdTagS4,                  {}},                       // <s4>
    {0xD05E, "measure-chars",         {},                     {},                        CmdMeasureChars},          // characters[,pitch]: measure (group)
    {0xD060, "no-break-dm",           CmdNoBreakDm,           CmdNoBreakDm,              {}},                       // <dm wid=0>, no break before the next character
    {0xD061, "tayo",                  {},                     CmdTayo,                   {}},                       // two digits: <TAYO ...> over that many characters
    {0xD062, "mode-62",               {},                     {},                        {}},                       // mode word, no effect
    {0xD064, "warichu-settings",      {},                     {},                        CmdSplitLineParameters},   // size,size,type,par of split lines (group)
    {0xD065, "top-align",             {},                     {},                        {}},                       // mode word: top aligned, warning
    {0xD066, "half-width-in-line",    {},                     {},                        {}},                       // mode word: half width in the line, warning
    {0xD067, "roman-quarter-space",   {},                     {},                        {}},                       // mode word: roman quarter space, warning
    {0xD068, "roman-auto-indent",     {},                     {},                        {}},                       // mode word: roman automatic indent, warning
    {0xD069, "ruby-align-vertical",   {},                     {},                        {}},                       // mode word: ruby aligned (vertical), warning
    {0xD06A, "ruby-align-horizontal", {},                     {},                        {}},                       // mode word: ruby aligned (horizontal), warning
    {0xD06B, "push-in",               {},                     {},                        {}},                       // mode word: pushing in, warning
    {0xD06C, "hang-out",              {},                     {},                        {}},                       // mode word: hanging punctuation, warning
    {0xD06D, "dm",                    {},                     CmdTagDm,                  {}},                       // <dm>
    {0xD06E, "ruby-rd",               {},                     CmdRubyRd,                 {}},                       // manual ruby placement <rd>
    {0xD06F, "ruby-below",            {},                     {},                        {}},                       // mode word: ruby below, warning
    {0xD070, "centering",             {},                     {},                        CmdCentering},             // length, warning: centering (group)
    {0xD071, "play-count",            {},                     {},                        CmdPlayCount},             // n,c: the next c calls of format n play
    {0xD072, "underline",             {},                     CmdUnderlineMark,          {}},                       // underline start / end mark
    {0xD073, "underline-settings",    {},                     {},                        CmdUnderlineSettings},     // underline type,thickness,gap,kind,... (group)
    {0xD074, "ignored-length",        {},                     {},                        CmdIgnoredLength},         // length read and ignored (group)
    {0xD075, "output-switch",         {},                     CmdOutputSwitch,           {}},                       // output on/off
    {0xD076, "ignored-integer",       {},                     {},                        CmdIgnoredInteger},        // integer read and ignored (group)
    {0xD077, "heading-push-out",      {},                     CmdHeadingPushOut,         {}},                       // warning: heading push-out
    {0xD078, "no-break",              CmdNoBreak,             CmdNoBreak,                {}},                       // no break before the next character
    {0xD079, "indent-ignore",         {},                     CmdIgnoreIndent,           {}},                       // warning: indent ignored
    {0xD07A, "origin-set",            {},                     CmdOriginSet,              {}},                       // warning: origin set
    {0xD07B, "origin-return",         {},                     CmdOriginReturn,           {}},                       // warning: origin return
    {0xD07C, "group-ruby-b",          {},                     CmdGroupRubyB,             {}},                       // group ruby (second kind): open, middle, close
    {0xD07D, "small-kana-kinsoku",    {},                     {},                        {}},                       // mode word: small kana kinsoku, warning
    {0xD07E, "manual-ruby",           {},                     CmdManualRuby,             {}},                       // manual ruby start/end mark
    {0xD07F, "ruby-rd2",              {},                     CmdRubyRd2,                {}},                       // manual ruby placement <rd2>
    {0xD080, "ruby-rd4",              {},                     CmdRubyRd4,                {}},                       // manual ruby placement <rd4>
    {0xD081, "ruby-rb2",              {},                     CmdRubyRb2,                {}},                       // manual ruby placement <rb2>
    {0xD082, "ruby-rb4",              {},                     CmdRubyRb4,                {}},                       // manual ruby placement <rb4>
    {0xD083, "column-top-align",      {},                     {},                        {}},                       // mode word: column top aligned, warning
    {0xD084, "colour",                {},                     {},                        CmdColour},                // colour number (group)
    {0xD088, "coordinate-rule-88",    {},                     {},                        CmdCoordinateRule},        // coordinate rule n,len,len,len, warning (group)
    {0xD08A, "coordinate-rule-8a",    {},                     {},                        CmdCoordinateRule},        // coordinate rule n,len,len,len, warning (group)
    {0xD08B, "coordinate-rule-8b",    {},                     {},                        CmdCoordinateRuleCounted}, // coordinate rule n,len,len,len[,n], warning (group)
    {0xD08C, "ignored-8c",            {},                     CmdIgnoredCommand,         {}},                       // consumed without output
    {0xD08D, "fraction",              {},                     CmdFraction,               {}},                       // <BUN ...> / <BUN2 ...> / </BUN>
    {0xD08E, "page-number-1",         {},                     CmdPageNumber1,            {}},                       // warning: page number 1
    {0xD08F, "vh-rule",               {},                     CmdVerticalHorizontalRule, {}},                       // [digit], warning: vertical/horizontal rule
    {0xD091, "vh-rule-91",            {},                     CmdVerticalHorizontalRule, {}},                       // [digit], warning: vertical/horizontal rule
    {0xD092, "page-number-2",         {},                     CmdPageNumber2,            {}},                       // warning: page number 2
    {0xD093, "one-shot-code",         {},                     CmdOneShotCode,            {}},                       // next character as a code tag
    {0xD094, "no-split",              {},                     {},                        {}},                       // mode word: no split, warning
    {0xD095, "half-digits-roman",     {},                     {},                        {}},                       // mode word: half-width digits, warning
    {0xD096, "indent-chars",          {},                     {},                        CmdIndentChars},           // characters,D034|D035,lines: left/right indent (group)
    {0xD097, "indent-hanging-chars",  {},                     {},                        CmdIndentHangingChars},    // characters: hanging indent (group)
    {0xD098, "indent-start-chars",    {},                     {},                        CmdIndentStartChars},      // characters: first-line indent (group)
    {0xD099, "grouped-sizes",         {},                     {},                        CmdGroupSizes},            // h0,w0,h1,w1: sizes of the next group (group)
    {0xD09A, "grouped",               {},                     CmdGroupMark,              {}},                       // group mark: <GOU>/<GOU2>/</GOU>, <MAKI>/</MAKI>
    {0xD09B, "rule-settings",         {},                     {},                        CmdRuleSettings},          // enclosure rule thickness,inner width,size (group)
    {0xD09C, "enclosure",             {},                     CmdEnclosureBox,           {}},                       // stand-alone enclosure box <MAKI>...</MAKI>
    {0xD09D, "origin-set-n",          {},                     CmdOriginSetValue,         {}},                       // [digit]; without it warning: origin set, value
    {0xD09E, "origin-n",              {},                     CmdOriginReturnValue,      {}},                       // [digit], no effect
    {0xD0A0, "box-settings",          {},                     {},                        CmdBoxParameters},         // box line selector[,gap] (group)
    {0xD0A1, "d2",                    {},                     CmdTagD2,                  {}},                       // <d2>
    {0xD0A2, "d1",                    {},                     CmdTagD1,                  {}},                       // <d1>
    {0xD0A3, "kinsoku-ruby",          {},                     CmdKinsokuRuby,            {}},                       // kinsoku ruby: open, middle, close
    {0xD0A4, "coordinate-rule-a4",    {},                     {},                        CmdCoordinateRule},        // coordinate rule n,len,len,len, warning (group)
    {0xD0A5, "coordinate-rule-a5",    {},                     {},                        CmdCoordinateRule},        // coordinate rule n,len,len,len, warning (group)
    {0xD0A6, "coordinate-rule-a6",    {},                     {},                        CmdCoordinateRuleCounted}, // coordinate rule n,len,len,len[,n], warning (group)
    {0xD0A7, "relative-rule-a7",      {},                     CmdRelativeRuleDigit,      {}},                       // [digit], warning: relative rule
    {0xD0A8, "relative-rule-a8",      {},                     CmdRelativeRuleDigit,      {}},                       // [digit], warning: relative rule
    {0xD0A9, "relative-rule-a9",      {},                     CmdRelativeRuleDigit,      {}},                       // [digit], warning: relative rule
    {0xD0AA, "relative-rule-aa",      {},                     CmdRelativeRule,           {}},                       // warning: relative rule
    {0xD0AB, "relative-rule-ab",      {},                     CmdRelativeRuleDigit,      {}},                       // [digit], warning: relative rule
    {0xD0AC, "relative-rule-ac",      {},                     CmdRelativeRule,           {}},                       // warning: relative rule
    {0xD0AD, "one-shot-solid",        {},                     CmdOneShotSolid,           {}},                       // warning: one-shot solid
    {0xD0AE, "relative-rule-ignored", {},                     CmdRelativeRuleIgnored,    {}},                       // warning: relative rule ignored
    {0xD0B0, "space-1moji",           {},                     CmdTagSpOneMoji,           {}},                       // <sp wid=1moji>
    {0xD0B1, "s2",                    {},                     CmdTagS2,                  {}},                       // <s2>
    {0xD0B2, "s3",                    {},                     CmdTagS3,                  {}},                       // <s3>
    {0xD0B3, "switch-source",         CmdSwitchSource,        CmdSwitchSource,           {}},                       // switch between the replay and the input
    {0xD0B4, "filsp",                 {},                     CmdFillSpace,              {}},                       // <FILSP>
    {0xD0B5, "half-line-up",          CmdShiftUpHalfLine,     CmdShiftUpHalfLine,        {}},                       // shift the baseline up half a line
    {0xD0B6, "half-line-down",        CmdShiftDownHalfLine,   CmdShiftDownHalfLine,      {}},                       // shift the baseline down half a line
    {0xD0B9, "kinsoku-release",       {},                     CmdKinsokuRelease,         {}},                       // warning, drop words through D01C
    {0xD0BA, "space-command-ba",      {},                     {},                        CmdSpaceCommand},          // length,count, warning: space command (group)
    {0xD0BB, "line-end-bb",           {},                     CmdLineEnd,                {}},                       // line end
    {0xD0BC, "space-command",         {},                     {},                        CmdSpaceCommand},          // length,count, warning: space command (group)
    {0xD0BD, "space-execution",       {},                     {},                        CmdSpaceExecution},        // warning: space execution, arguments skipped (group)
    {0xD0BE, "new-indent",            {},                     {},                        CmdNewIndent},             // selector,length,length,n, warnings: new indent (group)
    {0xD0BF, "space-switch-mode",     {},                     {},                        {}},                       // mode word: space switch, warning
    {0xD0C6, "bottom-align",          {},                     {},                        {}},                       // mode word: bottom aligned, warning
    {0xD0C7, "ignored-count",         {},                     CmdIgnoredCount,           {}},                       // up to two digits, ignored
    {0xD0CA, "new-indent-ca",         {},                     {},                        CmdNewIndent},             // selector,length,length,n, warnings: new indent (group)
    {0xD0CB, "multiple-line-feed",    {},                     CmdMultipleLineFeed,       {}},                       // two digits, warning: multiple line feed
    {0xD0CC, "auto-deform",           {},                     {},                        CmdAutoDeform},            // size,size[,n], warning: automatic deformation (group)
    {0xD0CD, "auto-deform-mode",      {},                     {},                        {}},                       // mode word: automatic deformation, warning
    {0xD0CE, "deform-lens",           {},                     CmdForcedDeformLens,       {}},                       // up to 26 sizes, warning: forced deformation (lens)
    {0xD0CF, "justify-size",          {},                     {},                        CmdJustifySize},           // size; below the smallest size warning: justification (group)
    {0xD0D0, "justify-spacing",       {},                     {},                        CmdJustifyLeadingLength},  // size; negative warning: justification by leading (group)
    {0xD0D1, "justify-ignore",        CmdJustifyIgnore,       CmdJustifyIgnore,          {}},                       // warning: justification ignored
    {0xD0D3, "em-width",              {},                     {},                        CmdEmWidth},               // size: width of the next <em wid=...> (group)
    {0xD0D4, "em-space",              {},                     CmdEmSpace,                {}},                       // <em wid=...>
    {0xD0D5, "deform-ignored",        {},                     CmdForcedDeformIgnored,    {}},                       // warning: forced deformation (ignored)
    {0xD0D6, "deform-variable",       {},                     {},                        CmdForcedDeformVariable},  // up to five values, warning: forced deformation (group)
    {0xD0D7, "justify-ueki",          {},                     CmdJustifyPlanted,         {}},                       // warning: justification (planted)
    {0xD0D8, "justify-line-spacing",  {},                     CmdJustifyLeading,         {}},                       // warning: justification by leading
    {0xD0D9, "indent-percent",        {},                     {},                        CmdIndentPercent},         // percent,D034|D035,lines, warning: percentage indent (group)
    {0xD0DA, "mixed-start-position",  {},                     {},                        CmdMixedStart},            // length, warning: mixed setting start (group)
    {0xD0DB, "mixed-start",           {},                     CmdMixedSettingStart,      {}},                       // warning: mixed setting starts
    {0xD0DC, "mixed-end",             {},                     CmdMixedSettingEnd,        {}},                       // warning: mixed setting ends
    {0xD0DD, "justify-no-split",      CmdJustifyNoSplit,      CmdJustifyNoSplit,         {}},                       // warning: justification, no split
    {0xD0DE, "mode-de",               {},                     {},                        {}},                       // mode word, no effect
    {0xD0F3, "three-char-ruby",       {},                     {},                        {}},                       // mode word: three-character ruby, warning
    {0xD0F7, "page-break",            {},                     CmdPageBreak,              {}},                       // warning: page break
    {0xD0F8, "column-break",          {},                     CmdColumnBreak,            {}},                       // warning: column break
};

constexpr bool RowsInOrder() {
  for (size_t i = 0; i < std::size(kRows); ++i) {
    if (!InCommandTable(kRows[i].word) || kRows[i].name.empty()) return false;
    if (i > 0 && kRows[i - 1].word >= kRows[i].word) return false;
  }
  return true;
}
static_assert(RowsInOrder(), "one row a command word 0xD000-0xD0FF, in order, each with a name");

// The commands whose main handlers keep the sweep (see
// CommandEntry::keepsSweep), by name: simple tags, line ends, warnings of a
// fixed message, the rules' warnings after their digit, the three-mark
// rubies, the manual ruby's mark and its close (the sweep goes on in a
// manual ruby's base; only its placements open the text), the inline
// structures that open or close by their mark alone (split notes,
// fractions, underlines), which close no manual ruby when none is open, the
// fixed-width space and the raw tag's brackets; the commands taken without
// effect, the other warnings of a fixed message (tabs, page numbers,
// accents, origins, justification and deformation ignored, mixed setting)
// and the origins and the ignored count after their digits.
constexpr std::string_view kKeepingSweep[] = {
    "th",          "en",          "em",          "hyphen",           "dm",               "d2",
    "d1",          "tk",          "mi",          "space-1moji",      "s2",               "s4",
    "s3",          "space",       "line-end",    "line-end-1c",      "line-end-bb",      "line-end-rt",
    "line-end-qc", "line-end-qr", "page-break",  "column-break",     "relative-rule-aa", "relative-rule-ac",
    "relative-rule-a7", "relative-rule-a8", "relative-rule-a9", "relative-rule-ab", "relative-rule-ignored",
    "vh-rule",     "vh-rule-91",  "group-ruby",  "group-ruby-b",     "kinsoku-ruby",     "manual-ruby",
    "ruby-close",  "warichu",     "fraction",    "underline",        "em-space",         "european-fraction",
    "raw-tag",     "nop-1d",      "nop-22",      "ignored-8c",       "h-tab",            "v-tab-start",
    "v-tab-middle", "v-tab-end",  "page-number-0", "page-number-1",  "page-number-2",    "accent-lower",
    "accent-upper", "heading-push-out", "indent-ignore", "origin-set", "origin-return", "one-shot-solid",
    "justify-ueki", "justify-line-spacing", "deform-ignored", "mixed-start", "mixed-end", "origin-set-n",
    "origin-n",    "ignored-count",
};

constexpr bool KeepsSweep(const CommandRow& row) {
  for (std::string_view name : kKeepingSweep) {
    if (name == row.name) return true;
  }
  return false;
}

constexpr bool KeepingSweepNamed() {
  for (std::string_view name : kKeepingSweep) {
    bool found = false;
    for (const CommandRow& row : kRows) found = found || row.name == name;
    if (!found) return false;
  }
  return true;
}
static_assert(KeepingSweepNamed(), "every command said to keep the sweep has a row");

constexpr CommandTable BuildDispatch() {
  CommandTable t{};
  for (const CommandRow& row : kRows) {
    t[row.word & 0xFF] = {row.prePhase, row.main, row.inGroup, KeepsSweep(row)};
  }
  return t;
}

constexpr std::array<std::string_view, 256> BuildNames() {
  std::array<std::string_view, 256> names{};
  for (const CommandRow& row : kRows) names[row.word & 0xFF] = row.name;
  return names;
}

constexpr CommandTable kDispatch = BuildDispatch();
static_assert(kDispatch[kFillerWord & 0xFF].main == nullptr && kDispatch[kSkipRegion & 0xFF].main == nullptr,
              "the main loop runs a command word's main handler without looking for the stream's own words first");
constexpr std::array<std::string_view, 256> kNames = BuildNames();

}  // namespace

std::span<const CommandRow> CommandRows() { return kRows; }

const CommandTable& Commands() { return kDispatch; }

std::string_view CommandName(uint8_t lowByte) { return kNames[lowByte]; }

std::string_view CommandWordName(uint16_t word) { return InCommandTable(word) ? kNames[word & 0xFF] : std::string_view(); }

}  // namespace velkan
