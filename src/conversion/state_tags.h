// The state tags of the main loop: <J>, <G> and <MOVE>, written for what the
// commands changed since they were last written.
#pragma once

#include <cassert>

#include "conversion/conversion.h"
#include "typo/typo_state.h"

namespace velkan {

// Writes the <J>, <G> and <MOVE> tags of the conversion's settings, in this
// order, for what changed since they were last written; a tag without an
// attribute to write is left out. Called once per step of the main loop,
// before the character stage.
void WriteCharacterTags(Conversion& c);

// WriteCharacterTags when something the tags carry may have changed: only
// after a command changed the settings or the one-shot values (see
// Conversion::ChangeTypo), since the tags written leave nothing pending.
// A command marks what it changes, so the settings are compared once, by
// WriteCharacterTags itself, which writes nothing when nothing changed.
inline void WriteChangedCharacterTags(Conversion& c) {
  if (!c.tagsToCheck) {
    assert(!CharacterTagsPending(c.typo, c.emitted, c.move) && "a setting changed without ChangeTypo or ChangeMove");
    return;
  }
  c.tagsToCheck = false;
  WriteCharacterTags(c);
}

// Each tag alone, written when it has an attribute (see the functions of the
// same names in typo/state_tag_text.h).
void WriteJTag(Conversion& c);
void WriteGTag(Conversion& c);
void WriteMoveTag(Conversion& c);

}  // namespace velkan
