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
//   kind-*.zan     with "kinds" only: a job for every kind of command,
//                  kind-mix.zan of them all, kind-text.txt of the text
//                  escapes and kind-formats.udf (see WriteKindJobs)
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
//   (default those four), kinds,
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


// ---------------------------------------------------------------------------
// The jobs of every kind of command ("kinds"): one job a kind, each with a
// command (or a group, or a structure around characters) after every 2-5
// characters as in the command job, one job mixing every kind, a text job
// mixing the escapes of text jobs, and a file of formats for --udf.
//
// A kind's commands are written in the notation of the golden cases: a word
// as four hex digits, { and } for the group brackets, #12.5,3 for argument
// digits with their point and comma, and C for a character of the job.

// The commands of each kind, taken in turn.
struct Kind {
  const char* name;
  std::vector<const char*> commands;
};

const std::vector<Kind>& Kinds() {
  static const std::vector<Kind> kinds = {
      {"fill", {"D01E D08F #5", "D01E D002", "D01E D0AA", "D01E C", "D01E D00A D008 #2"}},
      // Formats 1-8 are defined at the start of the job (or by the --udf file).
      {"format", {"{ D03F #1 }", "{ D03F #2 }", "{ D03F #3 }", "{ D03F #4 }", "{ D03F #5 }", "{ D03F #6 }",
                  "{ D03F #7 }", "{ D03F #8 }", "{ D071 #5,2 } { D03F #5 }"}},
      {"grouped", {"D09A C D09A C D09A", "{ D099 #8,8,6,6 } D09A C D09A C D09A", "D09C",
                   "{ D09B #2,0,1 } D09A D09C C D09A C D09A", "{ D09B #2,0.2,1.6 } D09C"}},
      {"indents", {"{ D096 #2 D034 #1 D02F #1 D035 #0 }", "{ D031 #0.16 D098 #1.5 }", "{ D097 #2,10 D032 #0.16 }",
                   "{ D030 }", "{ D0D9 #50 D034 #2 }", "{ D033 D034 #3 }", "{ D0BE D02F #0.1,2,3 }",
                   "{ D0CA D096 #2,3,1 }"}},
      {"inline", {"D046 #1 C", "D047 #2 C", "D048 C C D048", "D059 C D059", "{ D064 #4,4,2,0 } D059 C D059",
                  "{ D0A0 #1 } D08D C D08D C D08D", "D061 #1 C", "{ D05A #8,8,0 } D061 #2 C C",
                  "{ D073 #1,2,0.6,0 } D072 C D072", "D03D C D002 C D03D", "D093 C"}},
      {"justification", {"D0D7", "D0D8", "D0D1", "D0DD", "{ D0CF #8 }", "{ D0D0 #2 }", "D0CE #1.5,2,3",
                         "{ D0D6 #1.5,2,3,4,5 }", "D0D5", "{ D0CC #8,9 }"}},
      {"modes", {"D00C D094", "D00D D094", "D00C D00E #18", "D00D D00E", "D00C D010 #54", "D00C D014 #27",
                 "D00D D014", "D00C D013", "D00D D013", "D00C D065", "D00D D065"}},
      {"pi", {"D05B #007", "D05B #008", "D05B #123"}},
      {"positioning", {"{ D02A #1 }", "D0B5", "D0B6", "{ D02B #0.5 }", "{ D070 #1.6 }", "{ D036 #10 }", "D09D #3",
                       "D09E #5", "D07A", "D07B", "{ D040 #2 }", "D024"}},
      {"ruby", {"D07E C C D07F C", "D07E C D081 D07E", "D07E C D082", "D0A3 C D0A3 C C D0A3", "D07C C D07C C D07C",
                "D058 C D058 C D058", "D07E C D06E D07E", "D01F"}},
      {"rules", {"D0A7 #3", "D0A8 #1", "D0A9", "D0AB #9", "D0AC", "D0AE", "D091", "{ D088 #5,0.1,0.2,1 }",
                 "{ D08B #2,0.3,0.3,0.3,7 }", "{ D0A5 #1 }"}},
      {"spacing", {"D0D4", "{ D0D3 #12 } D0D4", "D060", "D078", "D04D", "D06D", "D0A1", "D0A2", "D007", "D04E",
                   "D04F", "D002", "D0B0", "D0B1", "D05D", "D0B2", "D0B4", "D001", "D005", "D00B", "D01C",
                   "D0BB", "D029"}},
      {"warnings", {"D0CB #03", "{ D043 #12 }", "D077", "{ D0BC #2,399 }", "{ D0BA #2.5,0 }", "{ D0BD #1,2.5 }",
                    "D028", "D08E", "D092", "{ D037 #1,2,3 }", "D0DB", "D0DC", "{ D0DA #2 }", "D0F8", "D049",
                    "D04A", "D04B", "D079", "D0AD"}},
      {"state", {"{ D051 #12 }", "{ D053 #9,10 }", "{ D041 #8 }", "{ D084 #2 }", "{ D039 #40 }", "{ D05E #30 }",
                 "{ D02E #11 }", "{ D052 #10 D02D #3 D038 #15 }", "{ D075 #12 C D034 }"}},
      {"ignored", {"D057", "D08C", "D0C7 #12", "D054", "D055", "D01D", "D022", "{ D074 #2.5 }", "{ D076 #7 }",
                   "{ D03C #3 }", "{ D03E #4 }", "D0B9 C D01C"}},
  };
  return kinds;
}

