// The command table: one row for every command word 0xD000-0xD0FF the system
// names or handles, with its name and its three handler slots. The dispatch
// table the main loop indexes and the names `velkan dump` prints are both
// derived from the rows at compile time.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "conversion/flow.h"

namespace velkan {

class Conversion;

// A handler works on the conversion and tells the loop how to go on (see
// Flow). The handlers' headers say when one ends the pre-phase or the job;
// every handler fails when a word it needs cannot be fetched, and goes on
// otherwise unless its header says more.
using Handler = Flow (*)(Conversion&);

// One command word: its name (lower-case words joined by "-") and what
// handles it where it is met. An empty slot means that the word is dropped
// by the dispatch there, and skipped inside a group.
struct CommandRow {
  uint16_t word;
  std::string_view name;
  Handler prePhase;  // met by the pre-phase (after another command)
  Handler main;      // met by the dispatch (after a character)
  Handler inGroup;   // met inside a parameter group
};

// The rows, ordered by word, each word once.
std::span<const CommandRow> CommandRows();

// The three slots of a low byte, as the dispatch reads them.
struct CommandEntry {
  Handler prePhase = nullptr;
  Handler main = nullptr;
  Handler inGroup = nullptr;
  // True when the main handler, run right after characters of the main
  // pages were written (no manual ruby open, no one-shot code, no word
  // pending), only writes to the output, takes its words and changes state
  // of its own, and goes on: it leaves as they were the settings and
  // one-shot values (it marks nothing for the state tags), the fonts, their
  // tables and the store, the one-shot code, the manual ruby, the scope
  // countdown, the output switch and the format replay. The main loop then
  // sweeps the characters behind it in the same font without looking at
  // any of them again.
  bool keepsSweep = false;
};

using CommandTable = std::array<CommandEntry, 256>;

// The dispatch table, indexed by the low byte of the command word (a word
// 0xD100-0xDFFF is dispatched by its low byte too).
const CommandTable& Commands();

// The name of command word 0xD000 + `lowByte` ("line-end" for 0xD009), or an
// empty view for a word without a row.
std::string_view CommandName(uint8_t lowByte);

// The name of a word 0xD000-0xD0FF as CommandName gives it; empty for any
// other word.
std::string_view CommandWordName(uint16_t word);

}  // namespace velkan
