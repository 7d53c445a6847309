#include "driver/command_table.h"

#include "commands/positioning.h"
#include "commands/spacing_breaks.h"
#include "driver/main_loop.h"
#include "driver/tag_writer.h"
#include "typo/ruby.h"
#include "typo/stage_commands.h"

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
  e[0x2D] = {nullptr, nullptr, CmdFont};                      // D02D font number (group)
  e[0x2E] = {nullptr, nullptr, CmdSizeBase};                  // D02E size[,pitch], position BASE (group)
  e[0x38] = {nullptr, nullptr, CmdLineSpacing};               // D038 line spacing (group)
  e[0x39] = {nullptr, nullptr, CmdMeasure};                   // D039 measure as a length (group)
  e[0x41] = {nullptr, nullptr, CmdWidth};                     // D041 width[,pitch], height kept (group)
  e[0x51] = {nullptr, nullptr, CmdSizeTop};                   // D051 size[,pitch], position TOP (group)
  e[0x52] = {nullptr, nullptr, CmdSizeCenter};                // D052 size[,pitch], position CENTER (group)
  e[0x53] = {nullptr, nullptr, CmdSizeBottom};                // D053 size[,pitch], position BOTTOM (group)
  e[0x54] = {ConsumeWord, ConsumeWord, nullptr};              // D054 consumed without effect
  e[0x55] = {ConsumeWord, ConsumeWord, nullptr};              // D055 consumed without effect
  e[0x56] = {nullptr, CmdEndOfText, nullptr};                 // D056 end of job (also at end of input)
  e[0x58] = {nullptr, CmdGroupRubyA, nullptr};                // D058 group ruby: open, middle, close
  e[0x6E] = {nullptr, CmdRubyRd, nullptr};                    // D06E manual ruby placement <rd>
  e[0x74] = {nullptr, nullptr, CmdIgnoredLength};             // D074 length read and ignored (group)
  e[0x75] = {nullptr, CmdOutputSwitch, nullptr};              // D075 output on/off
  e[0x76] = {nullptr, nullptr, CmdIgnoredInteger};            // D076 integer read and ignored (group)
  e[0x7C] = {nullptr, CmdGroupRubyB, nullptr};                // D07C group ruby (second kind): open, middle, close
  e[0x7E] = {nullptr, CmdManualRuby, nullptr};                // D07E manual ruby start/end mark
  e[0x7F] = {nullptr, CmdRubyRd2, nullptr};                   // D07F manual ruby placement <rd2>
  e[0x80] = {nullptr, CmdRubyRd4, nullptr};                   // D080 manual ruby placement <rd4>
  e[0x81] = {nullptr, CmdRubyRb2, nullptr};                   // D081 manual ruby placement <rb2>
  e[0x82] = {nullptr, CmdRubyRb4, nullptr};                   // D082 manual ruby placement <rb4>
  e[0x84] = {nullptr, nullptr, CmdColour};                    // D084 colour number (group)
  e[0x93] = {nullptr, CmdOneShotCode, nullptr};               // D093 next character as a code tag
  e[0xA3] = {nullptr, CmdKinsokuRuby, nullptr};               // D0A3 kinsoku ruby: open, middle, close
  e[0xB9] = {nullptr, CmdKinsokuRelease, nullptr};            // D0B9 warning, drop words through D01C
  e[0xBB] = {nullptr, CmdLineEnd, nullptr};                   // D0BB line end
  e[0xC7] = {nullptr, CmdIgnoredCount, nullptr};              // D0C7 up to two digits, ignored
  e[0xDB] = {nullptr, CmdMixedSettingStart, nullptr};         // D0DB warning: mixed setting starts
  e[0xDC] = {nullptr, CmdMixedSettingEnd, nullptr};           // D0DC warning: mixed setting ends
  return t;
}

constexpr CommandTable kCommandTable = BuildCommandTable();

}  // namespace

const CommandTable& Commands() { return kCommandTable; }

}  // namespace velkan
