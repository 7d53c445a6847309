// What lives for one run of the program: a batch of jobs converted one after
// the other by the same user sees these values carry over from job to job.
#pragma once

#include <array>
#include <cstdint>

namespace velkan {

// The job options in force. A pass takes each new value only when it is 0
// or 1; any other value leaves the option as the previous pass left it.
struct JobSettings {
  int16_t direction = 0;  // 0 horizontal composition, 1 vertical
  int16_t unit = 0;       // 0 pt, 1 Q
  int16_t warnings = 0;   // 0 warnings are written, 1 not
};

struct Session {
  // A line-end text has just been written. Set at program start; cleared by
  // every successful WriteText.
  int16_t atLineStart = 1;
  // Set by the zero-line command; cleared by every line-end command.
  int16_t suppressLineEnd = 1;
  // The counted inline scope still open: characters left (0 = none) and the
  // kind of its closing tag. Zero at program start, never reset per job.
  int16_t scopeCountdown = 0;
  int16_t scopeKind = 0;
  // 1 while the open character group is an enclosure. Zero at program start;
  // set when a group opens and cleared when it closes.
  int16_t enclosureFlag = 0;
  // The six values of the page-number command: zero at program start, each
  // kept until that command sets it again.
  std::array<int16_t, 6> numberValues{};
  JobSettings settings;
};

}  // namespace velkan
