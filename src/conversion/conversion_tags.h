// What the state tags of a conversion are composed from, and where they go,
// for the tag writers of typo/state_tag_text.h.
#pragma once

#include <cstdint>
#include <string_view>

#include "conversion/conversion.h"
#include "typo/definition_file.h"
#include "typo/typo_state.h"

namespace velkan {

// Composes every tag afresh and writes it to the conversion's output.
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

}  // namespace velkan
