#include "tools/job_listing.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/command_table.h"
#include "io/byte_order.h"
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

// The offset a line of a listing begins with; -1 for the header.
long long LineOffset(std::string_view line) {
  long long offset = 0;
  size_t i = 0;
  for (; i < line.size() && i < 15 && std::isxdigit(static_cast<unsigned char>(line[i])); ++i) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(line[i])));
    offset = offset * 16 + (c <= '9' ? c - '0' : c - 'a' + 10);
  }
  return i == 0 ? -1 : offset;
}

// The lines of a listing, each with its line end.
std::vector<std::string_view> Lines(std::string_view listing) {
  std::vector<std::string_view> lines;
  while (!listing.empty()) {
    size_t end = listing.find('\n');
    end = end == std::string_view::npos ? listing.size() : end + 1;
    lines.push_back(listing.substr(0, end));
    listing.remove_prefix(end);
  }
  return lines;
}

}  // namespace

std::string ListingAround(std::string_view listing, long long offset, int context) {
  std::vector<std::string_view> lines = Lines(listing);
  // The last line that begins at or before the offset holds it.
  size_t at = lines.size();
  for (size_t i = 0; i < lines.size(); ++i) {
    long long begins = LineOffset(lines[i]);
    if (begins >= 0 && begins <= offset) at = i;
  }
  if (at == lines.size()) return {};
  const size_t from = at > static_cast<size_t>(context) + 1 ? at - static_cast<size_t>(context) : 1;
  const size_t to = std::min(lines.size(), at + static_cast<size_t>(context) + 1);
  std::string out = "  " + std::string(lines[0]);
  for (size_t i = from; i < to; ++i) out += (i == at ? "> " : "  ") + std::string(lines[i]);
  return out;
}

std::string WithLineNumbers(std::string_view listing, const char* heading,
                            const std::function<long long(long long offset)>& lineOf) {
  // The column goes behind the offset and the word, which lead every line.
  constexpr size_t kLead = 14;  // "000000  D003  "
  std::string out;
  for (std::string_view line : Lines(listing)) {
    const long long offset = LineOffset(line);
    char column[32];
    if (offset < 0) {
      std::snprintf(column, sizeof column, "%s  ", heading);
    } else {
      std::snprintf(column, sizeof column, "%*lld  ", static_cast<int>(std::strlen(heading)), lineOf(offset));
    }
    const size_t lead = std::min(kLead, line.size());
    out.append(line.substr(0, lead));
    out += column;
    out.append(line.substr(lead));
  }
  return out;
}

std::string ListCodeWords(std::string_view bytes, const CharacterNamer& nameOf) {
  const size_t count = bytes.size() / 2;
  auto wordAt = [&](size_t i) { return LoadBigEndian16(bytes.data() + 2 * i); };
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
