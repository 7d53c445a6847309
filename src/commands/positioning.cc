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

// A setting command of a group read from the block: its word and what its
// arguments give.
struct BlockSetting {
  uint16_t word = 0;
  int16_t value = 0;
  int16_t jkr = 0;
};

// Reads the arguments of the setting command `word` (see SetFromBlock) at
// [p, end) into `s`; returns where the word after them lies, nullptr for
// any other word.
const uint8_t* SettingArgumentsAt(uint16_t word, const uint8_t* p, const uint8_t* end, BlockSetting& s) {
  using positioning_detail::QuartersAt;
  s.word = word;
  switch (word) {
    case kFontWord:
    case kColourWord: {
      uint32_t a = 0;
      p = DigitsAt(p, end, a);
      s.value = Wrap16(static_cast<int32_t>(a));
      return p;
    }
    case kSizeCentre:
    case kSizeTop:
    case kSizeBottom:
    case kSizeBase:
    case kWidthWord:
      p = QuartersAt(p, end, s.value);
      if (p != end && LoadBigEndian16(p) == kCommaSeparator) {
        int16_t pitch = 0;
        p = QuartersAt(p + 2, end, pitch);
        s.jkr = positioning_detail::PitchDifference(s.value, pitch);
      }
      return p;
    case kLineSpacingWord:
      return QuartersAt(p, end, s.value);
    default:
      return nullptr;
  }
}

// Sets what the handler of the setting command `s.word` sets.
void ApplySetting(Conversion& c, const BlockSetting& s) {
  switch (s.word) {
    case kFontWord: c.ChangeTypo().font = s.value; break;
    case kColourWord: c.ChangeTypo().colour = s.value; break;
    case kSizeCentre: positioning_detail::ApplySize(c, s.value, s.jkr, 0); break;
    case kSizeTop: positioning_detail::ApplySize(c, s.value, s.jkr, 1); break;
    case kSizeBottom: positioning_detail::ApplySize(c, s.value, s.jkr, 2); break;
    case kSizeBase: positioning_detail::ApplySize(c, s.value, s.jkr, 3); break;
    case kWidthWord:
      c.ChangeTypo().width = s.value;
      c.typo.jkr = s.jkr;
      break;
    case kLineSpacingWord: c.ChangeTypo().lineSpacing = int32_t{s.value} * kQuarterUnits; break;
    default: break;
  }
}

}  // namespace

namespace positioning_detail {

const uint8_t* SetSeveralFromBlock(Conversion& c, uint16_t word, const uint8_t* p, const uint8_t* end,
                                   const uint8_t*& last) {
  // The commands are read first and set only once the 0xD004 is found.
  constexpr int kMost = 4;
  BlockSetting settings[kMost];
  const uint8_t* command = nullptr;
  int n = 0;
  for (;;) {
    if (n == kMost) return nullptr;
    p = SettingArgumentsAt(word, p, end, settings[n++]);
    if (p == nullptr || p == end) return nullptr;
    word = LoadBigEndian16(p);
    if (word == kGroupClose) break;
    command = p;
    p += 2;
  }
  for (int i = 0; i < n; ++i) ApplySetting(c, settings[i]);
  if (command != nullptr) last = command;
  return p + 2;
}

}  // namespace positioning_detail

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
