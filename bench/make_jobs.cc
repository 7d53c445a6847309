// Writes the jobs of the throughput benchmark into a folder, for a table root
// that already exists (the bundled sample root of the build, `build/root`),
// together with the same characters as plain text for a side-by-side run of
// iconv:
//
//   chars.zan      the character-heavy job: characters of the main pages
//                  0x8000-0x9FFF with words of roman characters (page 0xC3),
//                  a line end after every 40 characters
//   chars.utf16    its characters (and line ends) as UTF-16BE
//   commands.zan   the command-heavy job: size and font groups, group ruby,
//                  rule and page warnings, tags and line ends every few
//                  characters
//   commands.utf16 its characters as UTF-16BE
//   overlays.zan   the command-heavy job with its font groups naming a font
//                  whose group has an overlay (the first such font of 2-39
//                  in the root's "fntinf.fil"), so that every other font
//                  group switches the overlay on or off; not written when
//                  the root has no such font
//   overlays.utf16 its characters as UTF-16BE
//   text.txt       a text job (Shift_JIS, CR LF) holding the characters of
//                  chars.zan: the pre-pass turns it into the same words
//   counts         "NAME CHARACTERS" for each job
//
// The jobs use only the codes that the root's tables convert to a character
// iconv gives back unchanged: the converter's output of chars.zan is then
// byte for byte what iconv writes for chars.utf16. The root's tables decide
// this, read with the converter's own loaders: a main-page code counts when
// its conversion in font 1 (the font a job starts with) is a Shift_JIS
// character, a roman code when it is written as a single byte with no escape
// and no separator beside other characters. A code counts only when the text
// pre-pass, given its character, gives the code back (alone, and for roman
// characters also next to each other), and text.txt is checked through the
// pre-pass once written.
//
// Usage: velkan_bench_jobs ROOT DIR MILLION-CHARACTERS [JOBS]
//   JOBS: a comma-separated choice of chars, commands, overlays, text
//   (default all),
//   or charwords for chars.zan alone (for a very large job).
// Nothing here grows with the size of a job: the files are written in blocks.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/character_output.h"
#include "io/byte_order.h"
#include "io/byte_streams.h"
#include "io/encoding_converter.h"
#include "tables/code_conversion.h"
#include "tables/code_tables.h"
#include "tables/escape_definitions.h"
#include "tables/font_tables.h"
#include "tables/pre_pass_tables.h"
#include "tables/shift_jis_rule.h"
#include "tables/table_root.h"
#include "tables/text_pre_pass.h"

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "velkan_bench_jobs: %s\n", what.c_str());
  std::exit(1);
}

void PutBE(std::string& s, uint16_t w) {
  s += static_cast<char>(w >> 8);
  s += static_cast<char>(w & 0xFF);
}

// Converts bytes with iconv; empty when they do not convert whole.
std::string Iconv(const char* from, const char* to, const std::string& in) {
  velkan::EncodingConverter converter(to, from);
  if (!converter.ok()) Die(std::string("iconv cannot convert ") + from + " to " + to);
  std::string out;
  if (!converter.Convert(in, out)) return {};
  return out;
}

// The UTF-16 form of a CP932 character when iconv gives it as one UTF-16
// unit and turns that unit back into the same bytes; 0 otherwise.
uint16_t RoundTrip(const std::string& cp932) {
  std::string u = Iconv("CP932", "UTF-16BE", cp932);
  if (u.size() != 2 || Iconv("UTF-16BE", "CP932", u) != cp932) return 0;
  return velkan::LoadBigEndian16(u.data());
}

// A character of the jobs: its code word, the bytes the converter writes for
// it (which text.txt holds too) and its UTF-16 form.
struct Character {
  uint16_t source = 0;
  std::string text;
  uint16_t utf16 = 0;
};

struct Repertoire {
  std::vector<Character> kanji;  // main pages 0x8000-0x9FFF
  std::vector<Character> roman;  // page 0xC3
};

// The font the jobs' characters are written in: the one a job starts with.
constexpr int16_t kJobFont = 1;

// The main-page codes whose conversion in kJobFont is a Shift_JIS character
// that iconv gives back unchanged.
std::vector<Character> MainPageCharacters(velkan::FontTables& fonts, const velkan::CodeTables& codes,
                                          const velkan::TablePaths& paths) {
  std::vector<Character> out;
  for (unsigned code = 0x8000; code <= 0x9FFF; ++code) {
    auto w = static_cast<uint16_t>(code);
    // The combined tens are written as combined-character tags.
    if ((w == 0x95B4 || w == 0x95BE) && codes.ShiftJisOf(w) != 0) continue;
    uint16_t sjis = velkan::JisToShiftJis(velkan::ConvertCode(fonts, paths, kJobFont, w));
    if (sjis == 0) continue;  // a code tag or a warning
    std::string text{static_cast<char>(sjis >> 8), static_cast<char>(sjis & 0xFF)};
    if (uint16_t u = RoundTrip(text)) out.push_back({w, text, u});
  }
  return out;
}

