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

// `bytes` with every byte that is no part of a valid UTF-8 character, and
// every control character (below 0x20, and 0x7F), written as \xHH (two
// lower-case hexadecimal digits).
std::string ShownPath(std::string_view bytes);
inline std::string ShownPath(const std::filesystem::path& path) { return ShownPath(std::string_view(path.native())); }
inline std::string ShownPath(const std::string& path) { return ShownPath(std::string_view(path)); }
inline std::string ShownPath(const char* path) { return ShownPath(std::string_view(path)); }

}  // namespace velkan
