#include "typo/typo_state.h"

#include "driver/conversion.h"

namespace velkan {

void ResetTypoState(TypoState& typo) {
  typo = TypoState{};
  typo.font = 1;
  typo.height = 32;
  typo.width = 32;
  typo.lineSpacing = 155520;
  typo.measure = 1710720;
  typo.position = 0;
  typo.colour = -1;
}

// The <J>, <G> and <MOVE> tags are written by the typographic state tags,
// which arrive together with the commands that change the settings; until
// then no setting can differ from what was last written.
void WriteCharacterTags(Conversion& /*c*/) {}

}  // namespace velkan
