// Converts generated jobs of character words through the whole conversion job
// (files in, file out, with code and font tables) and prints the throughput in
// words per second and the peak memory of the process. A small job runs first:
// the peak after the large job should be no higher than after the small one,
// since nothing the conversion holds grows with the job.
//
// Usage: velkan_bench_characters [million-words]   (default 4)
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "conversion/session.h"
#include "engine/job.h"
#include "tables/code_tables.h"

namespace fs = std::filesystem;

namespace {

void Put(std::string& s, uint16_t w, bool littleEndian) {
  char a = static_cast<char>(w >> 8), b = static_cast<char>(w & 0xFF);
  s += littleEndian ? b : a;
  s += littleEndian ? a : b;
}

void WriteFile(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A table root: the code tables give Shift_JIS forms to the direct and roman
// pages; the base code file converts 0x8000-0x8FFF to kanji rows 0x30-0x4F.
void WriteTables(const fs::path& root) {
  std::string header;
  Put(header, 0, true);
  std::string hnw = header;
  for (int i = 0; i < 0x40; ++i) {
    Put(hnw, static_cast<uint16_t>(0x8140 + i), true);  // a full-width symbol
    Put(hnw, static_cast<uint16_t>(0xA000 + i), true);  // page A0: direct
  }
  for (int i = 0; i < 10; ++i) {
    Put(hnw, static_cast<uint16_t>(0x824F + i), true);  // full-width digits
    Put(hnw, static_cast<uint16_t>(0xC330 + i), true);  // roman digits: single bytes
  }
  for (const char* name : velkan::kPairTableNames) {
    WriteFile(root / "QDXFILES" / name, std::string(name) == "SJIS_HNW.TBL" ? hnw : header);
  }
  WriteFile(root / "QDXFILES" / "SJIS_ZAN.TBL", "");
  std::string jis = header;
  for (int i = 0; i < 10; ++i) {
    Put(jis, static_cast<uint16_t>(0x824F + i), true);
    Put(jis, static_cast<uint16_t>('0' + i), true);
  }
  WriteFile(root / "QDXFILES" / "SJIS_JIS.TBL", jis);

  std::string conv;
  for (int i = 1; i < 0x1000; ++i) {
    Put(conv, static_cast<uint16_t>(0x8000 + i), true);
    Put(conv, static_cast<uint16_t>(((0x30 + i / 94) << 8) + 0x21 + i % 94), true);
  }
  WriteFile(root / "qdxfiles" / "conv00.tbl", conv);
  WriteFile(root / "qdxfiles" / "conv021.tbl", "");
  WriteFile(root / "qdxfiles" / "conv022.tbl", "");
  WriteFile(root / "qdxfiles" / "convpi.tbl", "");
  WriteFile(root / "qdxfiles" / "fntinf.fil", "heading\r\n");
  std::string pitch(1024 + 256, '\0');
  pitch[3] = 1;
  for (int col = 0; col < 256; ++col) pitch[static_cast<size_t>(1024 + col)] = 27;
  WriteFile(root / "QDXFILES" / "pitfile.fil", pitch);
  WriteFile(root / "qdxfiles" / "pifont.fil", std::string(1000, '\0'));
}

// Writes a job of `words` character words in blocks, so that making it costs
// no memory that grows with it: kanji for the most part, with direct symbols,
// roman digits and letters (single bytes, separators, typed tags) and
// code-page tags mixed in, and a line end after every 40 characters.
void WriteJob(const fs::path& p, long words) {
  std::ofstream out(p, std::ios::binary);
  std::string block;
  uint32_t x = 12345;
  for (long i = 0; i < words; ++i) {
    x = x * 1103515245u + 12345u;
    unsigned r = (x >> 16) % 100;
    uint16_t w;
    if (r < 80) w = static_cast<uint16_t>(0x8001 + (x >> 8) % 0xFFE);
    else if (r < 85) w = static_cast<uint16_t>(0xA000 + (x >> 8) % 0x40);
    else if (r < 92) w = static_cast<uint16_t>(0xC330 + (x >> 8) % 10);
    else if (r < 96) w = static_cast<uint16_t>(0xC341 + (x >> 8) % 26);
    else w = static_cast<uint16_t>(0x45A1 + (x >> 8) % 0x50);
    Put(block, w, false);
    if (i % 40 == 39) Put(block, 0xD009, false);
    if (block.size() >= 65536) {
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
      block.clear();
    }
  }
  out.write(block.data(), static_cast<std::streamsize>(block.size()));
}

long PeakKilobytes() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

void RunOnce(const fs::path& dir, long words) {
  fs::path input = dir / "job.zan";
  WriteJob(input, words);
  velkan::JobOptions o;
  o.tableRoot = dir / "root";
  o.inputFile = input.string();
  o.outputFile = (dir / "out.txt").string();
  velkan::Session session;
  auto start = std::chrono::steady_clock::now();
  velkan::JobResult r = velkan::RunConversionJob(session, o);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (r.status != velkan::JobStatus::kCompleted) {
    std::fprintf(stderr, "conversion failed\n");
    for (const auto& n : r.notes) std::fprintf(stderr, "  %s\n", n.Text().c_str());
    std::exit(1);
  }
  std::printf("%10ld words  %7.3f s  %12.0f words/s  output %8.1f MB  peak memory %ld KB\n", words, seconds,
              static_cast<double>(words) / seconds, static_cast<double>(fs::file_size(o.outputFile)) / 1e6,
              PeakKilobytes());
  fs::remove(input);
  fs::remove(o.outputFile);
}

}  // namespace

int main(int argc, char** argv) {
  double millions = argc > 1 ? std::atof(argv[1]) : 4.0;
  if (millions <= 0) millions = 4.0;
  char tmpl[] = "/tmp/velkan-bench-XXXXXX";
  if (::mkdtemp(tmpl) == nullptr) return 1;
  fs::path dir = tmpl;
  WriteTables(dir / "root");
  long large = static_cast<long>(millions * 1e6);
  RunOnce(dir, large / 16);
  RunOnce(dir, large);
  fs::remove_all(dir);
  return 0;
}
