// `velkan tables` and `velkan dump` as a user runs them, and the bundled root
// that `velkan convert` takes when no root is named.
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
using test::Sjis;
using test::TempDir;
using test::WordBytes;

using ::velkan::test::Slurp;

struct CliRun {
  int exitCode = -1;
  std::string out, err;
};

class TablesCli : public ::testing::Test {
 protected:
  // Runs velkan with `args` (quoted by the caller), VELKAN_ROOT, VELKAN_STORE
  // and MTBL unset and the state directory inside the test's directory.
  CliRun Velkan(const std::string& args, const std::string& env = "") {
    fs::path out = dir_.path() / "stdout", err = dir_.path() / "stderr";
    std::string cmd = "env -u VELKAN_ROOT -u VELKAN_STORE -u MTBL XDG_STATE_HOME='" + State().string() + "' " + env +
                      " '" + VELKAN_CLI_PATH + "' " + args + " >'" + out.string() + "' 2>'" + err.string() + "'";
    int status = std::system(cmd.c_str());
    CliRun r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = Slurp(out);
    r.err = Slurp(err);
    return r;
  }
  std::string Path(const std::string& relative) const { return "'" + (dir_.path() / relative).string() + "'"; }
  fs::path State() const { return dir_.path() / "state"; }
  TempDir dir_;
};

TEST_F(TablesCli, DumpThenBuildGivesTheSameBytes) {
  std::string table = WordBytes({0x3412, 0x4082, 0x41C3}) + "\x07";
  dir_.Write("t/SJIS_ROM.TBL", table);
  CliRun dump = Velkan("tables dump " + Path("t/SJIS_ROM.TBL"));
  ASSERT_EQ(dump.exitCode, 0) << dump.err;
  EXPECT_NE(dump.out.find("format pairs\n"), std::string::npos) << dump.out;
  dir_.Write("source.txt", dump.out);
  CliRun build = Velkan("tables build " + Path("source.txt") + " -o " + Path("again.tbl"));
  ASSERT_EQ(build.exitCode, 0) << build.err;
  EXPECT_EQ(Slurp(dir_.path() / "again.tbl"), table);

  // A name that tells no format needs --format.
  dir_.Write("t/mystery.bin", "abc");
  CliRun unknown = Velkan("tables dump " + Path("t/mystery.bin"));
  EXPECT_EQ(unknown.exitCode, 2);
  EXPECT_NE(unknown.err.find("give --format NAME"), std::string::npos) << unknown.err;
  CliRun given = Velkan("tables dump --format text " + Path("t/mystery.bin"));
  EXPECT_EQ(given.exitCode, 0);
  EXPECT_NE(given.out.find("line-end none\n| abc\n"), std::string::npos) << given.out;
}

TEST_F(TablesCli, AFailedBuildNamesTheLineAndWritesNothing) {
  dir_.Write("bad.txt", "format zan\n8140 0001\n8140 XYZ\n");
  CliRun r = Velkan("tables build " + Path("bad.txt") + " -o " + Path("out.tbl"));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("bad.txt: line 3: 'XYZ' is not a word of 1-4 hexadecimal digits"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir_.path() / "out.tbl"));
  EXPECT_FALSE(fs::exists(dir_.path() / "out.tbl.part"));
  EXPECT_EQ(Velkan("tables build " + Path("bad.txt")).exitCode, 2) << "no -o";
  EXPECT_EQ(Velkan("tables frobnicate").exitCode, 2);
  CliRun help = Velkan("tables --help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("pi-widths"), std::string::npos) << "the formats are listed";
}

TEST_F(TablesCli, ABuildOntoItsOwnSourceIsRefused) {
  const std::string source = "format zan\n8140 0001\n";
  fs::path src = dir_.Write("table.txt", source);
  fs::create_symlink(src, dir_.path() / "link.txt");
  fs::create_hard_link(src, dir_.path() / "hard.txt");
  for (const char* output : {"table.txt", "link.txt", "hard.txt", "./table.txt"}) {
    CliRun r = Velkan("tables build " + Path("table.txt") + " -o " + Path(output));
    EXPECT_EQ(r.exitCode, 1) << output;
    EXPECT_NE(r.err.find("is the source itself"), std::string::npos) << r.err;
  }
  EXPECT_EQ(Slurp(src), source);
  EXPECT_TRUE(fs::is_symlink(dir_.path() / "link.txt"));
}

TEST_F(TablesCli, EverySubcommandHasItsHelp) {
  for (const char* sub : {"dump", "build", "check"}) {
    CliRun r = Velkan(std::string("tables ") + sub + " --help");
    EXPECT_EQ(r.exitCode, 0) << sub;
    EXPECT_NE(r.out.find("velkan tables " + std::string(sub)), std::string::npos) << r.out;
  }
}

