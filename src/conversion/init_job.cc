#include "conversion/conversion.h"
#include "conversion/format_store.h"
#include "typo/typo_state.h"

namespace velkan {

void InitJob(Conversion& c, int direction, int unit, int warnings) {
  // 1. The state flags of the pass: the ruby states and the output switch
  // (the code stream of a new conversion starts with no word taken). The
  // structure flags of the handlers (grouped characters, underline, raw tag,
  // inline structures) are cleared here too as they are added.
  c.ruby = RubyState{};
  c.out.outputSuppressed = 0;

  // 2. The job options, each only when it is 0 or 1.
  JobSettings& job = c.session.settings;
  if (direction == 0 || direction == 1) job.direction = static_cast<int16_t>(direction);
  if (unit == 0 || unit == 1) job.unit = static_cast<int16_t>(unit);
  if (warnings == 0 || warnings == 1) job.warnings = static_cast<int16_t>(warnings);

  // 3, 4. The current and the emitted settings start equal, so nothing is
  // written for a setting until a command changes it. The one-shot <MOVE>
  // values start empty: a shift left over from an earlier pass must not
  // move the first characters of this one.
  ResetTypoState(c.typo);
  ResetTypoState(c.emitted);
  c.move = PendingMove{};
  c.tagsToCheck = true;

  // The parameters and flags of the inline structures and character groups.
  c.inlines = InlineStructures{};
  c.groups = GroupedCharacters{};

  // 5. The limits of the setting commands, the replay state of the format
  // store and the one-shot code flag of the character output. (The font
  // tables are prepared with the tables of the pass, see LoadPassTables.)
  c.limits = kJobLimits;
  ResetFormatReplay(c.store);
  c.stream.StopReplay();
  c.chars.oneShotCode = 0;

  // The rule settings with an underline closed, no raw tag open, and the
  // structure parameters at 0.
  c.underline = UnderlineSettings{};
  c.underlineOpen = 0;
  c.rules = RuleSettings{};
  c.rawTagOpen = 0;
  c.splitLine = SplitLineParameters{};
  c.box = BoxParameters{};
}

}  // namespace velkan
