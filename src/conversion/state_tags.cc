#include "conversion/state_tags.h"

#include <string_view>

#include "conversion/conversion.h"
#include "typo/typo_state.h"

namespace velkan {

namespace {

TagFormat FormatOf(const Conversion& c) {
  return TagFormat{c.session.settings.unit, c.session.settings.direction == 1, c.definitions};
}

void WriteIfAny(Conversion& c, std::string_view text) {
  if (!text.empty()) c.out.WriteText(text);
}

}  // namespace

void WriteJTag(Conversion& c) {
  TagText tag("<J");
  WriteIfAny(c, ComposeJTag(c.typo, c.emitted, FormatOf(c), tag));
}

void WriteGTag(Conversion& c) {
  TagText tag("<G");
  WriteIfAny(c, ComposeGTag(c.typo, c.emitted, FormatOf(c), tag));
}

void WriteMoveTag(Conversion& c) {
  TagText tag("<MOVE");
  WriteIfAny(c, ComposeMoveTag(c.move, FormatOf(c), tag));
}

void WriteCharacterTags(Conversion& c) {
  if (!CharacterTagsPending(c.typo, c.emitted, c.move)) return;
  // Each tag is written only when one of its attributes changed (a tag with
  // no attribute to write is left out anyway).
  if (JTagPending(c.typo, c.emitted)) WriteJTag(c);
  if (GTagPending(c.typo, c.emitted)) WriteGTag(c);
  if (MoveTagPending(c.move)) WriteMoveTag(c);
}

}  // namespace velkan
