#include "tools/table_formats.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <map>
#include <memory>

#include "engine/command_table.h"
#include "io/message_mark.h"
#include "io/note.h"
#include "tables/code_tables.h"
#include "tables/command_words.h"
#include "tables/replacement_table.h"
#include "tools/font_info_lines.h"
#include "tools/shift_jis_text.h"

namespace velkan {

namespace {

constexpr TableFormatInfo kFormats[] = {
    {TableFormat::kPairs, "pairs", "Shift-JIS code to code word, after a header word (SJIS_HNW.TBL, SJ_KMA_1.TBL, ...)"},
    {TableFormat::kZan, "zan", "Shift-JIS code to source code, command or mode word, no header (SJIS_ZAN.TBL)"},
    {TableFormat::kHalfWidth, "halfwidth", "full-width Shift-JIS code to single byte, after a header word (SJIS_JIS.TBL)"},
    {TableFormat::kCodes, "codes", "source code to JIS code, key = table << 12 | index (conv00.tbl, conv01.tbl-conv99.tbl)"},
    {TableFormat::kRoman, "roman", "roman table entries, index = key & 0xFFF (conv021.tbl, conv022.tbl)"},
    {TableFormat::kPiCodes, "pi-codes", "pi number to its two codes (convpi.tbl)"},
    {TableFormat::kRuby, "ruby", "ruby code to JIS code, sorted by code (convura.tbl)"},
    {TableFormat::kFontInfo, "fontinfo", "font groups and their overlays, text (fntinf.fil)"},
    {TableFormat::kPitch, "pitch", "widths of the roman characters of each font (pitfile.fil)"},
    {TableFormat::kPiWidths, "pi-widths", "width of each pi character, one byte each (pifont.fil)"},
    {TableFormat::kEscapes, "escapes", "escape definitions of text jobs, text (velkansys.tbl, velkanuser.tbl)"},
    {TableFormat::kReplacements, "replacements", "text sequences of text jobs and their code words, text (nmcnv.tbl)"},
    {TableFormat::kText, "text", "any Shift_JIS text, such as a definition file (*.def)"},
};

bool IsTextFormat(TableFormat f) {
  return f == TableFormat::kFontInfo || f == TableFormat::kEscapes || f == TableFormat::kReplacements ||
         f == TableFormat::kText;
}

// Words of a record in each word-pair or triple format.
int RecordWords(TableFormat f) { return f == TableFormat::kPiCodes ? 3 : 2; }

bool HasHeaderWord(TableFormat f) { return f == TableFormat::kPairs || f == TableFormat::kHalfWidth; }

std::string Upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

uint16_t WordAt(std::string_view b, size_t i) {
  return static_cast<uint16_t>(static_cast<unsigned char>(b[i]) | static_cast<unsigned char>(b[i + 1]) << 8);
}

void PutWord(std::string& out, uint16_t w) {
  out.push_back(static_cast<char>(w & 0xFF));
  out.push_back(static_cast<char>(w >> 8));
}

std::string Hex4(unsigned v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04X", v & 0xFFFF);
  return buf;
}

std::string Hex2(unsigned v) {
  char buf[4];
  std::snprintf(buf, sizeof buf, "%02X", v & 0xFF);
  return buf;
}

// Pads `line` with blanks to `column`, then appends "# " and the note (only
// when there is a note).
void AppendNote(std::string& line, const std::string& note, size_t column = 24) {
  if (note.empty()) return;
  if (line.size() < column) line.append(column - line.size(), ' ');
  else line += ' ';
  line += "# " + note;
}

// ---- what the entries mean, for the comments of a dump ----

std::string ModeCharacterNote(uint16_t word) {
  static constexpr int kModes[17] = {1, 2, 3, 4, 5, 0, 0, 0, 0, 0, 0, 6, 7, 8, 9, 0, 10};
  int mode = kModes[word - 0x1000];
  return mode ? "mode character, mode " + std::to_string(mode) : "mode character " + Hex4(word) + ", no mode";
}

std::string CommandNote(uint16_t word) {
  std::string_view name = CommandWordName(word);
  return "command " + Hex4(word) + (name.empty() ? std::string() : " " + std::string(name));
}

// A readable character for a Shift-JIS code, or its code in brackets when it
// has none (so a comment never holds a control character).
std::string SjisShown(uint16_t code) {
  std::string c = ShiftJisCharacter(code);
  if (c.empty() || static_cast<unsigned char>(c[0]) < 0x20 || c == "\x7f") return "";
  return c;
}

std::string JisShown(uint16_t code) { return JisCharacter(code); }

// The note for one record, or for the first and last record of a run.
std::string RecordNote(TableFormat f, const uint16_t* first, const uint16_t* last) {
  auto one = [f](const uint16_t* r) -> std::string {
    switch (f) {
      case TableFormat::kPairs:
        return SjisShown(r[0]);
      case TableFormat::kZan:
        if (InCommandTable(r[1])) return CommandNote(r[1]);
        if (r[1] >= 0x1000 && r[1] <= 0x1010) return ModeCharacterNote(r[1]);
        return SjisShown(r[0]);
      case TableFormat::kHalfWidth: {
        std::string a = SjisShown(r[0]);
        std::string b = r[1] < 0x100 ? SjisShown(r[1]) : std::string();
        if (a.empty() && b.empty()) return "";
        return a + " → " + (b.empty() ? "(none)" : b);
      }
      case TableFormat::kCodes:
      case TableFormat::kRoman:
      case TableFormat::kRuby:
        return JisShown(r[1]);
      case TableFormat::kPiCodes:
        return JisShown(r[2]);
      default:
        return "";
    }
  };
  std::string a = one(first);
  if (first == last) return a;
  std::string b = one(last);
  if (a.empty() && b.empty()) return "";
  return a + " … " + b;
}

// ---- dumping ----

void DumpRecords(std::string& out, TableFormat f, std::string_view bytes, size_t start) {
  const int width = RecordWords(f);
  const size_t recordBytes = 2 * static_cast<size_t>(width);
  size_t count = (bytes.size() - start) / recordBytes;
  std::vector<uint16_t> words(count * width);
  for (size_t i = 0; i < count * width; ++i) words[i] = WordAt(bytes, start + 2 * i);
  auto field = [&](int k, uint16_t v) {
    if (f == TableFormat::kPiCodes && k == 0) return std::to_string(v);
    return Hex4(v);
  };
  size_t i = 0;
  while (i < count) {
    // A run: every field one more than in the record before.
    size_t j = i + 1;
    while (j < count) {
      bool next = true;
      for (int k = 0; k < width; ++k) {
        if (words[j * width + k] != static_cast<uint16_t>(words[(j - 1) * width + k] + 1)) next = false;
      }
      if (!next) break;
      ++j;
    }
    std::string line;
    const uint16_t* first = &words[i * width];
    if (j - i >= 3) {
      line = "run";
      for (int k = 0; k < width; ++k) line += " " + field(k, first[k]);
      line += " " + std::to_string(j - i);
      AppendNote(line, RecordNote(f, first, &words[(j - 1) * width]));
      i = j;
    } else {
      for (int k = 0; k < width; ++k) line += (k ? " " : "") + field(k, first[k]);
      AppendNote(line, RecordNote(f, first, first));
      ++i;
    }
    out += line + "\n";
  }
  size_t tail = start + count * recordBytes;
  if (tail < bytes.size()) {
    std::string line = "tail";
    for (size_t k = tail; k < bytes.size(); ++k) line += " " + Hex2(static_cast<unsigned char>(bytes[k]));
    AppendNote(line, "bytes after the last whole record");
    out += line + "\n";
  }
}

void DumpWordFormat(std::string& out, TableFormat f, std::string_view bytes) {
  size_t start = 0;
  if (HasHeaderWord(f)) {
    if (bytes.size() < 2) {
      if (!bytes.empty()) out += "tail " + Hex2(static_cast<unsigned char>(bytes[0])) + "  # no whole header word\n";
      return;
    }
    std::string line = "header " + Hex4(WordAt(bytes, 0));
    AppendNote(line, "read and not used");
    out += line + "\n";
    start = 2;
  }
  DumpRecords(out, f, bytes, start);
}

std::string SignedByte(unsigned char b) { return std::to_string(static_cast<int8_t>(b)); }

void DumpPitch(std::string& out, std::string_view bytes) {
  out += "length " + std::to_string(bytes.size()) + "\n";
  size_t header = std::min<size_t>(bytes.size(), 1024);
  for (size_t i = 0; i < 2 && i < header; ++i) {
    if (bytes[i] != 0) out += "header-byte " + std::to_string(i) + " " + std::to_string(static_cast<unsigned char>(bytes[i])) + "\n";
  }
  std::map<int, std::vector<int>> fontsOfBlock;
  for (size_t i = 2; i < header; ++i) {
    unsigned char b = static_cast<unsigned char>(bytes[i]);
    if (b == 0) continue;
    std::string line = "font " + std::to_string(i - 2) + " " + SignedByte(b);
    int8_t block = static_cast<int8_t>(b);
    if (block > 0) fontsOfBlock[block].push_back(static_cast<int>(i - 2));
    else AppendNote(line, "no block (only 1-127 name one)");
    out += line + "\n";
  }
  for (size_t base = 1024; base < bytes.size(); base += 256) {
    size_t end = std::min(bytes.size(), base + 256);
    bool any = false;
    for (size_t k = base; k < end; ++k) any = any || bytes[k] != 0;
    if (!any) continue;
    int block = static_cast<int>(base / 256) - 3;
    std::string line = "block " + std::to_string(block);
    std::string note;
    for (int font : fontsOfBlock[block]) note += (note.empty() ? "font " : ", ") + std::to_string(font);
    AppendNote(line, note);
    out += line + "\n";
    for (size_t row = base; row < end; row += 16) {
      size_t rowEnd = std::min(end, row + 16);
      bool rowAny = false;
      for (size_t k = row; k < rowEnd; ++k) rowAny = rowAny || bytes[k] != 0;
      if (!rowAny) continue;
      unsigned column = static_cast<unsigned>(row - base);
      std::string r = "  " + Hex2(column) + ":";
      for (size_t k = row; k < rowEnd; ++k) r += " " + SignedByte(static_cast<unsigned char>(bytes[k]));
      unsigned code = column < 0x80 ? 0xC300 + column : 0xC400 + column - 0x80;
      AppendNote(r, Hex4(code) + "-" + Hex4(code + static_cast<unsigned>(rowEnd - row) - 1), 72);
      out += r + "\n";
    }
  }
}

void DumpPiWidths(std::string& out, std::string_view bytes) {
  out += "length " + std::to_string(bytes.size()) + "\n";
  for (size_t row = 0; row < bytes.size(); row += 10) {
    size_t end = std::min(bytes.size(), row + 10);
    bool any = false;
    for (size_t k = row; k < end; ++k) any = any || bytes[k] != 0;
    if (!any) continue;
    char label[32];
    std::snprintf(label, sizeof label, "%03zu:", row);
    std::string line = label;
    for (size_t k = row; k < end; ++k) line += " " + std::to_string(static_cast<unsigned char>(bytes[k]));
    out += line + "\n";
  }
}

// A line of a text table as a "|" or "|x" line.
std::string TextLine(std::string_view line) {
  bool plain = RoundTripsThroughUtf8(line);
  for (char c : line) {
    unsigned char u = static_cast<unsigned char>(c);
    if ((u < 0x20 && u != '\t') || u == 0x7F) plain = false;
  }
  if (plain) {
    std::string utf8;
    ShiftJisToUtf8(line, utf8);
    return utf8.empty() ? "|" : "| " + utf8;
  }
  std::string raw = "|x";
  for (char c : line) raw += " " + Hex2(static_cast<unsigned char>(c));
  return raw;
}

std::string EscapeNote(std::string_view line) {
  if (line.empty()) return "";
  auto hex = [&](size_t i) -> unsigned {
    if (i >= line.size()) return 0;
    char c = line[i];
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
    return 0;
  };
  unsigned key = hex(1) << 12 | hex(2) << 8 | hex(3) << 4 | hex(4);
  std::string value;
  if (line.size() > 6) {
    std::string_view v = line.substr(6);
    v = v.substr(0, std::min(v.find(';'), v.size()));
    ShiftJisToUtf8(v.substr(0, 40), value);
  }
  switch (line[0]) {
    case '%':
      return value.rfind('1', 0) == 0 ? "locks the definitions of names" : "unlocks the definitions of names";
    case '$':
      if (key == 0x9001) return "mode lead character";
      if (key <= 10) return "name of mode " + std::to_string(key);
      return "no effect (key " + Hex4(key) + ")";
    case '#':
      if (key == 0x9001 || key == 0x9002) return "command lead character " + std::to_string(key - 0x9000);
      if (InCommandTable(static_cast<uint16_t>(key))) return "name of " + CommandNote(static_cast<uint16_t>(key));
      return "no effect (key " + Hex4(key) + ")";
    case '&': {
      std::string shown = SjisShown(static_cast<uint16_t>(key));
      return "code pair: " + (shown.empty() ? Hex4(key) : shown) + " stands for the code word " + value.substr(0, 4);
    }
    case '@':
      if (key == 0x9001) return "marker closing character";
      if (key == 0x9002) return "marker lead character";
      return "marker, code word " + Hex4(key);
    case '\\':
      return "comment";
    default:
      return "";
  }
}

std::string ReplacementNote(std::string_view line) {
  ReplacementTable table;
  if (!table.AddLine(line)) return "ignored: no key or no whole code word";
  const ReplacementEntry& e = table[0];
  std::string note = "replaced by";
  for (size_t i = 0; i < e.wordCount; ++i) note += " " + Hex4(e.Word(i));
  return note;
}

void DumpText(std::string& out, TableFormat f, std::string_view bytes) {
  std::string_view lineEnd = "\r\n";
  size_t pos = 0;
  bool firstLine = true;
  while (pos < bytes.size()) {
    size_t lf = bytes.find('\n', pos);
    std::string_view line, end;
    if (lf == std::string_view::npos) {
      line = bytes.substr(pos);
      end = "";
      pos = bytes.size();
    } else {
      line = bytes.substr(pos, lf - pos);
      end = "\n";
      if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
        end = "\r\n";
      }
      pos = lf + 1;
    }
    if (end != lineEnd) {
      out += std::string("line-end ") + (end == "\r\n" ? "crlf" : end == "\n" ? "lf" : "none") + "\n";
      lineEnd = end;
    }
    if (f == TableFormat::kFontInfo) {
      if (firstLine) {
        out += "# the first line is a title, never read\n" + TextLine(line) + "\n";
      } else if (auto directive = FontLineDirective(line)) {
        out += *directive + "\n";
      } else {
        std::string note = DescribeFontLine(line);
        if (!note.empty()) out += "# " + note + "\n";
        out += TextLine(line) + "\n";
      }
    } else {
      std::string note;
      if (f == TableFormat::kEscapes) note = EscapeNote(line);
      if (f == TableFormat::kReplacements) note = ReplacementNote(line);
      if (!note.empty()) out += "# " + note + "\n";
      out += TextLine(line) + "\n";
    }
    firstLine = false;
  }
}

// ---- building ----

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::vector<std::string_view> Tokens(std::string_view s) {
  std::vector<std::string_view> t;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    size_t j = i;
    while (j < s.size() && s[j] != ' ' && s[j] != '\t') ++j;
    if (j > i) t.push_back(s.substr(i, j - i));
    i = j;
  }
  return t;
}

