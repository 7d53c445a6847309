#include "tables/escape_definitions.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "tables/command_words.h"
#include "tables/table_file.h"

namespace velkan {

namespace {

int HexDigit(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  return 0;  // any other character counts as digit 0
}

// Four characters from `at` read as a hexadecimal word; characters missing at
// the end of `text` count as digit 0.
uint16_t HexWord(std::string_view text, size_t at) {
  unsigned value = 0;
  for (size_t i = at; i < at + 4; ++i) {
    value = value * 16 + static_cast<unsigned>(i < text.size() ? HexDigit(text[i]) : 0);
  }
  return static_cast<uint16_t>(value);
}

void SetName(EscapeName& name, std::string_view value) {
  name.text.fill(0);
  size_t n = std::min(value.size(), kEscapeNameLength);
  std::copy_n(value.data(), n, name.text.data());
  name.length = static_cast<uint8_t>(n);
}

char FirstChar(std::string_view value) { return value.empty() ? '\0' : value[0]; }

// Whether `name` (non-empty) stands at the start of `text`.
bool NameAt(const EscapeName& name, std::string_view text) {
  const size_t length = name.length;
  if (length == 0 || length > text.size()) return false;
  // Names share their lead: most differ from the text by the byte after it,
  // which is compared here rather than through a call.
  if (name.text[0] != text[0] || (length > 1 && name.text[1] != text[1])) return false;
  return std::memcmp(name.text.data(), text.data(), length) == 0;
}

}  // namespace

void ApplyEscapeDefinitionLine(EscapeDefinitions& defs, std::string_view line, size_t& pairIndex,
                               size_t& markerIndex) {
  if (line.empty()) return;
  line = line.substr(0, kEscapeLineLength);
  const char kind = line[0];
  const uint16_t key = HexWord(line, 1);
  std::string_view value = line.size() > 6 ? line.substr(6) : std::string_view();
  value = value.substr(0, value.find_first_of(std::string_view(";\0", 2)));
  value = value.substr(0, kEscapeValueLength);

  switch (kind) {
    case '%':
      defs.locked = FirstChar(value) == '1';
      break;
    case '$':
      if (defs.locked) break;
      if (key == 0x9001) {
        defs.modeLead = FirstChar(value);
      } else if (key <= 0x000A) {
        SetName(defs.modeNames[key], value);
      }
      break;
    case '#':
      if (defs.locked) break;
      if (key == 0x9001 || key == 0x9002) {
        defs.commandLead[key - 0x9001] = FirstChar(value);
      } else if (InCommandTable(key)) {
        SetName(defs.commandNames[key & 0xFF], value);
      }
      break;
    case '&':
      if (pairIndex < kMaxEscapePairs) {
        if (defs.pairs.size() < kMaxEscapePairs) defs.pairs.resize(kMaxEscapePairs);
        defs.pairs[pairIndex] = EscapePair{key, HexWord(value, 0)};
      }
      ++pairIndex;
      break;
    case '@':
      if (key == 0x9001) {
        defs.markerClose = FirstChar(value);
      } else if (key == 0x9002) {
        defs.markerLead = FirstChar(value);
      } else {
        if (markerIndex < kEscapeMarkerCount) {
          EscapeMarker& m = defs.markers[markerIndex];
          m.text.fill(0);
          std::copy_n(value.data(), value.size(), m.text.data());
          m.length = static_cast<uint8_t>(value.size());
          m.code = key;
        }
        ++markerIndex;
      }
      break;
    default:  // "\" lines and every other line have no effect
      break;
  }
}

int16_t ReadEscapeDefinitionFile(EscapeDefinitions& defs, const std::filesystem::path& file, Note* why) {
  std::string bytes;
  int error = 0;
  TableFileStatus status = ReadTableFile(file, bytes, kMaxTableFileBytes, &error);
  if (why) *why = DescribeTableFileStatus(status, error);
  if (status == TableFileStatus::kCannotOpen) return -1;
  size_t pairIndex = 0;
  size_t markerIndex = 0;
  for (std::string_view line : SplitTableLines(bytes, kEscapeLineLength)) {
    ApplyEscapeDefinitionLine(defs, line, pairIndex, markerIndex);
  }
  return status == TableFileStatus::kRead ? 0 : -1;
}

int16_t LoadEscapeDefinitions(EscapeDefinitions& defs, const TablePaths& paths, std::vector<TableFault>* faults) {
  defs = EscapeDefinitions{};
  defs.pairs.assign(kMaxEscapePairs, EscapePair{});
  int16_t result = 0;
  for (const char* name : {"\\qdxfiles\\velkansys.tbl", "\\qdxfiles\\velkanuser.tbl"}) {
    TableFault fault{paths.Fixed(name), ""};
    if (ReadEscapeDefinitionFile(defs, fault.path, &fault.why) == 0) continue;
    result = -1;
    if (faults) faults->push_back(std::move(fault));
  }
  return result;
}

void ReleaseEscapeDefinitions(EscapeDefinitions& defs) { std::vector<EscapePair>().swap(defs.pairs); }

uint16_t LookupEscapePair(const EscapeDefinitions& defs, uint16_t sjis) {
  for (const EscapePair& pair : defs.pairs) {
    if (pair.key == 0) break;
    if (pair.key == sjis) return pair.value;
  }
  return 0;
}

bool IsModeLead(const EscapeDefinitions& defs, char byte) { return byte != 0 && byte == defs.modeLead; }

bool IsCommandLead(const EscapeDefinitions& defs, char byte) {
  return byte != 0 && (byte == defs.commandLead[0] || byte == defs.commandLead[1]);
}

bool IsMarkerLead(const EscapeDefinitions& defs, char byte) { return byte != 0 && byte == defs.markerLead; }

EscapeMatch MatchModeName(const EscapeDefinitions& defs, std::string_view text) {
  for (size_t k = 0; k < defs.modeNames.size(); ++k) {
    const EscapeName& name = defs.modeNames[k];
    if (!NameAt(name, text)) continue;
    if (k == 0) return {};  // key 0 reads as "no mode"
    return {static_cast<uint16_t>(k), name.length};
  }
  return {};
}

EscapeMatch MatchCommandName(const EscapeDefinitions& defs, std::string_view text) {
  for (size_t low = 0; low < defs.commandNames.size(); ++low) {
    const EscapeName& name = defs.commandNames[low];
    if (NameAt(name, text)) return {CommandWordOf(static_cast<uint8_t>(low)), name.length};
  }
  return {};
}

namespace {

// The first (at most) kEscapeNameLength bytes of `text` in one word, zero
// padded; memcpy keeps the bytes in the order the names' words hold them.
uint64_t LoadNameWord(std::string_view text) {
  uint64_t word = 0;
  static_assert(sizeof word == kEscapeNameLength);
  std::memcpy(&word, text.data(), std::min(text.size(), sizeof word));
  return word;
}

}  // namespace

CommandNameIndex IndexCommandNames(const EscapeDefinitions& defs) {
  CommandNameIndex index;
  std::array<uint16_t, 256> count{};
  size_t shortNames = 0;
  for (const EscapeName& name : defs.commandNames) {
    if (name.length == 1) ++shortNames;
    else if (name.length > 1) ++count[static_cast<uint8_t>(name.text[1])];
  }
  size_t at = 0;
  for (size_t b = 0; b < 256; ++b) {
    index.starts[b] = static_cast<uint16_t>(at);
    at += count[b] + shortNames;
  }
  index.starts[256] = static_cast<uint16_t>(at);
  index.names.resize(at);
  // Filled in the order of the low bytes, so each byte's names ascend.
  std::array<uint16_t, 256> next;
  std::copy(index.starts.begin(), index.starts.end() - 1, next.begin());
  for (size_t low = 0; low < defs.commandNames.size(); ++low) {
    const EscapeName& name = defs.commandNames[low];
    if (name.length == 0) continue;
    std::array<char, kEscapeNameLength> ones{};
    std::fill_n(ones.data(), name.length, '\xFF');
    const IndexedCommandName entry{LoadNameWord(std::string_view(name.text.data(), name.length)),
                                   LoadNameWord(std::string_view(ones.data(), ones.size())),
                                   CommandWordOf(static_cast<uint8_t>(low)), name.length};
    if (name.length == 1) {
      for (size_t b = 0; b < 256; ++b) index.names[next[b]++] = entry;
    } else {
      index.names[next[static_cast<uint8_t>(name.text[1])]++] = entry;
    }
  }
  return index;
}

EscapeMatch MatchCommandName(const EscapeDefinitions& defs, const CommandNameIndex& index, std::string_view text) {
  // A text of one byte can match a name of one byte only.
  if (text.size() < 2) return MatchCommandName(defs, text);
  const uint8_t second = static_cast<uint8_t>(text[1]);
  const uint64_t word = LoadNameWord(text);
  const IndexedCommandName* const end = index.names.data() + index.starts[second + 1];
  for (const IndexedCommandName* n = index.names.data() + index.starts[second]; n != end; ++n) {
    if ((word & n->mask) == n->bytes && n->length <= text.size()) return {n->code, n->length};
  }
  return {};
}

MarkerMatch MatchMarker(const EscapeDefinitions& defs, std::string_view text) {
  if (text.empty() || !IsMarkerLead(defs, text[0]) || defs.markerClose == 0) return {};
  std::string_view window = text.substr(0, kEscapeValueLength);
  size_t close = window.find(defs.markerClose, 2);
  if (close == std::string_view::npos) return {};
  std::array<char, kMarkerCompareLength> cut{};
  std::copy_n(window.data(), std::min(close + 1, cut.size()), cut.data());
  for (size_t n = 0; n < defs.markers.size(); ++n) {
    const EscapeMarker& m = defs.markers[n];
    if (m.length == 0 || std::memcmp(m.text.data(), cut.data(), cut.size()) != 0) continue;
    size_t length = close + 1 + (n == 0 ? 5 : 0);
    return {static_cast<int>(n), m.code, std::min(length, text.size())};
  }
  return {};
}

}  // namespace velkan
