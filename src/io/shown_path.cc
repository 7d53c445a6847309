#include "io/shown_path.h"

#include <cstdint>

namespace velkan {

size_t Utf8CharacterLength(std::string_view s) {
  if (s.empty()) return 0;
  const auto b = [&s](size_t i) { return static_cast<uint8_t>(s[i]); };
  const auto tail = [&](size_t i) { return i < s.size() && (b(i) & 0xC0) == 0x80; };
  uint8_t c = b(0);
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) return tail(1) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {
    if (!tail(1) || !tail(2)) return 0;
    if (c == 0xE0 && b(1) < 0xA0) return 0;  // overlong
    if (c == 0xED && b(1) >= 0xA0) return 0;  // surrogate
    return 3;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    if (!tail(1) || !tail(2) || !tail(3)) return 0;
    if (c == 0xF0 && b(1) < 0x90) return 0;  // overlong
    if (c == 0xF4 && b(1) >= 0x90) return 0;  // beyond U+10FFFF
    return 4;
  }
  return 0;
}

std::string ShownPath(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  // Most paths are printable ASCII, shown as they are.
  size_t plain = 0;
  while (plain < bytes.size() && static_cast<uint8_t>(bytes[plain]) - 0x20u < 0x5Fu) ++plain;
  if (plain == bytes.size()) return std::string(bytes);
  std::string shown;
  shown.reserve(bytes.size());
  shown.append(bytes.substr(0, plain));
  bytes.remove_prefix(plain);
  while (!bytes.empty()) {
    size_t n = Utf8CharacterLength(bytes);
    uint8_t c = static_cast<uint8_t>(bytes[0]);
    if (n == 0 || c < 0x20 || c == 0x7F) {
      shown += "\\x";
      shown += kHex[c >> 4];
      shown += kHex[c & 15];
      n = 1;
    } else {
      shown.append(bytes.substr(0, n));
    }
    bytes.remove_prefix(n);
  }
  return shown;
}

}  // namespace velkan
