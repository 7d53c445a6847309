// A readable listing of a code-word job (".zan"), for people debugging one.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace velkan {

// Gives the UTF-8 text a character word stands for, or an empty text when it
// is not known.
using CharacterNamer = std::function<std::string(uint16_t word)>;

// Lists the words of a job (16-bit words, high byte first), one line each:
// the byte offset (six hexadecimal digits), the word, and what it is. A
// command shows its name and the argument words that follow it, read as
// the numbers they spell ("12.5,3"; those words get no line of their own).
// The lines inside a parameter group are indented; characters show the text
// `nameOf` gives (when set); fillers, skipped regions and an odd trailing
// byte are marked as such.
std::string ListCodeWords(std::string_view bytes, const CharacterNamer& nameOf = nullptr);

}  // namespace velkan
