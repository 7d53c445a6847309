#include "tools/table_checks.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "frontend/messages.h"
#include "tables/command_words.h"
#include "tables/escape_definitions.h"
#include "tables/replacement_table.h"
#include "tables/table_file.h"
#include "tools/font_info_lines.h"

namespace velkan {

namespace {

uint16_t WordAt(std::string_view b, size_t i) {
  return static_cast<uint16_t>(static_cast<unsigned char>(b[i]) | static_cast<unsigned char>(b[i + 1]) << 8);
}

std::string Hex4(unsigned v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04X", v & 0xFFFF);
  return buf;
}

std::string BaseName(std::string_view path) {
  size_t slash = path.find_last_of("/\\");
  std::string name(slash == std::string_view::npos ? path : path.substr(slash + 1));
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

// Pairs a text job reads from a Shift-JIS pair table (its block capacity in
// words, halved).
size_t PairCapacity(const std::string& name) {
  if (name == "SJIS_ROM.TBL" || name == "SJIS_ITA.TBL" || name == "SJIS_RUB.TBL") return 512;
  if (name == "SJIS_HNW.TBL" || name == "SJ_KKA_0.TBL" || name == "SJ_KMA_0.TBL") return 256;
  return 128;
}

struct Findings {
  std::vector<TableFinding> list;
  void Malformed(std::string text) { list.push_back({FindingLevel::kMalformed, std::move(text)}); }
  void Note(std::string text) { list.push_back({FindingLevel::kNote, std::move(text)}); }
};

// The finding for lines the reader takes in pieces.
std::string LongLines(size_t n) {
  return FillPlaces(_("%s line(s) are longer than 79 characters and are read in pieces"), {std::to_string(n)});
}

// The records of a word format after `start`, and a finding for a cut record.
size_t CountRecords(Findings& f, std::string_view bytes, size_t start, size_t recordBytes) {
  if (bytes.size() < start) return 0;
  size_t rest = (bytes.size() - start) % recordBytes;
  if (rest != 0) {
    f.Malformed(FillPlaces(_("%s byte(s) after the last whole record are not read"), {std::to_string(rest)}));
  }
  return (bytes.size() - start) / recordBytes;
}

void CheckPairs(Findings& f, TableFormat format, std::string_view bytes, const std::string& name) {
  bool header = format != TableFormat::kZan;
  if (header && bytes.size() < 2) {
    f.Malformed(_("no whole header word: loading the code tables stops at this file"));
    return;
  }
  size_t start = header ? 2 : 0;
  size_t records = CountRecords(f, bytes, start, 4);
  if (records == 0) {
    f.Malformed(format == TableFormat::kZan ? _("no records: no character of a text job is known")
                                            : _("no records: a text job stops loading its tables at this file"));
  }
  if (format == TableFormat::kPairs && !name.empty()) {
    size_t capacity = PairCapacity(name);
    if (records > capacity) {
      f.Malformed(FillPlaces(_("text jobs read only the first %s of its %s records"),
                             {std::to_string(capacity), std::to_string(records)}));
    }
  }
  if (format == TableFormat::kHalfWidth) {
    size_t noByte = 0, outside = 0;
    for (size_t i = 0; i < records; ++i) {
      uint16_t sjis = WordAt(bytes, start + 4 * i), word = WordAt(bytes, start + 4 * i + 2);
      if (word > 0xFF) ++noByte;
      if (sjis < 0x8000 || sjis > 0x8FFF) ++outside;
    }
    if (noByte) f.Note(FillPlaces(_("%s record(s) give no single byte (code word above 00FF)"), {std::to_string(noByte)}));
    if (outside) {
      f.Note(FillPlaces(_("%s record(s) name a full-width code outside 8000-8FFF, which conversion jobs ignore"),
                        {std::to_string(outside)}));
    }
  }
  if (format == TableFormat::kZan) {
    size_t commands = 0, modes = 0;
    for (size_t i = 0; i < records; ++i) {
      uint16_t word = WordAt(bytes, 4 * i + 2);
      if (InCommandTable(word)) ++commands;
      if (word >= 0x1000 && word <= 0x1010) ++modes;
    }
    f.Note(FillPlaces(_("%s command character(s), %s mode character(s)"),
                      {std::to_string(commands), std::to_string(modes)}));
  }
}

void CheckCodes(Findings& f, TableFormat format, std::string_view bytes, const std::string& name) {
  size_t records = CountRecords(f, bytes, 0, 4);
  size_t nowhere = 0, unused = 0, live = 0;
  for (size_t i = 0; i < records; ++i) {
    uint16_t key = WordAt(bytes, 4 * i);
    if (key == 0) continue;  // skipped by the loader
    ++live;
    unsigned table = key >> 12, index = key & 0xFFF;
    if (format == TableFormat::kCodes && !(table <= 1 || (table >= 8 && table <= 12))) ++nowhere;
    if (format == TableFormat::kRoman && (index < 0x300 || index > 0x37F)) ++unused;
  }
  if (nowhere) {
    f.Malformed(FillPlaces(_("%s record(s) address no code table (key above 1FFF and below 8000, or above CFFF)"),
                           {std::to_string(nowhere)}));
  }
  if (unused) {
    f.Note(FillPlaces(_("%s record(s) lie outside the indexes 300-37F, which roman fonts never read"),
                      {std::to_string(unused)}));
  }
  bool overlay = name.size() == 10 && name != "CONV00.TBL";
  if (format == TableFormat::kCodes && overlay && live > 4032) {
    f.Malformed(FillPlaces(_("an overlay changes at most 4032 entries; %s record(s) are not applied"),
                           {std::to_string(live - 4032)}));
  }
}

void CheckPiCodes(Findings& f, std::string_view bytes) {
  size_t records = CountRecords(f, bytes, 0, 6);
  size_t beyond = 0, unused = 0;
  for (size_t i = 0; i < records; ++i) {
    uint16_t n = WordAt(bytes, 6 * i);
    if (n >= 2048) ++beyond;
    else if (n >= 1000) ++unused;
  }
  if (beyond) {
    f.Malformed(FillPlaces(_("%s record(s) have a pi number of 2048 or over and are skipped"), {std::to_string(beyond)}));
  }
  if (unused) {
    f.Note(FillPlaces(_("%s record(s) have a pi number of 1000-2047, which no pi command reaches"),
                      {std::to_string(unused)}));
  }
}

void CheckRuby(Findings& f, std::string_view bytes) {
  if (bytes.size() > 8192) {
    f.Malformed(_("only the first 8192 bytes (2048 pairs) are read"));
    bytes = bytes.substr(0, 8192);
  }
  size_t records = CountRecords(f, bytes, 0, 4);
  size_t used = 0;
  bool sorted = true, zeroInside = false;
  uint16_t last = 0;
  for (size_t i = 0; i < records; ++i) {
    uint16_t key = WordAt(bytes, 4 * i);
    if (key == 0) {
      for (size_t k = i + 1; k < records; ++k) zeroInside = zeroInside || WordAt(bytes, 4 * k) != 0;
      break;
    }
    if (used > 0 && key <= last) sorted = false;
    last = key;
    ++used;
  }
  if (!sorted) f.Malformed(_("the codes are not in ascending order: the search can miss some"));
  if (zeroInside) f.Malformed(_("a zero pair stands before other pairs: the search can miss those behind it"));
  if (used > 1034) {
    f.Malformed(FillPlaces(_("the search reaches only the first 1034 of its %s pairs"), {std::to_string(used)}));
  }
}

void CheckFontInfo(Findings& f, std::string_view bytes) {
  std::vector<std::string_view> lines = FontInfoFileLines(bytes);
  if (lines.empty()) {
    f.Malformed(_("empty: the font tables report it broken, no font has a group"));
    return;
  }
  size_t used = 0;
  for (size_t i = 1; i < lines.size(); ++i) used += ReadFontInfoLine(lines[i]).has_value();
  if (used == 0) f.Note(_("no font line is used: every font is in group 0"));
}

void CheckPitch(Findings& f, std::string_view bytes) {
  if (bytes.size() < 1024) {
    f.Malformed(_("the header is shorter than 1024 bytes: no font has widths"));
    return;
  }
  for (size_t font = 0; font + 2 < 1024; ++font) {
    int8_t block = static_cast<int8_t>(bytes[font + 2]);
    if (block <= 0) continue;
    size_t end = (static_cast<size_t>(block) + 4) * 256;
    if (end > bytes.size()) {
      f.Malformed(FillPlaces(_("font index %s: block %s lies beyond the end of the file"),
                             {std::to_string(font), std::to_string(block)}));
    }
  }
}

void CheckPiWidths(Findings& f, std::string_view bytes) {
  if (bytes.size() < 1000) {
    f.Note(FillPlaces(_("pi characters %s-999 have the width 0"), {std::to_string(bytes.size())}));
  } else if (bytes.size() > 1000) {
    f.Note(FillPlaces(_("%s byte(s) after the first 1000 are not read"), {std::to_string(bytes.size() - 1000)}));
  }
}

void CheckEscapes(Findings& f, std::string_view bytes) {
  size_t pairs = 0, markers = 0, longLines = 0;
  std::vector<std::string_view> lines = SplitTableLines(bytes, kEscapeLineLength);
  // Lines longer than the reader's buffer come in pieces.
  for (std::string_view line : SplitTableLines(bytes, 1u << 30)) longLines += line.size() > kEscapeLineLength;
  for (std::string_view line : lines) {
    if (line.empty()) continue;
    std::string_view value = line.size() > 6 ? line.substr(6) : std::string_view();
    value = value.substr(0, value.find_first_of(std::string_view(";\0", 2)));
    unsigned key = 0;
    for (size_t i = 1; i <= 4; ++i) {
      char c = i < line.size() ? line[i] : '0';
      int d = std::isxdigit(static_cast<unsigned char>(c)) ? (std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::toupper(c) - 'A' + 10)) : 0;
      key = key * 16 + static_cast<unsigned>(d);
    }
    switch (line[0]) {
      case '&':
        ++pairs;
        break;
      case '@':
        if (key != 0x9001 && key != 0x9002) ++markers;
        break;
      case '$':
      case '#':
        if (key != 0x9001 && key != 0x9002 && value.size() > kEscapeNameLength) {
          f.Malformed(FillPlaces(_("the name \"%s\" (%s) is cut to %s characters"),
                                 {std::string(value), Hex4(key), std::to_string(kEscapeNameLength)}));
        }
        break;
      default:
        break;
    }
  }
  if (longLines) f.Malformed(LongLines(longLines));
  if (pairs > kMaxEscapePairs) {
    f.Malformed(FillPlaces(_("only the first 1024 of its %s code pairs are kept"), {std::to_string(pairs)}));
  }
  if (markers > kEscapeMarkerCount) {
    f.Malformed(FillPlaces(_("only the first 3 of its %s markers are kept"), {std::to_string(markers)}));
  }
}

void CheckReplacements(Findings& f, std::string_view bytes) {
  size_t entries = 0, ignored = 0, longLines = 0;
  for (std::string_view line : SplitTableLines(bytes, 1u << 30)) longLines += line.size() > kReplacementLineLength;
  for (std::string_view line : SplitTableLines(bytes, kReplacementLineLength)) {
    ReplacementTable one;
    if (!one.AddLine(line)) {
      ignored += !line.empty();
      continue;
    }
    ++entries;
    size_t eq = line.find('=');
    if (eq > kMaxReplacementKey) {
      f.Malformed(FillPlaces(_("the key \"%s\" is cut to 20 bytes"), {std::string(line.substr(0, eq))}));
    }
    size_t digits = 0;
    for (size_t i = eq + 1; i < line.size() && i <= eq + kReplacementScanLength; ++i) {
      if (line[i] == ',') continue;
      if (!std::isxdigit(static_cast<unsigned char>(line[i]))) break;
      ++digits;
    }
    if (digits / 4 > kMaxReplacementWords) {
      f.Malformed(FillPlaces(_("the entry for \"%s\" keeps only 10 of its %s words"),
                             {std::string(line.substr(0, eq)), std::to_string(digits / 4)}));
    }
  }
  if (longLines) f.Malformed(LongLines(longLines));
  if (entries > kMaxReplacementEntries) {
    f.Malformed(FillPlaces(_("only the first 256 of its %s entries are kept"), {std::to_string(entries)}));
  }
  if (ignored) f.Note(FillPlaces(_("%s line(s) define no entry and are ignored"), {std::to_string(ignored)}));
}

}  // namespace

std::vector<TableFinding> CheckTableBytes(TableFormat format, std::string_view bytes, std::string_view fileName) {
  Findings f;
  std::string name = BaseName(fileName);
  switch (format) {
    case TableFormat::kPairs:
    case TableFormat::kZan:
    case TableFormat::kHalfWidth:
      CheckPairs(f, format, bytes, name);
      break;
    case TableFormat::kCodes:
    case TableFormat::kRoman:
      CheckCodes(f, format, bytes, name);
      break;
    case TableFormat::kPiCodes:
      CheckPiCodes(f, bytes);
      break;
    case TableFormat::kRuby:
      CheckRuby(f, bytes);
      break;
    case TableFormat::kFontInfo:
      CheckFontInfo(f, bytes);
      break;
    case TableFormat::kPitch:
      CheckPitch(f, bytes);
      break;
    case TableFormat::kPiWidths:
      CheckPiWidths(f, bytes);
      break;
    case TableFormat::kEscapes:
      CheckEscapes(f, bytes);
      break;
    case TableFormat::kReplacements:
      CheckReplacements(f, bytes);
      break;
    case TableFormat::kText:
      break;
  }
  return f.list;
}

std::string SummariseTable(TableFormat format, std::string_view bytes) {
  auto count = [](const char* form, size_t n) { return FillPlaces(form, {std::to_string(n)}); };
  auto records = [&count](size_t n) { return count(P_("%s record", "%s records", n), n); };
  switch (format) {
    case TableFormat::kPairs:
    case TableFormat::kHalfWidth:
      return records(bytes.size() < 2 ? 0 : (bytes.size() - 2) / 4);
    case TableFormat::kZan:
    case TableFormat::kCodes:
    case TableFormat::kRoman:
    case TableFormat::kRuby:
      return records(bytes.size() / 4);
    case TableFormat::kPiCodes:
      return records(bytes.size() / 6);
    case TableFormat::kPitch: {
      size_t fonts = 0;
      for (size_t i = 2; i < std::min<size_t>(bytes.size(), 1024); ++i) fonts += static_cast<int8_t>(bytes[i]) > 0;
      size_t blocks = bytes.size() > 1024 ? (bytes.size() - 1024) / 256 : 0;
      // TRANSLATORS: "3 fonts with widths, 5 blocks" of a pitch file.
      return FillPlaces(_("%s with widths, %s"), {count(P_("%s font", "%s fonts", fonts), fonts),
                                                  count(P_("%s block", "%s blocks", blocks), blocks)});
    }
    case TableFormat::kPiWidths:
      return count(P_("%s byte", "%s bytes", bytes.size()), bytes.size());
    case TableFormat::kFontInfo: {
      std::vector<std::string_view> lines = FontInfoFileLines(bytes);
      size_t used = 0;
      for (size_t i = 1; i < lines.size(); ++i) used += ReadFontInfoLine(lines[i]).has_value();
      return count(P_("%s font line", "%s font lines", used), used);
    }
    case TableFormat::kEscapes:
    case TableFormat::kReplacements:
    case TableFormat::kText: {
      const size_t lines = SplitTableLines(bytes, 1u << 30).size();
      return count(P_("%s line", "%s lines", lines), lines);
    }
  }
  return {};
}

std::vector<int> OverlaysNamedByFontInfo(std::string_view bytes) {
  std::vector<int> overlayOfGroup(1000, 0);
  std::vector<std::string_view> lines = FontInfoFileLines(bytes);
  for (size_t i = 1; i < lines.size(); ++i) {
    auto f = ReadFontInfoLine(lines[i]);
    if (f && f->setsOverlay && f->group >= 0) overlayOfGroup[static_cast<size_t>(f->group)] = f->overlay;
  }
  std::set<int> named;
  for (int n : overlayOfGroup) {
    if (n >= 1 && n <= 99) named.insert(n);
  }
  return {named.begin(), named.end()};
}

}  // namespace velkan