// The roman codes written as a single byte of their own that iconv gives
// back unchanged.
std::vector<Character> RomanCharacters(const velkan::CodeTables& codes) {
  std::vector<Character> out;
  for (unsigned code = 0xC300; code <= 0xC37F; ++code) {
    auto w = static_cast<uint16_t>(code);
    uint16_t sjis = codes.ShiftJisOf(w);
    uint8_t b = sjis != 0 ? codes.SingleByteOf(sjis) : 0;
    // Without a single byte below 0x80 a roman code becomes a typed code tag.
    if (b == 0 || b >= 0x80) continue;
    // Digits and the signs that go with them are set off from other
    // characters by separators; < > and \ are escaped.
    if (velkan::IsDigitLike(b) || b == '<' || b == '>' || b == '\\') continue;
    std::string text(1, static_cast<char>(b));
    if (uint16_t u = RoundTrip(text)) out.push_back({w, text, u});
  }
  return out;
}

// A line of text for the pre-pass and the code words it should give (the
// line end's word follows them).
struct ProbeLine {
  std::string text;
  std::vector<uint16_t> words;
};

// Runs the pre-pass over the lines, each followed by CR LF, and tells which
// lines did not give their words and the line-end command. After a line
// that fails the pre-pass starts afresh at the next line, so that a mode the
// failing line switched on spoils no line after it.
std::vector<bool> FailingLines(const std::vector<ProbeLine>& lines, const velkan::PrePassTables& tables,
                               const velkan::EscapeDefinitions& escapes) {
  std::string all;
  std::vector<size_t> offsets;
  for (const ProbeLine& l : lines) {
    offsets.push_back(all.size());
    all += l.text;
    all += "\r\n";
  }
  std::vector<bool> failed(lines.size(), false);
  uint8_t buf[256];
  size_t line = 0;
  while (line < lines.size()) {
    velkan::MemorySource source(std::string_view(all).substr(offsets[line]));
    velkan::TextPrePass pass(source, tables, escapes);
    size_t pos = 0;  // words of `line` met so far
    int high = -1;   // the first byte of a word cut by a read
    bool fresh = false;
    while (!fresh && line < lines.size()) {
      long n = pass.Read(buf, sizeof buf);
      if (n <= 0) {  // the words ended early
        failed[line++] = true;
        break;
      }
      for (long k = 0; k < n && !fresh; ++k) {
        if (high < 0) {
          high = buf[k];
          continue;
        }
        auto w = static_cast<uint16_t>(high << 8 | buf[k]);
        high = -1;
        const std::vector<uint16_t>& want = lines[line].words;
        if (w != (pos < want.size() ? want[pos] : velkan::kLineEnd)) {
          failed[line++] = true;
          fresh = true;
        } else if (pos == want.size()) {
          ++line;
          pos = 0;
        } else {
          ++pos;
        }
      }
    }
  }
  return failed;
}

