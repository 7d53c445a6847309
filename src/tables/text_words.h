// The words a text pre-pass made of one text, kept to be read again: a
// batch converts its format file first in every job, with the same tables,
// and the words are then read from memory instead of made again.
//
// What a pass reads of a pre-pass depends on how it asks (the pre-pass reads
// the text block by block as its words are taken), so a record keeps each
// read as it was asked and answered, with what the pre-pass had read and
// found by then: a pass that asks as the recorded one did is answered from
// the record and finds everything as the pre-pass would have left it. Asked
// otherwise, the words are made again from the text (the reads answered so
// far are asked of a new pre-pass first, to bring it where the record was).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "io/byte_streams.h"
#include "tables/text_pre_pass.h"
#include "tables/utf8_text_source.h"

namespace velkan {

// The words of one pre-pass as a pass read them.
struct PrePassRecord {
  struct Read {
    size_t asked = 0;
    long got = 0;
    // How far the text was read (in its own bytes, UTF-8 or Shift_JIS), the
    // UTF-8 faults kept and counted, and whether it looked like UTF-8, after
    // this read.
    long long textRead = 0;
    size_t faultsKept = 0;
    long long faultCount = 0;
    bool looksLikeUtf8 = false;
  };
  std::string words;
  std::vector<Read> reads;
  std::vector<TextEncodingFault> faults;  // as the last read left them
};

// The largest record kept: the words of a format file are a few KB.
inline constexpr size_t kRecordedWordsLimit = size_t{4} << 20;
inline constexpr size_t kRecordedReadsLimit = size_t{1} << 16;

// Records of pre-passes over the same tables, by the text (the memory that
// holds it, kept alive while its record is) and whether it is read as UTF-8.
// Lives with the tables derived once (TextPrePassSetup::records), so tables
// loaded again start with none. Safe to use from any thread.
class PrePassRecords {
 public:
  std::shared_ptr<const PrePassRecord> Find(const void* text, bool utf8) const;
  // Keeps `record` of `text`, in place of any earlier one of the same
  // encoding (a held file read again is another text).
  void Keep(std::shared_ptr<const void> text, bool utf8, std::shared_ptr<const PrePassRecord> record);
  // How often a record was found (for tests).
  int found() const;

 private:
  struct Entry {
    std::shared_ptr<const void> text;
    bool utf8 = false;
    std::shared_ptr<const PrePassRecord> record;
  };
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
  mutable int found_ = 0;
};

// The words of a pre-pass over `text` (Shift_JIS, or UTF-8 when `utf8`):
// made by the pre-pass and recorded as they are read (`record`), or read
// from `replay`, or made again when read otherwise than recorded.
class TextWords final : public ByteSource {
 public:
  TextWords(ByteSource& text, bool utf8, const PrePassTables& tables, const EscapeDefinitions& escapes,
            const TextPrePassSetup* setup, std::shared_ptr<const PrePassRecord> replay);
  TextWords(const TextWords&) = delete;
  TextWords& operator=(const TextWords&) = delete;

  long Read(uint8_t* buf, size_t n) override;

  // Bytes of the text read so far, UTF-8 faults, and whether the text looks
  // like UTF-8 (see TextPrePass, Utf8TextSource).
  long long textRead() const;
  std::span<const TextEncodingFault> faults() const;
  long long faultCount() const;
  bool looksLikeUtf8() const;
  // Whether the words were read from the record only.
  bool replayed() const { return replay_ != nullptr; }

  // The record of the reads made (none once it grew past the limits, or
  // when the words were read from a record). Whole when the words' end was
  // read.
  bool RecordWhole() const { return recording_ && ended_; }
  std::shared_ptr<const PrePassRecord> TakeRecord();

 private:
  void GoLive();
  // Where the record stood after the last read answered from it (nothing
  // read, no fault, before the first).
  const PrePassRecord::Read& Replayed() const;

  ByteSource& text_;
  const bool utf8Text_;
  const PrePassTables& tables_;
  const EscapeDefinitions& escapes_;
  const TextPrePassSetup* setup_;
  std::shared_ptr<const PrePassRecord> replay_;
  size_t replayed_ = 0;    // reads answered from `replay_`
  size_t replayedAt_ = 0;  // bytes of its words delivered
  std::optional<Utf8TextSource> utf8_;
  std::optional<TextPrePass> pass_;
  bool recording_ = false;
  bool ended_ = false;
  std::shared_ptr<PrePassRecord> record_;
};

}  // namespace velkan
