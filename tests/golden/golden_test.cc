// Runs every tests/cases/*.case through the conversion job and compares the
// output byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <strings.h>

#include "conversion/format_store.h"
#include "conversion/session.h"
#include "engine/job.h"
#include "golden/case_file.h"
#include "support/test_support.h"
#include "tables/code_tables.h"
#include "tables/table_root.h"
#include "tools/shift_jis_text.h"

namespace velkan::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> CaseNames() {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(VELKAN_CASES_DIR)) {
    if (e.path().extension() == ".case") names.push_back(e.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

using ::velkan::test::Slurp;

const char* StatusName(JobStatus s) {
  switch (s) {
    case JobStatus::kCompleted: return "completed";
    case JobStatus::kInputNotFound: return "input-not-found";
    case JobStatus::kOutputNotCreated: return "output-not-created";
    case JobStatus::kPassFailed: return "failed";
    case JobStatus::kCancelled: return "cancelled";
  }
  return "?";
}

// Where two outputs first differ, with both sides shown readably.
std::string Difference(const std::string& want, const std::string& got) {
  size_t i = 0;
  while (i < want.size() && i < got.size() && want[i] == got[i]) ++i;
  std::ostringstream s;
  s << "output differs at byte " << i << "\n--- expected\n" << Readable(want) << "\n--- actual\n"
    << Readable(got) << "\n---";
  return s.str();
}

// Lays out the format store as a case gives it: both files at their full
// size, each record in place (low byte first) and its table byte.
void WriteStore(const TempDir& dir, const std::vector<StoredFormat>& formats) {
  if (formats.empty()) return;
  std::string table(400, '\0');
  std::string records(400 * 1024, '\0');
  for (const StoredFormat& f : formats) {
    std::string words = LittleEndianWords(f.words);
    records.replace(static_cast<size_t>(f.number) * 1024, words.size(), words);
    table[static_cast<size_t>(f.number)] = f.defined ? 1 : 0;
  }
  dir.Write("root/qdxfiles/udf2.tbl", table);
  dir.Write("root/qdxfiles/udf2.fle", records);
}

// Compares the store after the runs with what the case expects.
void CheckStore(const fs::path& root, const std::vector<StoredFormat>& formats) {
  if (formats.empty()) return;
  std::string table = Slurp(ResolveUnder(root, kFormatTableName));
  std::string records = Slurp(ResolveUnder(root, kFormatFileName));
  ASSERT_EQ(400u, table.size());
  ASSERT_EQ(400u * 1024, records.size());
  for (const StoredFormat& f : formats) {
    std::vector<uint16_t> want = f.words;
    want.resize(512, 0);
    std::string got = records.substr(static_cast<size_t>(f.number) * 1024, 1024);
    EXPECT_EQ(LittleEndianWords(want), got) << "record of format " << f.number;
    EXPECT_EQ(f.defined ? 1 : 0, table[static_cast<size_t>(f.number)]) << "table byte of format " << f.number;
  }
}

// The warning tags found in an output: their text and where they begin.
std::vector<WrittenWarning> WarningsInOutput(const std::string& out) {
  std::vector<WrittenWarning> found;
  long long line = 1;
  size_t lineStart = 0, scanned = 0;
  for (size_t at = out.find("<WAR \""); at != std::string::npos; at = out.find("<WAR \"", at + 1)) {
    for (; scanned < at; ++scanned) {
      if (out[scanned] == '\n') {
        ++line;
        lineStart = scanned + 1;
      }
    }
    size_t end = out.find("\">", at + 6);
    if (end == std::string::npos) break;
    WrittenWarning w;
    w.line = line;
    w.column = static_cast<long long>(at - lineStart + 1);
    w.text = out.substr(at + 6, end - at - 6);
    found.push_back(std::move(w));
  }
  return found;
}

// The list of warnings agrees with the tags of the output: the same texts at
// the same places, in the same order; each comes from a place in the input:
// a code-word job's offset holds the command word that caused it (the call
// of a replayed format) or the character it is about; a text job's line is
// a line of the text. Both only go forward, as the job is read.
void CheckWarningList(const CaseFile& c, const std::string& out, const JobResult& r) {
  std::vector<WrittenWarning> want = WarningsInOutput(out);
  ASSERT_EQ(want.size(), r.warnings.size()) << "warnings listed and found in the output";
  long long lines = 1 + std::count(c.input.begin(), c.input.end(), '\n');
  long long lastOrigin = -1;
  for (size_t i = 0; i < want.size(); ++i) {
    const WrittenWarning& got = r.warnings[i];
    SCOPED_TRACE("warning " + std::to_string(i) + " " + Readable(got.text));
    EXPECT_EQ(want[i].text, got.text);
    EXPECT_EQ(want[i].line, got.line);
    EXPECT_EQ(want[i].column, got.column);
    long long origin = c.textJob ? got.inputLine : got.inputOffset;
    EXPECT_GE(origin, lastOrigin);
    lastOrigin = origin;
    if (c.textJob) {
      EXPECT_EQ(-1, got.inputOffset);
      EXPECT_GE(got.inputLine, 1);
      EXPECT_LE(got.inputLine, lines);
      continue;
    }
    EXPECT_EQ(-1, got.inputLine);
    ASSERT_GE(got.inputOffset, 0);
    ASSERT_LE(static_cast<size_t>(got.inputOffset) + 2, c.input.size());
    const auto* p = reinterpret_cast<const unsigned char*>(c.input.data()) + got.inputOffset;
    const uint16_t word = static_cast<uint16_t>(p[0] << 8 | p[1]);
    if ((word & 0xF000) != 0xD000) {
      // A character: the warning names its code, or the code it has as
      // ruby.
      char hex[8], dec[8];
      std::snprintf(hex, sizeof hex, "%04x", word);
      std::snprintf(dec, sizeof dec, "%d", word);
      std::string ruby;
      ASSERT_TRUE(Utf8ToShiftJis("ルビ，", ruby));
      EXPECT_TRUE(got.text.find(hex) != std::string::npos || got.text.find(dec) != std::string::npos ||
                  got.text.starts_with(ruby))
          << "the word at " << got.inputOffset << " is " << hex;
    }
  }
}

class GoldenCase : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenCase, ConvertsExactly) {
  fs::path file = fs::path(VELKAN_CASES_DIR) / (GetParam() + ".case");
  CaseFile c;
  std::string error;
  ASSERT_TRUE(ParseCase(Slurp(file), c, error)) << file << ": " << error;

