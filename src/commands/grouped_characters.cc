#include "commands/grouped_characters.h"

#include <cstring>
#include <string_view>

#include "commands/arguments.h"
#include "commands/ruby.h"
#include "commands/rules.h"
#include "conversion/code_stream.h"
#include "conversion/conversion.h"
#include "conversion/readers.h"
#include "typo/size_attributes.h"

namespace velkan {

namespace {

// Writes the size attributes of a part compared with a reference pair at
// `d`; returns the end. In vertical composition the output's height is the
// character's width.
char* PutPartSizes(const Conversion& c, char* d, int16_t h, int16_t w, int16_t refH, int16_t refW) {
  int16_t unit = c.session.settings.unit;
  if (c.session.settings.direction == 1) return PutSizeAttributes(d, w, h, refW, refH, unit);
  return PutSizeAttributes(d, h, w, refH, refW, unit);
}

// Writes "<GOU" or "<GOU2" (`Open`), the sizes of the part, when the group
// sizes are set, and ">", composed in the output's room. Apart, as is
// OpenGroup, so that closing a group keeps few registers.
template <const auto& Open>
[[gnu::noinline]] void WriteGroupTag(Conversion& c, int16_t h, int16_t w, int16_t refH, int16_t refW) {
  constexpr size_t kOpen = sizeof Open - 1;
  c.out.WriteComposed<kOpen + kMostSizeAttributes + 1>([&](char* d) {
    std::memcpy(d, Open, kOpen);
    d += kOpen;
    if (c.groups.sizes.height0 != 0) d = PutPartSizes(c, d, h, w, refH, refW);
    *d++ = '>';
    return d;
  });
}

constexpr char kGroupOpen[] = "<GOU";
constexpr char kGroupSecond[] = "<GOU2";

[[gnu::noinline]] Flow OpenGroup(Conversion& c) {
  CodeStream& s = c.stream;
  if (s.Take() < 0) return Flow::kFail;
  if (s.current() == kEnclosureWord) {
    c.out.WriteComposed<kMostEnclosureOpening>([&c](char* d) { return PutEnclosureOpening(c, d); });
    c.session.enclosureFlag = 1;
    s.Consume();
  } else {
    const GroupSizes& g = c.groups.sizes;
    WriteGroupTag<kGroupOpen>(c, g.height0, g.width0, c.typo.height, c.typo.width);
    // A group left open by an earlier job must not make this one an enclosure.
    c.session.enclosureFlag = 0;
    s.Keep();
  }
  c.groups.groupState = 1;
  return Flow::kGoOn;
}

}  // namespace

Flow CmdGroupSizes(Conversion& c) {
  return WithArguments(c, [&c](auto& a) {
    int16_t v[4] = {};
    for (int i = 0; i < 4; ++i) {
      if (a.Quarters(v[i]) < 0) return Flow::kFail;
      bool last = i == 3;
      if (v[i] > c.limits.maxSize || (!last && a.current() != kCommaSeparator)) {
        return a.Skip() < 0 ? Flow::kFail : Flow::kGoOn;
      }
    }
    c.groups.sizes = GroupSizes{v[0], v[1], v[2], v[3]};
    return Flow::kGoOn;
  });
}

Flow CmdGroupMark(Conversion& c) {
  CloseManualRuby(c);
  GroupedCharacters& g = c.groups;
  switch (g.groupState) {
    case 0:
      return OpenGroup(c);
    case 1:
      if (c.session.enclosureFlag == 0) {
        const GroupSizes& s = g.sizes;
        WriteGroupTag<kGroupSecond>(c, s.height1, s.width1, s.height0, s.width0);
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
