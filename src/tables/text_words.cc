#include "tables/text_words.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace velkan {

std::shared_ptr<const PrePassRecord> PrePassRecords::Find(const void* text, bool utf8) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const Entry& e : entries_) {
    if (e.text.get() == text && e.utf8 == utf8) {
      ++found_;
      return e.record;
    }
  }
  return nullptr;
}

int PrePassRecords::found() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return found_;
}

void PrePassRecords::Keep(std::shared_ptr<const void> text, bool utf8, std::shared_ptr<const PrePassRecord> record) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (Entry& e : entries_) {
    if (e.utf8 == utf8) {
      e.text = std::move(text);
      e.record = std::move(record);
      return;
    }
  }
  entries_.push_back(Entry{std::move(text), utf8, std::move(record)});
}

TextWords::TextWords(ByteSource& text, bool utf8, const PrePassTables& tables, const EscapeDefinitions& escapes,
                     const TextPrePassSetup* setup, std::shared_ptr<const PrePassRecord> replay)
    : text_(text), utf8Text_(utf8), tables_(tables), escapes_(escapes), setup_(setup), replay_(std::move(replay)) {
  if (replay_ == nullptr) {
    GoLive();
    recording_ = true;
    record_ = std::make_shared<PrePassRecord>();
  }
}

void TextWords::GoLive() {
  if (utf8Text_) utf8_.emplace(text_);
  pass_.emplace(utf8_ ? static_cast<ByteSource&>(*utf8_) : text_, tables_, escapes_, setup_);
  if (replay_ == nullptr) return;
  // Brought where the record was: asked what the recorded pass asked.
  std::vector<uint8_t> scratch;
  for (size_t i = 0; i < replayed_; ++i) {
    scratch.resize(std::max<size_t>(replay_->reads[i].asked, 1));
    pass_->Read(scratch.data(), replay_->reads[i].asked);
  }
  replay_.reset();
}

long TextWords::Read(uint8_t* buf, size_t n) {
  if (replay_ != nullptr) {
    if (replayed_ < replay_->reads.size() && replay_->reads[replayed_].asked == n) {
      const long got = replay_->reads[replayed_].got;
      if (got > 0) {
        std::memcpy(buf, replay_->words.data() + replayedAt_, static_cast<size_t>(got));
        replayedAt_ += static_cast<size_t>(got);
      }
      ++replayed_;
      return got;
    }
    GoLive();
  }
  const long got = pass_->Read(buf, n);
  if (recording_) {
    if (got > 0) record_->words.append(reinterpret_cast<const char*>(buf), static_cast<size_t>(got));
    if (got < 0 || record_->words.size() > kRecordedWordsLimit || record_->reads.size() >= kRecordedReadsLimit) {
      recording_ = false;
      record_.reset();
    } else {
      record_->reads.push_back(PrePassRecord::Read{n, got, textRead(), faults().size(), faultCount(), looksLikeUtf8()});
      if (got == 0) ended_ = true;
    }
  }
  return got;
}

const PrePassRecord::Read& TextWords::Replayed() const {
  static const PrePassRecord::Read before;
  return replayed_ == 0 ? before : replay_->reads[replayed_ - 1];
}

long long TextWords::textRead() const {
  if (replay_ != nullptr) return Replayed().textRead;
  return utf8_ ? utf8_->utf8Read() : pass_->textRead();
}

std::span<const TextEncodingFault> TextWords::faults() const {
  if (replay_ != nullptr) {
    return std::span<const TextEncodingFault>(replay_->faults.data(), Replayed().faultsKept);
  }
  if (!utf8_) return {};
  return std::span<const TextEncodingFault>(utf8_->faults());
}

long long TextWords::faultCount() const {
  if (replay_ != nullptr) return Replayed().faultCount;
  return utf8_ ? utf8_->faultCount() : 0;
}

bool TextWords::looksLikeUtf8() const {
  if (replay_ != nullptr) return Replayed().looksLikeUtf8;
  return pass_->looksLikeUtf8();
}

std::shared_ptr<const PrePassRecord> TextWords::TakeRecord() {
  if (!RecordWhole()) return nullptr;
  if (utf8_) record_->faults = utf8_->faults();
  recording_ = false;
  return std::move(record_);
}

}  // namespace velkan
