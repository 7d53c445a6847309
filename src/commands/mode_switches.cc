#include "commands/mode_switches.h"

#include <array>

#include "commands/commands_literals.h"
#include "commands/ruby.h"
#include "conversion/code_stream.h"
#include "conversion/conversion.h"
#include "conversion/readers.h"
#include "typo/wrap.h"

namespace velkan {

namespace {

constexpr int kLensValues = 26;

// A mode without a counterpart: the mode name with "許可" or "禁止".
template <const auto& Name>
int16_t WarnMode(Conversion& c, int16_t forbid) {
  if (forbid == 0) c.out.WriteWarning(kWarningTag<Name, lit::kWarnModePermitted>);
  if (forbid == 1) c.out.WriteWarning(kWarningTag<Name, lit::kWarnModeForbidden>);
  return 0;
}

// Reads the two-digit value of a numeric mode. Returns 1 with v when both
// digits were there, 0 when fewer were (the stopping word stays pending), -1
// when a fetch failed.
int16_t ReadModeValue(Conversion& c, int16_t& v) {
  int16_t missing = ReadDigits(c, v, 2);
  if (missing < 0) return -1;
  return missing == 0 ? 1 : 0;
}

int16_t LetterSpaceAdd(Conversion& c, int16_t forbid) {
  if (forbid != 0) return 0;
  int16_t v;
  int16_t r = ReadModeValue(c, v);
  if (r == 1) c.ChangeMove().aki = Wrap16(int32_t{c.move.aki} + v);
  return r < 0 ? -1 : 0;
}

int16_t LetterSpaceSubtract(Conversion& c, int16_t forbid) {
  if (forbid != 0) return 0;
  int16_t v;
  int16_t r = ReadModeValue(c, v);
  if (r == 1) c.ChangeMove().aki = Wrap16(int32_t{c.move.aki} - v);
  return r < 0 ? -1 : 0;
}

int16_t TsumeTighten(Conversion& c, int16_t forbid) {
  if (forbid != 0) {
    c.ChangeTypo().tume = 0;
    return 0;
  }
  int16_t v;
  int16_t r = ReadModeValue(c, v);
  if (r == 1) c.ChangeTypo().tume = static_cast<int16_t>(-v);
  return r < 0 ? -1 : 0;
}

int16_t TsumeLoosen(Conversion& c, int16_t forbid) {
  if (forbid != 0) {
    c.ChangeTypo().tume = 0;
    return 0;
  }
  int16_t v;
  int16_t r = ReadModeValue(c, v);
  if (r == 1) c.ChangeTypo().tume = v;
  return r < 0 ? -1 : 0;
}

// Silent modes are consumed without output; they have a row of their own so
// that the table lists every mode word the system knows.
int16_t Silent(Conversion&, int16_t) { return 0; }

constexpr std::array<ModeSwitchRow, 32> kModeSwitchTable = {{
    {kNoSplit, WarnMode<lit::kWarnModeSeparationBan>},
    {kMode62, Silent},
    {kRubyBelow, WarnMode<lit::kWarnModeRubySubscript>},
    {kLetterSpaceAdd, LetterSpaceAdd},
    {kLetterSpaceSubtract, LetterSpaceSubtract},
    {kTsumeTighten, TsumeTighten},
    {kTsumeLoosen, TsumeLoosen},
    {kRagged, WarnMode<lit::kWarnModeRagged>},
    {kRaggedB, WarnMode<lit::kWarnModeRagged>},
    {kRaggedC, WarnMode<lit::kWarnModeRagged>},
    {kHyphenation, WarnMode<lit::kWarnModeHyphen>},
    {kLetterSpacing, WarnMode<lit::kWarnModeLetterSpace>},
    {kPrintCancel, WarnMode<lit::kWarnModePrintCancel>},
    {kTopAlign, WarnMode<lit::kWarnModeTopAligned>},
    {kColumnTopAlign, WarnMode<lit::kWarnModeColumnTopAligned>},
    {kHalfWidthInLine, WarnMode<lit::kWarnModeHalfWidthInLine>},
    {kRomanQuarterSpace, WarnMode<lit::kWarnModeLatinQuarterSpace>},
    {kHalfDigitsRoman, WarnMode<lit::kWarnModeHalfWidthDigits>},
    {kRomanAutoIndent, WarnMode<lit::kWarnModeLatinAutoIndent>},
    {kRubyAlignVertical, WarnMode<lit::kWarnModeRubyAlignVertical>},
    {kRubyAlignHorizontal, WarnMode<lit::kWarnModeRubyAlignHorizontal>},
    {kPushIn, WarnMode<lit::kWarnModePushIn>},
    {kHangOut, WarnMode<lit::kWarnModeHangingPunctuation>},
    {kSmallKanaKinsoku, WarnMode<lit::kWarnModeSmallKanaKinsoku>},
    {kSpaceSwitchMode, WarnMode<lit::kWarnModeSpaceSwitch>},
    {kJustMode, WarnMode<lit::kWarnModeJustify>},
    {kThreeCharRuby, WarnMode<lit::kWarnModeThreeCharRuby>},
    {kAutoDeformMode, WarnMode<lit::kWarnModeAutoDeform>},
    {kMode21, Silent},
    {kBottomAlign, WarnMode<lit::kWarnModeBottomAligned>},
    {kModeDE, nullptr},
    {kEndOfText23, nullptr},
}};

Flow ModeSwitch(Conversion& c, int16_t forbid) {
  CodeStream& s = c.stream;
  CloseManualRuby(c);
  if (s.Take() < 0) return Flow::kFail;
  // The mode word is consumed; a numeric action that finds too few digits
  // leaves the word that stopped it pending.
  s.Consume();
  if (ModeAction action = FindModeAction(s.current())) {
    if (action(c, forbid) < 0) return Flow::kFail;
  }
  return Flow::kGoOn;
}

// Reads a size after a comma; returns 1 when read, 0 when no comma stands
// there, -1 when a fetch failed.
int16_t CommaThenQuarters(Conversion& c) {
  if (c.stream.current() != kCommaSeparator) return 0;
  int16_t ignored;
  return ReadQuarters(c, ignored) < 0 ? -1 : 1;
}

int16_t CommaThenInteger(Conversion& c) {
  if (c.stream.current() != kCommaSeparator) return 0;
  int16_t ignored;
  return ReadInteger(c, ignored) < 0 ? -1 : 1;
}

}  // namespace

std::span<const ModeSwitchRow> ModeSwitchTable() { return kModeSwitchTable; }

ModeAction FindModeAction(uint16_t word) {
  for (const ModeSwitchRow& row : kModeSwitchTable) {
    if (row.word == word) return row.action;
    if (row.word == kEndOfText23) break;
  }
  return nullptr;
}

Flow CmdOutputSwitch(Conversion& c) {
  c.out.outputSuppressed = c.out.outputSuppressed == 0 ? 1 : 0;
  c.stream.Consume();
  return Flow::kGoOn;
}

Flow CmdModePermit(Conversion& c) { return ModeSwitch(c, 0); }
Flow CmdModeForbid(Conversion& c) { return ModeSwitch(c, 1); }

Flow CmdForcedDeformIgnored(Conversion& c) {
  c.out.WriteWarning(kWarningTag<lit::kWarnForcedDeformIgnored>);
  c.stream.Consume();
  return Flow::kGoOn;
}

Flow CmdForcedDeformVariable(Conversion& c) {
  int16_t ignored;
  if (ReadQuarters(c, ignored) < 0) return Flow::kFail;
  // Each further value is read only behind a comma; the first other word
  // ends the list and stays current for the group.
  int16_t r = CommaThenInteger(c);
  if (r > 0) r = CommaThenInteger(c);
  if (r > 0) r = CommaThenQuarters(c);
  if (r > 0) r = CommaThenQuarters(c);
  if (r < 0) return Flow::kFail;
  c.out.WriteWarning(kWarningTag<lit::kWarnForcedDeformVariable>);
  return Flow::kGoOn;
}

Flow CmdForcedDeformLens(Conversion& c) {
  CodeStream& s = c.stream;
  s.Consume();
  int16_t ignored;
  for (int i = 0; i < kLensValues; ++i) {
    if (ReadQuarters(c, ignored) < 0) return Flow::kFail;
    if (s.current() != kCommaSeparator) {
      s.Keep();  // not an argument: left for the main loop
      break;
    }
    // A comma after the last value is consumed with the command.
  }
  c.out.WriteWarning(kWarningTag<lit::kWarnForcedDeformLens>);
  return Flow::kGoOn;
}

}  // namespace velkan
