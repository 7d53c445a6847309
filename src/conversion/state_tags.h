// The state tags of the main loop: <J>, <G> and <MOVE>, written for what the
// commands changed since they were last written.
#pragma once

namespace velkan {

class Conversion;

// Writes the <J>, <G> and <MOVE> tags of the conversion's settings, in this
// order, for what changed since they were last written; a tag without an
// attribute to write is left out. Called once per step of the main loop,
// before the character stage.
void WriteCharacterTags(Conversion& c);

// Each tag alone, written when it has an attribute (see the functions of the
// same names in typo/state_tag_text.h).
void WriteJTag(Conversion& c);
void WriteGTag(Conversion& c);
void WriteMoveTag(Conversion& c);

}  // namespace velkan