std::optional<uint32_t> ParseHex(std::string_view t, size_t maxDigits) {
  if (t.empty() || t.size() > maxDigits) return std::nullopt;
  uint32_t v = 0;
  for (char c : t) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return std::nullopt;
    v = v * 16 + static_cast<uint32_t>(d);
  }
  return v;
}

std::optional<long> ParseDecimal(std::string_view t, long lo, long hi) {
  bool negative = !t.empty() && t[0] == '-';
  if (negative) t.remove_prefix(1);
  if (t.empty() || t.size() > 9) return std::nullopt;
  long v = 0;
  for (char c : t) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  if (negative) v = -v;
  if (v < lo || v > hi) return std::nullopt;
  return v;
}

class Builder {
 public:
  explicit Builder(TableFormat f) : f_(f) {}
  virtual ~Builder() = default;
  // Takes one line (comment removed, not empty; text lines whole). Returns
  // what is wrong with it, an empty note when the line was taken.
  virtual Note Line(std::string_view raw, const std::vector<std::string_view>& tokens) = 0;
  // The bytes of the file, or what is wrong in `error`.
  virtual std::string Finish(Note& error) = 0;

 protected:
  TableFormat f_;
};

class WordBuilder : public Builder {
 public:
  using Builder::Builder;
  Note Line(std::string_view, const std::vector<std::string_view>& t) override {
    if (tailDone_) return Note(N_("nothing may follow the tail"));
    const int width = RecordWords(f_);
    if (t[0] == "header") {
      if (!HasHeaderWord(f_)) return Note(N_("format %s has no header word"), {std::string(FormatName(f_))});
      if (haveHeader_ || records_ > 0) return Note(N_("the header must come first, once"));
      auto v = t.size() == 2 ? ParseHex(t[1], 4) : std::nullopt;
      // TRANSLATORS: the way a line is written, such as "header HHHH"
      // (words of the table's format, kept as they are).
      if (!v) return Note(N_("expected: %s"), {std::string("header HHHH")});
      PutWord(bytes_, static_cast<uint16_t>(*v));
      haveHeader_ = true;
      return Note();
    }
    if (t[0] == "tail") {
      if (t.size() < 2 || t.size() - 1 >= static_cast<size_t>(2 * width)) {
        return Note(N_("a tail holds 1 to %s bytes"), {std::to_string(2 * width - 1)});
      }
      for (size_t i = 1; i < t.size(); ++i) {
        auto b = ParseHex(t[i], 2);
        if (!b) return Note(N_("expected a byte of two hexadecimal digits, got '%s'"), {std::string(t[i])});
        bytes_.push_back(static_cast<char>(*b));
      }
      tailDone_ = true;
      return Note();
    }
    if (HasHeaderWord(f_) && !haveHeader_) return Note(N_("records need a header line before them"));
    bool run = t[0] == "run";
    size_t fields = static_cast<size_t>(width) + (run ? 2 : 0);
    if (t.size() != fields) {
      return Note(N_("expected: %s"), {run ? "run " + Fields() + " COUNT" : Fields()});
    }
    std::array<uint16_t, 3> rec{};
    for (int k = 0; k < width; ++k) {
      std::string_view tok = t[static_cast<size_t>(k) + (run ? 1 : 0)];
      std::optional<uint32_t> v;
      if (f_ == TableFormat::kPiCodes && k == 0) {
        auto d = ParseDecimal(tok, 0, 0xFFFF);
        if (d) v = static_cast<uint32_t>(*d);
      } else {
        v = ParseHex(tok, 4);
      }
      if (!v) {
        return Note(f_ == TableFormat::kPiCodes && k == 0 ? N_("'%s' is not a number 0-65535")
                                                          : N_("'%s' is not a word of 1-4 hexadecimal digits"),
                    {std::string(tok)});
      }
      rec[static_cast<size_t>(k)] = static_cast<uint16_t>(*v);
    }
    long count = 1;
    if (run) {
      auto c = ParseDecimal(t.back(), 1, 32768);
      if (!c) return Note(N_("a run counts 1 to 32768 records"));
      count = *c;
    }
    for (long i = 0; i < count; ++i) {
      for (int k = 0; k < width; ++k) PutWord(bytes_, static_cast<uint16_t>(rec[static_cast<size_t>(k)] + i));
      ++records_;
    }
    return Note();
  }
  std::string Finish(Note&) override { return bytes_; }