// Keeps the characters whose text the pre-pass turns back into their code:
// each character alone, then the roman characters in every sequence of two
// and three (so no roman word spells an escape, a marker or a replacement).
// Where such sequences fail, the roman character met most often in them goes
// first, until none fails.
void KeepWhatThePrePassGivesBack(Repertoire& rep, const velkan::PrePassTables& tables,
                                 const velkan::EscapeDefinitions& escapes) {
  auto alone = [&](std::vector<Character>& set) {
    std::vector<ProbeLine> lines;
    for (const Character& c : set) lines.push_back({c.text, {c.source}});
    std::vector<bool> failed = FailingLines(lines, tables, escapes);
    std::vector<Character> kept;
    for (size_t i = 0; i < set.size(); ++i) {
      if (!failed[i]) kept.push_back(set[i]);
    }
    set = kept;
  };
  alone(rep.kanji);
  alone(rep.roman);

  const size_t n = rep.roman.size();
  std::vector<ProbeLine> lines;
  std::vector<std::vector<size_t>> members;
  for (size_t a = 0; a < n; ++a) {
    for (size_t b = 0; b < n; ++b) {
      const Character &x = rep.roman[a], &y = rep.roman[b];
      lines.push_back({x.text + y.text, {x.source, y.source}});
      members.push_back({a, b});
      for (size_t c = 0; c < n; ++c) {
        const Character& z = rep.roman[c];
        lines.push_back({x.text + y.text + z.text, {x.source, y.source, z.source}});
        members.push_back({a, b, c});
      }
    }
  }
  std::vector<bool> failed = FailingLines(lines, tables, escapes);
  std::vector<std::vector<size_t>> failing;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (failed[i]) failing.push_back(members[i]);
  }
  std::vector<bool> dropped(n, false);
  for (;;) {
    std::vector<size_t> count(n, 0);
    bool any = false;
    for (const auto& seq : failing) {
      if (std::any_of(seq.begin(), seq.end(), [&](size_t m) { return dropped[m]; })) continue;
      any = true;
      for (size_t m : seq) ++count[m];
    }
    if (!any) break;
    dropped[static_cast<size_t>(std::max_element(count.begin(), count.end()) - count.begin())] = true;
  }
  std::vector<Character> kept;
  for (size_t i = 0; i < n; ++i) {
    if (!dropped[i]) kept.push_back(rep.roman[i]);
  }
  rep.roman = kept;
}

// A deterministic stream of pseudo-random numbers.
struct Random {
  uint32_t x = 12345;
  unsigned Next(unsigned n) {
    x = x * 1103515245u + 12345u;
    return (x >> 8) % n;
  }
};

// Files written in blocks.
class BlockFile {
 public:
  explicit BlockFile(const fs::path& p) : out_(p, std::ios::binary), path_(p) {
    if (!out_) Die("cannot create " + p.string());
  }
  ~BlockFile() { Flush(); }
  std::string& buf() { return buf_; }
  void MaybeFlush() {
    if (buf_.size() >= (1u << 20)) Flush();
  }
  void Flush() {
    out_.write(buf_.data(), static_cast<std::streamsize>(buf_.size()));
    buf_.clear();
    if (!out_) Die("cannot write " + path_.string());
  }

 private:
  std::ofstream out_;
  fs::path path_;
  std::string buf_;
};

constexpr int kLine = 40;

// The characters of the character-heavy job, drawn in a fixed order: kanji
// for the most part, a word of 3-8 roman characters now and then, a line end
// after every 40 characters.
class CharacterSequence {
 public:
  explicit CharacterSequence(const Repertoire& rep) : rep_(rep) {}
  // The next character; `lineEnd` tells whether a line end follows it.
  const Character& Next(bool& lineEnd) {
    const Character* c;
    if (roman_ > 0) {
      c = &Roman();
      --roman_;
    } else if (rnd_.Next(100) < 3) {
      roman_ = 2 + static_cast<int>(rnd_.Next(6));
      c = &Roman();
    } else {
      c = &rep_.kanji[rnd_.Next(static_cast<unsigned>(rep_.kanji.size()))];
    }
    lineEnd = index_++ % kLine == kLine - 1;
    return *c;
  }

 private:
  const Character& Roman() { return rep_.roman[rnd_.Next(static_cast<unsigned>(rep_.roman.size()))]; }

  const Repertoire& rep_;
  Random rnd_;
  int roman_ = 0;
  long long index_ = 0;
};

// The character-heavy job and its text forms.
void WriteCharacterJobs(const fs::path& dir, const Repertoire& rep, long long chars, bool zan, bool plain,
                        bool text) {
  std::unique_ptr<BlockFile> words, utf16, sjis;
  if (zan) words = std::make_unique<BlockFile>(dir / "chars.zan");
  if (plain) utf16 = std::make_unique<BlockFile>(dir / "chars.utf16");
  if (text) sjis = std::make_unique<BlockFile>(dir / "text.txt");
  CharacterSequence seq(rep);
  for (long long i = 0; i < chars; ++i) {
    bool lineEnd;
    const Character& c = seq.Next(lineEnd);
    if (words) {
      PutBE(words->buf(), c.source);
      if (lineEnd) PutBE(words->buf(), velkan::kLineEnd);
      words->MaybeFlush();
    }
    if (utf16) {
      PutBE(utf16->buf(), c.utf16);
      if (lineEnd) {
        PutBE(utf16->buf(), '\r');
        PutBE(utf16->buf(), '\n');
      }
      utf16->MaybeFlush();
    }
    if (sjis) {
      sjis->buf() += c.text;
      if (lineEnd) sjis->buf() += "\r\n";
      sjis->MaybeFlush();
    }
  }
}

