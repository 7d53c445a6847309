// The sample jobs under examples/ convert with the bundled tables to the
// outputs checked in beside them, and the listing of the code-word job is the
// one checked in. A change that alters them must update them knowingly.
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
using test::Readable;
using test::TempDir;

const fs::path kExamples = fs::path(VELKAN_SOURCE_DIR) / "examples";

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot read " << p;
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs velkan with `args` and no root, store or MTBL from the environment;
// stdout goes to `out`. Returns the exit status.
int Velkan(const TempDir& dir, const std::string& args, const fs::path& out) {
  std::string cmd = "env -u VELKAN_ROOT -u VELKAN_STORE -u MTBL XDG_STATE_HOME='" + (dir.path() / "state").string() +
                    "' '" + VELKAN_CLI_PATH + "' " + args + " >'" + out.string() + "' 2>'" +
                    (dir.path() / "stderr").string() + "'";
  int status = std::system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The first line where two outputs differ, shown as text.
std::string FirstDifference(const std::string& got, const std::string& want) {
  size_t i = 0;
  while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
  size_t start = want.rfind('\n', i == 0 ? 0 : i - 1);
  start = start == std::string::npos ? 0 : start + 1;
  auto line = [&](const std::string& s) { return Readable(s.substr(start, s.find('\n', start) - start)); };
  return "first difference at byte " + std::to_string(i) + "\n  got:  " + line(got) + "\n  want: " + line(want);
}

void ExpectConverts(const std::string& job) {
  TempDir dir;
  fs::path out = dir.path() / "out";
  std::string args = "convert --define '" + (fs::path(VELKAN_SAMPLE_ROOT) / "sample.def").string() + "' '" +
                     (kExamples / job).string() + "' -o '" + out.string() + "'";
  ASSERT_EQ(Velkan(dir, args, dir.path() / "stdout"), 0) << ReadAll(dir.path() / "stderr");
  std::string got = ReadAll(out), want = ReadAll(kExamples / (job + ".out"));
  EXPECT_EQ(got, want) << job << ": " << FirstDifference(got, want) << "\nThe whole output:\n" << Readable(got);
}

TEST(Examples, TheSampleTextJobConvertsToItsCheckedInOutput) { ExpectConverts("sample.txt"); }

TEST(Examples, TheSampleCodeWordJobConvertsToItsCheckedInOutput) { ExpectConverts("sample.zan"); }

TEST(Examples, TheSampleTextJobShowsJapaneseTextWithTags) {
  std::string shown = Readable(ReadAll(kExamples / "sample.txt.out"));
  for (const char* text : {"組版変換のサンプル", "吾輩は猫である。", "<RUB>漢字<RUB2 mode=MANUAL>", "<UL2 ",
                           "<FIL ", " ind_l=12pt", "<WARI ", "<BUN ", "<ZAN2 kumi=\"○12\">", "Velkan", "國學"}) {
    EXPECT_NE(shown.find(text), std::string::npos) << text << " is missing from\n" << shown;
  }
  EXPECT_EQ(shown.find("<WAR "), std::string::npos) << "no warnings:\n" << shown;
  EXPECT_EQ(shown.find("<ZAN2 code="), std::string::npos) << "no code tags:\n" << shown;
  EXPECT_EQ(shown.find("〓"), std::string::npos) << "no unknown characters:\n" << shown;
}

TEST(Examples, TheListingOfTheCodeWordJobIsCheckedIn) {
  TempDir dir;
  fs::path out = dir.path() / "listing";
  ASSERT_EQ(Velkan(dir, "dump '" + (kExamples / "sample.zan").string() + "'", out), 0);
  EXPECT_EQ(ReadAll(out), ReadAll(kExamples / "sample.zan.listing"));
}

}  // namespace
}  // namespace velkan