 private:
  std::string Fields() const { return f_ == TableFormat::kPiCodes ? "N FFFF SSSS" : "KKKK VVVV"; }
  std::string bytes_;
  bool haveHeader_ = false;
  bool tailDone_ = false;
  size_t records_ = 0;
};

// Bytes placed at offsets, zero elsewhere, with an optional exact length.
class ByteMapBuilder : public Builder {
 public:
  using Builder::Builder;

 protected:
  Note SetLength(const std::vector<std::string_view>& t) {
    if (haveLength_) return Note(N_("the length is given twice"));
    auto n = t.size() == 2 ? ParseDecimal(t[1], 0, 1L << 24) : std::nullopt;
    if (!n) return Note(N_("expected: %s (%s)"), {std::string("length N"), Note(N_("0 to 16777216"))});
    length_ = static_cast<size_t>(*n);
    haveLength_ = true;
    return Note();
  }
  void Put(size_t offset, unsigned char value) {
    if (bytes_.size() <= offset) bytes_.resize(offset + 1, '\0');
    bytes_[offset] = static_cast<char>(value);
  }
  std::string Result(size_t minimum, Note& error) {
    std::string out = bytes_;
    size_t size = haveLength_ ? length_ : std::max(minimum, out.size());
    if (out.size() > size) {
      for (size_t i = size; i < out.size(); ++i) {
        if (out[i] != 0) {
          error = Note(N_("a value lies at byte %s, beyond the length %s"), {std::to_string(i), std::to_string(size)});
          return {};
        }
      }
    }
    out.resize(size, '\0');
    return out;
  }

