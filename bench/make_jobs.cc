// Writes the jobs of the throughput benchmark into a folder, together with a
// table root they convert with and the same characters as plain text for a
// side-by-side run of iconv:
//
//   root/          pair tables (Shift_JIS forms of the roman pages, the text
//                  pre-pass's forward map), font tables (every code of pages
//                  0x8000-0x9FFF that the jobs use converts to a kanji), an
//                  empty pitch file and escape definitions, the pi-font file
//   chars.zan      the character-heavy job: kanji of pages 0x8000-0x9FFF with
//                  words of roman letters (page 0xC3), a line end after every
//                  40 characters
//   chars.utf16    its characters (and line ends) as UTF-16BE
//   commands.zan   the command-heavy job: size and font groups, group ruby,
//                  rule and page warnings, tags and line ends every few
//                  characters
//   commands.utf16 its characters as UTF-16BE
//   text.txt       a text job (Shift_JIS, CR LF) holding the characters of
//                  chars.zan: the pre-pass turns it into the same words
//   counts         "NAME CHARACTERS" for each job
//
// Usage: velkan_bench_jobs DIR MILLION-CHARACTERS [JOBS]
//   JOBS: a comma-separated choice of chars, commands, text (default all),
//   or charwords for chars.zan alone (for a very large job).
// Nothing here grows with the size of a job: the files are written in blocks.
#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "velkan_bench_jobs: %s\n", what.c_str());
  std::exit(1);
}

void PutLE(std::string& s, uint16_t w) {
  s += static_cast<char>(w & 0xFF);
  s += static_cast<char>(w >> 8);
}

void PutBE(std::string& s, uint16_t w) {
  s += static_cast<char>(w >> 8);
  s += static_cast<char>(w & 0xFF);
}

void WriteFile(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) Die("cannot write " + p.string());
}

// JIS X 0208 to Shift_JIS by the published rule.
uint16_t JisToSjis(uint16_t jis) {
  unsigned hi = jis >> 8, lo = jis & 0xFF;
  unsigned s1 = (hi + 1) / 2 + (hi <= 0x5E ? 0x70 : 0xB0);
  unsigned s2 = lo + ((hi & 1) ? (lo >= 0x60 ? 0x20 : 0x1F) : 0x7E);
  return static_cast<uint16_t>(s1 << 8 | s2);
}

// Converts bytes with iconv; empty when they do not convert whole.
std::string Iconv(const char* from, const char* to, const std::string& in) {
  iconv_t cd = ::iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) Die(std::string("iconv cannot convert ") + from + " to " + to);
  std::string src = in;
  std::string out(in.size() * 4 + 8, '\0');
  char* ip = src.data();
  size_t il = src.size();
  char* op = out.data();
  size_t ol = out.size();
  size_t r = ::iconv(cd, &ip, &il, &op, &ol);
  ::iconv_close(cd);
  if (r == static_cast<size_t>(-1) || il != 0) return {};
  out.resize(out.size() - ol);
  return out;
}

// The source codes the jobs draw kanji from: pages 0x8000-0x9FFF without the
// codes that have a range type of their own (0x9600-0x97FF) and without the
// two combined-number codes.
bool UsableSource(uint16_t code) {
  if (code < 0x8001 || code > 0x9FFF) return false;
  if (code >= 0x9600 && code <= 0x97FF) return false;
  return code != 0x95B4 && code != 0x95BE;
}

// The characters: for each usable source code its JIS code, its Shift_JIS
// code and its UTF-16 form.
struct Character {
  uint16_t source = 0;
  uint16_t jis = 0;
  uint16_t sjis = 0;
  uint16_t utf16 = 0;
};

struct Repertoire {
  std::vector<Character> kanji;
  // Roman letters A-Z and a-z of page 0xC3: source code, full-width
  // Shift_JIS, ASCII.
  std::vector<Character> roman;
};

