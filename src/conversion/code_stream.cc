#include "conversion/code_stream.h"

#include <cstring>

#include "conversion/conversion.h"
#include "conversion/format_store.h"

namespace velkan {

namespace {
constexpr size_t kBlock = 64 * 1024;
}  // namespace

CodeStream::CodeStream(ByteSource& source) : source_(source), buf_(kBlock + 1) {}

int CodeStream::ReadRawWordSlow(uint16_t& word) {
  // Keep a lone byte left over from the last block and read behind it.
  while (!atEnd_ && end_ - pos_ < 2) {
    size_t keep = end_ - pos_;
    if (keep > 0) std::memmove(buf_.data(), buf_.data() + pos_, keep);
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
  if (end_ - pos_ < 2) return 2;
  word = static_cast<uint16_t>(buf_[pos_] << 8 | buf_[pos_ + 1]);
  pos_ += 2;
  return 1;
}

int16_t NextWord(Conversion& c, uint16_t& word) {
  CodeStream& s = c.stream;
  for (;;) {
    uint16_t w = word;
    if (s.replayActive) {
      if (ReadReplayWord(c, w) < 0) return -1;
    } else if (s.ReadRawWord(w) == 2) {
      word = kEndOfJob;
      return 0;
    }
    if (w == 0x0000 || w == kFillerWord) continue;
    if (w == kSkipRegion) {
      // Stored formats never hold 0xD050, so the region is always read from
      // the input itself.
      uint16_t skipped = 0;
      do {
        if (s.ReadRawWord(skipped) == 2) {
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
