#include "conversion/tag_writer.h"

#include <algorithm>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "conversion/conversion.h"
#include "conversion/warning_facts.h"
#include "typo/units.h"

namespace velkan {

namespace {
constexpr size_t kWarningBuffer = 256;
constexpr size_t kWarningFrame = 8;  // <WAR "">
constexpr size_t kMaxWarningMessage = kWarningBuffer - kWarningFrame - 1;
static_assert(kMaxWarningMessage == kMostWarningMessage);

bool IsLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// The longest start of `message` within `limit` bytes that does not end in
// the first byte of a double-byte Shift_JIS character.
std::string_view CutAtCharacter(std::string_view message, size_t limit) {
  if (message.size() <= limit) return message;
  size_t end = 0;
  while (end < limit) {
    size_t next = end + (IsLeadByte(static_cast<unsigned char>(message[end])) ? 2 : 1);
    if (next > limit) break;
    end = next;
  }
  return message.substr(0, end);
}
}  // namespace

int16_t TagWriter::WriteWarning(std::string_view message) {
  if (outputSuppressed == 1 || session_.settings.warnings == 1) return 1;
  message = CutAtCharacter(message, kMaxWarningMessage);
  if (facts != nullptr) [[unlikely]] facts->Written(message);
  // Composed in the sink's buffer when it has room for the whole tag.
  const size_t n = message.size() + 8;
  char buffer[kWarningBuffer];
  char* room = sink_.room();
  const bool inRoom = room != nullptr && static_cast<size_t>(sink_.roomEnd() - room) >= n;
  char* tag = inRoom ? room : buffer;
  std::memcpy(tag, "<WAR \"", 6);
  std::memcpy(tag + 6, message.data(), message.size());
  std::memcpy(tag + 6 + message.size(), "\">", 2);
  if (inRoom) {
    sink_.Advance(tag + n);
    return 1;
  }
  if (!sink_.Write(tag, n)) {
    writeFailed_ = true;
    return -1;
  }
  return 1;
}

namespace {

// Composes a message of the few conversions the warnings use (%d, %s, %g,
// %04x and %%) as vsnprintf would into `size` bytes, without the cost of
// printf: cut at size - 1 bytes. False for any other conversion, met before
// anything after it is taken from `args`.
bool ComposeMessage(char* out, size_t size, size_t& length, const char* format, va_list args) {
  char* d = out;
  char* const end = out + size - 1;
  auto put = [&](const char* from, size_t n) {
    n = std::min(n, static_cast<size_t>(end - d));
    std::memcpy(d, from, n);
    d += n;
  };
  for (const char* f = format; *f != '\0'; ++f) {
    if (*f != '%') {
      // The text up to the next conversion, copied whole.
      const char* percent = std::strchr(f, '%');
      const size_t n = percent != nullptr ? static_cast<size_t>(percent - f) : std::strlen(f);
      put(f, n);
      f += n;
      if (*f == '\0') break;
    }
    char number[kMostG];
    char* e = number;
    switch (*++f) {
      case 'd':
        e = std::to_chars(number, number + sizeof number, va_arg(args, int)).ptr;
        break;
      case 'g':
        e = PutG(number, va_arg(args, double));
        break;
      case 's': {
        const char* text = va_arg(args, const char*);
        put(text, std::strlen(text));
        continue;
      }
      case '%':
        *e++ = '%';
        break;
      case '0': {
        if (f[1] != '4' || f[2] != 'x') return false;
        f += 2;
        auto v = va_arg(args, unsigned);
        e = std::to_chars(number, number + sizeof number, v, 16).ptr;
        if (e - number < 4) {
          const size_t pad = 4 - static_cast<size_t>(e - number);
          std::memmove(number + pad, number, static_cast<size_t>(e - number));
          std::memset(number, '0', pad);
          e += pad;
        }
        break;
      }
      default:
        return false;
    }
    put(number, static_cast<size_t>(e - number));
  }
  length = static_cast<size_t>(d - out);
  return true;
}

}  // namespace

int16_t TagWriter::WriteWarningF(const char* format, ...) {
  // Nothing to compose when the tag would be dropped.
  if (outputSuppressed == 1 || session_.settings.warnings == 1) return 1;
  va_list args, tried;
  va_start(args, format);
  // Composed in the sink's room, behind the tag's head, when it has room for
  // the longest tag and no list of warnings is kept.
  char* room = sink_.room();
  if (facts == nullptr && room != nullptr &&
      sink_.roomEnd() - room >= static_cast<ptrdiff_t>(kWarningBuffer + kWarningFrame)) [[likely]] {
    size_t len = 0;
    va_copy(tried, args);
    const bool composed = ComposeMessage(room + 6, kWarningBuffer, len, format, tried);
    va_end(tried);
    if (composed) {
      va_end(args);
      const size_t n = CutAtCharacter(std::string_view(room + 6, len), kMaxWarningMessage).size();
      std::memcpy(room, "<WAR \"", 6);
      std::memcpy(room + 6 + n, "\">", 2);
      sink_.Advance(room + 6 + n + 2);
      return 1;
    }
  }
  char message[kWarningBuffer];
  size_t len = 0;
  va_copy(tried, args);
  bool composed = ComposeMessage(message, sizeof message, len, format, tried);
  va_end(tried);
  if (!composed) {
    // Another conversion: printf from the first argument on.
    int n = std::vsnprintf(message, sizeof message, format, args);
    len = n < 0 ? 0 : static_cast<size_t>(n) < sizeof message ? static_cast<size_t>(n) : sizeof message - 1;
    if (n < 0) {
      va_end(args);
      return 1;
    }
  }
  va_end(args);
  // A message cut by the buffer may end in half a character; WriteWarning
  // cuts it at a whole one.
  return WriteWarning(std::string_view(message, len));
}

}  // namespace velkan