 private:
  std::string bytes_;
  size_t length_ = 0;
  bool haveLength_ = false;
};

class PitchBuilder : public ByteMapBuilder {
 public:
  using ByteMapBuilder::ByteMapBuilder;
  Note Line(std::string_view, const std::vector<std::string_view>& t) override {
    if (t[0] == "length") return SetLength(t);
    if (t[0] == "header-byte") {
      auto i = t.size() == 3 ? ParseDecimal(t[1], 0, 1) : std::nullopt;
      auto v = t.size() == 3 ? ParseDecimal(t[2], 0, 255) : std::nullopt;
      if (!i || !v) {
        return Note(N_("expected: %s (%s)"), {std::string("header-byte I V"), Note(N_("I 0 or 1, V 0-255"))});
      }
      Put(static_cast<size_t>(*i), static_cast<unsigned char>(*v));
      return Note();
    }
    if (t[0] == "font") {
      auto font = t.size() == 3 ? ParseDecimal(t[1], 0, 1021) : std::nullopt;
      auto block = t.size() == 3 ? ParseDecimal(t[2], -128, 127) : std::nullopt;
      if (!font || !block) {
        return Note(N_("expected: %s (%s)"), {std::string("font F B"), Note(N_("F 0-1021, B -128 to 127"))});
      }
      Put(static_cast<size_t>(*font) + 2, static_cast<unsigned char>(*block));
      return Note();
    }
    if (t[0] == "block") {
      auto b = t.size() == 2 ? ParseDecimal(t[1], 1, 65535) : std::nullopt;
      if (!b) return Note(N_("expected: %s (%s)"), {std::string("block B"), Note(N_("1 or more"))});
      block_ = *b;
      maxEnd_ = std::max(maxEnd_, static_cast<size_t>(*b + 4) * 256);
      return Note();
    }
    if (t[0].size() == 3 && t[0].back() == ':') {
      if (block_ == 0) return Note(N_("widths need a block line before them"));
      auto column = ParseHex(t[0].substr(0, 2), 2);
      if (!column) return Note(N_("expected a column of two hexadecimal digits before ':'"));
      if (*column + (t.size() - 1) > 256) return Note(N_("a block has 256 columns"));
      for (size_t i = 1; i < t.size(); ++i) {
        auto w = ParseDecimal(t[i], -128, 127);
        if (!w) return Note(N_("'%s' is no width from -128 to 127"), {std::string(t[i])});
        Put(static_cast<size_t>(block_ + 3) * 256 + *column + i - 1, static_cast<unsigned char>(*w));
      }
      return Note();
    }
    return Note(N_("unknown line: %s"), {std::string(t[0])});
  }
  std::string Finish(Note& error) override { return Result(std::max<size_t>(1024, maxEnd_), error); }

