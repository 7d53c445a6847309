// Two's complement wrap of a wider result to the 16- and 32-bit widths the
// system computes in, without signed overflow.
#pragma once

#include <cstdint>

namespace velkan {

constexpr int16_t Wrap16(int32_t v) {
  return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(v)));
}

constexpr int32_t Wrap32(int64_t v) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v)));
}

}  // namespace velkan
