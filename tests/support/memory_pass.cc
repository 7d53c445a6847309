#include "support/memory_pass.h"

#include "conversion/readers.h"
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
    : input_(WordBytes(words)),
      source_(input_),
      pass_(std::make_unique<Pass>(session, PassSettings{direction, unit, warnings}, tables_, source_, sink_)) {}

Flow MemoryPass::Run() { return pass_->Run(); }

}  // namespace velkan::test