  TempDir dir;
  fs::path root = dir.path() / "root";
  fs::create_directories(root);
  bool havePiFont = false;
  for (const auto& [name, bytes] : c.files) {
    dir.Write("root/" + name, bytes);
    if (::strcasecmp(fs::path(name).filename().c_str(), "pifont.fil") == 0) havePiFont = true;
  }
  // Every job needs the pi-font file; a case that is about its absence
  // says "--no-pifont".
  bool noPiFont = std::find(c.options.begin(), c.options.end(), "--no-pifont") != c.options.end();
  if (!havePiFont && !noPiFont) dir.Write("root/qdxfiles/pifont.fil", std::string(1000, '\0'));
  // A text job loads the text-input tables in order and stops at the first
  // one missing; the tables a case does not give are laid out empty (a block
  // table holds one zero pair, which a read must find), unless the case is
  // about missing tables and says "--no-code-tables".
  bool noCodeTables =
      std::find(c.options.begin(), c.options.end(), "--no-code-tables") != c.options.end();
  if (c.textJob && !noCodeTables) {
    auto given = [&](const std::string& name) {
      for (const auto& [file, bytes] : c.files) {
        if (::strcasecmp(file.c_str(), ("qdxfiles/" + name).c_str()) == 0) return true;
      }
      return false;
    };
    for (const char* name : kPairTableNames) {
      if (!given(name)) dir.Write(std::string("root/qdxfiles/") + name, std::string(6, '\0'));
    }
    if (!given("SJIS_ZAN.TBL")) dir.Write("root/qdxfiles/SJIS_ZAN.TBL", "");
    if (!given("SJIS_JIS.TBL")) dir.Write("root/qdxfiles/SJIS_JIS.TBL", std::string(2, '\0'));
  }
  WriteStore(dir, c.stored);

  JobOptions o;
  o.tableRoot = root;
  o.inputFile = dir.Write(c.textJob ? "job.txt" : "job.zan", c.input).string();
  o.outputFile = (dir.path() / "out.txt").string();
  if (c.haveUdf) o.udfFile = dir.Write("formats.zan", c.udf).string();
  if (c.haveDefine) o.defineFile = dir.Write("job.def", c.define).string();
  for (size_t i = 0; i < c.options.size(); ++i) {
    const std::string& opt = c.options[i];
    if (opt == "--vertical") o.kumi = 1;
    else if (opt == "--no-warnings") o.warning = 1;
    else if (opt == "--unit" && i + 1 < c.options.size()) o.unit = c.options[++i] == "Q" ? 1 : 0;
    else if (opt == "--no-pifont" || opt == "--no-code-tables") continue;
    else FAIL() << "unknown option in case: " << opt;
  }

  // The cases with warnings (or with warnings switched off) list them, the
  // others not: the output must be the same either way.
  const bool listed = c.expected.find("<WAR") != std::string::npos ||
                      std::find(c.options.begin(), c.options.end(), "--no-warnings") != c.options.end();
  o.listWarnings = listed;
  Session session;
  JobResult r = RunConversionJob(session, o);
  std::string notes;
  for (const auto& n : r.notes) notes += "  " + n.Text() + "\n";
  EXPECT_EQ(c.status, StatusName(r.status)) << r.message << "\n" << notes;
  std::string got = fs::exists(o.outputFile) ? Slurp(o.outputFile) : std::string();
  EXPECT_TRUE(got == c.expected) << Difference(c.expected, got) << "\nnotes:\n" << notes;
  if (listed) {
    CheckWarningList(c, got, r);
  } else {
    EXPECT_TRUE(r.warnings.empty());
  }

  if (c.haveRerun) {
    // A later run of the program: only what lies on disk carries over.
    Session later;
    o.udfFile.clear();
    o.inputFile = dir.Write("job2.zan", c.rerunInput).string();
    JobResult r2 = RunConversionJob(later, o);
    std::string notes2;
    for (const auto& n : r2.notes) notes2 += "  " + n.Text() + "\n";
    EXPECT_EQ(c.rerunStatus, StatusName(r2.status)) << r2.message << "\n" << notes2;
    std::string got2 = fs::exists(o.outputFile) ? Slurp(o.outputFile) : std::string();
    EXPECT_TRUE(got2 == c.rerunExpected) << "second run: " << Difference(c.rerunExpected, got2) << "\nnotes:\n"
                                         << notes2;
  }
  CheckStore(root, c.expectStored);
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenCase, ::testing::ValuesIn(CaseNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string n = info.param;
                           for (char& ch : n)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return n;
                         });

}  // namespace
}  // namespace velkan::test
