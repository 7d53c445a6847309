// One pass over code words held in memory, with its Conversion open for
// inspection: a test can call a handler on the words or run the main loop,
// and then look at the state the pass keeps.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "conversion/conversion.h"
#include "conversion/session.h"
#include "engine/command_table.h"
#include "engine/main_loop.h"
#include "engine/pass.h"
#include "io/byte_streams.h"
#include "support/test_support.h"

namespace velkan::test {

class HandlerPass {
 public:
  // A pass without tables, started with the given unit (0 pt, 1 Q); the
  // stream stands before the first of `words`.
  HandlerPass(Session& session, const std::vector<uint16_t>& words, int unit = 0)
      : input_(WordBytes(words)), source_(input_), pass_(session, PassSettings{0, unit, 0}, tables_, source_, sink_) {}

  // Calls a handler as the dispatch does: `command` is the current word and
  // still pending; the words given to the constructor follow it.
  Flow Call(Handler h, uint16_t command) {
    c.stream.Keep(command);
    return h(c);
  }

  // The word the stream delivers next.
  uint16_t Next() {
    uint16_t w = 0;
    c.stream.Next(w);
    return w;
  }

  const std::string& output() const { return sink_.data(); }

 private:
  LoadedTables tables_;
  std::string input_;
  MemorySource source_;
  MemorySink sink_;
  Pass pass_;

 public:
  Conversion& c = pass_.conversion();
};

}  // namespace velkan::test
