// A profile file of sections and keys, read and written the way a person
// would edit it by hand.
//
//   [SECTION]
//   Key=value
//
// Section and key names match without regard to ASCII case. Blanks around a
// name and around a value are not part of it; a value wrapped in one pair of
// double quotes loses them when read, so a value with outer blanks survives a
// round trip. Lines starting with ';' or '#' are comments. Everything the
// file holds besides the keys that are set (comments, other sections, keys
// in their order) is kept as it was.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velkan::app {

class IniFile {
 public:
  // An empty profile.
  IniFile() = default;

  // The profile held in `text` (lines ending in LF or CR LF).
  static IniFile Parse(std::string_view text);

  // The profile in the file at `path`; an empty profile when the file is
  // missing, is no regular file or cannot be read.
  static IniFile Load(const std::filesystem::path& path);

  // The value of `key` in `section`, or nullopt when either is absent. The
  // first section and the first key of a name count when a name repeats.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;

  // The value of `key`, or `fallback` when it is absent.
  std::string GetOr(std::string_view section, std::string_view key, std::string_view fallback) const;

  // Sets `key` in `section`: an existing key is changed in place, a new key
  // goes after the last key of its section, and a new section goes at the
  // end. Line breaks in the value become blanks (a value is one line).
  void Set(std::string_view section, std::string_view key, std::string_view value);

  // The profile as text, LF line ends.
  std::string Text() const;

  // Writes the profile to `path`, creating its folder, by writing a file
  // beside it and renaming it over the old one, so a failed write leaves the
  // old file whole. Returns false (and the reason in *error) on failure.
  bool Save(const std::filesystem::path& path, std::string* error = nullptr) const;

 private:
  struct Line {
    std::string text;     // the line as written, without its line end
    std::string section;  // the section a header opens (headers only)
    std::string key;      // the key of a key line (key lines only)
    bool header = false;
  };

  // Index of the header line of `section`, or -1.
  long FindSection(std::string_view section) const;
  // Index of the line of `key` below the header at `header`, or -1.
  long FindKey(long header, std::string_view key) const;

  std::vector<Line> lines_;
};

// `text` parsed by its leading decimal digits after blanks and an optional
// sign, as a settings value is read: "12abc" is 12, "-3" is -3, "" and "x"
// are 0. Values beyond the int range are held at its limits.
int LeadingInteger(std::string_view text);

}  // namespace velkan::app
