// Rules: underlines, the stand-alone enclosure box and the positioned rules
// that have no counterpart in the output and are reported as warnings.
//
// Rule appearance is named through the definition file: "罫線太さ" maps a
// thickness number to a line description, "罫種別" a rule-kind number to a
// rule type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "conversion/flow.h"
#include "typo/definition_file.h"
#include "typo/units.h"

namespace velkan {

class Conversion;

// The most bytes PutThicknessLine writes.
inline constexpr size_t kMostThicknessLine = 6 + kMostDefinitionLine;
// Writes at `d` " line=%s" with the "罫線太さ" value of the decimal key, when
// the definition file has one, and nothing otherwise; returns the end.
char* PutThicknessLine(const Conversion& c, char* d, int32_t key);

// The margin between an enclosure and its characters, in internal units:
// half the difference between the enclosure size of RuleSettings and the
// current character height; 0 while no enclosure size is set.
int32_t EnclosureMargin(const Conversion& c);

// The most bytes PutEnclosureOpening writes.
inline constexpr size_t kMostEnclosureOpening = 5 + 6 + kMostDefinitionLine + 6 + kMostNumberWithUnit + 1;
// Writes the opening tag of an enclosure at `d`: "<MAKI", the thickness line
// of RuleSettings as PutThicknessLine gives it, " gaki=%g" with the unit
// for EnclosureMargin unless the margin written would be 0, and ">".
// Returns the end.
char* PutEnclosureOpening(Conversion& c, char* d);

// The width of the solid line of underline types 3 and 4, in internal units:
// the current character height plus twice the underline gap.
int32_t UnderlineRuleWidth(const Conversion& c);

// 0xD073, in-group: type, thicknessKey, gap, lineKind and three ignored
// arguments, comma-separated; missing ones take the defaults.
Flow CmdUnderlineSettings(Conversion& c);

// 0xD072, main: CloseManualRuby; the end tag of the current type when an
// underline is open, else the start tag.
Flow CmdUnderlineMark(Conversion& c);

// 0xD09B, in-group: thickness key, inner width, enclosure size. A missing
// comma skips the remaining arguments and changes nothing.
Flow CmdRuleSettings(Conversion& c);

// 0xD09C, main: "<MAKI ...>", an optional "<em wid=...>" and "</MAKI>" as one
// text.
Flow CmdEnclosureBox(Conversion& c);

// 0xD0A7, 0xD0A8, 0xD0A9, 0xD0AB, main: an optional digit word (a word that is
// no digit stays pending), then the warning "相対罫".
Flow CmdRelativeRuleDigit(Conversion& c);

// 0xD0AA, 0xD0AC, main: the warning "相対罫".
Flow CmdRelativeRule(Conversion& c);

// 0xD0AE, main: the warning "相対罫無視".
Flow CmdRelativeRuleIgnored(Conversion& c);

// 0xD08F, 0xD091, main (and the bell's 0xD006 and 0xD008): an optional digit
// word, then the warning "縦横罫".
Flow CmdVerticalHorizontalRule(Conversion& c);

// 0xD088, 0xD08A, 0xD0A4, 0xD0A5, in-group: an integer and three lengths after
// commas, reported as a warning; a missing comma skips the remaining arguments
// without a warning.
Flow CmdCoordinateRule(Conversion& c);

// 0xD08B, 0xD0A6, in-group: as CmdCoordinateRule, then an ignored integer
// after a further comma.
Flow CmdCoordinateRuleCounted(Conversion& c);

}  // namespace velkan
