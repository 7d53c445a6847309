// The two primitives every byte of the output goes through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "conversion/session.h"
#include "io/byte_streams.h"

namespace velkan {

class Conversion;
class WarningFacts;

// A warning tag of a fixed message, "<WAR \"message\">", made when the
// program is built and padded to kRoom bytes, so that it is written with one
// copy of fixed size.
struct WarningTag {
  static constexpr size_t kRoom = 64;
  char text[kRoom];
  uint32_t size;
  std::string_view message() const { return {text + 6, size - 8}; }
};

template <size_t N>
constexpr WarningTag MakeWarningTag(const char (&message)[N]) {
  static_assert(N - 1 + 8 <= WarningTag::kRoom, "a fixed warning longer than WarningTag::kRoom");
  WarningTag tag{};
  constexpr char kOpen[] = "<WAR \"";
  for (size_t i = 0; i < 6; ++i) tag.text[i] = kOpen[i];
  for (size_t i = 0; i + 1 < N; ++i) tag.text[6 + i] = message[i];
  tag.text[6 + N - 1] = '"';
  tag.text[6 + N] = '>';
  tag.size = static_cast<uint32_t>(N - 1 + 8);
  return tag;
}

// The warning tag of the message `head` followed by `tail`.
template <size_t N, size_t M>
constexpr WarningTag MakeWarningTag(const char (&head)[N], const char (&tail)[M]) {
  char message[N + M - 1] = {};
  for (size_t i = 0; i + 1 < N; ++i) message[i] = head[i];
  for (size_t i = 0; i < M; ++i) message[N - 1 + i] = tail[i];
  return MakeWarningTag(message);
}

// The warning tag of `Message`, a message literal of the program:
// kWarningTag<lit::kWarnPageBreak>; or of the messages `Message` and `More`
// one after the other: kWarningTag<lit::kWarnModeRagged, lit::kWarnModeForbidden>.
template <const auto& Message, const auto&... More>
inline constexpr WarningTag kWarningTag = MakeWarningTag(Message, More...);

class TagWriter {
 public:
  TagWriter(ByteSink& sink, Session& session) : sink_(sink), session_(session) {}
  TagWriter(const TagWriter&) = delete;
  TagWriter& operator=(const TagWriter&) = delete;

  // Writes a finished piece of text unchanged (tags, line ends, characters).
  // Clears `atLineStart` on success, also when the text is dropped because
  // output is switched off. Returns 1, or -1 when the sink refused the bytes
  // (`atLineStart` then stays as it was).
  // Inline, so that a literal's length is known where it is copied.
  int16_t WriteText(std::string_view text) {
    if (outputSuppressed == 0 && !text.empty() && !sink_.Write(text.data(), text.size())) [[unlikely]] {
      writeFailed_ = true;
      return -1;
    }
    session_.atLineStart = 0;
    return 1;
  }

  // Room of the sink for composing text in place: sets `end` and returns
  // the start of the room, so that a caller looks at its size only; the
  // room is empty (its start and end both null, or equal) while output is
  // switched off or the sink lends none. Text put there is written by Wrote.
  char* Room(char*& end) {
    if (outputSuppressed != 0) {
      end = nullptr;
      return nullptr;
    }
    end = sink_.roomEnd();
    return sink_.room();
  }
  // Writes the text composed at [Room(), to) (at least one byte), as
  // WriteText does.
  void Wrote(char* to) {
    sink_.Advance(to);
    session_.atLineStart = 0;
  }

  // Writes "<WAR \"message\">" unless output is switched off or warnings are
  // not written (both count as success). Never touches `atLineStart`.
  // The tag is composed in a 256-byte buffer, so a message is cut after 247
  // bytes, or after 246 when the 247th is the first byte of a double-byte
  // Shift_JIS character. Returns 1, or -1 when the sink refused the bytes.
  int16_t WriteWarning(std::string_view message);

  // Writes the tag of a fixed message as WriteWarning(tag.message()) does:
  // one copy into the sink's room when no list of warnings is kept.
  int16_t WriteWarning(const WarningTag& tag) {
    if (outputSuppressed != 1 && session_.settings.warnings != 1 && facts == nullptr) [[likely]] {
      char* room = sink_.room();
      if (sink_.roomEnd() - room >= static_cast<ptrdiff_t>(WarningTag::kRoom)) [[likely]] {
        std::memcpy(room, tag.text, WarningTag::kRoom);
        sink_.Advance(room + tag.size);
        return 1;
      }
    }
    return WriteWarning(tag.message());
  }

  // Composes the message with printf and writes it as WriteWarning does.
  int16_t WriteWarningF(const char* format, ...) __attribute__((format(printf, 2, 3)));

  // Told of every warning tag written when a list of them is asked for;
  // null otherwise.
  WarningFacts* facts = nullptr;

  // 1 while everything written is dropped (the output switch 0xD075).
  int16_t outputSuppressed = 0;
  // True once any write was refused by the sink.
  bool writeFailed() const { return writeFailed_; }

 private:
  ByteSink& sink_;
  Session& session_;
  bool writeFailed_ = false;
};

}  // namespace velkan
