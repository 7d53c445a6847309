// The main loop of a pass: pre-phase, state tags, character run, dispatch.
#pragma once

#include <cstdint>

namespace velkan {

class Conversion;

// Runs the loop until a main-slot handler ends the job (result 1) or a stage
// fails (result -1); the step after a write the output refused fails too.
int16_t RunMainLoop(Conversion& c);

// Runs parameter groups and the commands that have a pre-phase handler, and
// leaves the first other word pending; a plain character (see
// MayBePlainCharacter) that comes next in the block read is left unread
// there instead, for the character stage to take with the characters after
// it. Returns 0 or -1.
int16_t RunPrePhase(Conversion& c);

// Runs the main-slot handler of a pending command. Returns -1, 1 or the
// handler's result.
int16_t DispatchCommand(Conversion& c);

// 0xD003: runs the in-group handlers up to the closing 0xD004. The end of the
// input inside a group ends the group there. Returns 1 or -1.
int16_t RunParameterGroup(Conversion& c);

// 0xD004, 0xD054, 0xD055: consume themselves; result 0.
int16_t ConsumeWord(Conversion& c);

}  // namespace velkan
