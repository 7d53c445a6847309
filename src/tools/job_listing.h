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

// The lines of `listing` (as ListCodeWords makes it) around byte offset
// `offset`: its header, the line whose word or arguments hold the offset
// marked with "> " in front (the others get two blanks), and `context`
// lines before and after it. Empty when no line begins at or before it (the
// caller tells an offset past the job's end).
std::string ListingAround(std::string_view listing, long long offset, int context);

// Each line of `listing` (as ListCodeWords makes it) with the number
// `lineOf(offset)` gives for the offset it begins with, in a column headed
// `heading` behind the offset and the word (so ListingAround still reads it).
std::string WithLineNumbers(std::string_view listing, const char* heading,
                            const std::function<long long(long long offset)>& lineOf);

}  // namespace velkan
