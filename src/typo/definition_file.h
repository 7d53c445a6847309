// The user's definition file: sections "<name>" of key=value lines that give
// names to numbers (fonts, colours, rule thicknesses and types, pi codes).
//
// The file is read once per pass and every look-up is answered from memory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "io/note.h"

namespace velkan {

class DefinitionFile {
 public:
  DefinitionFile() = default;
  // The lines point into the content: copying would leave them pointing
  // into the original.
  DefinitionFile(const DefinitionFile&) = delete;
  DefinitionFile& operator=(const DefinitionFile&) = delete;

  // Reads the file; returns false (and stays closed) when it cannot be
  // opened, is no regular file (a directory, say), a read fails or it is
  // larger than 16 MiB; `why` (if given) then says which.
  bool Open(const std::string& path, Note* why = nullptr);
  // Reads the bytes of the file at `path` as Open does, into `content`.
  static bool Read(const std::string& path, std::string& content, Note* why = nullptr);
  // Uses the given bytes as the file's content.
  void OpenFromMemory(std::string content);
  void Close();
  bool isOpen() const { return open_; }
  // A number that changes whenever the content changes (Open,
  // OpenFromMemory, Close): what was composed from the names before can be
  // told apart from what the names give now.
  uint32_t generation() const { return generation_; }

  // The value of `key` in section `section` (both Shift_JIS bytes): the first
  // line that is exactly "<section>" starts the section, a line starting with
  // "<" ends it, and a line "key=value" matches when the text before its first
  // "=" equals the key whole. The value runs to the end of the line. Lines are
  // cut at 259 bytes (a longer line is read as several lines) and a CR before
  // the line feed is not part of the line.
  std::optional<std::string> Lookup(std::string_view section, std::string_view key) const;

 private:
  void SplitLines();
  bool open_ = false;
  uint32_t generation_ = 0;
  std::string content_;
  std::vector<std::string_view> lines_;
};

}  // namespace velkan
