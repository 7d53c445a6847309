#include "tools/job_listing.h"

#include <cstdio>

#include "engine/command_table.h"
#include "tables/command_words.h"

namespace velkan {

namespace {

bool IsArgumentWord(uint16_t w) { return IsDigitWord(w) || w == kPointSeparator || w == kCommaSeparator; }

char ArgumentChar(uint16_t w) {
  if (w == kPointSeparator) return '.';
  if (w == kCommaSeparator) return ',';
  return static_cast<char>('0' + (w - kDigitZero));
}

std::string Line(size_t offset, uint16_t word, int indent, const std::string& text) {
  char head[32];
  std::snprintf(head, sizeof head, "%06zx  %04X  ", offset, word);
  return std::string(head) + std::string(static_cast<size_t>(indent) * 2, ' ') + text + "\n";
}

}  // namespace

std::string ListCodeWords(std::string_view bytes, const CharacterNamer& nameOf) {
  const size_t count = bytes.size() / 2;
  auto wordAt = [&](size_t i) {
    return static_cast<uint16_t>(static_cast<unsigned char>(bytes[2 * i]) << 8 | static_cast<unsigned char>(bytes[2 * i + 1]));
  };
  std::string out = "offset  word  meaning\n";
  int indent = 0;
  size_t i = 0;
  while (i < count) {
    uint16_t w = wordAt(i);
    size_t offset = 2 * i;
    ++i;
    if (w == 0x0000 || w == kFillerWord) {
      out += Line(offset, w, indent, "filler");
      continue;
    }
    if (w == kSkipRegion) {
      out += Line(offset, w, indent, "skip-region: the words up to the next D050 are not read");
      while (i < count && wordAt(i) != kSkipRegion) {
        out += Line(2 * i, wordAt(i), indent + 1, "skipped");
        ++i;
      }
      if (i < count) {
        out += Line(2 * i, kSkipRegion, indent, "skip-region end");
        ++i;
      }
      continue;
    }
    if (w == kGroupOpen) {
      out += Line(offset, w, indent, "group {");
      ++indent;
      continue;
    }
    if (w == kGroupClose) {
      if (indent > 0) --indent;
      out += Line(offset, w, indent, "} group-end");
      continue;
    }
    if (IsCommandWord(w)) {
      std::string text;
      std::string_view name = CommandName(static_cast<uint8_t>(w & 0xFF));
      if (name.empty()) {
        char buf[48];
        std::snprintf(buf, sizeof buf, "command %02X (no meaning)", w & 0xFF);
        text = buf;
      } else {
        text = std::string(name);
        if (!InCommandTable(w)) {
          char buf[32];
          std::snprintf(buf, sizeof buf, " (as D0%02X)", w & 0xFF);
          text += buf;
        }
      }
      std::string args;
      while (i < count && IsArgumentWord(wordAt(i))) args.push_back(ArgumentChar(wordAt(i++)));
      if (!args.empty()) text += " " + args;
      out += Line(offset, w, indent, text);
      continue;
    }
    std::string shown = nameOf ? nameOf(w) : std::string();
    out += Line(offset, w, indent, shown.empty() ? "character" : "character " + shown);
  }
  if (bytes.size() % 2 != 0) {
    // Room for the longest offset a size_t gives (16 digits).
    char buf[64];
    std::snprintf(buf, sizeof buf, "%06zx  %02X    odd trailing byte, not read\n", bytes.size() - 1,
                  static_cast<unsigned char>(bytes.back()));
    out += buf;
  }
  return out;
}

}  // namespace velkan
