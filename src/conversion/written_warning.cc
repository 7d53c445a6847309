#include "conversion/written_warning.h"

#include <algorithm>
#include <unordered_map>

namespace velkan {

std::vector<std::pair<std::string, size_t>> CountByText(const std::vector<WrittenWarning>& warnings) {
  std::vector<std::pair<std::string, size_t>> counts;
  std::unordered_map<std::string, size_t> index;
  for (const WrittenWarning& w : warnings) {
    auto [it, added] = index.emplace(w.text, counts.size());
    if (added) counts.emplace_back(w.text, 0);
    ++counts[it->second].second;
  }
  std::stable_sort(counts.begin(), counts.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
  return counts;
}

}  // namespace velkan
