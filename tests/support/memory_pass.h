// A pass over code words in memory whose Conversion stays open after the run,
// so a test can look at the state the handlers left behind.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "conversion/conversion.h"
#include "conversion/flow.h"
#include "conversion/session.h"
#include "engine/pass.h"
#include "io/byte_streams.h"
#include "support/test_support.h"
#include "tables/table_root.h"

namespace velkan::test {

// Digit words for a decimal text: "12.5,3" gives 0xC341 0xC342 0xC334 0xC345
// 0xC335 0xC343 ('.' the point separator, ',' the comma separator).
std::vector<uint16_t> Args(const std::string& text);

// Concatenates word lists.
std::vector<uint16_t> Join(std::initializer_list<std::vector<uint16_t>> parts);

class MemoryPass {
 public:
  // Starts a pass over `words` with the given job options (no tables); no
  // word has been read yet.
  MemoryPass(Session& session, const std::vector<uint16_t>& words, int direction = 0, int unit = 0,
             int warnings = 0);
  MemoryPass(const MemoryPass&) = delete;
  MemoryPass& operator=(const MemoryPass&) = delete;

  // Gives the pass a definition file.
  void Define(const std::string& sjisContent) { c().definitions.OpenFromMemory(sjisContent); }

  // Runs the main loop to its end and returns its result (kEndJob or kFail).
  Flow Run();

  Conversion& c() { return pass_->conversion(); }
  // The tables the pass reads (none loaded but what an empty root gives).
  PassTables& tables() { return tables_; }
  const std::string& output() const { return sink_.data(); }

 private:
  LoadedTables tables_;
  std::string input_;
  MemorySource source_;
  MemorySink sink_;
  std::unique_ptr<Pass> pass_;
};

}  // namespace velkan::test
