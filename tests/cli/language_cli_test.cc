// The language of velkan's messages follows the locale, and nothing else
// does: the output of a conversion is the same byte for byte in every locale.
// A UTF-8 text job converts as its Shift_JIS twin.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "support/test_support.h"
#include "tools/shift_jis_text.h"

namespace velkan::test {
namespace {

namespace fs = std::filesystem;

const fs::path kExamples = fs::path(VELKAN_SOURCE_DIR) / "examples";

// A folder of compiled locales for LOCPATH holding `names` (ja_JP.UTF-8,
// de_DE.UTF-8), made with localedef from the system's locale sources for
// each one the system does not have; empty when one can be had neither way.
class Locales {
 public:
  explicit Locales(const std::vector<std::string>& names) {
    for (const std::string& name : names) {
      locale_t have = ::newlocale(LC_ALL_MASK, name.c_str(), nullptr);
      if (have != nullptr) {
        ::freelocale(have);
        continue;
      }
      const std::string source = name.substr(0, name.find('.'));
      const std::string cmd = "localedef -i " + source + " -f UTF-8 '" + (dir_.path() / name).string() +
                              "' >/dev/null 2>&1";
      const int status = std::system(cmd.c_str());
      // localedef says 1 for warnings of the sources, having made the locale.
      if (!fs::exists(dir_.path() / name / "LC_CTYPE") || !WIFEXITED(status) || WEXITSTATUS(status) > 1) {
        missing_ += name + " ";
      }
      made_ = true;
    }
  }
  // The environment entries that select `name`.
  std::vector<std::string> Env(const std::string& variable, const std::string& name) const {
    std::vector<std::string> env = {variable + "=" + name};
    if (made_) env.push_back("LOCPATH=" + dir_.path().string());
    return env;
  }
  const std::string& missing() const { return missing_; }

