#include "driver/command_table.h"

#include "commands/spacing_breaks.h"
#include "driver/format_commands.h"
#include "driver/main_loop.h"
#include "driver/tag_writer.h"

namespace velkan {

namespace {

// One line per command word: {pre-phase, main, in-group}. Entries not listed
// are empty: such a word is dropped by the dispatch and skipped in a group.
constexpr CommandTable BuildCommandTable() {
  CommandTable t{};
  auto& e = t;
  e[0x01] = {nullptr, CmdLineEndRT, nullptr};                 // D001 line end, justified right
  e[0x03] = {RunParameterGroup, RunParameterGroup, nullptr};  // D003 open a parameter group
  e[0x04] = {ConsumeWord, ConsumeWord, nullptr};              // D004 close a group (harmless outside)
  e[0x05] = {nullptr, CmdLineEndQC, nullptr};                 // D005 line end, centred
  e[0x09] = {nullptr, CmdLineEnd, nullptr};                   // D009 line end
  e[0x0B] = {nullptr, CmdLineEndQR, nullptr};                 // D00B line end, flush right
  e[0x1C] = {nullptr, CmdLineEnd, nullptr};                   // D01C line end
  e[0x20] = {CmdEndOfText, CmdEndOfText, nullptr};            // D020 end of text (consumed in pre-phase)
  e[0x23] = {nullptr, CmdEndOfText, nullptr};                 // D023 end of text
  e[0x2C] = {nullptr, nullptr, CmdDefineFormat};              // D02C define format n: the body follows the group
  e[0x3C] = {nullptr, nullptr, CmdLengthWithFormat};          // D03C length [D03F format number], no effect
  e[0x3E] = {nullptr, nullptr, CmdCountWithFormat};           // D03E count [D03F format number], no effect
  e[0x3F] = {nullptr, nullptr, CmdCallFormat};                // D03F call format n (replay after the group)
  e[0x54] = {ConsumeWord, ConsumeWord, nullptr};              // D054 consumed without effect
  e[0x55] = {ConsumeWord, ConsumeWord, nullptr};              // D055 consumed without effect
  e[0x56] = {nullptr, CmdEndOfText, nullptr};                 // D056 end of job (also at end of input)
  e[0x71] = {nullptr, nullptr, CmdPlayCount};                 // D071 n,c: the next c calls of format n play
  e[0x75] = {nullptr, CmdOutputSwitch, nullptr};              // D075 output on/off
  e[0xB3] = {CmdSwitchSource, CmdSwitchSource, nullptr};      // D0B3 switch between the replay and the input
  e[0xBB] = {nullptr, CmdLineEnd, nullptr};                   // D0BB line end
  return t;
}

constexpr CommandTable kCommandTable = BuildCommandTable();

}  // namespace

const CommandTable& Commands() { return kCommandTable; }

}  // namespace velkan