 private:
  long block_ = 0;
  size_t maxEnd_ = 0;
};

class PiWidthBuilder : public ByteMapBuilder {
 public:
  using ByteMapBuilder::ByteMapBuilder;
  Note Line(std::string_view, const std::vector<std::string_view>& t) override {
    if (t[0] == "length") return SetLength(t);
    if (t[0].size() >= 2 && t[0].back() == ':') {
      auto start = ParseDecimal(t[0].substr(0, t[0].size() - 1), 0, 1L << 24);
      if (!start) return Note(N_("expected a pi number before ':'"));
      for (size_t i = 1; i < t.size(); ++i) {
        auto w = ParseDecimal(t[i], 0, 255);
        if (!w) return Note(N_("'%s' is no width from 0 to 255"), {std::string(t[i])});
        Put(static_cast<size_t>(*start) + i - 1, static_cast<unsigned char>(*w));
      }
      return Note();
    }
    return Note(N_("unknown line: %s"), {std::string(t[0])});
  }
  std::string Finish(Note& error) override { return Result(0, error); }
};

class TextBuilder : public Builder {
 public:
  using Builder::Builder;
  Note Line(std::string_view raw, const std::vector<std::string_view>& t) override {
    raw = Trim(raw);
    if (!t.empty() && t[0] == "line-end") {
      if (t.size() != 2) return Note(N_("expected: %s"), {std::string("line-end crlf|lf|none")});
      if (t[1] == "crlf") lineEnd_ = "\r\n";
      else if (t[1] == "lf") lineEnd_ = "\n";
      else if (t[1] == "none") lineEnd_ = "";
      else return Note(N_("a line end is crlf, lf or none"));
      return Note();
    }
    if (!t.empty() && t[0] == "font" && f_ == TableFormat::kFontInfo) {
      std::string line;
      Note error;
      if (!RenderFontDirective(raw, line, error)) return error;
      bytes_ += line + lineEnd_;
      return Note();
    }
    return Note(N_("unknown line in a text format: %s"), {std::string(t.empty() ? raw : t[0])});
  }
  // A "|" line: `text` is everything after the bar.
  Note TextLine(std::string_view text) {
    if (!text.empty() && text[0] == 'x' && (text.size() == 1 || text[1] == ' ' || text[1] == '\t')) {
      for (std::string_view tok : Tokens(text.substr(1))) {
        auto b = ParseHex(tok, 2);
        if (!b || tok.size() != 2) return Note(N_("expected bytes of two hexadecimal digits after |x"));
        bytes_.push_back(static_cast<char>(*b));
      }
      bytes_ += lineEnd_;
      return Note();
    }
    if (!text.empty() && text[0] == ' ') text.remove_prefix(1);
    std::string sjis;
    if (!Utf8ToShiftJis(text, sjis)) {
      return Note(N_("the text has a character without a Shift_JIS form (or is no UTF-8)"));
    }
    bytes_ += sjis + lineEnd_;
    return Note();
  }
  std::string Finish(Note&) override { return bytes_; }

