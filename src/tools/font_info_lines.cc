#include "tools/font_info_lines.h"

#include <cstdio>

#include "io/message_mark.h"
#include "tables/table_file.h"
#include "tools/shift_jis_text.h"

namespace velkan {

namespace {

constexpr size_t kAlsoColumn = 110;
constexpr size_t kBlankColumn = 113;
constexpr size_t kOverlayColumn = 125;
constexpr size_t kNameColumn = 7;
constexpr size_t kLineLength = 127;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Reads a number as C's "%<width>d" does from `pos`: blanks skipped (not
// counted), then a sign and digits, at most `width` characters. Moves `pos`
// past what was read; nullopt when no digit came.
std::optional<int> ScanNumber(std::string_view s, size_t& pos, size_t width) {
  size_t p = pos;
  while (p < s.size() && IsSpace(s[p])) ++p;
  size_t start = p;
  bool negative = false;
  if (p < s.size() && (s[p] == '-' || s[p] == '+') && width > 1) {
    negative = s[p] == '-';
    ++p;
  }
  long v = 0;
  size_t digits = 0;
  while (p < s.size() && p - start < width && s[p] >= '0' && s[p] <= '9') {
    v = v * 10 + (s[p] - '0');
    ++p;
    ++digits;
  }
  if (digits == 0) return std::nullopt;
  pos = p;
  return static_cast<int>(negative ? -v : v);
}

std::string Field3(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%3d", v);
  return buf;
}

// Left-aligned, so that the column itself holds a digit: the converter reads
// the further font only when its first column is no blank.
std::string LeftField3(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%-3d", v);
  return buf;
}

}  // namespace

std::optional<FontInfoLine> ReadFontInfoLine(std::string_view line, std::string* why) {
  auto no = [why](const char* reason) -> std::optional<FontInfoLine> {
    if (why) *why = reason;
    return std::nullopt;
  };
  if (line.empty()) return no("empty");
  if (line[0] > '9') return no("begins with a character above \"9\"");
  if (line.size() <= kBlankColumn || line[kBlankColumn] != ' ') return no("column 113 is no blank");
  FontInfoLine f;
  size_t pos = 0;
  auto group = ScanNumber(line, pos, 3);
  auto font = group ? ScanNumber(line, pos, 3) : std::nullopt;
  if (!group || !font) return no("no group and font number at its start");
  f.group = *group;
  f.font = *font;
  if ((f.font >= 1 && f.font <= 39) || (f.font >= 301 && f.font <= 400)) {
    f.pairedFont = true;
    if (f.font % 2 == 0) f.font -= 1;
  }
  if (line[kAlsoColumn] != ' ') {
    size_t p = kAlsoColumn;
    if (auto also = ScanNumber(line, p, 3)) f.alsoFont = *also;
  }
  if (f.group < 1000) {
    f.setsOverlay = true;
    if (line.size() > kOverlayColumn && line[kOverlayColumn] != ' ') {
      size_t p = kOverlayColumn;
      f.overlay = ScanNumber(line, p, 2).value_or(0);
    }
  }
  return f;
}

std::vector<std::string_view> FontInfoFileLines(std::string_view bytes) { return SplitTableLines(bytes, 255); }

bool RenderFontDirective(std::string_view directive, std::string& line, Note& error) {
  // Tokens up to "name"; the name is the rest of the directive.
  std::vector<std::string_view> t;
  std::string_view name;
  bool haveName = false;
  size_t i = 0;
  while (i < directive.size()) {
    while (i < directive.size() && (directive[i] == ' ' || directive[i] == '\t')) ++i;
    size_t j = i;
    while (j < directive.size() && directive[j] != ' ' && directive[j] != '\t') ++j;
    if (j == i) break;
    std::string_view tok = directive.substr(i, j - i);
    if (tok == "name") {
      size_t k = j;
      while (k < directive.size() && (directive[k] == ' ' || directive[k] == '\t')) ++k;
      name = directive.substr(k);
      while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
      haveName = true;
      break;
    }
    t.push_back(tok);
    i = j;
  }
  auto number = [](std::string_view s, int lo, int hi) -> std::optional<int> {
    if (s.empty() || s.size() > 3) return std::nullopt;
    int v = 0;
    for (char c : s) {
      if (c < '0' || c > '9') return std::nullopt;
      v = v * 10 + (c - '0');
    }
    if (v < lo || v > hi) return std::nullopt;
    return v;
  };
  // TRANSLATORS: the way a line is written, then the ranges of its numbers.
  const Note usage(N_("expected: %s (%s)"),
                   {std::string("font G F [also E] [overlay N] [name TEXT]"), Note(N_("G, F, E 0-999, N 0-99"))});
  if (t.size() < 3 || t[0] != "font") {
    error = usage;
    return false;
  }
  auto group = number(t[1], 0, 999), font = number(t[2], 0, 999);
  if (!group || !font) {
    error = usage;
    return false;
  }
  std::optional<int> also, overlay;
  for (size_t k = 3; k < t.size(); k += 2) {
    if (k + 1 >= t.size()) {
      error = usage;
      return false;
    }
    if (t[k] == "also" && !also) also = number(t[k + 1], 0, 999);
    else if (t[k] == "overlay" && !overlay) overlay = number(t[k + 1], 0, 99);
    else {
      error = usage;
      return false;
    }
    if ((t[k] == "also" && !also) || (t[k] == "overlay" && !overlay)) {
      error = usage;
      return false;
    }
  }
  if (*group < 100 && *font >= 100) {
    // "%3d%3d" would read the digits of both as one run: "  4301" is group
    // 430 and font 1.
    error = Note(N_("group %s and font %s would run together at the start of the line; give the group three digits "
                    "(100 or more)"),
                 {std::to_string(*group), std::to_string(*font)});
    return false;
  }
  line = Field3(*group) + Field3(*font);
  if (haveName && !name.empty()) {
    std::string sjis;
    if (!Utf8ToShiftJis(name, sjis)) {
      error = Note(N_("the name has a character without a Shift_JIS form"));
      return false;
    }
    if (kNameColumn + sjis.size() > kAlsoColumn) {
      error = Note(N_("the name is longer than %s bytes"), {std::to_string(kAlsoColumn - kNameColumn)});
      return false;
    }
    line += " " + sjis;
  }
  line.resize(kAlsoColumn, ' ');
  line += also ? LeftField3(*also) : "   ";
  line.resize(kOverlayColumn, ' ');
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", overlay.value_or(0));
  line += buf;
  return true;
}

std::optional<std::string> FontLineDirective(std::string_view line) {
  if (line.size() != kLineLength) return std::nullopt;
  auto digits = [&](size_t from, size_t n) -> std::optional<int> {
    int v = 0;
    bool seen = false;
    for (size_t k = from; k < from + n; ++k) {
      char c = line[k];
      if (c == ' ' && !seen) continue;
      if (c < '0' || c > '9') return std::nullopt;
      v = v * 10 + (c - '0');
      seen = true;
    }
    if (!seen) return std::nullopt;
    return v;
  };
  auto group = digits(0, 3), font = digits(3, 3), overlay = digits(kOverlayColumn, 2);
  if (!group || !font || !overlay) return std::nullopt;
  std::string d = "font " + std::to_string(*group) + " " + std::to_string(*font);
  if (line.substr(kAlsoColumn, 3) != "   ") {
    int also = 0;
    size_t k = kAlsoColumn;
    for (; k < kAlsoColumn + 3 && line[k] >= '0' && line[k] <= '9'; ++k) also = also * 10 + (line[k] - '0');
    if (k == kAlsoColumn) return std::nullopt;  // the final comparison rejects any other layout
    d += " also " + std::to_string(also);
  }
  d += " overlay " + std::to_string(*overlay);
  std::string_view name = line.substr(kNameColumn - 1, kAlsoColumn - kNameColumn + 1);
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  if (!name.empty()) {
    std::string utf8;
    if (name[0] != ' ' || name.size() < 2 || name[1] == ' ' || !RoundTripsThroughUtf8(name.substr(1)) ||
        !ShiftJisToUtf8(name.substr(1), utf8)) {
      return std::nullopt;
    }
    for (unsigned char c : utf8) {
      if (c < 0x20 || c == '#' || c == 0x7F) return std::nullopt;
    }
    d += " name " + utf8;
  }
  // Only a line the directive lays out exactly the same way.
  std::string again;
  Note error;
  if (!RenderFontDirective(d, again, error) || again != line) return std::nullopt;
  return d;
}

std::string DescribeFontLine(std::string_view line) {
  std::string why;
  auto f = ReadFontInfoLine(line, &why);
  if (!f) return "not used: " + why;
  std::string d = "group " + std::to_string(f->group) + ": font " + std::to_string(f->font);
  if (f->pairedFont) d += " and " + std::to_string(f->font + 1);
  if (f->alsoFont >= 0) d += ", also font " + std::to_string(f->alsoFont);
  if (f->setsOverlay) d += "; overlay " + std::to_string(f->overlay);
  return d;
}

}  // namespace velkan
