// Short English names of the command words, for listings of code-word jobs
// and of table files.
#pragma once

#include <cstdint>
#include <string_view>

namespace velkan {

// The name of command word 0xD000 + `lowByte` ("line-end" for 0xD009), or an
// empty view for a word the system gives no meaning. Names are lower case
// words joined by "-".
std::string_view CommandName(uint8_t lowByte);

// The name of a word 0xD000-0xD0FF as CommandName gives it; empty for any
// other word and for command words without a name.
std::string_view CommandWordName(uint16_t word);

}  // namespace velkan
