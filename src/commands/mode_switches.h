// Mode switches (0xD00C permit, 0xD00D forbid, each followed by a mode word)
// and the forced-deformation commands.
#pragma once

#include <cstdint>
#include <span>

#include "conversion/flow.h"

namespace velkan {

class Conversion;

// 0xD075, main: switches the output off, or on again (see
// TagWriter::outputSuppressed), and consumes the word.
Flow CmdOutputSwitch(Conversion& c);

// A mode action gets the permit flag (0 permit, 1 forbid) and returns 0, or
// -1 when reading an argument failed.
using ModeAction = int16_t (*)(Conversion& c, int16_t forbid);

struct ModeSwitchRow {
  uint16_t word;
  ModeAction action;  // nullptr: the mode is consumed without effect
};

// The ModeSwitchTable in its search order; its last row, 0xD023 without an
// action, ends every search.
std::span<const ModeSwitchRow> ModeSwitchTable();

// The action of the first row whose word is `word`, searching up to the end
// row; nullptr when the word is not found or its row has no action.
ModeAction FindModeAction(uint16_t word);

// 0xD00C / 0xD00D, pre-phase and main slot: CloseManualRuby, fetch the mode
// word and run its action. The letter-space modes (0xD00E add, 0xD011
// subtract) and the tsume modes (0xD014 tighten, 0xD010 loosen) read two digit
// words when permitted; with fewer than two digits nothing changes and the
// word that ended the reading is left pending for the main loop instead of
// being dropped. The pre-phase goes on.
Flow CmdModePermit(Conversion& c);
Flow CmdModeForbid(Conversion& c);

// 0xD0D5, main: the warning "強制変形(無視)".
Flow CmdForcedDeformIgnored(Conversion& c);

// 0xD0D6, in-group: reads up to five comma-separated values (size, integer,
// integer, size, size), then warns "強制変形(変数)".
Flow CmdForcedDeformVariable(Conversion& c);

// 0xD0CE, main: reads up to 26 comma-separated sizes, then warns "強制変形(レンズ)".
// A comma after the 26th value is consumed with the command; a word that is no
// comma stays pending for the main loop.
Flow CmdForcedDeformLens(Conversion& c);

}  // namespace velkan
