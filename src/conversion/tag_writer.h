// The two primitives every byte of the output goes through.
#pragma once

#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <utility>

#include "conversion/session.h"
#include "io/byte_streams.h"
#include "typo/units.h"

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

// The most bytes of a warning's message: longer ones are cut (see
// TagWriter::WriteWarning).
inline constexpr size_t kMostWarningMessage = 247;

// A warning message literal with conversions, read when the program is built:
// its text pieces and between them the conversions %d (an int), %g (a double,
// as PutG writes it, or Hundredths, as PutHundredths does) and %04x (an unsigned); no other conversion, no "%%".
template <const auto& Format>
struct WarningFormat {
  struct Piece {
    size_t begin = 0;  // of the text piece behind the conversion (the first: none)
    size_t size = 0;
    char conversion = 0;  // 'd', 'g' or 'x'; 0 for the first piece
  };
  static constexpr size_t kLength = sizeof Format - 1;
  static constexpr size_t kConversions = [] {
    size_t n = 0;
    for (size_t i = 0; i < kLength; ++i) n += Format[i] == '%';
    return n;
  }();
  static constexpr auto kPieces = [] {
    std::array<Piece, kConversions + 1> pieces{};
    size_t k = 0, i = 0;
    for (;;) {
      size_t end = i;
      while (end < kLength && Format[end] != '%') ++end;
      pieces[k].begin = i;
      pieces[k].size = end - i;
      if (end == kLength) break;
      ++k;
      if (Format[end + 1] == 'd' || Format[end + 1] == 'g') {
        pieces[k].conversion = Format[end + 1];
        i = end + 2;
      } else if (Format[end + 1] == '0' && Format[end + 2] == '4' && Format[end + 3] == 'x') {
        pieces[k].conversion = 'x';
        i = end + 4;
      } else {
        throw "a conversion other than %d, %g or %04x";  // not a constant: the build fails
      }
    }
    return pieces;
  }();
  // The most bytes of the message composed.
  static constexpr size_t kMost = [] {
    size_t n = 0;
    for (const Piece& p : kPieces) {
      n += p.size + (p.conversion == 'd' ? 11 : p.conversion == 'g' ? kMostG : p.conversion == 'x' ? 8 : 0);
    }
    return n;
  }();

  // Composes the message at `d` and returns the end.
  template <typename... Args>
  static char* Put(char* d, Args... args) {
    static_assert(sizeof...(Args) == kConversions, "one value for each conversion");
    return Put(d, std::make_index_sequence<kConversions>(), args...);
  }

 private:
  static char* PutText(char* d, const Piece& p) {
    std::memcpy(d, Format + p.begin, p.size);
    return d + p.size;
  }
  template <char Conversion, typename T>
  static char* PutValue(char* d, T v) {
    if constexpr (Conversion == 'g') {
      if constexpr (std::is_same_v<T, Hundredths>) {
        return PutHundredths(d, v);
      } else {
        static_assert(std::is_floating_point_v<T>, "%g takes a double or Hundredths");
        return PutG(d, v);
      }
    } else {
      static_assert(std::is_integral_v<T> && sizeof(T) <= sizeof(int), "%d and %04x take an int");
      if constexpr (Conversion == 'd') return std::to_chars(d, d + 11, static_cast<int>(v)).ptr;
      char digits[8];
      char* e = std::to_chars(digits, digits + sizeof digits, static_cast<unsigned>(v), 16).ptr;
      for (ptrdiff_t pad = 4 - (e - digits); pad > 0; --pad) *d++ = '0';
      std::memcpy(d, digits, static_cast<size_t>(e - digits));
      return d + (e - digits);
    }
  }
  template <size_t... I, typename... Args>
  static char* Put(char* d, std::index_sequence<I...>, Args... args) {
    d = PutText(d, kPieces[0]);
    ((d = PutText(PutValue<kPieces[I + 1].conversion>(d, args), kPieces[I + 1])), ...);
    return d;
  }
};

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

  // Composes a text of at most `Most` bytes with `compose(d)`, which puts
  // it at `d` and returns its end, and writes it as WriteText does: composed
  // straight in the sink's room when that has `Most` bytes, else on the
  // stack and copied.
  template <size_t Most, typename Compose>
  int16_t WriteComposed(Compose&& compose) {
    char* end = nullptr;
    char* room = Room(end);
    if (end - room >= static_cast<ptrdiff_t>(Most)) [[likely]] {
      Wrote(compose(room));
      return 1;
    }
    char text[Most];
    return WriteText(std::string_view(text, static_cast<size_t>(compose(text) - text)));
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

  // The same for `Format`, a message literal of the program (see
  // WarningFormat), read when the program is built: composed straight into
  // the sink's room when no list of warnings is kept.
  // c.out.WriteWarningF<lit::kWarnCentering>(LengthHundredths(length)).
  template <const auto& Format, typename... Args>
  int16_t WriteWarningF(Args... args) {
    using F = WarningFormat<Format>;
    static_assert(F::kMost <= kMostWarningMessage, "a message that may be cut: use WriteWarningF(format, ...)");
    if (outputSuppressed == 1 || session_.settings.warnings == 1) return 1;
    char* room = sink_.room();
    if (facts == nullptr && sink_.roomEnd() - room >= static_cast<ptrdiff_t>(F::kMost + 8)) [[likely]] {
      std::memcpy(room, "<WAR \"", 6);
      char* d = F::Put(room + 6, args...);
      std::memcpy(d, "\">", 2);
      sink_.Advance(d + 2);
      return 1;
    }
    char message[F::kMost];
    return WriteWarning(std::string_view(message, static_cast<size_t>(F::Put(message, args...) - message)));
  }

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
