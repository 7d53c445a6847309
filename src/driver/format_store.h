// The store of user-defined formats: numbered sequences of code words that a
// job defines once and replays by number.
#pragma once

#include <array>
#include <cstdint>

namespace velkan {

class Conversion;

inline constexpr int kFormatCount = 400;
inline constexpr int kFormatWords = 512;
inline constexpr int kCacheSlots = 8;

struct FormatStore {
  // Per format: bit 7 defined, bits 0-6 cache slot (0x7F none).
  std::array<uint8_t, kFormatCount> state{};
  // Per format: plays left, -1 unlimited.
  std::array<int16_t, kFormatCount> playCounter{};
  std::array<std::array<uint16_t, kFormatWords>, kCacheSlots> cache{};
  std::array<int16_t, kCacheSlots> owner{};
  int16_t ring = 0;
  // The format being replayed (-1 none) and the position of its next word.
  int16_t replaying = -1;
  uint16_t position = 0;
};

// Clears the play counters and the replay (called at the start of every pass).
void ResetFormatReplay(Conversion& c);

// The replay source of NextWord while `replayActive` is set: the next word of
// the format being replayed; at its end (a 0 word, or after its 512th word)
// the replay stops and 0xD004 is delivered. Returns 0.
int16_t ReadReplayWord(Conversion& c, uint16_t& word);

// 0xD0B3 (and the bell's 0xD00A 0xD00A), switch source: consumes the word.
// Returns -1 when no format is being replayed; otherwise toggles
// `replayActive` (the replay keeps its position while the input is read)
// and returns 0.
int16_t CmdSwitchSource(Conversion& c);

}  // namespace velkan
