// What a command handler tells the loop that called it.
#pragma once

#include <cstdint>

namespace velkan {

// The result of a handler. A handler sits in one or more slots of the
// command table (engine/command_table.h): the pre-phase, the main dispatch
// after characters, and the inside of a parameter group.
enum class Flow : uint8_t {
  // The loop goes on with the next word.
  kGoOn,
  // In the pre-phase: the pre-phase ends and the step goes on to its state
  // tags and characters. In the other slots the same as kGoOn.
  kEndPrePhase,
  // In the main slot: the job ends (the end-of-job command). Returned by
  // main-slot handlers only.
  kEndJob,
  // The pass ends: a word could not be fetched, a store operation failed,
  // or the command cannot go on where it stands.
  kFail,
};

}  // namespace velkan
