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

namespace velkan {

namespace {

// One line per command word: {pre-phase, main, in-group}. Entries not listed
// are empty: such a word is dropped by the dispatch and skipped in a group.
constexpr CommandTable BuildCommandTable() {
  CommandTable t{};
  auto& e = t;
  e[0x01] = {nullptr, CmdLineEndRT, nullptr};                     // D001 line end, justified right
  e[0x02] = {nullptr, CmdSpace, nullptr};                         // D002 space <sp> (a blank inside a raw tag)
  e[0x03] = {RunParameterGroup, RunParameterGroup, nullptr};      // D003 open a parameter group
  e[0x04] = {ConsumeWord, ConsumeWord, nullptr};                  // D004 close a group (harmless outside)
  e[0x05] = {nullptr, CmdLineEndQC, nullptr};                     // D005 line end, centred
  e[0x06] = {nullptr, CmdTagTh, nullptr};                         // D006 <th>
  e[0x07] = {nullptr, CmdTagEn, nullptr};                         // D007 <en>
  e[0x08] = {nullptr, CmdTagEm, nullptr};                         // D008 <em>
  e[0x09] = {nullptr, CmdLineEnd, nullptr};                       // D009 line end
  e[0x0A] = {nullptr, CmdBell, nullptr};                          // D00A bell: next word is a sub-command
  e[0x0B] = {nullptr, CmdLineEndQR, nullptr};                     // D00B line end, flush right
  e[0x0C] = {CmdModePermit, CmdModePermit, nullptr};              // D00C permit the mode named by the next word
  e[0x0D] = {CmdModeForbid, CmdModeForbid, nullptr};              // D00D forbid the mode named by the next word
  e[0x1C] = {nullptr, CmdLineEnd, nullptr};                       // D01C line end
  e[0x1D] = {CmdNoEffect, CmdNoEffect, nullptr};                  // D01D consumed without effect
  e[0x1E] = {nullptr, CmdFillRule, nullptr};                      // D01E fill rule <FIL>, line chosen by the next word
  e[0x1F] = {nullptr, CmdCloseRubyOnly, nullptr};                 // D01F closes a manual ruby, no output
  e[0x20] = {CmdEndOfText, CmdEndOfText, nullptr};                // D020 end of text (consumed in pre-phase)
  e[0x22] = {CmdNoEffect, CmdNoEffect, nullptr};                  // D022 consumed without effect
  e[0x23] = {nullptr, CmdEndOfText, nullptr};                     // D023 end of text
  e[0x24] = {CmdHorizontalTab, CmdHorizontalTab, nullptr};        // D024 warning: horizontal tab
  e[0x25] = {nullptr, CmdVerticalTabStart, nullptr};              // D025 warning: vertical tab start
  e[0x26] = {nullptr, CmdVerticalTabMiddle, nullptr};             // D026 warning: vertical tab middle
  e[0x27] = {nullptr, CmdVerticalTabEnd, nullptr};                // D027 warning: vertical tab end
  e[0x28] = {nullptr, CmdPageNumber0, nullptr};                   // D028 warning: page number 0
  e[0x29] = {nullptr, CmdZeroLine, nullptr};                      // D029 <G l=0>, suppresses a following line end at line start
  e[0x2A] = {nullptr, nullptr, CmdShiftUp};                       // D02A size: shift the baseline up (group)
  e[0x2B] = {nullptr, nullptr, CmdShiftDown};                     // D02B size: shift the baseline down (group)
  e[0x2C] = {nullptr, nullptr, CmdDefineFormat};                  // D02C define format n: the body follows the group
  e[0x2D] = {nullptr, nullptr, CmdFont};                          // D02D font number (group)
  e[0x2E] = {nullptr, nullptr, CmdSizeBase};                      // D02E size[,pitch], position BASE (group)
  e[0x2F] = {nullptr, nullptr, CmdIndent};                        // D02F length,D034|D035,lines: left/right indent (group)
  e[0x30] = {nullptr, nullptr, CmdIndentReset};                   // D030 left, right and hanging indents to 0 (group)
  e[0x31] = {nullptr, nullptr, CmdIndentHanging};                 // D031 length: hanging indent (group)
  e[0x32] = {nullptr, nullptr, CmdIndentStart};                   // D032 length: first-line indent (group)
  e[0x33] = {nullptr, nullptr, CmdPositionIndent};                // D033 D034|D035,n; else warning: position indent (group)
  e[0x36] = {nullptr, nullptr, CmdBaselineJump};                  // D036 size, warning: baseline jump (group)
  e[0x37] = {nullptr, nullptr, CmdPageNumberValues};              // D037 up to six page-number values, warning (group)
  e[0x38] = {nullptr, nullptr, CmdLineSpacing};                   // D038 line spacing (group)
  e[0x39] = {nullptr, nullptr, CmdMeasure};                       // D039 measure as a length (group)
  e[0x3A] = {nullptr, nullptr, CmdMeasureMillimetres};            // D03A quarter mm: measure (group)
  e[0x3B] = {nullptr, nullptr, CmdCheckIndexedLength};            // D03B index,D039|D03A|D05E,length checked; bad ends the job (group)
  e[0x3C] = {nullptr, nullptr, CmdLengthWithFormat};              // D03C length [D03F format number], no effect
  e[0x3D] = {nullptr, CmdRawTagBracket, nullptr};                 // D03D raw tag bracket: "<" then ">"
  e[0x3E] = {nullptr, nullptr, CmdCountWithFormat};               // D03E count [D03F format number], no effect
  e[0x3F] = {nullptr, nullptr, CmdCallFormat};                    // D03F call format n (replay after the group)
  e[0x40] = {nullptr, nullptr, CmdLineHeadPosition};              // D040 length, warning: line-head position (group)
  e[0x41] = {nullptr, nullptr, CmdWidth};                         // D041 width[,pitch], height kept (group)
  e[0x43] = {nullptr, nullptr, CmdNationalHyphen};                // D043 integer, warning: national hyphenation (group)
  e[0x46] = {nullptr, CmdSuffix, nullptr};                        // D046 digit 1-3: <SFX3>/<SFX1>/<SFX2> over one character
  e[0x47] = {nullptr, CmdIndex, nullptr};                         // D047 digit 1-3: <IDX3>/<IDX1>/<IDX2> over one character
  e[0x48] = {nullptr, CmdDoubleIndex, nullptr};                   // D048 <DIDX> over one character
  e[0x49] = {nullptr, CmdEuropeanFraction, nullptr};              // D049 warning: European fraction
  e[0x4A] = {nullptr, CmdSmallAccent, nullptr};                   // D04A warning: lower-case accent
  e[0x4B] = {nullptr, CmdCapitalAccent, nullptr};                 // D04B warning: capital accent
  e[0x4C] = {nullptr, nullptr, CmdWordSpace};                     // D04C size,size,size, warning: word space (group)
  e[0x4D] = {nullptr, CmdTagHyphen, nullptr};                     // D04D <->
  e[0x4E] = {nullptr, CmdTagTk, nullptr};                         // D04E <tk>
  e[0x4F] = {nullptr, CmdTagMi, nullptr};                         // D04F <mi>
  e[0x51] = {nullptr, nullptr, CmdSizeTop};                       // D051 size[,pitch], position TOP (group)
  e[0x52] = {nullptr, nullptr, CmdSizeCenter};                    // D052 size[,pitch], position CENTER (group)
  e[0x53] = {nullptr, nullptr, CmdSizeBottom};                    // D053 size[,pitch], position BOTTOM (group)
  e[0x54] = {ConsumeWord, ConsumeWord, nullptr};                  // D054 consumed without effect
  e[0x55] = {ConsumeWord, ConsumeWord, nullptr};                  // D055 consumed without effect
  e[0x56] = {nullptr, CmdEndOfText, nullptr};                     // D056 end of job (also at end of input)
  e[0x57] = {nullptr, CmdSkippedCommand, CmdSkippedCommand};      // D057 consumed; skipped in a group
  e[0x58] = {nullptr, CmdGroupRubyA, nullptr};                    // D058 group ruby: open, middle, close
  e[0x59] = {nullptr, CmdWarichu, nullptr};                       // D059 <WARI ...> / </WARI>
  e[0x5A] = {nullptr, nullptr, CmdTayoParameters};                // D05A h,w,aki of the next <TAYO> (group)
  e[0x5B] = {nullptr, CmdPiCharacter, nullptr};                   // D05B three digits: pi character
  e[0x5D] = {nullptr, CmdTagS4, nullptr};                         // D05D <s4>
  e[0x5E] = {nullptr, nullptr, CmdMeasureChars};                  // D05E characters[,pitch]: measure (group)
  e[0x60] = {CmdNoBreakDm, CmdNoBreakDm, nullptr};                // D060 <dm wid=0>, no break before the next character
  e[0x61] = {nullptr, CmdTayo, nullptr};                          // D061 two digits: <TAYO ...> over that many characters
  e[0x64] = {nullptr, nullptr, CmdSplitLineParameters};           // D064 size,size,type,par of split lines (group)
  e[0x6D] = {nullptr, CmdTagDm, nullptr};                         // D06D <dm>
  e[0x6E] = {nullptr, CmdRubyRd, nullptr};                        // D06E manual ruby placement <rd>
  e[0x70] = {nullptr, nullptr, CmdCentering};                     // D070 length, warning: centering (group)
  e[0x71] = {nullptr, nullptr, CmdPlayCount};                     // D071 n,c: the next c calls of format n play
  e[0x72] = {nullptr, CmdUnderlineMark, nullptr};                 // D072 underline start / end mark
  e[0x73] = {nullptr, nullptr, CmdUnderlineSettings};             // D073 underline type,thickness,gap,kind,... (group)
  e[0x74] = {nullptr, nullptr, CmdIgnoredLength};                 // D074 length read and ignored (group)
  e[0x75] = {nullptr, CmdOutputSwitch, nullptr};                  // D075 output on/off
  e[0x76] = {nullptr, nullptr, CmdIgnoredInteger};                // D076 integer read and ignored (group)
  e[0x77] = {nullptr, CmdHeadingPushOut, nullptr};                // D077 warning: heading push-out
  e[0x78] = {CmdNoBreak, CmdNoBreak, nullptr};                    // D078 no break before the next character
  e[0x79] = {nullptr, CmdIgnoreIndent, nullptr};                  // D079 warning: indent ignored
  e[0x7A] = {nullptr, CmdOriginSet, nullptr};                     // D07A warning: origin set
  e[0x7B] = {nullptr, CmdOriginReturn, nullptr};                  // D07B warning: origin return
  e[0x7C] = {nullptr, CmdGroupRubyB, nullptr};                    // D07C group ruby (second kind): open, middle, close
  e[0x7E] = {nullptr, CmdManualRuby, nullptr};                    // D07E manual ruby start/end mark
  e[0x7F] = {nullptr, CmdRubyRd2, nullptr};                       // D07F manual ruby placement <rd2>
  e[0x80] = {nullptr, CmdRubyRd4, nullptr};                       // D080 manual ruby placement <rd4>
  e[0x81] = {nullptr, CmdRubyRb2, nullptr};                       // D081 manual ruby placement <rb2>
  e[0x82] = {nullptr, CmdRubyRb4, nullptr};                       // D082 manual ruby placement <rb4>
  e[0x84] = {nullptr, nullptr, CmdColour};                        // D084 colour number (group)
  e[0x88] = {nullptr, nullptr, CmdCoordinateRule};                // D088 coordinate rule n,len,len,len, warning (group)
  e[0x8A] = {nullptr, nullptr, CmdCoordinateRule};                // D08A coordinate rule n,len,len,len, warning (group)
  e[0x8B] = {nullptr, nullptr, CmdCoordinateRuleCounted};         // D08B coordinate rule n,len,len,len[,n], warning (group)
  e[0x8C] = {nullptr, CmdIgnoredCommand, nullptr};                // D08C consumed without output
  e[0x8D] = {nullptr, CmdFraction, nullptr};                      // D08D <BUN ...> / <BUN2 ...> / </BUN>
  e[0x8E] = {nullptr, CmdPageNumber1, nullptr};                   // D08E warning: page number 1
  e[0x8F] = {nullptr, CmdVerticalHorizontalRule, nullptr};        // D08F [digit], warning: vertical/horizontal rule
  e[0x91] = {nullptr, CmdVerticalHorizontalRule, nullptr};        // D091 [digit], warning: vertical/horizontal rule
  e[0x92] = {nullptr, CmdPageNumber2, nullptr};                   // D092 warning: page number 2
  e[0x93] = {nullptr, CmdOneShotCode, nullptr};                   // D093 next character as a code tag
  e[0x96] = {nullptr, nullptr, CmdIndentChars};                   // D096 characters,D034|D035,lines: left/right indent (group)
  e[0x97] = {nullptr, nullptr, CmdIndentHangingChars};            // D097 characters: hanging indent (group)
  e[0x98] = {nullptr, nullptr, CmdIndentStartChars};              // D098 characters: first-line indent (group)
  e[0x99] = {nullptr, nullptr, CmdGroupSizes};                    // D099 h0,w0,h1,w1: sizes of the next group (group)
  e[0x9A] = {nullptr, CmdGroupMark, nullptr};                     // D09A group mark: <GOU>/<GOU2>/</GOU>, <MAKI>/</MAKI>
  e[0x9B] = {nullptr, nullptr, CmdRuleSettings};                  // D09B enclosure rule thickness,inner width,size (group)
  e[0x9C] = {nullptr, CmdEnclosureBox, nullptr};                  // D09C stand-alone enclosure box <MAKI>...</MAKI>
  e[0x9D] = {nullptr, CmdOriginSetValue, nullptr};                // D09D [digit]; without it warning: origin set, value
  e[0x9E] = {nullptr, CmdOriginReturnValue, nullptr};             // D09E [digit], no effect
  e[0xA0] = {nullptr, nullptr, CmdBoxParameters};                 // D0A0 box line selector[,gap] (group)
  e[0xA1] = {nullptr, CmdTagD2, nullptr};                         // D0A1 <d2>
  e[0xA2] = {nullptr, CmdTagD1, nullptr};                         // D0A2 <d1>
  e[0xA3] = {nullptr, CmdKinsokuRuby, nullptr};                   // D0A3 kinsoku ruby: open, middle, close
  e[0xA4] = {nullptr, nullptr, CmdCoordinateRule};                // D0A4 coordinate rule n,len,len,len, warning (group)
  e[0xA5] = {nullptr, nullptr, CmdCoordinateRule};                // D0A5 coordinate rule n,len,len,len, warning (group)
  e[0xA6] = {nullptr, nullptr, CmdCoordinateRuleCounted};         // D0A6 coordinate rule n,len,len,len[,n], warning (group)
  e[0xA7] = {nullptr, CmdRelativeRuleDigit, nullptr};             // D0A7 [digit], warning: relative rule
  e[0xA8] = {nullptr, CmdRelativeRuleDigit, nullptr};             // D0A8 [digit], warning: relative rule
  e[0xA9] = {nullptr, CmdRelativeRuleDigit, nullptr};             // D0A9 [digit], warning: relative rule
  e[0xAA] = {nullptr, CmdRelativeRule, nullptr};                  // D0AA warning: relative rule
  e[0xAB] = {nullptr, CmdRelativeRuleDigit, nullptr};             // D0AB [digit], warning: relative rule
  e[0xAC] = {nullptr, CmdRelativeRule, nullptr};                  // D0AC warning: relative rule
  e[0xAD] = {nullptr, CmdOneShotSolid, nullptr};                  // D0AD warning: one-shot solid
  e[0xAE] = {nullptr, CmdRelativeRuleIgnored, nullptr};           // D0AE warning: relative rule ignored
  e[0xB0] = {nullptr, CmdTagSpOneMoji, nullptr};                  // D0B0 <sp wid=1moji>
  e[0xB1] = {nullptr, CmdTagS2, nullptr};                         // D0B1 <s2>
  e[0xB2] = {nullptr, CmdTagS3, nullptr};                         // D0B2 <s3>
  e[0xB3] = {CmdSwitchSource, CmdSwitchSource, nullptr};          // D0B3 switch between the replay and the input
  e[0xB4] = {nullptr, CmdFillSpace, nullptr};                     // D0B4 <FILSP>
  e[0xB5] = {CmdShiftUpHalfLine, CmdShiftUpHalfLine, nullptr};    // D0B5 shift the baseline up half a line
  e[0xB6] = {CmdShiftDownHalfLine, CmdShiftDownHalfLine, nullptr};  // D0B6 shift the baseline down half a line
  e[0xB9] = {nullptr, CmdKinsokuRelease, nullptr};                // D0B9 warning, drop words through D01C
  e[0xBA] = {nullptr, nullptr, CmdSpaceCommand};                  // D0BA length,count, warning: space command (group)
  e[0xBB] = {nullptr, CmdLineEnd, nullptr};                       // D0BB line end
  e[0xBC] = {nullptr, nullptr, CmdSpaceCommand};                  // D0BC length,count, warning: space command (group)
  e[0xBD] = {nullptr, nullptr, CmdSpaceExecution};                // D0BD warning: space execution, arguments skipped (group)
  e[0xBE] = {nullptr, nullptr, CmdNewIndent};                     // D0BE selector,length,length,n, warnings: new indent (group)
  e[0xC7] = {nullptr, CmdIgnoredCount, nullptr};                  // D0C7 up to two digits, ignored
  e[0xCA] = {nullptr, nullptr, CmdNewIndent};                     // D0CA selector,length,length,n, warnings: new indent (group)
  e[0xCB] = {nullptr, CmdMultipleLineFeed, nullptr};              // D0CB two digits, warning: multiple line feed
  e[0xCC] = {nullptr, nullptr, CmdAutoDeform};                    // D0CC size,size[,n], warning: automatic deformation (group)
  e[0xCE] = {nullptr, CmdForcedDeformLens, nullptr};              // D0CE up to 26 sizes, warning: forced deformation (lens)
  e[0xCF] = {nullptr, nullptr, CmdJustifySize};                   // D0CF size; below the smallest size warning: justification (group)
  e[0xD0] = {nullptr, nullptr, CmdJustifyLeadingLength};          // D0D0 size; negative warning: justification by leading (group)
  e[0xD1] = {CmdJustifyIgnore, CmdJustifyIgnore, nullptr};        // D0D1 warning: justification ignored
  e[0xD3] = {nullptr, nullptr, CmdEmWidth};                       // D0D3 size: width of the next <em wid=...> (group)
  e[0xD4] = {nullptr, CmdEmSpace, nullptr};                       // D0D4 <em wid=...>
  e[0xD5] = {nullptr, CmdForcedDeformIgnored, nullptr};           // D0D5 warning: forced deformation (ignored)
  e[0xD6] = {nullptr, nullptr, CmdForcedDeformVariable};          // D0D6 up to five values, warning: forced deformation (group)
  e[0xD7] = {nullptr, CmdJustifyPlanted, nullptr};                // D0D7 warning: justification (planted)
  e[0xD8] = {nullptr, CmdJustifyLeading, nullptr};                // D0D8 warning: justification by leading
  e[0xD9] = {nullptr, nullptr, CmdIndentPercent};                 // D0D9 percent,D034|D035,lines, warning: percentage indent (group)
  e[0xDA] = {nullptr, nullptr, CmdMixedStart};                    // D0DA length, warning: mixed setting start (group)
  e[0xDB] = {nullptr, CmdMixedSettingStart, nullptr};             // D0DB warning: mixed setting starts
  e[0xDC] = {nullptr, CmdMixedSettingEnd, nullptr};               // D0DC warning: mixed setting ends
  e[0xDD] = {CmdJustifyNoSplit, CmdJustifyNoSplit, nullptr};      // D0DD warning: justification, no split
  e[0xF7] = {nullptr, CmdPageBreak, nullptr};                     // D0F7 warning: page break
  e[0xF8] = {nullptr, CmdColumnBreak, nullptr};                   // D0F8 warning: column break
  return t;
}

constexpr CommandTable kCommandTable = BuildCommandTable();

}  // namespace

const CommandTable& Commands() { return kCommandTable; }

}  // namespace velkan
