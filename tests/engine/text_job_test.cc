// Text jobs in the conversion job: which inputs go through the pre-pass, and
// what a text that cannot be read does.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/job.h"
#include "io/byte_order.h"
#include "support/test_support.h"
#include "tables/code_tables.h"

namespace velkan {
namespace {

namespace fs = std::filesystem;
using test::LittleEndianWords;
using test::Sjis;
using test::TempDir;

using ::velkan::test::Slurp;

std::string Notes(const JobResult& r) {
  std::string all;
  for (const Note& n : r.notes) all += n.Text() + "\n";
  return all;
}

TEST(IsTextJob, FindsTxtInAnyCaseAnywhereInThePath) {
  for (const char* text : {"a.txt", "A.TXT", "job.TxT.zan", "dir.txt/job.zan", "a..txt", ".txt", "x.txtz"}) {
    EXPECT_TRUE(IsTextJob(text)) << text;
  }
  for (const char* words : {"a.zan", "atxt", "a.tx", "a.", "", "a.t.x.t", "txt.", "a/txt"}) {
    EXPECT_FALSE(IsTextJob(words)) << words;
  }
}

struct TextJob : ::testing::Test {
  TextJob() {
    dir.Write("root/qdxfiles/pifont.fil", std::string(1000, '\0'));
    // 漢 stands for 0x45B0; ｛ ｝ open and close a group, ＃ defines a
    // format and ＊ calls one; digits in a group are digit words; 警 is a
    // command that writes a warning.
    dir.Write("root/qdxfiles/SJIS_ZAN.TBL",
              LittleEndianWords({Code("漢"), 0x45B0, Code("｛"), 0xD003, Code("｝"), 0xD004, Code("＃"), 0xD02C,
                                 Code("＊"), 0xD03F, Code("警"), 0xD077}));
    dir.Write("root/qdxfiles/SJIS_JIS.TBL", LittleEndianWords({0, Code("４"), '4'}));
    for (const char* name : kPairTableNames) {
      dir.Write(std::string("root/qdxfiles/") + name, LittleEndianWords({0, 0, 0}));
    }
    dir.Write("root/qdxfiles/SJIS_ROM.TBL", LittleEndianWords({0, Code("４"), 0xC344}));
    o.tableRoot = dir.path() / "root";
    o.outputFile = (dir.path() / "out.txt").string();
  }
  static uint16_t Code(const std::string& utf8) {
    std::string s = Sjis(utf8);
    return LoadBigEndian16(s.data());
  }
  std::string Convert(const std::string& inputName, const std::string& bytes) {
    o.inputFile = dir.Write(inputName, bytes).string();
    JobResult r = RunConversionJob(session, o);
    EXPECT_EQ(JobStatus::kCompleted, r.status) << r.message << "\n" << Notes(r);
    return Slurp(o.outputFile);
  }

