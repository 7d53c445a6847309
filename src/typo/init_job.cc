#include "driver/conversion.h"
#include "driver/format_store.h"
#include "typo/typo_state.h"

namespace velkan {

void InitJob(Conversion& c, int direction, int unit, int warnings) {
  c.ruby = RubyState{};
  c.out.outputSuppressed = 0;
  c.stream.currentWord = 0;
  c.stream.wordPending = 0;

  JobSettings& job = c.session.settings;
  if (direction == 0 || direction == 1) job.direction = static_cast<int16_t>(direction);
  if (unit == 0 || unit == 1) job.unit = static_cast<int16_t>(unit);
  if (warnings == 0 || warnings == 1) job.warnings = static_cast<int16_t>(warnings);

  ResetTypoState(c.typo);
  ResetTypoState(c.emitted);
  c.move = PendingMove{};

  // Limits of the checking commands, inline structures and character groups.
  c.limits = kJobSizeLimits;
  c.inlines = InlineStructures{};
  c.groups = GroupedCharacters{};

  ResetFormatReplay(c);
  c.chars.oneShotCode = 0;
}

}  // namespace velkan