 private:
  std::string bytes_;
  std::string lineEnd_ = "\r\n";
};

}  // namespace

std::span<const TableFormatInfo> TableFormats() { return kFormats; }

std::string_view FormatName(TableFormat format) { return kFormats[static_cast<size_t>(format)].name; }

std::optional<TableFormat> FormatNamed(std::string_view name) {
  for (const TableFormatInfo& f : kFormats) {
    if (f.name == name) return f.format;
  }
  return std::nullopt;
}

std::optional<TableFormat> FormatOfFileName(std::string_view path) {
  size_t slash = path.find_last_of("/\\");
  std::string name = Upper(slash == std::string_view::npos ? path : path.substr(slash + 1));
  for (const char* pair : kPairTableNames) {
    if (name == pair) return TableFormat::kPairs;
  }
  if (name == "SJIS_ZAN.TBL") return TableFormat::kZan;
  if (name == "SJIS_JIS.TBL") return TableFormat::kHalfWidth;
  if (name == "CONV021.TBL" || name == "CONV022.TBL") return TableFormat::kRoman;
  if (name.size() == 10 && name.rfind("CONV", 0) == 0 && std::isdigit(static_cast<unsigned char>(name[4])) &&
      std::isdigit(static_cast<unsigned char>(name[5])) && name.substr(6) == ".TBL") {
    return TableFormat::kCodes;
  }
  if (name == "CONVPI.TBL") return TableFormat::kPiCodes;
  if (name == "CONVURA.TBL") return TableFormat::kRuby;
  if (name == "FNTINF.FIL") return TableFormat::kFontInfo;
  if (name == "PITFILE.FIL") return TableFormat::kPitch;
  if (name == "PIFONT.FIL") return TableFormat::kPiWidths;
  if (name == "VELKANSYS.TBL" || name == "VELKANUSER.TBL") return TableFormat::kEscapes;
  if (name == "NMCNV.TBL") return TableFormat::kReplacements;
  if (name.size() > 4 && name.substr(name.size() - 4) == ".DEF") return TableFormat::kText;
  return std::nullopt;
}