  TempDir dir;
  JobOptions o;
  Session session;
};

TEST_F(TextJob, EveryPathWithTxtInItsUpperCaseFormIsAText) {
  const std::string text = Sjis("漢");  // as a code word: 0x8ABF
  const std::string tag = "<ZAN2 code=45b0>";
  EXPECT_EQ(tag, Convert("a.txt", text));
  EXPECT_EQ(tag, Convert("b.Txt", text));
  EXPECT_EQ(tag, Convert("c.TXT", text));
  EXPECT_EQ(tag, Convert("d.txt.zan", text));
  EXPECT_EQ(tag, Convert("e.TXT/job", text));
  // No ".TXT" anywhere: the bytes are code words.
  EXPECT_EQ(std::string::npos, Convert("f.text", text).find(tag));
  EXPECT_EQ(std::string::npos, Convert("g.zan", text).find(tag));
}

TEST_F(TextJob, ATextThatCannotBeReadIsNotFoundNamingTheChosenFile) {
  // An earlier job leaves an output behind; nothing of it comes back.
  EXPECT_EQ("<ZAN2 code=45b0>", Convert("first.txt", Sjis("漢")));
  fs::remove(o.outputFile);

  for (const std::string& name : {std::string("missing.txt"), std::string("folder.txt")}) {
    if (name == "folder.txt") fs::create_directories(dir.path() / name);
    o.inputFile = (dir.path() / name).string();
    JobResult r = RunConversionJob(session, o);
    EXPECT_EQ(JobStatus::kInputNotFound, r.status) << name;
    EXPECT_EQ("「" + o.inputFile + "」ファイルが見つかりません。", r.message);
    EXPECT_FALSE(fs::exists(o.outputFile)) << name;
  }
}

TEST_F(TextJob, AMissingFormatTextEndsTheJobBeforeTheInput) {
  o.udfFile = (dir.path() / "formats.txt").string();
  o.inputFile = dir.Write("job.txt", Sjis("漢")).string();
  JobResult r = RunConversionJob(session, o);
  EXPECT_EQ(JobStatus::kInputNotFound, r.status);
  EXPECT_EQ("「" + o.udfFile + "」ファイルが見つかりません。", r.message);
  EXPECT_FALSE(fs::exists(o.outputFile));
}

TEST_F(TextJob, AUserDefinedFormatFileMayBeATextToo) {
  // Format 4 holds 漢; the input calls it.
  o.udfFile = dir.Write("formats.txt", Sjis("｛＃4｝漢｝｝")).string();
  EXPECT_EQ("<ZAN2 code=45b0>", Convert("job.txt", Sjis("｛＊4｝")));
}

// Each warning is put down to the line of the text that held its command: a
// replayed format's to the line of the call, also far into a long text.
TEST_F(TextJob, ListedWarningsComeFromTheLinesOfTheText) {
  std::string text = Sjis("漢\r\n警漢\r\n\r\n｛＃４｝警｝｝\r\n漢｛＊４｝\n警\r\n");
  for (int i = 0; i < 50000; ++i) text += Sjis("漢\r\n");
  text += Sjis("漢警\r\n");
  o.listWarnings = true;
  o.inputFile = dir.Write("job.txt", text).string();
  JobResult r = RunConversionJob(session, o);
  ASSERT_EQ(JobStatus::kCompleted, r.status) << Notes(r);
  std::vector<long long> lines;
  for (const WrittenWarning& w : r.warnings) {
    lines.push_back(w.inputLine);
    EXPECT_EQ(-1, w.inputOffset);
  }
  EXPECT_EQ((std::vector<long long>{2, 5, 6, 50007}), lines);
}

TEST_F(TextJob, AnEmptyTextConvertsToAnEmptyOutput) {
  dir.Write("out.txt", "left over");
  EXPECT_EQ("", Convert("empty.txt", ""));
}

TEST_F(TextJob, MissingTextTablesAreNotedAndThePassGoesOn) {
  fs::remove(dir.path() / "root/qdxfiles/SJ_KUR_2.TBL");
  o.inputFile = dir.Write("job.txt", Sjis("漢")).string();
  // The pre-pass runs with the tables loaded before the missing one; the
  // job completes and says which table was missing.
  JobResult r = RunConversionJob(session, o);
  EXPECT_EQ(JobStatus::kCompleted, r.status);
  EXPECT_NE(std::string::npos, Notes(r).find("SJ_KUR_2.TBL")) << Notes(r);
  EXPECT_EQ("<ZAN2 code=45b0>", Slurp(o.outputFile));
}

TEST_F(TextJob, AUtf8TextIsNoted) {
  const std::string sample = Slurp(fs::path(VELKAN_SOURCE_DIR) / "examples" / "sample.txt");
  const std::string twin = test::Readable(sample);  // the same text in UTF-8
  struct Case {
    std::string name, bytes;
    bool noted;
  } cases[] = {{"sjis.txt", sample, false}, {"utf8.txt", twin, true}, {"ascii.txt", "plain\r\n", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    o.inputFile = dir.Write(c.name, c.bytes).string();
    JobResult r = RunConversionJob(session, o);
    EXPECT_EQ(JobStatus::kCompleted, r.status) << Notes(r);
    EXPECT_EQ(c.noted, Notes(r).find(o.inputFile + " looks like UTF-8") != std::string::npos) << Notes(r);
  }
}

TEST_F(TextJob, ProgressCountsTheBytesOfTheText) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += Sjis("漢\n");
  std::vector<std::pair<long long, long long>> calls;
  o.progress = [&](int pass, long long done, long long total) {
    EXPECT_EQ(1, pass);
    calls.emplace_back(done, total);
  };
  Convert("job.txt", text);
  ASSERT_FALSE(calls.empty());
  for (const auto& [done, total] : calls) {
    EXPECT_EQ(static_cast<long long>(text.size()), total);
    EXPECT_GT(done, 0);
    EXPECT_LE(done, total);
  }
}

}  // namespace
}  // namespace velkan
