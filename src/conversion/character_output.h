// The output of character runs: each character word becomes a Shift_JIS
// character, a single-byte character, a code tag, a typed code tag with a
// width, a combined-character (kumi) tag or a warning; escapes separate
// characters of different classes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "tables/code_conversion.h"

namespace velkan {

class Conversion;

struct CharacterState {
  // The class of the character written last (0 at job start); decides the
  // separators written between characters of different kinds: 1 ordinary,
  // 2 roman written as a tag, 3 roman punctuation or digit as a single byte,
  // 4 and 5 the same for the second roman page, 6 pages 0xC5 and 0xC6,
  // 7 single-byte punctuation or digit of page 0xC1.
  int16_t charClass = 0;
  // Set by 0xD093: the next character is written as a code tag of its code
  // in the ruby font of the current font.
  int16_t oneShotCode = 0;
  // The single byte (below 0x80) each roman code is written as, 0 for none:
  // 0xC300-0xC37F, then 0xC400-0xC47F. Made from the code tables at the
  // first sweep of plain characters in the pass (the tables do not change
  // during a pass).
  std::array<uint8_t, 256> romanBytes{};
  bool romanBytesMade = false;
};

// Writes a run of character words (terminated by a 0 word, at most 255, the
// buffer zero behind the run) in the given direction (0 horizontal, 1
// vertical) and font. Combined characters take the words that complete them
// from the run, never from beyond its terminating 0. A longer run is written
// whole all the same, never past a buffer.
void WriteCharacterRun(Conversion& c, const uint16_t* run, int16_t direction, int16_t font);

// Writes the characters that follow in the stream's block read for as long
// as they are plain: codes of the main pages that the main-page route of
// `font` converts (see OpenMainPageRoute), and roman codes of pages 0xC3 and
// 0xC4 written as single bytes; straight to the output, exactly as
// WriteCharacterRun would write them, and takes them from the stream. These
// characters never combine with others, so where a run would end among them
// does not change what is written. Returns the number of words taken: 0
// when the next word is no such character, a one-shot code waits, or the
// route is closed; `routeOpen` is false when the route was found closed (or
// nothing was looked at for lack of words or because of the one-shot code).
size_t WritePlainCharacters(Conversion& c, int16_t font, bool& routeOpen);

// Copies the separator between character classes `prev` and `now` to `d`
// (room for four bytes) and returns the position behind it.
char* PutSeparator(char* d, int16_t now, int16_t prev);

// Writes to `d` the characters of the main pages that the route converts,
// from the word at `q` on, `t` being that word's Shift_JIS form in wire order
// (not 0): behind the separator an ordinary character needs after class `charClass`
// (which becomes 1), two bytes a character, up to `stop` or the first word
// the route does not convert (a 0 word is none). Moves `q` past the words
// written and returns the position behind the bytes; needs room for 4 + 2
// bytes a word. The words are either bytes, two a word high byte first (the
// code stream's block), or whole words (a character run). The one writer of
// the main pages' characters: the main loop's sweep, WritePlainCharacters and
// WriteCharacterRun all write through it. Without `kBounded`, `stop` is not
// looked at: a word the route does not convert must follow the words at `q`
// before the room ends.
template <typename Word, bool kBounded = true>
[[gnu::always_inline]] inline char* PutMainPageCharacters(char* d, const MainPageRoute& route, const Word*& q,
                                                         const Word* const stop, uint16_t t, int16_t& charClass) {
  static_assert(std::is_same_v<Word, uint8_t> || std::is_same_v<Word, uint16_t>);
  constexpr size_t kStep = sizeof(uint16_t) / sizeof(Word);
  if (charClass != 1) [[unlikely]] {
    d = PutSeparator(d, 1, charClass);
    charClass = 1;
  }
  do {
    std::memcpy(d, &t, 2);
    d += 2;
    q += kStep;
  } while ((!kBounded || q < stop) && (t = route.WireShiftJisAt(q)) != 0);
  return d;
}

// True for the codes of the main pages, 0x8000-0x9FFF.
constexpr bool IsMainPageCode(uint16_t w) { return (w & 0xE000) == 0x8000; }

// True for the words WritePlainCharacters may take: codes of the main pages
// and the roman codes 0xC300-0xC37F and 0xC400-0xC47F.
constexpr bool MayBePlainCharacter(uint16_t w) {
  return IsMainPageCode(w) || (w & 0xFF80) == 0xC300 || (w & 0xFF80) == 0xC400;
}

// True for the single bytes that count as punctuation or digits:
// ( ) , - . / 0-9 = _
bool IsDigitLike(uint8_t b);

}  // namespace velkan
