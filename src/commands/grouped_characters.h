// Grouped and enclosed characters, marked by the command 0xD09A three times:
// at the start of the first part, between the parts and at the end.
//
// A plain group is written "<GOU ...>", the first part, "<GOU2 ...>", the
// second part, "</GOU>"; a group whose first mark is followed by 0xD09C is an
// enclosure, written "<MAKI ...>", the characters, "</MAKI>" (nothing at the
// middle mark). Whether the open group is an enclosure is the Session's
// `enclosureFlag`.
#pragma once

#include <cstdint>

#include "conversion/flow.h"

namespace velkan {

class Conversion;

// 0xD099, group: four comma-separated sizes (height and width of the first,
// then of the second part). A missing comma or a size above the job's largest
// size changes none of them and skips the arguments.
Flow CmdGroupSizes(Conversion& c);

// 0xD09A, main: the next mark of the group (see above). At the first mark the
// word after the command is fetched: 0xD09C is consumed with it, any other
// word stays pending for the first part.
Flow CmdGroupMark(Conversion& c);

}  // namespace velkan
