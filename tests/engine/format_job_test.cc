// How the conversion job reports what went wrong with the format store.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "conversion/format_store.h"
#include "engine/job.h"
#include "support/test_support.h"

namespace velkan {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WordBytes;

bool AnyNoteHas(const JobResult& r, const std::string& text) {
  for (const Note& n : r.notes)
    if (n.Text().find(text) != std::string::npos) return true;
  return false;
}

std::string Notes(const JobResult& r) {
  std::string all;
  for (const Note& n : r.notes) all += n.Text() + "\n";
  return all;
}

struct FormatJob : ::testing::Test {
  FormatJob() {
    dir.Write("root/qdxfiles/pifont.fil", std::string(1000, '\0'));
    o.tableRoot = dir.path() / "root";
    o.outputFile = (dir.path() / "out.txt").string();
  }
  TempDir dir;
  JobOptions o;
  Session session;
};

TEST_F(FormatJob, AStoreThatCannotBeMadeEndsTheJobBeforeAnyPass) {
  o.storeDir = dir.Write("plain-file", "x");
  // The format file would define format 1; the input would write 0x4521.
  o.udfFile = dir.Write("formats.zan", WordBytes({0xD003, 0xD02C, 0xC341, 0xD004, 0x4521, 0xD004, 0xD004})).string();
  o.inputFile = dir.Write("job.zan", WordBytes({0x4521})).string();
  JobResult r = RunConversionJob(session, o);
  EXPECT_EQ(JobStatus::kPassFailed, r.status);
  EXPECT_TRUE(r.message.empty()) << r.message;
  EXPECT_TRUE(AnyNoteHas(r, "could not be opened or created in " + (o.storeDir / "QDXFILES").string())) << Notes(r);
  ASSERT_TRUE(fs::exists(o.outputFile));
  EXPECT_EQ(0u, fs::file_size(o.outputFile));
}

TEST_F(FormatJob, AJobWithNoPlaceForTheStoreConvertsNothing) {
  o.noStorePlace = true;
  o.inputFile = dir.Write("job.zan", WordBytes({0x4521})).string();
  JobResult r = RunConversionJob(session, o);
  EXPECT_EQ(JobStatus::kPassFailed, r.status);
  EXPECT_TRUE(AnyNoteHas(r, "--store DIR or VELKAN_STORE")) << Notes(r);
  EXPECT_FALSE(fs::exists(o.outputFile));
  EXPECT_FALSE(fs::exists(dir.path() / "root" / "qdxfiles" / "udf2.tbl"));
}

TEST_F(FormatJob, EndlessCallsAreExplained) {
  o.inputFile = dir.Write("job.zan", WordBytes({0xD003, 0xD02C, 0xC341, 0xD004, 0xD003, 0xD03F, 0xC341, 0xD004,
                                                0xD004, 0xD003, 0xD03F, 0xC341, 0xD004}))
                    .string();
  JobResult r = RunConversionJob(session, o);
  EXPECT_EQ(JobStatus::kPassFailed, r.status);
  EXPECT_TRUE(AnyNoteHas(r, "call each other without end")) << Notes(r);
}

TEST_F(FormatJob, StoreDirectoryDefaultsToTheTableRoot) {
  o.inputFile = dir.Write("job.zan", WordBytes({0xD003, 0xD02C, 0xC341, 0xD004, 0x4521, 0xD004, 0xD004})).string();
  JobResult r = RunConversionJob(session, o);
  ASSERT_EQ(JobStatus::kCompleted, r.status) << Notes(r);
  // The sample root has a lower-case "qdxfiles": the store joins it.
  EXPECT_EQ(400u, fs::file_size(dir.path() / "root" / "qdxfiles" / "udf2.tbl"));
  EXPECT_EQ(409600u, fs::file_size(dir.path() / "root" / "qdxfiles" / "udf2.fle"));
  EXPECT_FALSE(fs::exists(dir.path() / "root" / "QDXFILES"));
}

// Jobs one after the other that keep the store's files open, as the jobs of
// a batch do: a format another program defines between two of them, in
// store files it puts in place of the kept ones, is called by the later job,
// also when a job between them never touched the store.
TEST_F(FormatJob, JobsKeepingTheStoreOpenSeeAFormatDefinedMeanwhileInNewFiles) {
  const std::vector<uint16_t> call = {0x4522, 0xD003, 0xD03F, 0xC341, 0xD004, 0xD004};
  o.storeDir = dir.path() / "store";
  FormatStoreFiles kept;
  auto convert = [&](const std::vector<uint16_t>& words, FormatStoreFiles* files) {
    o.inputFile = dir.Write("job.zan", WordBytes(words)).string();
    o.storeFiles = files;
    Session fresh;
    JobResult r = RunConversionJob(fresh, o);
    EXPECT_EQ(JobStatus::kCompleted, r.status) << Notes(r);
    return test::Slurp(o.outputFile);
  };
  const std::string undefined = convert(call, &kept);
  ASSERT_TRUE(kept.Holds(o.storeDir));

  // Another program's store, defining format 1, replaces the files.
  JobOptions other = o;
  other.storeDir = dir.path() / "other";
  other.inputFile = dir.Write("define.zan", WordBytes({0xD003, 0xD02C, 0xC341, 0xD004, 0x4521, 0xD004, 0xD004})).string();
  other.outputFile = (dir.path() / "define.txt").string();
  Session session2;
  ASSERT_EQ(JobStatus::kCompleted, RunConversionJob(session2, other).status);
  for (const char* name : {"udf2.tbl", "udf2.fle"}) {
    fs::rename(other.storeDir / "QDXFILES" / name, o.storeDir / "QDXFILES" / name);
  }

  convert({0x4523}, &kept);  // touches no format
  const std::string called = convert(call, &kept);
  EXPECT_NE(undefined, called);
  EXPECT_EQ(convert(call, nullptr), called) << "as a program of its own sees the store";
}

}  // namespace
}  // namespace velkan
