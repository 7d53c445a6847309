// What a pass records of the warnings it writes, when a list of them is
// asked for: where each stands in the output and what in the input caused
// it.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "conversion/code_stream.h"
#include "io/line_counting_sink.h"
#include "conversion/written_warning.h"
#include "tables/text_line_marks.h"

namespace velkan {

// Kept by a pass whose warnings are listed (the tag writer knows it through
// `TagWriter::facts`, null otherwise). The input position of a warning is
// the command word being handled when the tag is written, which the code
// stream marks as the dispatch hands it over (CodeStream::MarkDispatch); a
// command of a replayed format is put down to the format call that started
// the replay (CallStarts), a warning about a character to that character's
// word (Character).
class WarningFacts {
 public:
  // `output` counts the lines of the pass's output; `lines` (null for a
  // code-word job) tells the text line of each word of a text job. The
  // warnings go to `list`.
  WarningFacts(const CodeStream& stream, LineCountingSink& output, TextLineMarks* lines,
               std::vector<WrittenWarning>& list)
      : stream_(stream), output_(output), lines_(lines), list_(list) {}
  WarningFacts(const WarningFacts&) = delete;
  WarningFacts& operator=(const WarningFacts&) = delete;

  // The command marked last (a format call read from the input) starts the
  // replay of a stored format.
  void CallStarts();
  // The next warning is about the character word `word`: it is looked for
  // among the words of the block read behind the command marked last (and
  // behind the character of the warning before it), its first occurrence
  // there counting.
  void Character(uint16_t word);
  // A warning tag with `text` is about to be written at the output's
  // current position.
  void Written(std::string_view text);

 private:
  struct Origin {
    long long offset = -1;
    long long line = -1;
  };
  Origin At(long long offset);

  const CodeStream& stream_;
  LineCountingSink& output_;
  TextLineMarks* lines_;
  std::vector<WrittenWarning>& list_;
  Origin call_;             // the format call of the replay in progress
  Origin character_;        // the character of the next warning, if any
  bool haveCharacter_ = false;
  long long lastCharacter_ = -1;  // the character of the warning before
};

}  // namespace velkan
