// The CommandTable: for each low byte of a command word, three handler slots.
#pragma once

#include <array>
#include <cstdint>

namespace velkan {

class Conversion;

// A handler works on the conversion and returns -1 for a failure; in the main
// slot 2 ends the job; in the pre-phase slot 0 ends the pre-phase.
using Handler = int16_t (*)(Conversion&);

struct CommandEntry {
  Handler prePhase = nullptr;  // met by the pre-phase (after another command)
  Handler main = nullptr;      // met by the dispatch (after a character)
  Handler inGroup = nullptr;   // met inside a parameter group
};

using CommandTable = std::array<CommandEntry, 256>;

// The table of the system, indexed by the low byte of the command word.
const CommandTable& Commands();

}  // namespace velkan
