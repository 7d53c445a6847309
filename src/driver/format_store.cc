#include "driver/format_store.h"

#include "driver/code_stream.h"
#include "driver/conversion.h"

namespace velkan {

void ResetFormatReplay(Conversion& c) {
  FormatStore& s = c.store;
  s.playCounter.fill(-1);
  s.replaying = -1;
  s.position = 0;
  s.ring = 0;
  c.stream.replayActive = 0;
}

int16_t ReadReplayWord(Conversion& c, uint16_t& word) {
  FormatStore& s = c.store;
  if (s.replaying >= 0 && s.position < kFormatWords) {
    uint8_t slot = s.state[static_cast<size_t>(s.replaying)] & 0x7F;
    if (slot < kCacheSlots) {
      uint16_t w = s.cache[slot][s.position++];
      if (w != 0) {
        word = w;
        return 0;
      }
    }
  }
  s.replaying = -1;
  c.stream.replayActive = 0;
  word = kGroupClose;
  return 0;
}

int16_t CmdSwitchSource(Conversion& c) {
  c.stream.wordPending = 0;
  if (c.store.replaying < 0) return -1;
  c.stream.replayActive = c.stream.replayActive == 0 ? 1 : 0;
  return 0;
}

}  // namespace velkan