// Compares the words it is given with the words of the character job.
class WordCheck final : public velkan::ByteSink {
 public:
  WordCheck(const Repertoire& rep, long long chars) : seq_(rep), left_(chars) {}
  bool TakeBytes(const char* data, size_t n) override {
    for (size_t k = 0; k < n && ok_; ++k) {
      if (pos_ == want_.size()) Refill();
      if (pos_ == want_.size() || data[k] != want_[pos_]) {
        ok_ = false;
      } else {
        ++pos_;
        ++bytes_;
      }
    }
    return true;
  }
  // Whether every word came, and no other.
  bool Matched() const { return ok_ && left_ == 0 && pos_ == want_.size(); }
  // Bytes of words that matched before the first difference.
  long long matchedBytes() const { return bytes_; }

 private:
  void Refill() {
    want_.clear();
    pos_ = 0;
    if (left_ == 0) return;
    --left_;
    bool lineEnd;
    const Character& c = seq_.Next(lineEnd);
    PutBE(want_, c.source);
    if (lineEnd) PutBE(want_, velkan::kLineEnd);
  }

  CharacterSequence seq_;
  long long left_;
  std::string want_;
  size_t pos_ = 0;
  long long bytes_ = 0;
  bool ok_ = true;
};

// Whether the pre-pass turns the text job into the words of the character
// job; says where they part when it does not.
bool TextGivesCharacterWords(const velkan::TablePaths& paths, const fs::path& text, const Repertoire& rep,
                             long long chars) {
  int fd = ::open(text.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Die("cannot read " + text.string());
  velkan::FdSource source(fd);
  WordCheck check(rep, chars);
  velkan::PrepareTextInput(paths, source, check);
  ::close(fd);
  if (check.Matched()) return true;
  std::fprintf(stderr, "velkan_bench_jobs: the pre-pass does not turn text.txt into the words of chars.zan "
               "(they part after word %lld); the text job is left out\n", check.matchedBytes() / 2);
  return false;
}

void PutNumber(std::string& s, int n) {
  for (char d : std::to_string(n)) PutBE(s, static_cast<uint16_t>(0xC340 + (d - '0')));
}

// The command-heavy job: one command (or group) after every few characters,
// taken in turn from a cycle of size and font groups, group ruby, rule and
// page warnings, simple tags and line ends.
// `name` names the files; the font groups name font 1 and `otherFont` in turn.
long long WriteCommandJob(const fs::path& dir, const std::string& name, int otherFont, const Repertoire& rep,
                          long long chars) {
  BlockFile words(dir / (name + ".zan")), utf16(dir / (name + ".utf16"));
  Random rnd;
  long long written = 0;
  auto character = [&]() {
    const Character& c = rep.kanji[rnd.Next(static_cast<unsigned>(rep.kanji.size()))];
    PutBE(words.buf(), c.source);
    PutBE(utf16.buf(), c.utf16);
    ++written;
  };
  auto characters = [&](int n) {
    for (int k = 0; k < n; ++k) character();
  };
  for (unsigned step = 0; written < chars; ++step) {
    std::string& w = words.buf();
    switch (step % 10) {
      case 0:  // a size group: <J size=...>
        w.append("\xD0\x03\xD0\x52", 4);
        PutNumber(w, 10 + static_cast<int>(step / 10 % 3));
        w.append("\xD0\x04", 2);
        break;
      case 1:  // group ruby around two characters with a two-character reading
        w.append("\xD0\x58", 2);
        characters(2);
        w.append("\xD0\x58", 2);
        characters(2);
        w.append("\xD0\x58", 2);
        break;
      case 2:  // a relative rule: a warning
        w.append("\xD0\xAA", 2);
        break;
      case 3:  // a font group: <J f=...>
        w.append("\xD0\x03\xD0\x2D", 4);
        PutNumber(w, step / 10 % 2 ? otherFont : 1);
        w.append("\xD0\x04", 2);
        break;
      case 4:  // a page break warning
        w.append("\xD0\xF7", 2);
        break;
      case 5:  // <em>
        w.append("\xD0\x08", 2);
        break;
      case 6:  // a vertical rule with its digit: a warning
        w.append("\xD0\x8F", 2);
        PutNumber(w, 2);
        break;
      case 7:  // a line spacing group: <G l=...>
        w.append("\xD0\x03\xD0\x38", 4);
        PutNumber(w, 14 + static_cast<int>(step / 10 % 2));
        w.append("\xD0\x04", 2);
        break;
      case 8:  // <th>
        w.append("\xD0\x06", 2);
        break;
      default:  // a line end
        w.append("\xD0\x09", 2);
        PutBE(utf16.buf(), '\r');
        PutBE(utf16.buf(), '\n');
        break;
    }
    characters(2 + static_cast<int>(rnd.Next(4)));
    words.MaybeFlush();
    utf16.MaybeFlush();
  }
  return written;
}

// The first font of 2-39 whose group has an overlay other than font 1's, or 0.
int FontWithAnotherOverlay(const velkan::ConversionStore& store) {
  auto overlay = [&](int font) {
    uint16_t group = store.Read(velkan::kFontMapTable, font);
    return group < 1000 ? store.Read(velkan::kOverlayMapTable, group) : uint16_t{0};
  };
  for (int font = 2; font <= 39; ++font) {
    if (overlay(font) != overlay(1)) return font;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: velkan_bench_jobs ROOT DIR MILLION-CHARACTERS [chars,commands,overlays,text]\n");
    return 2;
  }
  velkan::TablePaths paths(argv[1], std::nullopt);
  fs::path dir = argv[2];
  double millions = std::atof(argv[3]);
  if (!(millions > 0)) Die("the number of characters must be above 0");
  std::string which = argc > 4 ? argv[4] : "chars,commands,overlays,text";
  auto wants = [&](const char* name) { return ("," + which + ",").find(std::string(",") + name + ",") != std::string::npos; };
  long long chars = static_cast<long long>(millions * 1e6);

  // The characters the root's tables give.
  velkan::FontTables fonts;
  if (velkan::PrepareFontTables(fonts, paths) != 0) {
    Die("the font tables under " + paths.root().string() + " do not load: " + fonts.prepareFailure.Text());
  }
  velkan::CodeTables codes;
  velkan::TableFault failed;
  if (velkan::LoadCodeTables(codes, paths, &failed) != 0) {
    Die("the code tables under " + paths.root().string() + " do not load (" + failed.Text().Text() + ")");
  }
  Repertoire rep{MainPageCharacters(fonts, codes, paths), RomanCharacters(codes)};
  size_t convertedKanji = rep.kanji.size(), convertedRoman = rep.roman.size();
  velkan::PrePassTables prePass;
  velkan::EscapeDefinitions escapes;
  std::vector<velkan::Note> notes;
  velkan::LoadTextInputTables(prePass, escapes, paths, &notes);
  for (const velkan::Note& note : notes) std::fprintf(stderr, "velkan_bench_jobs: %s\n", note.Text().c_str());
  KeepWhatThePrePassGivesBack(rep, prePass, escapes);
  velkan::ReleaseEscapeDefinitions(escapes);
  velkan::ReleasePrePassTables(prePass);
  velkan::ReleaseCodeTables(codes);
  const int overlayFont = FontWithAnotherOverlay(fonts.store);
  velkan::ReleaseFontTables(fonts);
  if (rep.kanji.empty() || rep.roman.empty()) {
    Die("the tables under " + paths.root().string() + " give no main-page or no roman character iconv gives back");
  }
  std::printf("tables %s: %zu of the 8192 main-page codes and %zu of the 128 roman codes convert to characters "
              "iconv gives back; the jobs use %zu and %zu of them, which the text pre-pass gives back too\n",
              paths.root().c_str(), convertedKanji, convertedRoman, rep.kanji.size(), rep.roman.size());

  fs::create_directories(dir);
  std::string counts;
  if (wants("charwords")) {
    WriteCharacterJobs(dir, rep, chars, true, false, false);
    counts += "chars " + std::to_string(chars) + "\n";
  }
  if (wants("chars") || wants("text")) {
    WriteCharacterJobs(dir, rep, chars, wants("chars"), wants("chars"), wants("text"));
    if (wants("chars")) counts += "chars " + std::to_string(chars) + "\n";
    if (wants("text")) {
      if (TextGivesCharacterWords(paths, dir / "text.txt", rep, chars)) {
        counts += "text " + std::to_string(chars) + "\n";
      } else {
        fs::remove(dir / "text.txt");
      }
    }
  }
  if (wants("commands")) counts += "commands " + std::to_string(WriteCommandJob(dir, "commands", 3, rep, chars)) + "\n";
  if (wants("overlays") && overlayFont != 0) {
    counts += "overlays " + std::to_string(WriteCommandJob(dir, "overlays", overlayFont, rep, chars)) + "\n";
  }
  std::ofstream out(dir / "counts");
  out << counts;
  if (!out) Die("cannot write " + (dir / "counts").string());
  return 0;
}
