// A warning tag of the output, as the list of a job's warnings holds it.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace velkan {

// A warning tag written to the output, where it stands and what caused it.
struct WrittenWarning {
  // Where the tag begins in the output: the line (1-based; lines end with
  // CR LF) and the byte of that line (1-based).
  long long line = 0;
  long long column = 0;
  // The text between the quotes of the tag, Shift_JIS bytes as written
  // (cut as the tag cuts it).
  std::string text;
  // A code-word job: the byte offset in the input of the word that caused
  // the warning (the command word being handled; for a command of a format
  // replayed from the store, the format call in the input; for a warning
  // about a character, that character's word). -1 when it cannot be told.
  long long inputOffset = -1;
  // A text job: the line of the text (1-based) that held what caused the
  // warning; -1 for a code-word job or when it cannot be told.
  long long inputLine = -1;
};

// The texts of `warnings` with the number of warnings of each, the most
// frequent first (texts as often met, in the order they were first met).
std::vector<std::pair<std::string, size_t>> CountByText(const std::vector<WrittenWarning>& warnings);

}  // namespace velkan
