#include "typo/definition_file.h"

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
    : content_(std::move(content)), lines_(SplitTableLines(content_, kMostDefinitionLine)) {}

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
  // The line "<section>" whole.
  auto isHeader = [section](std::string_view line) {
    return line.size() == section.size() + 2 && line.front() == '<' && line.back() == '>' &&
           line.substr(1, section.size()) == section;
  };
  bool inSection = false;
  for (std::string_view line : lines_->lines()) {
    if (!inSection) {
      inSection = isHeader(line);
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
