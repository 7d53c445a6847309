#include "typo/definition_file.h"

#include <fstream>
#include <iterator>

namespace velkan {

namespace {
constexpr size_t kMaxLine = 259;
}  // namespace

bool DefinitionFile::Open(const std::string& path) {
  Close();
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return false;
  OpenFromMemory(std::move(content));
  return true;
}

void DefinitionFile::OpenFromMemory(std::string content) {
  content_ = std::move(content);
  open_ = true;
  SplitLines();
}

void DefinitionFile::Close() {
  open_ = false;
  content_.clear();
  lines_.clear();
}

void DefinitionFile::SplitLines() {
  lines_.clear();
  std::string_view rest(content_);
  while (!rest.empty()) {
    size_t lf = rest.find('\n');
    std::string_view line = rest.substr(0, lf);
    rest = lf == std::string_view::npos ? std::string_view() : rest.substr(lf + 1);
    if (!line.empty() && line.back() == '\r' && lf != std::string_view::npos) line.remove_suffix(1);
    // A line of the file longer than the line buffer is read as several lines.
    do {
      lines_.push_back(line.substr(0, kMaxLine));
      line = line.size() > kMaxLine ? line.substr(kMaxLine) : std::string_view();
    } while (!line.empty());
  }
}

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