std::string DumpTable(TableFormat format, std::string_view bytes) {
  const TableFormatInfo& info = kFormats[static_cast<size_t>(format)];
  std::string out = "# " + std::string(info.describes) + "\n";
  out += "format " + std::string(info.name) + "\n";
  switch (format) {
    case TableFormat::kPitch:
      DumpPitch(out, bytes);
      break;
    case TableFormat::kPiWidths:
      DumpPiWidths(out, bytes);
      break;
    default:
      if (IsTextFormat(format)) DumpText(out, format, bytes);
      else DumpWordFormat(out, format, bytes);
  }
  return out;
}

TableBuild BuildTable(std::string_view source) {
  TableBuild result;
  std::unique_ptr<Builder> builder;
  TextBuilder* text = nullptr;
  size_t pos = 0;
  int number = 0;
  auto fail = [&](const Note& what) {
    result.ok = false;
    result.bytes.clear();
    // TRANSLATORS: a line of a readable table that cannot be built, and
    // what is wrong with it.
    result.fault = number > 0 ? Note(N_("line %s: %s"), {std::to_string(number), what}) : what;
    result.error = result.fault.Text();
    return result;
  };
  while (pos < source.size()) {
    size_t lf = source.find('\n', pos);
    std::string_view line = source.substr(pos, lf == std::string_view::npos ? std::string_view::npos : lf - pos);
    pos = lf == std::string_view::npos ? source.size() : lf + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos || line[first] == '#') continue;
    if (line[first] == '|') {
      if (!text) return fail(builder ? Note(N_("text lines belong to text formats only"))
                                   : Note(N_("the first line must name the format")));
      Note error = text->TextLine(line.substr(first + 1));
      if (!error.empty()) return fail(error);
      continue;
    }
    std::string_view content = line.substr(0, line.find('#'));
    std::vector<std::string_view> tokens = Tokens(content);
    if (tokens.empty()) continue;
    if (!builder) {
      if (tokens[0] != "format" || tokens.size() != 2) {
        return fail(Note(N_("the first line must be: %s"), {std::string("format NAME")}));
      }
      auto f = FormatNamed(tokens[1]);
      if (!f) return fail(Note(N_("unknown format '%s'"), {std::string(tokens[1])}));
      result.format = *f;
      if (*f == TableFormat::kPitch) builder = std::make_unique<PitchBuilder>(*f);
      else if (*f == TableFormat::kPiWidths) builder = std::make_unique<PiWidthBuilder>(*f);
      else if (IsTextFormat(*f)) {
        auto t = std::make_unique<TextBuilder>(*f);
        text = t.get();
        builder = std::move(t);
      } else {
        builder = std::make_unique<WordBuilder>(*f);
      }
      continue;
    }
    Note error = builder->Line(content, tokens);
    if (!error.empty()) return fail(error);
  }
  if (!builder) {
    number = 0;
    return fail(Note(N_("no format line: the first line must be: %s"), {std::string("format NAME")}));
  }
  Note error;
  std::string bytes = builder->Finish(error);
  if (!error.empty()) {
    number = 0;
    return fail(error);
  }
  result.ok = true;
  result.bytes = std::move(bytes);
  return result;
}

}  // namespace velkan
