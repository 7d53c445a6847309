#include "conversion/state_tags.h"

#include <string_view>

#include "conversion/conversion.h"
#include "typo/state_tag_text.h"
#include "typo/typo_state.h"

namespace velkan {

namespace {

// What the state tags of a conversion are composed from, and where they go
// (see typo/state_tag_text.h).
struct ConversionTags {
  Conversion& c;
  const TypoState& now() const { return c.typo; }
  TypoState& emitted() const { return c.emitted; }
  PendingMove& move() const { return c.move; }
  int16_t unit() const { return c.session.settings.unit; }
  bool vertical() const { return c.session.settings.direction == 1; }
  const DefinitionFile& names() const { return c.definitions; }
  void WriteText(std::string_view text) const { c.out.WriteText(text); }
};

}  // namespace

void WriteJTag(Conversion& c) { WriteJTag(ConversionTags{c}); }

void WriteGTag(Conversion& c) { WriteGTag(ConversionTags{c}); }

void WriteMoveTag(Conversion& c) { WriteMoveTag(ConversionTags{c}); }

void WriteCharacterTags(Conversion& c) {
  // Each tag is written only when one of its attributes changed (a tag with
  // no attribute to write is left out anyway).
  if (JTagPending(c.typo, c.emitted)) WriteJTag(c);
  if (GTagPending(c.typo, c.emitted)) WriteGTag(c);
  if (MoveTagPending(c.move)) WriteMoveTag(c);
}

}  // namespace velkan