 private:
  TempDir dir_;
  bool made_ = false;
  std::string missing_;
};

#define NEED_LOCALES(locales)                                                                          \
  if (!(locales).missing().empty()) GTEST_SKIP() << "no locale " << (locales).missing() << "(localedef " \
                                                 "and the locale sources are needed)"

TEST(Languages, MessagesAreJapaneseInAJapaneseLocaleAndEnglishOtherwise) {
  Locales locales({"ja_JP.UTF-8"});
  NEED_LOCALES(locales);
  const std::vector<std::string> bad = {"convert", "--unit", "x", "in.zan", "-o", "out"};
  CliRun en = RunVelkan(bad);
  EXPECT_EQ(en.status, 2);
  EXPECT_EQ(en.err, "velkan convert: --unit takes pt or Q, not 'x'\nTry 'velkan convert --help'.\n");
  CliRun ja = RunVelkan(bad, locales.Env("LANG", "ja_JP.UTF-8"));
  EXPECT_EQ(ja.status, 2);
  EXPECT_EQ(ja.err,
            "velkan convert: --unit に指定できるのは pt か Q で、'x' は指定できません\n"
            "詳しくは 'velkan convert --help' を実行してください。\n");
  // LC_MESSAGES and LC_ALL as gettext takes them: LC_ALL first.
  std::vector<std::string> env = locales.Env("LC_MESSAGES", "ja_JP.UTF-8");
  EXPECT_EQ(RunVelkan(bad, env).err, ja.err);
  env.push_back("LC_ALL=C.UTF-8");
  EXPECT_EQ(RunVelkan(bad, env).err, en.err);
  // --help, and a note of the engine rendered through the catalog.
  EXPECT_NE(RunVelkan({"convert", "--help"}, locales.Env("LANG", "ja_JP.UTF-8")).out.find("使い方: velkan convert"),
            std::string::npos);
  TempDir dir;
  CliRun missing = RunVelkan({"convert", "--define", (dir.path() / "none.def").string(),
                              (kExamples / "sample.zan").string(), "-o", (dir.path() / "out").string()},
                             locales.Env("LANG", "ja_JP.UTF-8"));
  EXPECT_EQ(missing.status, 0) << missing.err;
  EXPECT_NE(missing.err.find("名前は番号のまま出力します"), std::string::npos) << missing.err;
}

TEST(Languages, ReasonsAndErrorsOfTheSystemAreInTheLanguageToo) {
  Locales locales({"ja_JP.UTF-8"});
  NEED_LOCALES(locales);
  TempDir dir;
  const std::string sample = (kExamples / "sample.zan").string();
  // A refused output: the reason and the system's error.
  const std::string out = (dir.path() / "none" / "out").string();
  CliRun refused = RunVelkan({"convert", sample, "-o", out}, locales.Env("LANG", "ja_JP.UTF-8"));
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find(out + " を作成できません: そのようなファイルやフォルダはありません"), std::string::npos)
      << refused.err;
  EXPECT_NE(RunVelkan({"convert", sample, "-o", out}).err.find("cannot create " + out + ": No such file or directory"),
            std::string::npos);
  // A store that cannot be made: its reason is a message of the store.
  const std::string plain = dir.Write("plain", "x").string();
  CliRun store = RunVelkan({"convert", "--store", plain, sample, "-o", (dir.path() / "out").string()},
                           locales.Env("LANG", "ja_JP.UTF-8"));
  EXPECT_NE(store.err.find("(フォルダ " + plain + "/QDXFILES を作成できません: フォルダではありません)"),
            std::string::npos)
      << store.err;
  // The account of the tables: states, summaries and what a missing one costs.
  CliRun check = RunVelkan({"tables", "check", VELKAN_SAMPLE_ROOT}, locales.Env("LANG", "ja_JP.UTF-8"));
  EXPECT_NE(check.out.find("\\QDXFILES\\SJIS_ROM.TBL    レコード 94 個"), std::string::npos) << check.out;
  check = RunVelkan({"tables", "check", dir.path().string()}, locales.Env("LANG", "ja_JP.UTF-8"));
  EXPECT_NE(check.out.find("ない場合: 変換テーブルの読み込みがここで止まります。"), std::string::npos) << check.out;
  EXPECT_NE(check.out.find("\nなし      \\QDXFILES\\SJIS_HNW.TBL"), std::string::npos) << check.out;
  // A table that is not there, as the reason of a note: a word of its own,
  // not the state column's.
  const fs::path root = dir.path() / "root";
  fs::copy(VELKAN_SAMPLE_ROOT, root, fs::copy_options::recursive);
  const fs::path pitch = root / "qdxfiles" / "pitfile.fil";
  fs::remove(pitch);
  CliRun gone = RunVelkan({"convert", "--root", root.string(), "--store", (dir.path() / "store").string(), sample, "-o",
                           (dir.path() / "out").string()},
                          locales.Env("LANG", "ja_JP.UTF-8"));
  EXPECT_EQ(gone.status, 0) << gone.err;
  EXPECT_NE(gone.err.find("ピッチファイル " + pitch.string() + ": 見つかりません。"), std::string::npos) << gone.err;
}

// What `tables build` finds wrong with a readable table, down to the ranges
// of a line's numbers; the words of the format stay as they are written.
TEST(Languages, TableBuildErrorsAreInTheLanguageToo) {
  Locales locales({"ja_JP.UTF-8"});
  NEED_LOCALES(locales);
  TempDir dir;
  const std::string source = dir.Write("bad.txt", "format pitch\nfont 1022 1\n").string();
  const std::string out = (dir.path() / "out.tbl").string();
  CliRun en = RunVelkan({"tables", "build", source, "-o", out});
  EXPECT_EQ(en.status, 1);
  EXPECT_EQ(en.err, source + ": line 2: expected: font F B (F 0-1021, B -128 to 127)\n");
  CliRun ja = RunVelkan({"tables", "build", source, "-o", out}, locales.Env("LANG", "ja_JP.UTF-8"));
  EXPECT_EQ(ja.status, 1);
  EXPECT_EQ(ja.err, source + ": 2 行目: 書き方は font F B です (F は 0-1021、B は -128 から 127)\n");
  EXPECT_FALSE(fs::exists(out));
}

// LANGUAGE chooses the language before LANG and LC_MESSAGES, except in the
// locale "C": the C library takes C.UTF-8 as a locale of its own there.
TEST(Languages, LanguageComesFirstButNotInTheCLocale) {
  Locales locales({"ja_JP.UTF-8"});
  NEED_LOCALES(locales);
  const std::vector<std::string> bad = {"convert", "--unit", "x", "in.zan", "-o", "out"};
  const std::string en = "velkan convert: --unit takes pt or Q, not 'x'\n";
  const std::string ja = "velkan convert: --unit に指定できるのは pt か Q で、'x' は指定できません\n";
  auto firstLine = [&bad](std::vector<std::string> env) {
    std::string err = RunVelkan(bad, env).err;
    return err.substr(0, err.find('\n') + 1);
  };
  std::vector<std::string> env = locales.Env("LANG", "ja_JP.UTF-8");
  env.push_back("LANGUAGE=ja:en");
  EXPECT_EQ(firstLine(env), ja);
  env.back() = "LANGUAGE=en";
  EXPECT_EQ(firstLine(env), en);
  EXPECT_EQ(firstLine({"LANG=C.UTF-8", "LANGUAGE=ja"}), ja);
  EXPECT_EQ(firstLine({"LC_ALL=C", "LANGUAGE=ja"}), en);
}

TEST(Languages, TheOutputIsTheSameInEveryLocale) {
  Locales locales({"ja_JP.UTF-8", "de_DE.UTF-8"});
  NEED_LOCALES(locales);
  for (const char* job : {"sample.txt", "sample.zan"}) {
    const std::string want = Slurp(kExamples / (std::string(job) + ".out"));
    for (const char* locale : {"C.UTF-8", "ja_JP.UTF-8", "de_DE.UTF-8"}) {
      TempDir dir;
      const fs::path out = dir.path() / "out";
      CliRun r = RunVelkan({"convert", "--define", (fs::path(VELKAN_SAMPLE_ROOT) / "sample.def").string(),
                            (kExamples / job).string(), "-o", out.string()},
                           locales.Env("LC_ALL", locale));
      ASSERT_EQ(r.status, 0) << locale << ": " << r.err;
      EXPECT_TRUE(Slurp(out) == want) << job << " differs under " << locale;
    }
  }
}

// Converts the text job `text` (written as FILE.txt) with `options`.
CliRun ConvertText(const TempDir& dir, const std::string& text, const std::vector<std::string>& options,
                   std::string& output) {
  const fs::path in = dir.Write("job.txt", text), out = dir.path() / "out";
  std::vector<std::string> args = {"convert", "--define", (fs::path(VELKAN_SAMPLE_ROOT) / "sample.def").string()};
  args.insert(args.end(), options.begin(), options.end());
  args.insert(args.end(), {in.string(), "-o", out.string()});
  CliRun r = RunVelkan(args);
  output = Slurp(out);
  return r;
}

TEST(InputEncoding, AUtf8TextJobConvertsAsItsShiftJisTwin) {
  std::string utf8;
  ASSERT_TRUE(ShiftJisToUtf8(Slurp(kExamples / "sample.txt"), utf8));
  const std::string want = Slurp(kExamples / "sample.txt.out");
  for (const std::string& text : {utf8, "\xEF\xBB\xBF" + utf8}) {
    TempDir dir;
    std::string got;
    CliRun r = ConvertText(dir, text, {"--input-encoding", "utf-8"}, got);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(got == want) << Readable(got);
  }
  // Without the option the note names it.
  TempDir dir;
  std::string wrong;
  CliRun r = ConvertText(dir, utf8, {}, wrong);
  EXPECT_NE(r.err.find("--input-encoding utf-8"), std::string::npos) << r.err;
  // Shift_JIS, the default, named.
  std::string sjis;
  r = ConvertText(dir, Slurp(kExamples / "sample.txt"), {"--input-encoding=shift_jis"}, sjis);
  EXPECT_TRUE(sjis == want) << r.err;
}

TEST(InputEncoding, WhatHasNoShiftJisFormIsTheGetaMarkAndNotedWithItsPlace) {
  TempDir dir;
  std::string got, want;
  // An emoji (no Shift_JIS form), a lone continuation byte, a sequence cut
  // short by the end of the text.
  CliRun r = ConvertText(dir, "AB\xF0\x9F\x98\x80\r\nx\x80y\xE3\x81", {"--input-encoding", "utf-8"}, got);
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string job = (dir.path() / "job.txt").string();
  EXPECT_EQ(r.err, "velkan: " + job + ", line 1, column 3: U+1F600 has no Shift_JIS form, written as the geta mark\n" +
                       "velkan: " + job + ", line 2, column 2: bytes that are no UTF-8, written as the geta mark\n" +
                       "velkan: " + job + ", line 2, column 4: bytes that are no UTF-8, written as the geta mark\n");
  ConvertText(dir, Sjis("AB〓\r\nx〓y〓"), {}, want);
  EXPECT_TRUE(got == want) << Readable(got) << "\n" << Readable(want);
}

TEST(InputEncoding, AnUnknownEncodingIsBadUsage) {
  CliRun r = RunVelkan({"convert", "--input-encoding", "latin1", "in.txt", "-o", "out"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--input-encoding takes shift_jis or utf-8, not 'latin1'"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace velkan::test