Repertoire MakeRepertoire() {
  // Kanji rows 0x30-0x74 that round-trip between Shift_JIS and UTF-16.
  std::vector<Character> pool;
  for (unsigned hi = 0x30; hi <= 0x74; ++hi) {
    for (unsigned lo = 0x21; lo <= 0x7E; ++lo) {
      uint16_t sjis = JisToSjis(static_cast<uint16_t>(hi << 8 | lo));
      std::string bytes{static_cast<char>(sjis >> 8), static_cast<char>(sjis & 0xFF)};
      std::string u = Iconv("CP932", "UTF-16BE", bytes);
      if (u.size() != 2 || Iconv("UTF-16BE", "CP932", u) != bytes) continue;
      Character ch;
      ch.jis = static_cast<uint16_t>(hi << 8 | lo);
      ch.sjis = sjis;
      ch.utf16 = static_cast<uint16_t>(static_cast<uint8_t>(u[0]) << 8 | static_cast<uint8_t>(u[1]));
      pool.push_back(ch);
    }
  }
  if (pool.size() < 4000) Die("the system's iconv lacks CP932 kanji");
  Repertoire r;
  size_t next = 0;
  for (unsigned code = 0x8000; code <= 0x9FFF; ++code) {
    if (!UsableSource(static_cast<uint16_t>(code))) continue;
    Character ch = pool[next++ % pool.size()];
    ch.source = static_cast<uint16_t>(code);
    r.kanji.push_back(ch);
  }
  for (int i = 0; i < 26; ++i) {
    r.roman.push_back({static_cast<uint16_t>(0xC341 + i), 0, static_cast<uint16_t>(0x8260 + i),
                       static_cast<uint16_t>('A' + i)});
    r.roman.push_back({static_cast<uint16_t>(0xC361 + i), 0, static_cast<uint16_t>(0x8281 + i),
                       static_cast<uint16_t>('a' + i)});
  }
  return r;
}

