// A pass over code words held in memory, without tables, for tests that
// drive single stages or handlers and look at the state and the output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "conversion/conversion.h"
#include "conversion/session.h"
#include "engine/pass.h"
#include "io/byte_streams.h"
#include "support/test_support.h"

namespace velkan::test {

// Owns the session, the input and the output of one pass without tables,
// started with the given job options; no word has been read.
struct MemoryConversion {
  explicit MemoryConversion(const std::vector<uint16_t>& words = {}, int direction = 0, int unit = 0,
                            int warnings = 0)
      : bytes(WordBytes(words)), source(bytes), pass(session, PassSettings{direction, unit, warnings}, tables, source, sink) {}
  // What has been written so far.
  const std::string& output() const { return sink.data(); }

  Session session;
  LoadedTables tables;
  std::string bytes;
  MemorySource source;
  MemorySink sink;
  Pass pass;
  Conversion& c = pass.conversion();
};

}  // namespace velkan::test
