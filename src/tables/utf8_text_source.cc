#include "tables/utf8_text_source.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "io/encoding_converter.h"

namespace velkan {

namespace {

constexpr size_t kBlock = 64 * 1024;
// The geta mark of code page 932, written for what has no form.
constexpr uint16_t kGeta = 0x81AC;

// The UTF-8 bytes of `cp` (below 0x10000, no surrogate) at `out`; their count.
size_t EncodeUtf8(uint32_t cp, char* out) {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | cp >> 6);
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  out[0] = static_cast<char>(0xE0 | cp >> 12);
  out[1] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
  out[2] = static_cast<char>(0x80 | (cp & 0x3F));
  return 3;
}

}  // namespace

const ShiftJisForms& ShiftJisForms::Get() {
  // Made on first use, never changed afterwards.
  static const ShiftJisForms forms;
  return forms;
}

ShiftJisForms::ShiftJisForms() : forms_(0x10000, kNoForm) {
  for (uint32_t cp = 0; cp < 0x80; ++cp) forms_[cp] = static_cast<uint16_t>(cp);
  EncodingConverter toCp932("CP932", "UTF-8");
  if (!toCp932.ok()) return;
  available_ = true;
  std::string out;
  for (uint32_t cp = 0x80; cp < 0x10000; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    char in[4];
    const size_t length = EncodeUtf8(cp, in);
    if (!toCp932.Convert(std::string_view(in, length), out)) continue;
    const auto b0 = static_cast<uint8_t>(out[0]);
    if (out.size() == 1) forms_[cp] = b0;
    if (out.size() == 2) forms_[cp] = static_cast<uint16_t>(b0 << 8 | static_cast<uint8_t>(out[1]));
  }
}

Utf8TextSource::Utf8TextSource(ByteSource& utf8)
    : utf8_(utf8), forms_(ShiftJisForms::Get()), in_(new uint8_t[kBlock + 4]), out_(new uint8_t[2 * (kBlock + 4)]) {}

bool Utf8TextSource::Refill() {
  // What is left is the start of a character cut by the end of the block.
  const size_t left = inSize_ - inPos_;
  std::memmove(in_.get(), in_.get() + inPos_, left);
  inPos_ = 0;
  inSize_ = left;
  long got = utf8_.Read(in_.get() + left, kBlock);
  if (got <= 0) {
    ended_ = true;
    readError_ = got < 0;
    return false;
  }
  inSize_ += static_cast<size_t>(got);
  utf8Read_ += got;
  return true;
}

void Utf8TextSource::Put(uint16_t form) {
  if (form > 0xFF) out_[outSize_++] = static_cast<uint8_t>(form >> 8);
  out_[outSize_++] = static_cast<uint8_t>(form);
}

void Utf8TextSource::Fault(uint32_t codePoint) {
  if (faults_.size() < kFaultsKept) faults_.push_back({line_, column_, codePoint});
  ++faultCount_;
  Put(kGeta);
}

void Utf8TextSource::Convert() {
  outPos_ = outSize_ = 0;
  const uint8_t* const in = in_.get();
  size_t p = inPos_;
  const size_t end = inSize_;
  if (atStart_) {
    if (end - p < 3 && !ended_) return;
    atStart_ = false;
    if (end - p >= 3 && in[p] == 0xEF && in[p + 1] == 0xBB && in[p + 2] == 0xBF) p += 3;
  }
  while (p < end) {
    const uint8_t c = in[p];
    if (c < 0x80) {
      out_[outSize_++] = c;
      ++p;
      if (c == '\n') {
        ++line_;
        column_ = 0;
      } else {
        ++column_;
      }
      continue;
    }
    // The length of the character and the range its second byte must lie
    // in (the later ones lie in 80-BF): no overlong form, no surrogate,
    // nothing beyond U+10FFFF.
    int length = 0;
    uint8_t low = 0x80, high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3;
      if (c == 0xE0) low = 0xA0;
      if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4;
      if (c == 0xF0) low = 0x90;
      if (c == 0xF4) high = 0x8F;
    }
    uint32_t cp = c & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
    int taken = 1;  // bytes of the character that keep the rules
    bool cut = false;
    while (length > 0 && taken < length) {
      if (p + static_cast<size_t>(taken) >= end) {
        cut = true;
        break;
      }
      const uint8_t next = in[p + static_cast<size_t>(taken)];
      if (next < low || next > high) break;
      low = 0x80;
      high = 0xBF;
      cp = cp << 6 | (next & 0x3F);
      ++taken;
    }
    // A character cut by the end of the block waits for the next one.
    if (cut && !ended_) break;
    ++column_;
    p += static_cast<size_t>(taken);
    if (length == 0 || taken < length) {
      // The bytes that began a character and broke off count as one.
      Fault(0);
      continue;
    }
    const uint16_t form = forms_.Of(cp);
    if (form == ShiftJisForms::kNoForm) Fault(cp);
    else Put(form);
  }
  inPos_ = p;
}

long Utf8TextSource::Read(uint8_t* buf, size_t n) {
  while (outPos_ == outSize_) {
    if (ended_ && inPos_ == inSize_) return readError_ ? -1 : 0;
    if (!ended_) Refill();
    Convert();
  }
  const size_t k = std::min(n, outSize_ - outPos_);
  std::memcpy(buf, out_.get() + outPos_, k);
  outPos_ += k;
  return static_cast<long>(k);
}

}  // namespace velkan
