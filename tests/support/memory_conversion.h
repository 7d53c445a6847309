// A pass over code words held in memory, without tables, for tests that
// drive single stages or handlers and look at the state and the output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "conversion/conversion.h"
#include "conversion/session.h"
#include "io/byte_streams.h"
#include "support/test_support.h"

namespace velkan::test {

// Owns the session, the input and the output of one initialised pass.
// `input` must be set before `c` is used to read; InitJob has been run.
struct MemoryConversion {
  explicit MemoryConversion(const std::vector<uint16_t>& words = {}, int direction = 0, int unit = 0,
                            int warnings = 0)
      : bytes(WordBytes(words)), source(bytes), c(session, paths, source, sink) {
    InitJob(c, direction, unit, warnings);
  }
  // What has been written so far.
  const std::string& output() const { return sink.data(); }

  Session session;
  TablePaths paths{std::filesystem::path(), std::nullopt};
  std::string bytes;
  MemorySource source;
  MemorySink sink;
  Conversion c;
};

}  // namespace velkan::test
