// Writes the seed corpora of the fuzz targets: every golden case's input,
// format file, definition file, stored formats and table files, in the form
// each target reads, and the fixture's own tables.
//
//   fuzz_seeds CASES_DIR OUT_DIR
//
// makes OUT_DIR/<target>/<case name>[-<file>] files.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <strings.h>

#include "fuzz/fuzz_support.h"
#include "golden/case_file.h"
#include "tables/code_tables.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void Put(const fs::path& out, const std::string& target, const std::string& name, const std::string& bytes) {
  fs::create_directories(out / target);
  std::ofstream f(out / target / name, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string LengthPrefixed(const std::string& piece) {
  std::string n = piece.substr(0, 0xFFFF);
  std::string s;
  s += static_cast<char>(n.size() & 0xFF);
  s += static_cast<char>(n.size() >> 8);
  return s + n;
}

// The index the pair-table target gives a table name, or -1.
int PairTableIndex(const std::string& file) {
  std::string base = fs::path(file).filename().string();
  size_t i = 0;
  for (const char* name : velkan::kPairTableNames) {
    if (::strcasecmp(base.c_str(), name) == 0) return static_cast<int>(i);
    ++i;
  }
  if (::strcasecmp(base.c_str(), "SJIS_ZAN.TBL") == 0) return static_cast<int>(i);
  if (::strcasecmp(base.c_str(), "SJIS_JIS.TBL") == 0) return static_cast<int>(i + 1);
  return -1;
}

bool NameIs(const std::string& file, const char* name) {
  return ::strcasecmp(fs::path(file).filename().c_str(), name) == 0;
}

// The index the font-table target gives a font table, or -1.
int FontTableIndex(const std::string& file) {
  const char* const names[] = {"conv00.tbl", "conv01.tbl", "conv021.tbl", "conv022.tbl",
                               "convpi.tbl", "fntinf.fil", "convura.tbl", "pitfile.fil"};
  for (int i = 0; i < 8; ++i) {
    if (NameIs(file, names[i])) return i;
  }
  // Other overlays stand in for overlay 1.
  std::string base = fs::path(file).filename().string();
  if (base.size() == 10 && ::strncasecmp(base.c_str(), "conv", 4) == 0) return 1;
  return -1;
}

void Seeds(const fs::path& out, const std::string& name, const velkan::test::CaseFile& c) {
  char options = 0;
  for (size_t i = 0; i < c.options.size(); ++i) {
    if (c.options[i] == "--vertical") options |= 1;
    if (c.options[i] == "--unit" && i + 1 < c.options.size() && c.options[i + 1] == "Q") options |= 2;
    if (c.options[i] == "--no-warnings") options |= 4;
  }
  if (c.textJob) {
    Put(out, "text_job_fuzzer", name, std::string(1, options) + c.input);
  } else {
    Put(out, "code_job_fuzzer", name, std::string(1, options) + c.input);
  }
  if (c.haveUdf) Put(out, "code_job_fuzzer", name + "-udf", std::string(1, options) + c.udf);
  if (c.haveRerun) Put(out, "code_job_fuzzer", name + "-rerun", std::string(1, options) + c.rerunInput);
  if (c.haveDefine) Put(out, "definition_file_fuzzer", name, LengthPrefixed(c.define) + (c.textJob ? "" : c.input));
  if (!c.stored.empty()) {
    std::string table(400, '\0');
    std::string records;
    for (const velkan::test::StoredFormat& f : c.stored) {
      std::string words = velkan::fuzz::LittleEndianWords(f.words);
      size_t at = static_cast<size_t>(f.number) * 1024;
      if (records.size() < at + 1024) records.resize(at + 1024, '\0');
      records.replace(at, words.size(), words);
      table[static_cast<size_t>(f.number)] = f.defined ? 1 : 0;
    }
    Put(out, "format_store_fuzzer", name, LengthPrefixed(table) + LengthPrefixed(records) + c.input);
  }
  for (const auto& [file, bytes] : c.files) {
    std::string seed = name + "-" + fs::path(file).filename().string();
    if (int i = PairTableIndex(file); i >= 0) Put(out, "pair_table_fuzzer", seed, std::string(1, char(i)) + bytes);
    if (NameIs(file, "velkansys.tbl")) Put(out, "escape_definitions_fuzzer", seed, LengthPrefixed(bytes));
    if (NameIs(file, "velkanuser.tbl")) Put(out, "escape_definitions_fuzzer", seed, LengthPrefixed("") + bytes);
    if (NameIs(file, "nmcnv.tbl")) Put(out, "replacement_table_fuzzer", seed, bytes);
    if (int i = FontTableIndex(file); i >= 0) Put(out, "font_table_fuzzer", seed, std::string(1, char(i)) + bytes);
  }
}

// The fixture's own tables, each as a seed of the target that reads it.
void FixtureSeeds(const fs::path& out) {
  const velkan::fuzz::Fixture& f = velkan::fuzz::Fixture::Get();
  fs::path q = f.root() / "QDXFILES";
  int i = 0;
  for (const char* name : velkan::kPairTableNames) {
    Put(out, "pair_table_fuzzer", std::string("fixture-") + name, std::string(1, char(i++)) + ReadFile(q / name));
  }
  Put(out, "pair_table_fuzzer", "fixture-SJIS_ZAN.TBL", std::string(1, char(i++)) + ReadFile(q / "SJIS_ZAN.TBL"));
  Put(out, "pair_table_fuzzer", "fixture-SJIS_JIS.TBL", std::string(1, char(i++)) + ReadFile(q / "SJIS_JIS.TBL"));
  fs::path l = f.root() / "qdxfiles";
  Put(out, "escape_definitions_fuzzer", "fixture",
      LengthPrefixed(ReadFile(l / "velkansys.tbl")) + ReadFile(l / "velkanuser.tbl"));
  Put(out, "replacement_table_fuzzer", "fixture", ReadFile(l / "nmcnv.tbl"));
  Put(out, "definition_file_fuzzer", "fixture", LengthPrefixed(ReadFile(f.definitions())));
  const char* const fonts[] = {"qdxfiles/conv00.tbl",  "qdxfiles/conv01.tbl", "qdxfiles/conv021.tbl",
                               "qdxfiles/conv022.tbl", "qdxfiles/convpi.tbl", "qdxfiles/fntinf.fil",
                               "qdxfiles/convura.tbl", "QDXFILES/pitfile.fil"};
  for (int k = 0; k < 8; ++k) {
    Put(out, "font_table_fuzzer", "fixture-" + std::to_string(k),
        std::string(1, char(k)) + ReadFile(f.root() / fonts[k]));
  }
  Put(out, "format_store_fuzzer", "fixture",
      LengthPrefixed(ReadFile(f.storeDir() / "QDXFILES" / "udf2.tbl")) +
          LengthPrefixed(ReadFile(f.storeDir() / "QDXFILES" / "udf2.fle").substr(0, 4 * 1024)));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: fuzz_seeds CASES_DIR OUT_DIR\n";
    return 2;
  }
  fs::path cases = argv[1], out = argv[2];
  int count = 0, bad = 0;
  for (const auto& e : fs::directory_iterator(cases)) {
    if (e.path().extension() != ".case") continue;
    velkan::test::CaseFile c;
    std::string error;
    if (!velkan::test::ParseCase(ReadFile(e.path()), c, error)) {
      std::cerr << e.path() << ": " << error << "\n";
      ++bad;
      continue;
    }
    Seeds(out, e.path().stem().string(), c);
    ++count;
  }
  FixtureSeeds(out);
  std::cout << "seeds from " << count << " cases in " << out << "\n";
  return bad == 0 ? 0 : 1;
}
