#include "typo/typo_state.h"

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

}  // namespace velkan
