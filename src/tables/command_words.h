// The words of the code stream that the code itself tests: command words
// (0xD000-0xDFFF) and the argument words of their parameters.
//
// The command table (engine/command_table.cc) names every command word and
// says what handles it; the constants here are the words the code looks for
// by value, named as the table names them.
#pragma once

#include <cstdint>

namespace velkan {

// True for every word the dispatch treats as a command (0xD000-0xDFFF); the
// low byte chooses its row of the command table.
constexpr bool IsCommandWord(uint16_t w) { return (w & 0xF000) == 0xD000; }

// True for the words 0xD000-0xD0FF, those the command table lists.
constexpr bool InCommandTable(uint16_t w) { return (w & 0xFF00) == 0xD000; }

// The command word of the table's row `lowByte` (0xD000 + lowByte).
constexpr uint16_t CommandWordOf(uint8_t lowByte) { return static_cast<uint16_t>(0xD000 | lowByte); }

// Argument words: the digits 0-9, the point and the comma separator.
inline constexpr uint16_t kDigitZero = 0xC340;
inline constexpr uint16_t kDigitNine = 0xC349;
inline constexpr uint16_t kPointSeparator = 0xC334;
inline constexpr uint16_t kCommaSeparator = 0xC335;

constexpr bool IsDigitWord(uint16_t w) { return w >= kDigitZero && w <= kDigitNine; }

// The stream's own words.
inline constexpr uint16_t kFillerWord = 0xD000;   // "filler": dropped
inline constexpr uint16_t kGroupOpen = 0xD003;    // "group": opens a parameter group
inline constexpr uint16_t kGroupClose = 0xD004;   // "group-end": closes it
inline constexpr uint16_t kSkipRegion = 0xD050;   // "skip-region": the words up to the next one are dropped
inline constexpr uint16_t kEndOfJob = 0xD056;     // "end-of-job", also given at the end of the input

// Line ends and the end of the text.
inline constexpr uint16_t kLineEndRT = 0xD001;    // "line-end-rt"
inline constexpr uint16_t kLineEndQC = 0xD005;    // "line-end-qc"
inline constexpr uint16_t kLineEnd = 0xD009;      // "line-end"
inline constexpr uint16_t kLineEndQR = 0xD00B;    // "line-end-qr"
inline constexpr uint16_t kLineEnd1C = 0xD01C;    // "line-end-1c"
inline constexpr uint16_t kEndOfText = 0xD020;    // "end-of-text"
inline constexpr uint16_t kEndOfText23 = 0xD023;  // "end-of-text-23"; also ends the bell and mode tables

// Commands the code meets after others or reads arguments of.
inline constexpr uint16_t kSpaceCommand = 0xD002;            // "space"
inline constexpr uint16_t kTagTh = 0xD006;                   // "th"
inline constexpr uint16_t kTagEm = 0xD008;                   // "em"
inline constexpr uint16_t kBell = 0xD00A;                    // "bell"
inline constexpr uint16_t kModePermit = 0xD00C;              // "permit"
inline constexpr uint16_t kModeForbid = 0xD00D;              // "forbid"
inline constexpr uint16_t kDefineFormat = 0xD02C;            // "define-format"
inline constexpr uint16_t kIndent = 0xD02F;                  // "indent"
inline constexpr uint16_t kSelectIndentLeft = 0xD034;        // "left": selector of an indent
inline constexpr uint16_t kSelectIndentRight = 0xD035;       // "right": selector of an indent
inline constexpr uint16_t kSelectMeasureLength = 0xD039;     // "measure", as a selector of 0xD03B
inline constexpr uint16_t kSelectMeasureMillimetres = 0xD03A;  // "measure-mm", as a selector of 0xD03B
inline constexpr uint16_t kCallFormat = 0xD03F;              // "call-format"
inline constexpr uint16_t kSuffix = 0xD046;                  // "suffix"
inline constexpr uint16_t kIndex = 0xD047;                   // "index"
inline constexpr uint16_t kPiCharacter = 0xD05B;             // "pi"
inline constexpr uint16_t kSelectMeasureChars = 0xD05E;      // "measure-chars", as a selector of 0xD03B
inline constexpr uint16_t kTayo = 0xD061;                    // "tayo"
inline constexpr uint16_t kVerticalHorizontalRule = 0xD08F;  // "vh-rule"
inline constexpr uint16_t kVerticalHorizontalRule91 = 0xD091;  // "vh-rule-91"
inline constexpr uint16_t kIndentChars = 0xD096;             // "indent-chars"
inline constexpr uint16_t kEnclosureWord = 0xD09C;           // "enclosure"
inline constexpr uint16_t kOriginSetValue = 0xD09D;          // "origin-set-n"
inline constexpr uint16_t kOriginReturnValue = 0xD09E;       // "origin-n"
inline constexpr uint16_t kRelativeRuleA7 = 0xD0A7;          // "relative-rule-a7"
inline constexpr uint16_t kRelativeRuleA8 = 0xD0A8;          // "relative-rule-a8"
inline constexpr uint16_t kRelativeRuleA9 = 0xD0A9;          // "relative-rule-a9"
inline constexpr uint16_t kRelativeRuleAB = 0xD0AB;          // "relative-rule-ab"
inline constexpr uint16_t kMultipleLineFeed = 0xD0CB;        // "multiple-line-feed"

// The setting commands a group runs most.
inline constexpr uint16_t kFontWord = 0xD02D;         // "font"
inline constexpr uint16_t kSizeBase = 0xD02E;         // "size-base"
inline constexpr uint16_t kLineSpacingWord = 0xD038;  // "line-spacing"
inline constexpr uint16_t kWidthWord = 0xD041;        // "width"
inline constexpr uint16_t kSizeTop = 0xD051;          // "size-top"
inline constexpr uint16_t kSizeCentre = 0xD052;       // "size-centre"
inline constexpr uint16_t kSizeBottom = 0xD053;       // "size-bottom"
inline constexpr uint16_t kColourWord = 0xD084;       // "colour"

// Mode words: the word after a permit or forbid names the mode.
inline constexpr uint16_t kLetterSpaceAdd = 0xD00E;       // "letter-space-add"
inline constexpr uint16_t kRaggedB = 0xD00F;              // "ragged-b"
inline constexpr uint16_t kTsumeLoosen = 0xD010;          // "tsume-loosen"
inline constexpr uint16_t kLetterSpaceSubtract = 0xD011;  // "letter-space-sub"
inline constexpr uint16_t kRaggedC = 0xD012;              // "ragged-c"
inline constexpr uint16_t kHyphenation = 0xD013;          // "hyphenation"
inline constexpr uint16_t kTsumeTighten = 0xD014;         // "tsume-tighten"
inline constexpr uint16_t kLetterSpacing = 0xD015;        // "letter-spacing"
inline constexpr uint16_t kPrintCancel = 0xD018;          // "print-cancel"
inline constexpr uint16_t kRagged = 0xD019;               // "ragged"
inline constexpr uint16_t kMode21 = 0xD021;               // "mode-21"
inline constexpr uint16_t kJustMode = 0xD05C;             // "just-mode"
inline constexpr uint16_t kMode62 = 0xD062;               // "mode-62"
inline constexpr uint16_t kTopAlign = 0xD065;             // "top-align"
inline constexpr uint16_t kHalfWidthInLine = 0xD066;      // "half-width-in-line"
inline constexpr uint16_t kRomanQuarterSpace = 0xD067;    // "roman-quarter-space"
inline constexpr uint16_t kRomanAutoIndent = 0xD068;      // "roman-auto-indent"
inline constexpr uint16_t kRubyAlignVertical = 0xD069;    // "ruby-align-vertical"
inline constexpr uint16_t kRubyAlignHorizontal = 0xD06A;  // "ruby-align-horizontal"
inline constexpr uint16_t kPushIn = 0xD06B;               // "push-in"
inline constexpr uint16_t kHangOut = 0xD06C;              // "hang-out"
inline constexpr uint16_t kRubyBelow = 0xD06F;            // "ruby-below"
inline constexpr uint16_t kSmallKanaKinsoku = 0xD07D;     // "small-kana-kinsoku"
inline constexpr uint16_t kColumnTopAlign = 0xD083;       // "column-top-align"
inline constexpr uint16_t kNoSplit = 0xD094;              // "no-split"
inline constexpr uint16_t kHalfDigitsRoman = 0xD095;      // "half-digits-roman"
inline constexpr uint16_t kSpaceSwitchMode = 0xD0BF;      // "space-switch-mode"
inline constexpr uint16_t kBottomAlign = 0xD0C6;          // "bottom-align"
inline constexpr uint16_t kAutoDeformMode = 0xD0CD;       // "auto-deform-mode"
inline constexpr uint16_t kModeDE = 0xD0DE;               // "mode-de"
inline constexpr uint16_t kThreeCharRuby = 0xD0F3;        // "three-char-ruby"

}  // namespace velkan
