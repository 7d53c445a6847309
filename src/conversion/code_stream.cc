#include "conversion/code_stream.h"

#include <cstring>
#include <utility>

#include "conversion/format_store.h"

namespace velkan {

namespace {
constexpr size_t kBlock = 64 * 1024;
}  // namespace

// The input's block, then the longest replay and its zero word.
const size_t CodeStream::kBytes = CodeStream::kReplayAt + 2 * kFormatWords + 2;

CodeStream::CodeStream(ByteSource& source, FormatStore& store, SpareBlock* spare)
    : source_(source),
      store_(store),
      buf_{spare != nullptr ? spare->Take(kBytes) : std::make_unique_for_overwrite<char[]>(kBytes)},
      spare_(spare) {
  // A lone byte kept, kBlock bytes read behind it and the zero word behind
  // those lie before a replay's words.
  static_assert(1 + kBlock + 2 <= kReplayAt && kReplayAt % 2 == 0);
  // The zero word behind the bytes read, none yet (see WordsEndTheBytes).
  buf_.data()[0] = buf_.data()[1] = 0;
}

CodeStream::~CodeStream() {
  if (spare_ != nullptr) spare_->GiveBack(std::move(buf_.bytes), kBytes);
}

int CodeStream::ReadRawWordSlow(uint16_t& word) {
  // Nothing is read behind a replay's words.
  if (replayActive_ != 0) return 2;
  // Keep a lone byte left over from the last block and read behind it.
  while (!atEnd_ && end_ - pos_ < 2) {
    size_t keep = end_ - pos_;
    if (keep > 0) std::memmove(buf_.data(), buf_.data() + pos_, keep);
    dispatchPos_ -= static_cast<long long>(pos_);
    pos_ = 0;
    end_ = keep;
    long r = source_.Read(buf_.data() + end_, kBlock);
    if (r <= 0) {
      if (r < 0) readError_ = true;
      atEnd_ = true;
      break;
    }
    end_ += static_cast<size_t>(r);
    consumed_ += r;
  }
  // The zero word behind the bytes read (see WordsEndTheBytes).
  buf_.data()[end_] = buf_.data()[end_ + 1] = 0;
  if (end_ - pos_ < 2) return 2;
  word = LoadBigEndian16(buf_.data() + pos_);
  pos_ += 2;
  return 1;
}

long long CodeStream::FindTakenWord(uint16_t word, long long from) const {
  const size_t pos = InputPos();
  const long long here = consumed();  // the offset of buf_[pos]
  const long long first = here - static_cast<long long>(pos);
  // The words taken lie at here - 2, here - 4, ... down to the buffer's start.
  long long at = here - static_cast<long long>(pos / 2 * 2);
  if (from > at) at += (from - at + 1) / 2 * 2;
  for (; at + 2 <= here; at += 2) {
    const size_t i = static_cast<size_t>(at - first);
    if (LoadBigEndian16(buf_.data() + i) == word) return at;
  }
  return -1;
}

void CodeStream::PlayStoredFormat() {
  const FormatStore& s = store_;
  uint8_t* const to = buf_.data() + kReplayAt;
  size_t n = 0;
  if (s.replaying >= 0 && s.replaySlot >= 0 && s.replaySlot < kCacheSlots) {
    const FormatWords& words = s.cache[static_cast<size_t>(s.replaySlot)];
    // Each word stored high byte first at once, the bounds held in locals
    // (the bytes written may alias anything).
    const uint16_t* q = words.data() + (s.position < words.size() ? s.position : words.size());
    const uint16_t* const stop = words.data() + words.size();
    uint8_t* d = to;
    for (; q < stop && *q != 0; ++q, d += 2) {
      const uint16_t high = static_cast<uint16_t>(*q >> 8 | *q << 8);
      std::memcpy(d, &high, 2);
    }
    n = static_cast<size_t>(d - to) / 2;
  }
  // The zero word behind the words (see WordsEndTheBytes).
  to[2 * n] = to[2 * n + 1] = 0;
  replayFrom_ = s.position;
  if (replayActive_ == 0) {
    inputPos_ = pos_;
    inputEnd_ = end_;
    replayActive_ = 1;
  }
  pos_ = kReplayAt;
  end_ = kReplayAt + 2 * n;
}

void CodeStream::PutInputBack() {
  if (dispatchPos_ >= kReplayMark) dispatchPos_ = static_cast<long long>(inputPos_);
  pos_ = inputPos_;
  end_ = inputEnd_;
  replayActive_ = 0;
}

void CodeStream::SwitchSource() {
  if (replayActive_ == 0) {
    PlayStoredFormat();
    return;
  }
  store_.position = static_cast<uint16_t>(replayFrom_ + (pos_ - kReplayAt) / 2);
  PutInputBack();
}

int16_t CodeStream::Next(uint16_t& word) {
  for (;;) {
    uint16_t w = word;
    if (ReadRawWord(w) == 2) {
      if (replayActive_ == 0) {
        word = kEndOfJob;
        return 0;
      }
      // At the end of the format the replay stops and gives the 0xD004 that
      // closes the group of its call.
      PutInputBack();
      store_.replaying = -1;
      store_.replaySlot = -1;
      w = kGroupClose;
    }
    if (w == 0x0000 || w == kFillerWord) continue;
    if (w == kSkipRegion) {
      // The region is read from the input, also when a replayed format opens
      // it (the system stores no 0xD050 in a format); the replay then goes on
      // behind the 0xD050.
      const bool replay = replayActive_ != 0;
      const size_t replayPos = pos_, replayEnd = end_;
      if (replay) PutInputBack();
      bool ended = false;
      uint16_t skipped = 0;
      do {
        ended = ReadRawWord(skipped) == 2;
      } while (!ended && skipped != kSkipRegion);
      if (replay) {
        inputPos_ = pos_;
        inputEnd_ = end_;
        pos_ = replayPos;
        end_ = replayEnd;
        replayActive_ = 1;
      }
      if (ended) {
        word = kEndOfJob;
        return 0;
      }
      continue;
    }
    word = w;
    return 0;
  }
}

}  // namespace velkan
