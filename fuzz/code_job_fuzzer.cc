// A code-word job against the fixture's table root, definition file and
// format store. The first byte chooses the options (bit 0 vertical, bit 1 Q,
// bit 2 no warnings); the rest is the job, high byte first.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static velkan::fuzz::PreparedPass pass;
  if (size < 1) return 0;
  velkan::fuzz::PassChoices choices;
  choices.direction = data[0] & 1;
  choices.unit = (data[0] >> 1) & 1;
  choices.warnings = (data[0] >> 2) & 1;
  pass.Convert(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1), choices);
  return 0;
}
