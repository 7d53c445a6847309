// The main loop of a pass: pre-phase, state tags, character run, dispatch.
#pragma once

#include <cstdint>

#include "conversion/flow.h"

namespace velkan {

class Conversion;

// Runs the loop until a main-slot handler ends the job (Flow::kEndJob) or a
// stage fails (Flow::kFail), and returns which; the step after a write the
// output refused fails too.
Flow RunMainLoop(Conversion& c);

// Runs parameter groups and the commands that have a pre-phase handler, and
// leaves the first other word pending; a plain character (see
// MayBePlainCharacter) that comes next in the block read is left unread
// there instead, for the character stage to take with the characters after
// it. Returns 0 or -1.
int16_t RunPrePhase(Conversion& c);

// Runs the main-slot handler of the pending or next word when it is a
// command and gives the handler's result; a command without a main handler
// is taken, another word left pending (Flow::kGoOn both). kFail when the
// fetch failed.
Flow DispatchCommand(Conversion& c);

// 0xD003: runs the in-group handlers up to the closing 0xD004. The end of the
// input inside a group ends the group there. Goes on, or fails when a fetch
// or an in-group handler failed.
Flow RunParameterGroup(Conversion& c);

// 0xD004, 0xD054, 0xD055: consume themselves and end the pre-phase.
Flow ConsumeWord(Conversion& c);

}  // namespace velkan
