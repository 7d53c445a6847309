#include "conversion/code_stream.h"

#include <cstring>
#include <utility>

#include "conversion/format_store.h"

namespace velkan {

namespace {
constexpr size_t kBlock = 64 * 1024;
}  // namespace

CodeStream::CodeStream(ByteSource& source, FormatStore& store, SpareBlock* spare)
    : source_(source),
      store_(store),
      buf_{spare != nullptr ? spare->Take(kBlock + 3) : std::make_unique_for_overwrite<char[]>(kBlock + 3)},
      spare_(spare) {
  // The zero word behind the bytes read, none yet (see WordsEndTheBytes).
  buf_.data()[0] = buf_.data()[1] = 0;
}

CodeStream::~CodeStream() {
  if (spare_ != nullptr) spare_->GiveBack(std::move(buf_.bytes), kBlock + 3);
}

int CodeStream::ReadRawWordSlow(uint16_t& word) {
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
  const long long here = consumed();  // the offset of buf_[pos_]
  const long long first = here - static_cast<long long>(pos_);
  // The words taken lie at here - 2, here - 4, ... down to the buffer's start.
  long long at = here - static_cast<long long>(pos_ / 2 * 2);
  if (from > at) at += (from - at + 1) / 2 * 2;
  for (; at + 2 <= here; at += 2) {
    const size_t i = static_cast<size_t>(at - first);
    if (LoadBigEndian16(buf_.data() + i) == word) return at;
  }
  return -1;
}

int16_t CodeStream::Next(uint16_t& word) {
  for (;;) {
    uint16_t w = word;
    if (replayActive) {
      // At the end of the format the replay stops and gives the 0xD004 that
      // closes the group of its call.
      if (!ReadReplayWord(store_, w)) {
        replayActive = 0;
        w = kGroupClose;
      }
    } else if (ReadRawWord(w) == 2) {
      word = kEndOfJob;
      return 0;
    }
    if (w == 0x0000 || w == kFillerWord) continue;
    if (w == kSkipRegion) {
      // Stored formats never hold 0xD050, so the region is always read from
      // the input itself.
      uint16_t skipped = 0;
      do {
        if (ReadRawWord(skipped) == 2) {
          word = kEndOfJob;
          return 0;
        }
      } while (skipped != kSkipRegion);
      continue;
    }
    word = w;
    return 0;
  }
}

}  // namespace velkan
