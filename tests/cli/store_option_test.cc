// Where `velkan convert` keeps the store of user-defined formats, and what it
// says when there is none.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/test_support.h"

namespace velkan {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WordBytes;

using ::velkan::test::Slurp;

struct CliRun {
  int exitCode = -1;
  std::string err;
  std::string out;
};

// Runs the command with `env` assignments in front (VELKAN_STORE is unset
// unless given there), in `cwd` when given.
CliRun RunCli(const TempDir& dir, const std::string& env, const std::string& args, const fs::path& cwd = {}) {
  fs::path errFile = dir.path() / "stderr.txt";
  fs::path outFile = dir.path() / "stdout.txt";
  std::string cmd = (cwd.empty() ? "" : "cd '" + cwd.string() + "' && ") + "env -u VELKAN_STORE " + env + " '" +
                    std::string(VELKAN_CLI_PATH) + "' convert " + args + " >'" + outFile.string() + "' 2>'" +
                    errFile.string() + "'";
  int status = std::system(cmd.c_str());
  CliRun r;
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.err = Slurp(errFile);
  r.out = Slurp(outFile);
  return r;
}

class StoreOption : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.Write("root/qdxfiles/pifont.fil", std::string(1000, '\0'));
    // Defines format 4 as 0x45A4, then plays format 4 (as defined now or
    // earlier) followed by 0x45B0.
    define_ = dir_.Write("define.zan", WordBytes({0xD003, 0xD02C, 0xC344, 0xD004, 0x45A4, 0xD004, 0xD004}));
    call_ = dir_.Write("call.zan", WordBytes({0xD003, 0xD03F, 0xC344, 0xD004, 0x45B0}));
  }
  std::string Root() const { return (dir_.path() / "root").string(); }
  std::string Out() const { return (dir_.path() / "out.txt").string(); }
  std::string Args(const fs::path& input, const std::string& extra = "") const {
    return "--root '" + Root() + "' " + extra + " '" + input.string() + "' -o '" + Out() + "'";
  }
  TempDir dir_;
  fs::path define_, call_;
};

TEST_F(StoreOption, StoreDirHoldsTheStoreInsteadOfTheTableRoot) {
  fs::path store = dir_.path() / "store";
  fs::create_directories(store);
  CliRun r = RunCli(dir_, "", Args(define_, "--store '" + store.string() + "'"));
  ASSERT_EQ(0, r.exitCode) << r.err;
  EXPECT_EQ(400u, fs::file_size(store / "QDXFILES" / "udf2.tbl"));
  EXPECT_EQ(409600u, fs::file_size(store / "QDXFILES" / "udf2.fle"));
  EXPECT_FALSE(fs::exists(dir_.path() / "root" / "qdxfiles" / "udf2.tbl"));

  // A later run finds the format there, and not under the table root.
  r = RunCli(dir_, "", Args(call_, "--store '" + store.string() + "'"));
  ASSERT_EQ(0, r.exitCode) << r.err;
  EXPECT_EQ("<ZAN2 code=45a4><ZAN2 code=45b0>", Slurp(Out()));
  r = RunCli(dir_, "", Args(call_));
  ASSERT_EQ(0, r.exitCode) << r.err;
  EXPECT_EQ("<ZAN2 code=45b0>", Slurp(Out()));
  EXPECT_TRUE(fs::exists(dir_.path() / "root" / "qdxfiles" / "udf2.tbl"));
}

TEST_F(StoreOption, EnvironmentNamesTheStoreAndTheOptionWins) {
  fs::path fromEnv = dir_.path() / "env-store";
  fs::path fromOption = dir_.path() / "option-store";
  fs::create_directories(fromEnv);
  fs::create_directories(fromOption);
  CliRun r = RunCli(dir_, "VELKAN_STORE='" + fromEnv.string() + "'", Args(define_));
  ASSERT_EQ(0, r.exitCode) << r.err;
  EXPECT_TRUE(fs::exists(fromEnv / "QDXFILES" / "udf2.fle"));

  r = RunCli(dir_, "VELKAN_STORE='" + fromEnv.string() + "'",
             Args(call_, "--store '" + fromOption.string() + "'"));
  ASSERT_EQ(0, r.exitCode) << r.err;
  EXPECT_EQ("<ZAN2 code=45b0>", Slurp(Out()));
  EXPECT_TRUE(fs::exists(fromOption / "QDXFILES" / "udf2.fle"));

  r = RunCli(dir_, "VELKAN_STORE='" + fromEnv.string() + "'", Args(call_));
  ASSERT_EQ(0, r.exitCode) << r.err;
  EXPECT_EQ("<ZAN2 code=45a4><ZAN2 code=45b0>", Slurp(Out()));
}

TEST_F(StoreOption, AStoreThatCannotBeMadeIsReportedWithWhereItLooked) {
  fs::path notADirectory = dir_.Write("not-a-dir", "x");
  CliRun r = RunCli(dir_, "", Args(call_, "--store '" + notADirectory.string() + "'"));
  EXPECT_EQ(1, r.exitCode);
  EXPECT_NE(std::string::npos, r.err.find("could not be opened or created")) << r.err;
  EXPECT_NE(std::string::npos, r.err.find(notADirectory.string() + "/QDXFILES")) << r.err;
  EXPECT_TRUE(fs::exists(Out()));
  EXPECT_EQ("", Slurp(Out()));
}

TEST_F(StoreOption, WithoutHomeTheBundledRootsStoreMustBeNamed) {
  fs::path cwd = dir_.path() / "cwd";
  fs::create_directories(cwd);
  const std::string noHome = "-u HOME -u XDG_STATE_HOME -u VELKAN_ROOT";
  const std::string convert = "'" + call_.string() + "' -o '" + Out() + "'";
  CliRun r = RunCli(dir_, noHome, convert, cwd);
  EXPECT_EQ(2, r.exitCode) << r.err;
  EXPECT_NE(std::string::npos, r.err.find("--store DIR or VELKAN_STORE")) << r.err;
  EXPECT_TRUE(fs::is_empty(cwd)) << "something was made in the working directory";
  EXPECT_FALSE(fs::exists(Out()));

  fs::path store = dir_.path() / "named-store";
  r = RunCli(dir_, noHome, "--store '" + store.string() + "' " + convert, cwd);
  EXPECT_EQ(0, r.exitCode) << r.err;
  EXPECT_TRUE(fs::exists(store / "QDXFILES" / "udf2.tbl"));
  EXPECT_TRUE(fs::is_empty(cwd));
}

TEST_F(StoreOption, HelpDocumentsTheStore) {
  CliRun r = RunCli(dir_, "", "--help");
  EXPECT_EQ(0, r.exitCode);
  EXPECT_NE(std::string::npos, r.out.find("--store DIR")) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("VELKAN_STORE")) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("udf2.tbl")) << r.out;

  r = RunCli(dir_, "", "'" + call_.string() + "' -o '" + Out() + "' --store");
  EXPECT_EQ(2, r.exitCode);
  EXPECT_NE(std::string::npos, r.err.find("--store needs a directory")) << r.err;
}

}  // namespace
}  // namespace velkan