// The body of format n (1-8): characters, a tag and a size group.
std::string FormatBody(int n) {
  static const char* const kBodies[] = {"C", "C C", "C D008 C", "C { D052 #9 } C", "C C C", "D006 C",
                                        "C D058 C D058 C D058", "C D009"};
  return kBodies[(n - 1) % 8];
}

// Writes the words of a command in the notation above; each C becomes a
// character from `next`.
template <class NextCharacter>
void PutCommand(std::string& w, std::string_view text, NextCharacter&& next) {
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    size_t end = text.find(' ', i);
    if (end == std::string_view::npos) end = text.size();
    std::string_view token = text.substr(i, end - i);
    i = end;
    if (token == "{") {
      PutBE(w, 0xD003);
    } else if (token == "}") {
      PutBE(w, 0xD004);
    } else if (token == "C") {
      PutBE(w, next());
    } else if (token[0] == '#') {
      for (char d : token.substr(1)) {
        PutBE(w, d == '.' ? 0xC334 : d == ',' ? 0xC335 : static_cast<uint16_t>(0xC340 + (d - '0')));
      }
    } else if (token.size() == 4) {
      PutBE(w, static_cast<uint16_t>(std::stoul(std::string(token), nullptr, 16)));
    } else {
      Die("bad word in a kind's command: " + std::string(token));
    }
  }
}

// The definitions of formats 1-8.
std::string FormatDefinitions(const Repertoire& rep, Random& rnd) {
  std::string w;
  auto next = [&] { return rep.kanji[rnd.Next(static_cast<unsigned>(rep.kanji.size()))].source; };
  for (int n = 1; n <= 8; ++n) {
    PutCommand(w, "{ D02C #" + std::to_string(n) + " } " + FormatBody(n) + " } }", next);
  }
  return w;
}

// One job of the commands of `kinds` taken in turn, a line end after every
// eighth command; returns its characters (those of the format bodies not
// counted) and says how many commands it holds. With `defineFormats`
// formats 1-8 are defined at its start.
long long WriteKindJob(const fs::path& file, const std::vector<const Kind*>& kinds, bool defineFormats,
                       const Repertoire& rep, long long chars) {
  BlockFile words(file);
  Random rnd;
  long long written = 0;
  auto next = [&] {
    ++written;
    return rep.kanji[rnd.Next(static_cast<unsigned>(rep.kanji.size()))].source;
  };
  long long commands = 0;
  if (defineFormats) words.buf() += FormatDefinitions(rep, rnd);
  std::vector<size_t> turn(kinds.size(), 0);
  for (unsigned step = 0; written < chars; ++step) {
    const Kind& kind = *kinds[step % kinds.size()];
    size_t& t = turn[step % kinds.size()];
    PutCommand(words.buf(), kind.commands[t++ % kind.commands.size()], next);
    for (unsigned k = 2 + rnd.Next(4); k > 0; --k) PutBE(words.buf(), next());
    if (step % 8 == 7) PutBE(words.buf(), velkan::kLineEnd);
    words.MaybeFlush();
    commands = step + 1;
  }
  std::printf("%s: %lld characters, %lld commands\n", file.filename().c_str(), written, commands);
  return written;
}

