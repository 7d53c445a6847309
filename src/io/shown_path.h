// Paths as messages show them.
//
// Messages and notes are UTF-8, while a path on Linux is any bytes. Bytes of
// a path that are not UTF-8 (a name written in Shift_JIS or Latin-1) are
// shown as \xHH, as are control characters, which would break the line of a
// message or act on a terminal. Valid UTF-8 is kept as it is.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace velkan {

// The length of the valid UTF-8 character at the start of `s` (1 to 4), or 0
// when it starts with none (empty, a stray continuation byte, a truncated or
// overlong sequence, a surrogate, a value beyond U+10FFFF). Allocates
// nothing, so a signal handler may call it.
size_t Utf8CharacterLength(std::string_view s);

// `bytes` with every byte that is no part of a valid UTF-8 character, and
// every control character (below 0x20, and 0x7F), written as \xHH (two
// lower-case hexadecimal digits).
std::string ShownPath(std::string_view bytes);
inline std::string ShownPath(const std::filesystem::path& path) { return ShownPath(std::string_view(path.native())); }
inline std::string ShownPath(const std::string& path) { return ShownPath(std::string_view(path)); }
inline std::string ShownPath(const char* path) { return ShownPath(std::string_view(path)); }

// Any other text a person gave (an option, a value, a command) shown in a
// message the same way.
inline std::string ShownText(std::string_view bytes) { return ShownPath(bytes); }

}  // namespace velkan
