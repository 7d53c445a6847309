#include "typo/definition_file.h"

#include <algorithm>
#include <unordered_set>

#include "tables/table_file.h"

namespace velkan {

bool DefinitionFile::Read(const std::string& path, std::string& content, Note* why) {
  // A directory or other non-file at the path is no definition file.
  int error = 0;
  TableFileStatus status = ReadTableFile(path, content, kMaxTableFileBytes, &error);
  if (status != TableFileStatus::kRead) {
    content.clear();
    if (why) *why = DescribeTableFileStatus(status, error);
    return false;
  }
  return true;
}

bool DefinitionFile::Open(const std::string& path, Note* why) {
  Close();
  std::string content;
  if (!Read(path, content, why)) return false;
  OpenFromMemory(std::move(content));
  return true;
}

// A line of the file longer than the line buffer is read as several lines.
DefinitionLines::DefinitionLines(std::string content)
    : content_(std::move(content)) {
  // A section is the lines after the first line "<name>" of its name, up to
  // the next line that starts with "<"; a later header of the same name
  // ends the section before it and starts nothing. Lines before any header,
  // and lines without "=", are no keys.
  std::unordered_set<std::string_view> started;
  bool inSection = false;
  auto endSection = [this] {
    Section& s = sections_.back();
    auto first = keys_.begin() + s.begin;
    // Stable: of equal keys the first line stays first, and is kept.
    std::stable_sort(first, keys_.end(), [](const Key& a, const Key& b) { return a.key < b.key; });
    keys_.erase(std::unique(first, keys_.end(), [](const Key& a, const Key& b) { return a.key == b.key; }),
                keys_.end());
    s.end = static_cast<uint32_t>(keys_.size());
  };
  for (const std::string_view line : SplitTableLines(content_, kMostDefinitionLine)) {
    if (!line.empty() && line[0] == '<') {
      if (inSection) endSection();
      const std::string_view name = line.substr(1, line.size() - 2);
      inSection = line.size() >= 2 && line.back() == '>' && started.insert(name).second;
      if (inSection) sections_.push_back({name, static_cast<uint32_t>(keys_.size()), 0});
      continue;
    }
    const size_t eq = line.find('=');
    if (inSection && eq != std::string_view::npos) keys_.push_back({line.substr(0, eq), line.substr(eq + 1)});
  }
  if (inSection) endSection();
  std::sort(sections_.begin(), sections_.end(), [](const Section& a, const Section& b) { return a.name < b.name; });
  keys_.shrink_to_fit();
}

std::optional<std::string_view> DefinitionLines::Find(std::string_view section, std::string_view key) const {
  auto s = std::lower_bound(sections_.begin(), sections_.end(), section,
                            [](const Section& a, std::string_view name) { return a.name < name; });
  if (s == sections_.end() || s->name != section) return std::nullopt;
  const auto first = keys_.begin() + s->begin, last = keys_.begin() + s->end;
  auto k = std::lower_bound(first, last, key, [](const Key& a, std::string_view k) { return a.key < k; });
  if (k == last || k->key != key) return std::nullopt;
  return k->value;
}

void DefinitionFile::OpenFromMemory(std::string content) {
  OpenShared(std::make_shared<const DefinitionLines>(std::move(content)));
}

void DefinitionFile::OpenShared(std::shared_ptr<const DefinitionLines> lines) {
  lines_ = std::move(lines);
  ++generation_;
}

void DefinitionFile::Close() {
  ++generation_;
  lines_.reset();
}

std::optional<std::string> DefinitionFile::Lookup(std::string_view section, std::string_view key) const {
  if (!lines_) return std::nullopt;
  if (auto value = lines_->Find(section, key)) return std::string(*value);
  return std::nullopt;
}

}  // namespace velkan
