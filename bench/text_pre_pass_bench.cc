// Throughput and peak memory of the text pre-pass on a generated text.
//
//   velkan_bench_text_pre_pass [MiB]    (default 32)
//
// Lays out a table root with tables of a realistic size (a few thousand
// double-byte characters, command and mode characters, escape names, markers,
// code pairs and replacement entries), writes a Shift_JIS text of the given
// size to a temporary file in pieces, then streams it through the pre-pass
// and counts the words. The peak resident size is reported before and after
// the pass: it stays flat however large the text is.
#include <sys/resource.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "io/byte_streams.h"
#include "tables/code_tables.h"
#include "tables/text_pre_pass.h"

namespace fs = std::filesystem;
using namespace velkan;

namespace {

long PeakKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

void PutWord(std::string& out, uint16_t w) {
  out += static_cast<char>(w & 0xFF);
  out += static_cast<char>(w >> 8);
}

void WriteFile(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Double-byte characters of the first kanji level: lead 0x88-0x98, trail
// 0x40-0xFC without 0x7F.
std::vector<uint16_t> Kanji() {
  std::vector<uint16_t> codes;
  for (unsigned lead = 0x89; lead <= 0x97; ++lead) {
    for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
      if (trail != 0x7F) codes.push_back(static_cast<uint16_t>(lead << 8 | trail));
    }
  }
  return codes;
}

void LayOutRoot(const fs::path& root, const std::vector<uint16_t>& kanji) {
  const fs::path q = root / "qdxfiles";
  std::string zan;
  for (size_t i = 0; i < kanji.size(); ++i) {
    PutWord(zan, kanji[i]);
    PutWord(zan, static_cast<uint16_t>(0x8000 + i));
  }
  // Command characters among the symbols, and the mode characters.
  const uint16_t commands[][2] = {{0x816F, 0xD003}, {0x8170, 0xD004}, {0x8194, 0xD009}, {0x8190, 0xD052},
                                  {0x8193, 0xD008}, {0x8195, 0xD05B}};
  for (const auto& c : commands) {
    PutWord(zan, c[0]);
    PutWord(zan, c[1]);
  }
  for (uint16_t m = 0; m <= 0x10; ++m) {
    PutWord(zan, static_cast<uint16_t>(0x8740 + m));
    PutWord(zan, static_cast<uint16_t>(0x1000 + m));
  }
  WriteFile(q / "SJIS_ZAN.TBL", zan);

  // Single bytes to their full-width forms: digits, letters.
  std::string jis;
  PutWord(jis, 0);
  for (unsigned c = '0'; c <= '9'; ++c) { PutWord(jis, static_cast<uint16_t>(0x824F + c - '0')); PutWord(jis, static_cast<uint16_t>(c)); }
  for (unsigned c = 'A'; c <= 'Z'; ++c) { PutWord(jis, static_cast<uint16_t>(0x8260 + c - 'A')); PutWord(jis, static_cast<uint16_t>(c)); }
  for (unsigned c = 'a'; c <= 'z'; ++c) { PutWord(jis, static_cast<uint16_t>(0x8281 + c - 'a')); PutWord(jis, static_cast<uint16_t>(c)); }
  PutWord(jis, 0x8140);
  PutWord(jis, ' ');
  WriteFile(q / "SJIS_JIS.TBL", jis);

  // Each block table full of pairs for the full-width digits and letters.
  for (const char* name : kPairTableNames) {
    std::string block;
    PutWord(block, 0);
    for (unsigned i = 0; i < 512; ++i) {
      uint16_t key = static_cast<uint16_t>(i < 10 ? 0x824F + i : i < 36 ? 0x8260 + i - 10 : i < 62 ? 0x8281 + i - 36 : 0x9000 + i);
      PutWord(block, key);
      PutWord(block, static_cast<uint16_t>(0x4500 + i));
    }
    WriteFile(q / name, block);
  }

  std::string sys = "%0000 0\r\n$9001 !\r\n#9001 ^\r\n@9002 [\r\n@9001 ]\r\n@4000 [M0]\r\n@D009 [M1]\r\n";
  for (int k = 1; k <= 10; ++k) sys += std::string("$000") + "0123456789A"[k] + " !M" + std::to_string(k) + "\r\n";
  for (int low = 0; low < 200; ++low) {
    char line[32];
    std::snprintf(line, sizeof line, "#D0%02X ^C%02X\r\n", low, low);
    sys += line;
  }
  for (int i = 0; i < 300; ++i) {
    char line[32];
    std::snprintf(line, sizeof line, "&%04X %04X\r\n", 0x9800 + i, 0x4600 + i);
    sys += line;
  }
  WriteFile(q / "velkansys.tbl", sys);
  WriteFile(q / "velkanuser.tbl", "%0000 1\r\n");

  std::string nm;
  for (int i = 0; i < 200; ++i) nm += "key" + std::to_string(i) + "=D009,4521\r\n";
  WriteFile(q / "nmcnv.tbl", nm);
}

// One paragraph: mostly kanji, with ASCII words, a counted number, a mode
// change, a command name, a group, a marker, replacement keys and line ends.
std::string Paragraph(const std::vector<uint16_t>& kanji, unsigned& seed) {
  std::string p;
  for (int i = 0; i < 60; ++i) {
    seed = seed * 1103515245u + 12345u;
    uint16_t k = kanji[(seed >> 8) % kanji.size()];
    p += static_cast<char>(k >> 8);
    p += static_cast<char>(k & 0xFF);
  }
  p += "Latin text 123 ";
  p += "\x87\x40" "12";           // mode 1, two digits
  p += "!M8abc!M6";               // roman mode and back
  p += "^C10";                    // a command by name
  p += "\x81\x6F\x81\x90" "12\x81\x70";  // a size group
  p += "[M1]";                    // a marker
  p += "key17 key150";            // replacements
  p += "\r\n";
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  const long mib = argc > 1 ? std::atol(argv[1]) : 32;
  if (mib <= 0) {
    std::fprintf(stderr, "usage: %s [MiB]\n", argv[0]);
    return 2;
  }
  char tmpl[] = "/tmp/velkan-bench-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const fs::path dir = tmpl;
  const std::vector<uint16_t> kanji = Kanji();
  LayOutRoot(dir / "root", kanji);

  // The text, written in pieces so that the generator holds little memory.
  const fs::path textPath = dir / "job.txt";
  long long textBytes = 0;
  {
    std::ofstream out(textPath, std::ios::binary);
    unsigned seed = 1;
    std::string piece;
    while (textBytes < mib * 1024LL * 1024LL) {
      piece.clear();
      while (piece.size() < (1u << 20)) piece += Paragraph(kanji, seed);
      out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
      textBytes += static_cast<long long>(piece.size());
    }
  }
  const long peakBefore = PeakKiB();

  TablePaths paths(dir / "root", std::nullopt);
  PrePassTables tables;
  EscapeDefinitions escapes;
  std::vector<Note> notes;
  LoadTextInputTables(tables, escapes, paths, &notes);
  for (const Note& n : notes) std::fprintf(stderr, "note: %s\n", n.Text().c_str());

  int fd = ::open(textPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 1;
  FdSource text(fd);
  long long wordBytes = 0;
  unsigned long long check = 0;
  auto start = std::chrono::steady_clock::now();
  {
    TextPrePass pass(text, tables, escapes);
    std::vector<uint8_t> buf(64 * 1024);
    long n;
    while ((n = pass.Read(buf.data(), buf.size())) > 0) {
      wordBytes += n;
      for (long i = 0; i < n; i += 512) check += buf[static_cast<size_t>(i)];
    }
    if (n < 0) std::fprintf(stderr, "read error\n");
  }
  auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ::close(fd);

  std::printf("text pre-pass: %.1f MiB of text in %.3f s: %.1f MiB/s, %lld words (%.1f ns a text byte)\n",
              static_cast<double>(textBytes) / (1024.0 * 1024.0), seconds,
              static_cast<double>(textBytes) / (1024.0 * 1024.0) / seconds, wordBytes / 2,
              seconds * 1e9 / static_cast<double>(textBytes));
  std::printf("peak resident size: %ld KiB before the pass, %ld KiB after (check %llu)\n", peakBefore, PeakKiB(),
              check);
  fs::remove_all(dir);
  return 0;
}
