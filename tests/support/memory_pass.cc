#include "support/memory_pass.h"

#include "conversion/readers.h"
#include "engine/main_loop.h"
#include "support/test_support.h"

namespace velkan::test {

std::vector<uint16_t> Args(const std::string& text) {
  std::vector<uint16_t> words;
  for (char ch : text) {
    if (ch >= '0' && ch <= '9') {
      words.push_back(static_cast<uint16_t>(kDigitZero + (ch - '0')));
    } else if (ch == '.') {
      words.push_back(kPointSeparator);
    } else if (ch == ',') {
      words.push_back(kCommaSeparator);
    }
  }
  return words;
}

std::vector<uint16_t> Join(std::initializer_list<std::vector<uint16_t>> parts) {
  std::vector<uint16_t> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

MemoryPass::MemoryPass(Session& session, const std::vector<uint16_t>& words, int direction, int unit,
                       int warnings)
    : input_(WordBytes(words)), source_(input_), paths_({}, std::nullopt) {
  conversion_ = std::make_unique<Conversion>(session, paths_, source_, sink_);
  InitJob(*conversion_, direction, unit, warnings);
}

Flow MemoryPass::Run() { return RunMainLoop(*conversion_); }

}  // namespace velkan::test