TEST_F(TablesCli, CheckFailsWhenAConversionWouldBeRefusedForItsStore) {
  fs::path plain = dir_.Write("plain", "a file");
  CliRun file = Velkan("tables check --store " + Path("plain"));
  EXPECT_EQ(file.exitCode, 1) << file.out;
  EXPECT_NE(file.out.find("NOT writable"), std::string::npos) << file.out;
  CliRun nowhere = Velkan("tables check", "HOME= XDG_STATE_HOME=");
  EXPECT_EQ(nowhere.exitCode, 1) << nowhere.out;
  EXPECT_NE(nowhere.out.find("format store: none (conversions are refused)"), std::string::npos) << nowhere.out;
}

TEST_F(TablesCli, CheckFindsEveryTableOfTheBundledRoot) {
  CliRun r = Velkan("tables check");
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("table root: " + std::string(VELKAN_SAMPLE_ROOT) +
                       "\n  chosen as: the sample root of the build tree this program runs from\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("32 tables: 32 found, 0 missing, 0 malformed\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("format store: " + (State() / "velkan" / "QDXFILES").string() +
                       " (writable)\n  chosen as: the user's state directory"),
            std::string::npos)
      << r.out;

  // VELKAN_ROOT and the ROOT argument name other roots.
  dir_.Write("root/qdxfiles/pifont.fil", std::string(1000, '\0'));
  fs::create_directories(dir_.path() / "root/qdxfiles/SJIS_JIS.TBL");
  CliRun other = Velkan("tables check", "VELKAN_ROOT=" + Path("root"));
  EXPECT_EQ(other.exitCode, 1);
  EXPECT_NE(other.out.find("31 tables: 1 found, 30 missing, 0 malformed"), std::string::npos) << other.out;
  EXPECT_NE(other.out.find("missing   \\QDXFILES\\SJIS_ZAN.TBL"), std::string::npos) << other.out;
  EXPECT_NE(other.out.find("load no pair table\n          ! it is there but not a file\nmissing   \\qdxfiles"),
            std::string::npos)
      << "a folder where SJIS_JIS.TBL should be:\n" << other.out;
  EXPECT_NE(other.out.find("without it: text jobs load no code table at all"), std::string::npos) << other.out;
  EXPECT_NE(other.out.find("format store: " + (dir_.path() / "root" / "QDXFILES").string()), std::string::npos)
      << "another root keeps its own store:\n" << other.out;
  EXPECT_NE(other.out.find("  chosen as: named by $VELKAN_ROOT\n"), std::string::npos) << other.out;
  EXPECT_NE(other.out.find("  chosen as: beside the tables, in the table root named\n"), std::string::npos)
      << other.out;
  CliRun argument = Velkan("tables check " + Path("root"));
  EXPECT_EQ(argument.out.substr(argument.out.find("MTBL")), other.out.substr(other.out.find("MTBL")));
  EXPECT_NE(argument.out.find("  chosen as: named by the ROOT argument\n"), std::string::npos) << argument.out;
  CliRun stored = Velkan("tables check --store " + Path("store") + " " + Path("root"));
  EXPECT_NE(stored.out.find("format store: " + (dir_.path() / "store" / "QDXFILES").string() +
                            " (writable)\n  chosen as: named by --store\n"),
            std::string::npos)
      << stored.out;
}

TEST_F(TablesCli, DumpListsAJobWithTheCharactersOfTheBundledTables) {
  dir_.Write("job.zan", WordBytes({0xD003, 0xD02D, 0xC345, 0xD004, 0x84A1, 0xC301, 0xC521, 0xD009}));
  CliRun r = Velkan("dump " + Path("job.zan"));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "offset  word  meaning\n"
            "000000  D003  group {\n"
            "000002  D02D    font 5\n"
            "000006  D004  } group-end\n"
            "000008  84A1  character 亜\n"
            "00000a  C301  character A\n"
            "00000c  C521  character ぁ\n"
            "00000e  D009  line-end\n");
  EXPECT_EQ(Velkan("dump " + Path("missing.zan")).exitCode, 1);
}

TEST_F(TablesCli, ConvertWithoutARootUsesTheBundledOneAndKeepsTheStoreInTheStateDirectory) {
  dir_.Write("job.zan", WordBytes({0x84A1, 0xC301, 0xD009}));
  CliRun r = Velkan("convert " + Path("job.zan") + " -o " + Path("out.txt"));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Slurp(dir_.path() / "out.txt"), Sjis("亜") + "A\r\n");
  EXPECT_TRUE(fs::exists(State() / "velkan" / "QDXFILES" / "udf2.tbl"));
  EXPECT_FALSE(fs::exists(fs::path(VELKAN_SAMPLE_ROOT) / "QDXFILES"));
  EXPECT_FALSE(fs::exists(fs::path(VELKAN_SAMPLE_ROOT) / "qdxfiles" / "udf2.tbl"));
}

}  // namespace
}  // namespace velkan
