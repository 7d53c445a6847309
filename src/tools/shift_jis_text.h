// Shift_JIS (code page 932) and UTF-8 for the table tools. Table files hold
// Shift_JIS; their readable forms, and everything shown to a person, are
// UTF-8. The converter itself never re-encodes: only the tools use this.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velkan {

// Converts Shift_JIS bytes to UTF-8 into `out`. False when some byte sequence
// has no UTF-8 form (`out` is then unspecified).
bool ShiftJisToUtf8(std::string_view sjis, std::string& out);

// Converts UTF-8 text to Shift_JIS bytes into `out`. False when the text is no
// valid UTF-8 or holds a character without a Shift_JIS form.
bool Utf8ToShiftJis(std::string_view utf8, std::string& out);

// True when `sjis` converts to UTF-8 and back to exactly the same bytes, so a
// readable form can hold it as text.
bool RoundTripsThroughUtf8(std::string_view sjis);

// The UTF-8 text of one Shift_JIS character: a double-byte code with its lead
// byte high (0x889F), or a single byte (below 0x100). Empty when the code is
// no character of code page 932.
std::string ShiftJisCharacter(uint16_t code);

// The UTF-8 text of one JIS X 0208 row/cell code (both bytes 0x21-0x7E),
// through its Shift_JIS form; empty for any other code or a cell without a
// character.
std::string JisCharacter(uint16_t jis);

}  // namespace velkan