void WriteTables(const fs::path& root, const Repertoire& rep) {
  fs::path q = root / "qdxfiles";
  std::string header;
  PutLE(header, 0);
  // The roman letters' Shift_JIS forms (job side), which the text pre-pass
  // also reads as full-width letter -> source code.
  std::string hnw = header;
  for (const Character& c : rep.roman) {
    PutLE(hnw, c.sjis);
    PutLE(hnw, c.source);
  }
  const char* pairTables[] = {"SJIS_HNW.TBL", "SJIS_ROM.TBL", "SJIS_ITA.TBL", "SJIS_RUB.TBL", "SJ_KKA_0.TBL",
                              "SJ_KKA_1.TBL", "SJ_KKA_2.TBL", "SJ_KMA_0.TBL", "SJ_KMA_1.TBL", "SJ_KMA_2.TBL",
                              "SJ_KU2_0.TBL", "SJ_KU2_1.TBL", "SJ_KU3_0.TBL", "SJ_KU3_1.TBL", "SJ_KU3_2.TBL",
                              "SJ_KUR_0.TBL", "SJ_KUR_1.TBL", "SJ_KUR_2.TBL"};
  // The other tables hold one pair the jobs never meet (the ideographic
  // space), so that none of them counts as empty.
  std::string unused = header;
  PutLE(unused, 0x8140);
  PutLE(unused, 0xD002);
  for (const char* name : pairTables) WriteFile(q / name, std::string(name) == "SJIS_HNW.TBL" ? hnw : unused);
  // The text pre-pass's forward map: each kanji's Shift_JIS code -> its
  // source code (the first source code of a character wins, so every
  // character of text.txt turns back into the code chars.zan has for it).
  std::string zan;
  std::vector<bool> seen(0x10000, false);
  for (const Character& c : rep.kanji) {
    if (seen[c.sjis]) continue;
    seen[c.sjis] = true;
    PutLE(zan, c.sjis);
    PutLE(zan, c.source);
  }
  WriteFile(q / "SJIS_ZAN.TBL", zan);
  // Full-width letter -> its single byte.
  std::string jis = header;
  for (const Character& c : rep.roman) {
    PutLE(jis, c.sjis);
    PutLE(jis, c.utf16);
  }
  WriteFile(q / "SJIS_JIS.TBL", jis);
  // The base code file: every usable code to its kanji's JIS code.
  std::string conv;
  for (const Character& c : rep.kanji) {
    PutLE(conv, c.source);
    PutLE(conv, c.jis);
  }
  WriteFile(q / "conv00.tbl", conv);
  WriteFile(q / "conv021.tbl", "");
  WriteFile(q / "conv022.tbl", "");
  WriteFile(q / "convpi.tbl", "");
  WriteFile(q / "fntinf.fil", "heading\r\n");
  WriteFile(q / "pitfile.fil", std::string(1024, '\0'));
  WriteFile(q / "pifont.fil", std::string(1000, '\0'));
  WriteFile(q / "velkansys.tbl", "");
  WriteFile(q / "velkanuser.tbl", "");
  WriteFile(q / "nmcnv.tbl", "");
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

// The character-heavy job and its text forms: kanji for the most part, a
// word of 3-8 roman letters now and then, a line end after every 40
// characters.
void WriteCharacterJobs(const fs::path& dir, const Repertoire& rep, long long chars, bool zan, bool plain,
                        bool text) {
  std::unique_ptr<BlockFile> words, utf16, sjis;
  if (zan) words = std::make_unique<BlockFile>(dir / "chars.zan");
  if (plain) utf16 = std::make_unique<BlockFile>(dir / "chars.utf16");
  if (text) sjis = std::make_unique<BlockFile>(dir / "text.txt");
  Random rnd;
  int roman = 0;
  for (long long i = 0; i < chars; ++i) {
    const Character* c;
    if (roman > 0) {
      c = &rep.roman[rnd.Next(static_cast<unsigned>(rep.roman.size()))];
      --roman;
    } else if (rnd.Next(100) < 3) {
      roman = 2 + static_cast<int>(rnd.Next(6));
      c = &rep.roman[rnd.Next(static_cast<unsigned>(rep.roman.size()))];
    } else {
      c = &rep.kanji[rnd.Next(static_cast<unsigned>(rep.kanji.size()))];
    }
    bool lineEnd = i % kLine == kLine - 1;
    if (words) {
      PutBE(words->buf(), c->source);
      if (lineEnd) PutBE(words->buf(), 0xD009);
      words->MaybeFlush();
    }
    if (utf16) {
      PutBE(utf16->buf(), c->utf16);
      if (lineEnd) {
        PutBE(utf16->buf(), '\r');
        PutBE(utf16->buf(), '\n');
      }
      utf16->MaybeFlush();
    }
    if (sjis) {
      if (c->utf16 < 0x80) {
        sjis->buf() += static_cast<char>(c->utf16);
      } else {
        PutBE(sjis->buf(), c->sjis);
      }
      if (lineEnd) sjis->buf() += "\r\n";
      sjis->MaybeFlush();
    }
  }
}

void PutNumber(std::string& s, int n) {
  for (char d : std::to_string(n)) PutBE(s, static_cast<uint16_t>(0xC340 + (d - '0')));
}

// The command-heavy job: one command (or group) after every few characters,
// taken in turn from a cycle of size and font groups, group ruby, rule and
// page warnings, simple tags and line ends.
long long WriteCommandJob(const fs::path& dir, const Repertoire& rep, long long chars) {
  BlockFile words(dir / "commands.zan"), utf16(dir / "commands.utf16");
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
        PutNumber(w, step / 10 % 2 ? 3 : 1);
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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: velkan_bench_jobs DIR MILLION-CHARACTERS [chars,commands,text]\n");
    return 2;
  }
  fs::path dir = argv[1];
  double millions = std::atof(argv[2]);
  if (!(millions > 0)) Die("the number of characters must be above 0");
  std::string which = argc > 3 ? argv[3] : "chars,commands,text";
  auto wants = [&](const char* name) { return ("," + which + ",").find(std::string(",") + name + ",") != std::string::npos; };
  long long chars = static_cast<long long>(millions * 1e6);

  fs::create_directories(dir);
  Repertoire rep = MakeRepertoire();
  WriteTables(dir / "root", rep);
  std::ofstream counts(dir / "counts");
  if (wants("charwords")) {
    WriteCharacterJobs(dir, rep, chars, true, false, false);
    counts << "chars " << chars << "\n";
  }
  if (wants("chars") || wants("text")) {
    WriteCharacterJobs(dir, rep, chars, wants("chars"), wants("chars"), wants("text"));
    if (wants("chars")) counts << "chars " << chars << "\n";
    if (wants("text")) counts << "text " << chars << "\n";
  }
  if (wants("commands")) counts << "commands " << WriteCommandJob(dir, rep, chars) << "\n";
  if (!counts) Die("cannot write " + (dir / "counts").string());
  return 0;
}
