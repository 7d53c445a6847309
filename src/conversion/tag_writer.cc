#include "conversion/tag_writer.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "conversion/conversion.h"
#include "conversion/warning_facts.h"

namespace velkan {

namespace {
constexpr size_t kWarningBuffer = 256;
constexpr size_t kWarningFrame = 8;  // <WAR "">
constexpr size_t kMaxWarningMessage = kWarningBuffer - kWarningFrame - 1;

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

int16_t TagWriter::WriteWarningF(const char* format, ...) {
  char message[kWarningBuffer];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(message, sizeof message, format, args);
  va_end(args);
  if (n < 0) return 1;
  size_t len = static_cast<size_t>(n) < sizeof message ? static_cast<size_t>(n) : sizeof message - 1;
  // A message cut by the buffer may end in half a character; WriteWarning
  // cuts it at a whole one.
  return WriteWarning(std::string_view(message, len));
}

}  // namespace velkan