// The text job of escapes: the sample root's escapes (with \ for the yen
// sign byte 0x5C), its marks and replacements, K for a kanji and R for a
// roman character of the job.
constexpr const char* kTextCommands[] = {
    "\\{\\size9\\}",          "\\{\\lsp15\\indent1\\left0\\}", "\\rubyKK|KK|",       "\\grubyK\\grubyKK\\gruby",
    "\\ulKK\\ul",             "\\fill\\sp",                     "\\{\\hang1\\}",      "\\{\\wset4.5,4.5,2,0\\}\\wariKK\\wari",
    "\\frac1\\frac3\\frac",   "|o12",                           "|(10",               "|@12",
    "|rRRR|j",                "\\{\\font5\\}K\\{\\font1\\}",    "\\em",               "\\th",
    "\\pi007",                "\\sfx1K",                        "\\codeK",            "\\nobr",
    "\\page",                 "@-@",                            "...",                "--",
    "\\{\\width8\\}",         "\\dm0",                          "\\s2",               "\\krubyK\\krubyK\\kruby",
};

long long WriteTextKindJob(const fs::path& file, const Repertoire& rep, long long chars) {
  BlockFile text(file);
  Random rnd;
  long long written = 0, commands = 0;
  auto kanji = [&] {
    ++written;
    return rep.kanji[rnd.Next(static_cast<unsigned>(rep.kanji.size()))].text;
  };
  for (unsigned step = 0; written < chars; ++step) {
    std::string& s = text.buf();
    for (const char* p = kTextCommands[step % std::size(kTextCommands)]; *p != '\0'; ++p) {
      if (*p == 'K') {
        s += kanji();
      } else if (*p == 'R') {
        s += rep.roman[rnd.Next(static_cast<unsigned>(rep.roman.size()))].text;
        ++written;
      } else {
        s += *p;
      }
    }
    for (unsigned k = 2 + rnd.Next(4); k > 0; --k) s += kanji();
    if (step % 8 == 7) s += "\\br\r\n";
    text.MaybeFlush();
    commands = step + 1;
  }
  std::printf("%s: %lld characters, %lld commands\n", file.filename().c_str(), written, commands);
  text.buf() += "\r\n";
  return written;
}

// Writes kind-NAME.zan for every kind, kind-mix.zan, kind-text.txt and
// kind-formats.udf (formats 1-8, for kind-format.zan run with --udf); the
// format jobs define their formats at their start as well.
std::string WriteKindJobs(const fs::path& dir, const Repertoire& rep, long long chars) {
  std::string counts;
  std::vector<const Kind*> all;
  for (const Kind& kind : Kinds()) {
    all.push_back(&kind);
    bool formats = std::string_view(kind.name) == "format";
    long long n = WriteKindJob(dir / ("kind-" + std::string(kind.name) + ".zan"), {&kind}, formats, rep, chars);
    counts += "kind-" + std::string(kind.name) + " " + std::to_string(n) + "\n";
  }
  counts += "kind-mix " + std::to_string(WriteKindJob(dir / "kind-mix.zan", all, true, rep, chars)) + "\n";
  counts += "kind-text " + std::to_string(WriteTextKindJob(dir / "kind-text.txt", rep, chars)) + "\n";
  Random rnd;
  BlockFile udf(dir / "kind-formats.udf");
  udf.buf() += FormatDefinitions(rep, rnd);
  return counts;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: velkan_bench_jobs ROOT DIR MILLION-CHARACTERS [chars,commands,overlays,text,kinds]\n");
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
  if (wants("kinds")) counts += WriteKindJobs(dir, rep, chars);
  std::ofstream out(dir / "counts");
  out << counts;
  if (!out) Die("cannot write " + (dir / "counts").string());
  return 0;
}
