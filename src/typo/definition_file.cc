#include "typo/definition_file.h"

#include "tables/table_file.h"

namespace velkan {

namespace {
constexpr size_t kMaxLine = 259;
}  // namespace

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

void DefinitionFile::OpenFromMemory(std::string content) {
  content_ = std::move(content);
  open_ = true;
  ++generation_;
  SplitLines();
}

void DefinitionFile::Close() {
  open_ = false;
  ++generation_;
  content_.clear();
  lines_.clear();
}

// A line of the file longer than the line buffer is read as several lines.
void DefinitionFile::SplitLines() { lines_ = SplitTableLines(content_, kMaxLine); }

std::optional<std::string> DefinitionFile::Lookup(std::string_view section, std::string_view key) const {
  if (!open_) return std::nullopt;
  std::string header;
  header.reserve(section.size() + 2);
  header += '<';
  header += section;
  header += '>';
  bool inSection = false;
  for (std::string_view line : lines_) {
    if (!inSection) {
      inSection = line == header;
      continue;
    }
    if (!line.empty() && line[0] == '<') return std::nullopt;
    size_t eq = line.find('=');
    if (eq != std::string_view::npos && line.substr(0, eq) == key) {
      return std::string(line.substr(eq + 1));
    }
  }
  return std::nullopt;
}

}  // namespace velkan
