// A UTF-8 text job read as the Shift_JIS text every text job is.
//
// The text pre-pass reads Shift_JIS (code page 932). A text written in UTF-8
// is turned into it on the way in, block by block as the pre-pass reads, so
// that its conversion is byte for byte that of the same text in Shift_JIS:
// a byte-order mark at the start is skipped, every character takes its
// code page 932 form, and a character that has none (an emoji, a letter of
// another script), like a byte that is no part of a valid UTF-8 character,
// becomes the geta mark 〓 (0x81AC), which the tables know as the unknown
// mark. Each such place is recorded with its line and column.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "io/byte_streams.h"

namespace velkan {

// The code page 932 form of every character of the Basic Multilingual Plane
// (Unicode beyond it has none): one byte (0x00-0xFF), two bytes (high byte
// first), or kNoForm. Made once, from the system's iconv, and shared
// read-only by every job.
class ShiftJisForms {
 public:
  static constexpr uint16_t kNoForm = 0xFFFF;
  static const ShiftJisForms& Get();
  // True when the system's iconv knows code page 932 (else every character
  // beyond ASCII has no form).
  bool available() const { return available_; }
  uint16_t Of(uint32_t codePoint) const { return codePoint < 0x10000 ? forms_[codePoint] : kNoForm; }

 private:
  ShiftJisForms();
  std::vector<uint16_t> forms_;
  bool available_ = false;
};

// Where the text had a character without a Shift_JIS form, or bytes that are
// no UTF-8.
struct TextEncodingFault {
  long long line = 0;      // from 1
  long long column = 0;    // characters from the start of the line, from 1
  uint32_t codePoint = 0;  // the character; 0 for bytes that are no UTF-8
};

class Utf8TextSource final : public ByteSource {
 public:
  // The faults kept with their place; more are only counted.
  static constexpr size_t kFaultsKept = 10;

  explicit Utf8TextSource(ByteSource& utf8);
  Utf8TextSource(const Utf8TextSource&) = delete;
  Utf8TextSource& operator=(const Utf8TextSource&) = delete;

  // Shift_JIS bytes of the text; a read error of the UTF-8 text gives -1
  // once what was converted before it was delivered.
  long Read(uint8_t* buf, size_t n) override;
  // The size of the UTF-8 text (progress counts its bytes).
  long long Size() const override { return utf8_.Size(); }

  // Bytes of the UTF-8 text read so far.
  long long utf8Read() const { return utf8Read_; }
  // The first kFaultsKept faults, and how many there were in all.
  const std::vector<TextEncodingFault>& faults() const { return faults_; }
  long long faultCount() const { return faultCount_; }

 private:
  bool Refill();
  void Convert();
  void Fault(uint32_t codePoint);
  void Put(uint16_t form);

  ByteSource& utf8_;
  const ShiftJisForms& forms_;
  // The two blocks are left unset when made: a small text uses a little of
  // them, and the rest is never read.
  std::unique_ptr<uint8_t[]> in_;  // UTF-8 read, [inPos_, inSize_) not yet converted
  size_t inPos_ = 0;
  size_t inSize_ = 0;
  std::unique_ptr<uint8_t[]> out_;  // Shift_JIS made, [outPos_, outSize_) not yet delivered
  size_t outPos_ = 0;
  size_t outSize_ = 0;
  bool atStart_ = true;  // a byte-order mark may still come
  bool ended_ = false;
  bool readError_ = false;
  long long utf8Read_ = 0;
  long long line_ = 1;
  long long column_ = 0;  // characters of the line so far
  std::vector<TextEncodingFault> faults_;
  long long faultCount_ = 0;
};

}  // namespace velkan
