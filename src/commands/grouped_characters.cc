#include "commands/grouped_characters.h"

#include <string>

#include "commands/ruby.h"
#include "commands/rules.h"
#include "conversion/code_stream.h"
#include "conversion/conversion.h"
#include "conversion/readers.h"
#include "typo/size_attributes.h"

namespace velkan {

namespace {

// The size attributes of a part compared with a reference pair. In vertical
// composition the output's height is the character's width.
void AppendPartSizes(const Conversion& c, std::string& tag, int16_t h, int16_t w, int16_t refH, int16_t refW) {
  int16_t unit = c.session.settings.unit;
  if (c.session.settings.direction == 1) {
    AppendSizeAttributes(tag, w, h, refW, refH, unit);
  } else {
    AppendSizeAttributes(tag, h, w, refH, refW, unit);
  }
}

// The opening tag of an enclosure: "<MAKI" with the line of the rule
// thickness and the margin between the frame and the characters.
std::string EnclosureOpeningTag(Conversion& c) {
  std::string tag = "<MAKI";
  AppendThicknessLine(c, tag, c.rules.thicknessKey);
  AppendEnclosureMargin(c, tag);
  tag += ">";
  return tag;
}

Flow OpenGroup(Conversion& c) {
  CodeStream& s = c.stream;
  if (s.Take() < 0) return Flow::kFail;
  std::string tag;
  if (s.current() == kEnclosureWord) {
    tag = EnclosureOpeningTag(c);
    c.session.enclosureFlag = 1;
    s.Consume();
  } else {
    const GroupSizes& g = c.groups.sizes;
    tag = "<GOU";
    if (g.height0 != 0) AppendPartSizes(c, tag, g.height0, g.width0, c.typo.height, c.typo.width);
    tag += ">";
    // A group left open by an earlier job must not make this one an enclosure.
    c.session.enclosureFlag = 0;
    s.Keep();
  }
  c.out.WriteText(tag);
  c.groups.groupState = 1;
  return Flow::kGoOn;
}

}  // namespace

Flow CmdGroupSizes(Conversion& c) {
  int16_t v[4] = {};
  for (int i = 0; i < 4; ++i) {
    if (ReadQuarters(c, v[i]) < 0) return Flow::kFail;
    bool last = i == 3;
    if (v[i] > c.limits.maxSize || (!last && c.stream.current() != kCommaSeparator)) {
      return SkipArguments(c) < 0 ? Flow::kFail : Flow::kGoOn;
    }
  }
  c.groups.sizes = GroupSizes{v[0], v[1], v[2], v[3]};
  return Flow::kGoOn;
}

Flow CmdGroupMark(Conversion& c) {
  CloseManualRuby(c);
  GroupedCharacters& g = c.groups;
  switch (g.groupState) {
    case 0:
      return OpenGroup(c);
    case 1:
      if (c.session.enclosureFlag == 0) {
        std::string tag = "<GOU2";
        const GroupSizes& s = g.sizes;
        if (s.height0 != 0) AppendPartSizes(c, tag, s.height1, s.width1, s.height0, s.width0);
        tag += ">";
        c.out.WriteText(tag);
      }
      g.groupState = 2;
      break;
    default:
      c.out.WriteText(c.session.enclosureFlag == 0 ? "</GOU>" : "</MAKI>");
      c.session.enclosureFlag = 0;
      g.groupState = 0;
      break;
  }
  c.stream.Consume();
  return Flow::kGoOn;
}

}  // namespace velkan
