// Tables a conversion looks for only as the job needs them (the overlay of a
// font, the ruby table) are noted when they cannot be used, as every other
// table is, and the note tells a missing file from one that cannot be read.
#include <gtest/gtest.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "support/test_support.h"

namespace velkan::test {
namespace {

namespace fs = std::filesystem;

// The user the program runs as where a file's permissions must count: a
// process of root reads every file.
constexpr uid_t kNobody = 65534;

// Runs the program as a user for whom permissions count: as itself, or, when
// the tests run as root, as `kNobody` (exit status 126 when that fails).
CliRun RunAsUser(const std::vector<std::string>& args) {
  return RunVelkan(args, {}, {}, [] {
    if (::geteuid() != 0) return;
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(126);
  });
}

class TableNotes : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::permissions(dir_.path(), fs::perms::all);
    fs::copy(VELKAN_SAMPLE_ROOT, Root(), fs::copy_options::recursive);
    // 国学 in an old-form font, then kana in a ruby font.
    job_ = dir_.Write("job.txt", Sjis("\\{\\font5\\}国学\\{\\font801\\}かな\\br\r\n"));
  }
  fs::path Root() const { return dir_.path() / "root"; }
  fs::path Out() const { return dir_.path() / "out.txt"; }
  CliRun Convert() {
    return RunAsUser({"convert", "--root", Root().string(), "--store", (dir_.path() / "store").string(),
                      job_.string(), "-o", Out().string()});
  }
  TempDir dir_;
  fs::path job_;
};

TEST_F(TableNotes, AnOverlayOrRubyTableThatCannotBeUsedIsNotedWithWhy) {
  CliRun whole = Convert();
  if (whole.status == 126) GTEST_SKIP() << "cannot run the program as another user";
  ASSERT_EQ(whole.status, 0) << whole.err;
  EXPECT_NE(Slurp(Out()).find(Sjis("國學")), std::string::npos) << Readable(Slurp(Out()));
  EXPECT_EQ(whole.err.find("conv01.tbl"), std::string::npos) << whole.err;
  const std::string kana = Slurp(Out()).substr(Slurp(Out()).find(Sjis("國學")) + 4);

  struct Way {
    const char* says;
    void (*make)(const fs::path&);
  } ways[] = {
      {"missing", [](const fs::path& p) { fs::remove(p); }},
      {"not a file",
       [](const fs::path& p) {
         fs::remove(p);
         fs::create_directory(p);
       }},
      {"cannot be read: permission denied", [](const fs::path& p) { fs::permissions(p, fs::perms::none); }},
  };
  for (const char* table : {"conv01.tbl", "convura.tbl"}) {
    for (const Way& way : ways) {
      SCOPED_TRACE(std::string(table) + " " + way.says);
      fs::remove_all(Root());
      fs::copy(VELKAN_SAMPLE_ROOT, Root(), fs::copy_options::recursive);
      fs::path file = Root() / "qdxfiles" / table;
      way.make(file);
      CliRun r = Convert();
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_NE(r.err.find(file.string() + " " + way.says), std::string::npos) << r.err;
      std::string out = Slurp(Out());
      if (std::string(table) == "conv01.tbl") {
        // The fonts of the overlay keep the base forms, and say so.
        EXPECT_NE(out.find(Sjis("国学")), std::string::npos) << Readable(out);
        EXPECT_NE(r.err.find("overlay 1 keep the base codes"), std::string::npos) << r.err;
      } else {
        EXPECT_NE(out.find(Sjis("國學")), std::string::npos) << Readable(out);
        EXPECT_EQ(out.find(kana), std::string::npos) << "the ruby font converted without its table";
        EXPECT_NE(r.err.find("ruby fonts stay unconverted"), std::string::npos) << r.err;
      }
    }
  }
}

TEST_F(TableNotes, EveryTableNoteTellsAMissingFileFromOneThatCannotBeRead) {
  fs::path define = dir_.path() / "sample.def";
  fs::create_directory(define);
  fs::path pitch = Root() / "qdxfiles" / "pitfile.fil", user = Root() / "qdxfiles" / "velkanuser.tbl";
  fs::path codes = Root() / "qdxfiles" / "SJIS_HNW.TBL";
  fs::permissions(pitch, fs::perms::none);
  fs::permissions(codes, fs::perms::none);
  fs::remove(user);
  fs::create_directory(user);
  CliRun r = RunAsUser({"convert", "--root", Root().string(), "--store", (dir_.path() / "store").string(), "--define",
                        define.string(), job_.string(), "-o", Out().string()});
  if (r.status == 126) GTEST_SKIP() << "cannot run the program as another user";
  EXPECT_EQ(r.status, 0) << r.err;
  for (const std::string& note :
       {"definition file " + define.string() + " not a file; names are written as numbers",
        "pitch file " + pitch.string() + " cannot be read: permission denied;",
        "escape definitions " + user.string() + " not a file",
        "code table " + codes.string() + " cannot be read: permission denied; later tables not loaded",
        "text pre-pass: code table " + codes.string() + " cannot be read: permission denied"}) {
    EXPECT_NE(r.err.find(note), std::string::npos) << note << "\nin:\n" << r.err;
  }
}

}  // namespace
}  // namespace velkan::test
