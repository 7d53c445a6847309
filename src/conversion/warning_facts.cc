#include "conversion/warning_facts.h"

#include <algorithm>

namespace velkan {

WarningFacts::Origin WarningFacts::At(long long offset) {
  if (offset < 0) return {};
  return {offset, lines_ != nullptr ? lines_->LineAt(offset) : -1};
}

void WarningFacts::CallStarts() { call_ = At(stream_.dispatchOffset()); }

void WarningFacts::Character(uint16_t word) {
  if (stream_.replayRuns()) return;
  const long long command = stream_.dispatchOffset();
  const long long from = std::max(command >= 0 ? command + 2 : 0, lastCharacter_ >= 0 ? lastCharacter_ + 2 : 0);
  const long long found = stream_.FindTakenWord(word, from);
  if (found < 0) return;
  lastCharacter_ = found;
  character_ = At(found);
  haveCharacter_ = true;
}

void WarningFacts::Written(std::string_view text) {
  Origin origin;
  if (haveCharacter_) {
    origin = character_;
    haveCharacter_ = false;
  } else if (stream_.replayRuns()) {
    origin = call_;
  } else {
    origin = At(stream_.dispatchOffset());
  }
  LineCountingSink::Position at = output_.Next();
  WrittenWarning w;
  w.line = at.line;
  w.column = at.column;
  w.text.assign(text);
  if (lines_ != nullptr) {
    w.inputLine = origin.line;
  } else {
    w.inputOffset = origin.offset;
  }
  list_.push_back(std::move(w));
}

}  // namespace velkan
