#include "commands/positioning.h"

#include "conversion/conversion.h"
#include "conversion/readers.h"

namespace velkan {

namespace {

struct SizePair {
  int16_t size = 0;
  int16_t jkr = 0;
};

// Reads a size and an optional pitch after a comma separator. Returns 1, or
// -1 when a reader failed.
int16_t ReadSizePair(Conversion& c, SizePair& pair) {
  int16_t s1 = 0;
  if (ReadQuarters(c, s1) < 0) return -1;
  int16_t s2 = s1;
  if (c.stream.current() == kCommaSeparator && ReadQuarters(c, s2) < 0) return -1;
  pair.size = s1;
  pair.jkr = positioning_detail::PitchDifference(s1, s2);
  return 1;
}

Flow SetSize(Conversion& c, int32_t position) {
  SizePair p;
  if (ReadSizePair(c, p) < 0) return Flow::kFail;
  positioning_detail::ApplySize(c, p.size, p.jkr, position);
  return Flow::kGoOn;
}

}  // namespace

Flow CmdFont(Conversion& c) {
  int16_t n = 0;
  if (ReadInteger(c, n) < 0) return Flow::kFail;
  c.ChangeTypo().font = n;
  return Flow::kGoOn;
}

Flow CmdColour(Conversion& c) {
  int16_t n = 0;
  if (ReadInteger(c, n) < 0) return Flow::kFail;
  c.ChangeTypo().colour = n;
  return Flow::kGoOn;
}

Flow CmdSizeCenter(Conversion& c) { return SetSize(c, 0); }
Flow CmdSizeTop(Conversion& c) { return SetSize(c, 1); }
Flow CmdSizeBottom(Conversion& c) { return SetSize(c, 2); }
Flow CmdSizeBase(Conversion& c) { return SetSize(c, 3); }

Flow CmdWidth(Conversion& c) {
  SizePair p;
  if (ReadSizePair(c, p) < 0) return Flow::kFail;
  c.ChangeTypo().width = p.size;
  c.typo.jkr = p.jkr;
  return Flow::kGoOn;
}

Flow CmdLineSpacing(Conversion& c) {
  int32_t l = 0;
  if (ReadUnitLength(c, l) < 0) return Flow::kFail;
  c.ChangeTypo().lineSpacing = l;
  return Flow::kGoOn;
}

Flow CmdMeasure(Conversion& c) {
  int32_t l = 0;
  if (ReadLength(c, l) < 0) return Flow::kFail;
  c.ChangeTypo().measure = l;
  return Flow::kGoOn;
}

}  // namespace velkan
