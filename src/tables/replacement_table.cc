#include "tables/replacement_table.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "tables/table_file.h"

namespace velkan {

namespace {

int HexValue(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  return -1;
}

}  // namespace

void ReplacementTable::Clear() {
  entries_.clear();
  for (auto& list : byFirstByte_) list.clear();
}

bool ReplacementTable::AddLine(std::string_view line) {
  if (entries_.size() >= kMaxReplacementEntries) return false;
  line = line.substr(0, kReplacementLineLength);
  size_t eq = line.find('=');
  if (eq == std::string_view::npos || eq == 0) return false;

  ReplacementEntry entry;
  std::string_view key = line.substr(0, std::min(eq, kMaxReplacementKey));
  std::copy(key.begin(), key.end(), entry.key.begin());
  entry.keyLength = static_cast<uint8_t>(key.size());

  std::string_view rest = line.substr(eq + 1, kReplacementScanLength);
  unsigned word = 0;
  int digits = 0;
  for (char ch : rest) {
    if (ch == ',') continue;
    int v = HexValue(ch);
    if (v < 0) break;
    word = word * 16 + static_cast<unsigned>(v);
    if (++digits < 4) continue;
    entry.words[2u * entry.wordCount] = static_cast<char>(word >> 8);
    entry.words[2u * entry.wordCount + 1] = static_cast<char>(word & 0xFF);
    word = 0;
    digits = 0;
    if (++entry.wordCount == kMaxReplacementWords) break;
  }
  if (entry.wordCount == 0) return false;

  byFirstByte_[static_cast<unsigned char>(entry.key[0])].push_back(static_cast<uint16_t>(entries_.size()));
  entries_.push_back(entry);
  return true;
}

const ReplacementEntry* ReplacementTable::Match(std::string_view text) const {
  if (text.empty()) return nullptr;
  for (uint16_t i : byFirstByte_[static_cast<unsigned char>(text[0])]) {
    const ReplacementEntry& e = entries_[i];
    if (e.keyLength <= text.size() && std::memcmp(e.key.data(), text.data(), e.keyLength) == 0) return &e;
  }
  return nullptr;
}

int16_t LoadReplacementTable(ReplacementTable& table, const TablePaths& paths, TableFault* fault) {
  table.Clear();
  std::string bytes;
  std::filesystem::path path = paths.Fixed("\\qdxfiles\\nmcnv.tbl");
  int error = 0;
  TableFileStatus status = ReadTableFile(path, bytes, kMaxTableFileBytes, &error);
  if (status != TableFileStatus::kRead && fault) *fault = {path, DescribeTableFileStatus(status, error)};
  if (status == TableFileStatus::kCannotOpen) return -1;
  for (std::string_view line : SplitTableLines(bytes, kReplacementLineLength)) {
    if (table.size() >= kMaxReplacementEntries) break;
    table.AddLine(line);
  }
  return status == TableFileStatus::kRead ? 0 : -1;
}

}  // namespace velkan
