// The user's definition file: sections "<name>" of key=value lines that give
// names to numbers (fonts, colours, rule thicknesses and types, pi codes).
//
// The file is read once per pass and every look-up is answered from memory.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "io/note.h"

namespace velkan {

// The most bytes of a line of a definition file, and so of a value.
inline constexpr size_t kMostDefinitionLine = 259;

// The bytes of a definition file and an index of its key lines by section
// and key (the file read as lines of at most 259 bytes, a longer line as
// several; a CR before the line feed is no part of the line), made once and
// shared read-only: a batch reads the file when it starts and every job of
// it looks its names up in the same index. A look-up costs a binary search,
// not a pass over the file: a file with thousands of pi codes is searched
// on every pi character.
class DefinitionLines {
 public:
  explicit DefinitionLines(std::string content);
  // The index points into the content: copying or moving would leave it
  // pointing into the original.
  DefinitionLines(const DefinitionLines&) = delete;
  DefinitionLines& operator=(const DefinitionLines&) = delete;

  // The value of `key` in section `section`, as DefinitionFile::Lookup
  // tells; nullopt when there is none. The view points into the content.
  std::optional<std::string_view> Find(std::string_view section, std::string_view key) const;

 private:
  // The key lines of a section, from `begin` to `end` in keys_.
  struct Section {
    std::string_view name;
    uint32_t begin;
    uint32_t end;
  };
  struct Key {
    std::string_view key;
    std::string_view value;
  };

  const std::string content_;
  // Ordered by name.
  std::vector<Section> sections_;
  // Each section's keys ordered; of a key given twice in its section only
  // the first line's is kept.
  std::vector<Key> keys_;
};

class DefinitionFile {
 public:
  DefinitionFile() = default;
  // A pass has a file of its own: its generation is its own.
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
  // Uses the lines of a file read before (shared, never changed), as
  // OpenFromMemory of its bytes would.
  void OpenShared(std::shared_ptr<const DefinitionLines> lines);
  void Close();
  bool isOpen() const { return lines_ != nullptr; }
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
  // The value Lookup gives, without a copy: the view points into the file's
  // lines and stays valid until the file is opened again or closed.
  std::optional<std::string_view> Find(std::string_view section, std::string_view key) const {
    if (!lines_) return std::nullopt;
    return lines_->Find(section, key);
  }

 private:
  uint32_t generation_ = 0;
  // The lines of the file; null while it is closed.
  std::shared_ptr<const DefinitionLines> lines_;
};

}  // namespace velkan
