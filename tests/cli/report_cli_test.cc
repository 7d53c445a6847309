// `velkan convert --report`: the worklist of warnings agrees with the output
// it describes, for a job of the test's own, alone and in a batch.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "support/test_support.h"
#include "tools/shift_jis_text.h"

namespace velkan::test {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using ::velkan::test::WordBytes;

// A job with warnings on several lines, one dropped by the output switch,
// and a stored format holding a warning, called twice. `offsets` gets the
// input offsets the warnings written come from, in order.
std::string JobWithWarnings(std::vector<long long>& offsets) {
  std::vector<uint16_t> w;
  auto add = [&](std::initializer_list<uint16_t> more, bool warns = false) {
    if (warns) offsets.push_back(static_cast<long long>(2 * w.size()));
    w.insert(w.end(), more);
  };
  add({0x45A1, 0xD009});
  add({0xD077}, true);
  add({0xD009, 0x45A2});
  add({0xD077}, true);
  add({0xD009, 0xD075, 0xD077, 0xD075, 0xD009});  // switched off: not written
  add({0xD003, 0xD02C, 0xC345, 0xD004, 0xD077, 0xD004, 0xD004});  // format 5: a warning
  add({0xD003});
  add({0xD03F}, true);  // the replay's warning comes from the call
  add({0xC345, 0xD004, 0xD009, 0x45A3, 0xD003});
  add({0xD03F}, true);
  add({0xC345, 0xD004, 0xD009});
  return WordBytes(w);
}

struct FoundWarning {
  long long line, column;
  std::string text;  // UTF-8
};

// The warning tags of an output (Shift_JIS), with their lines and columns.
std::vector<FoundWarning> TagsIn(const std::string& out) {
  std::vector<FoundWarning> found;
  for (size_t at = out.find("<WAR \""); at != std::string::npos; at = out.find("<WAR \"", at + 1)) {
    size_t lineStart = out.rfind('\n', at);
    lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
    long long line = 1 + std::count(out.begin(), out.begin() + static_cast<long>(at), '\n');
    size_t end = out.find("\">", at);
    std::string text;
    EXPECT_TRUE(ShiftJisToUtf8(out.substr(at + 6, end - at - 6), text));
    found.push_back({line, static_cast<long long>(at - lineStart + 1), text});
  }
  return found;
}

// Checks one line of a report against the output it names and the input
// offsets expected.
void CheckReportLine(const Json& line, const std::string& input, const std::string& output,
                     const std::vector<long long>& offsets) {
  EXPECT_EQ(input, line["input"]);
  EXPECT_EQ(output, line["output"]);
  EXPECT_EQ("completed", line["status"]);
  std::vector<FoundWarning> tags = TagsIn(Slurp(output));
  const Json& listed = line["warnings"];
  ASSERT_EQ(tags.size(), listed.size());
  ASSERT_EQ(offsets.size(), listed.size());
  std::map<std::string, size_t> counts;
  for (size_t i = 0; i < tags.size(); ++i) {
    EXPECT_EQ(tags[i].line, listed[i]["line"]) << i;
    EXPECT_EQ(tags[i].column, listed[i]["column"]) << i;
    EXPECT_EQ(tags[i].text, listed[i]["text"]) << i;
    EXPECT_EQ(offsets[i], listed[i]["input_offset"]) << i;
    EXPECT_FALSE(listed[i].contains("input_line"));
    ++counts[tags[i].text];
  }
  EXPECT_EQ(Json(counts), line["counts"]);
}

class ReportCli : public ::testing::Test {
 protected:
  ReportCli() {
    dir_.Write("root/qdxfiles/pifont.fil", std::string(1000, '\0'));
    fs::create_directory(dir_.path() / "store");
  }
  std::string Path(const std::string& name) const { return (dir_.path() / name).string(); }
  std::vector<std::string> Args(std::vector<std::string> rest) const {
    std::vector<std::string> a = {"convert", "--root", Path("root"), "--store", Path("store")};
    a.insert(a.end(), rest.begin(), rest.end());
    return a;
  }
  TempDir dir_;
};

TEST_F(ReportCli, ListsTheWarningsOfTheOutputAloneAndInABatch) {
  std::vector<long long> offsets;
  const std::string job = JobWithWarnings(offsets);
  const std::string input = dir_.Write("job.zan", job).string();
  CliRun r = RunVelkan(Args({input, "-o", Path("out.txt"), "--report", Path("report.jsonl")}));
  ASSERT_EQ(0, r.status) << r.err;
  // Not on a terminal: no summary.
  EXPECT_EQ(std::string::npos, r.err.find("4 warnings")) << r.err;
  const std::string report = Slurp(Path("report.jsonl"));
  ASSERT_EQ(1, std::count(report.begin(), report.end(), '\n')) << report;
  CheckReportLine(Json::parse(report), input, Path("out.txt"), offsets);
  EXPECT_EQ(4u, TagsIn(Slurp(Path("out.txt"))).size());

  // The output is the same without the report.
  ASSERT_EQ(0, RunVelkan(Args({input, "-o", Path("plain.txt")})).status);
  EXPECT_EQ(Slurp(Path("plain.txt")), Slurp(Path("out.txt")));

  // A batch: one line per input, in the order of the inputs; a missing
  // input has its line too.
  std::vector<long long> none;
  const std::string quiet = dir_.Write("quiet.zan", WordBytes({0x45A1, 0xD009})).string();
  r = RunVelkan(Args({quiet, input, Path("missing.zan"), "--out-dir", Path("batch"), "-j", "2", "--report", "-"}));
  EXPECT_EQ(1, r.status) << r.err;
  std::istringstream lines(r.out);
  std::vector<Json> parsed;
  for (std::string l; std::getline(lines, l);) parsed.push_back(Json::parse(l));
  ASSERT_EQ(3u, parsed.size()) << r.out;
  CheckReportLine(parsed[0], quiet, Path("batch/quiet.txt"), none);
  CheckReportLine(parsed[1], input, Path("batch/job.txt"), offsets);
  EXPECT_EQ("input-not-found", parsed[2]["status"]);
  EXPECT_EQ(Json::array(), parsed[2]["warnings"]);
  EXPECT_FALSE(parsed[2]["notes"].empty());
}

// On a terminal each job ends with a summary of its warnings, unless -q.
TEST_F(ReportCli, ASummaryLineOnATerminal) {
  std::vector<long long> offsets;
  const std::string input = dir_.Write("job.zan", JobWithWarnings(offsets)).string();
  CliRun r = RunVelkanOnTerminal(Args({input, "-o", Path("out.txt")}));
  EXPECT_EQ(0, r.status) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("velkan: 4 warnings: 4 × 見出し追い出し\r\n")) << r.out;
  r = RunVelkanOnTerminal(Args({input, "-o", Path("out.txt"), "-q"}));
  EXPECT_EQ(0, r.status) << r.out;
  EXPECT_EQ(std::string::npos, r.out.find("warnings")) << r.out;
  const std::string other = dir_.Write("other.zan", Slurp(input)).string();
  r = RunVelkanOnTerminal(Args({input, other, "--out-dir", Path("batch")}));
  EXPECT_NE(std::string::npos, r.out.find("velkan: " + input + ": 4 warnings: 4 × ")) << r.out;
}

// A report's input offset leads back into the job: dump --at marks the
// command there; a text job's words are listed with their text lines.
TEST_F(ReportCli, DumpShowsWhereAWarningCameFrom) {
  std::vector<long long> offsets;
  const std::string input = dir_.Write("job.zan", JobWithWarnings(offsets)).string();
  CliRun r = RunVelkan({"dump", "--root", Path("root"), "--at", std::to_string(offsets[2]), "--context", "1", input});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(4, std::count(r.out.begin(), r.out.end(), '\n')) << r.out;
  char marked[32];
  std::snprintf(marked, sizeof marked, "\n> %06llx  D03F", offsets[2]);
  EXPECT_NE(std::string::npos, r.out.find(marked)) << r.out;
  EXPECT_EQ(1, RunVelkan({"dump", "--root", Path("root"), "--at", "100000", input}).status);

  // Without --root the sample tables read the text.
  const std::string text = dir_.Write("lines.txt", "ab\r\ncd\n\nef\n").string();
  r = RunVelkan({"dump", "--at", "0x6", "--context", "1", text});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_NE(std::string::npos, r.out.find("> 000006  ")) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("     2  character c")) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("000004  D009     1  line-end")) << r.out;
}

TEST_F(ReportCli, NoWarningsWrittenNoneListed) {
  std::vector<long long> offsets;
  const std::string input = dir_.Write("job.zan", JobWithWarnings(offsets)).string();
  CliRun r = RunVelkan(Args({input, "-o", Path("out.txt"), "--no-warnings", "--report", "-"}));
  ASSERT_EQ(0, r.status) << r.err;
  Json line = Json::parse(r.out);
  EXPECT_EQ(Json::array(), line["warnings"]);
  EXPECT_EQ(Json::object(), line["counts"]);
}

TEST_F(ReportCli, PathsThatAreNoUtf8AreShownEscaped) {
  std::vector<long long> offsets;
  const std::string input = dir_.Write("job\xff\x01.zan", JobWithWarnings(offsets)).string();
  CliRun r = RunVelkan(Args({input, "-o", Path("out.txt"), "--report", "-"}));
  ASSERT_EQ(0, r.status) << r.err;
  Json line = Json::parse(r.out);
  EXPECT_EQ(Path("job\\xff\\x01.zan"), line["input"]);
}

TEST_F(ReportCli, RefusesToReplaceWhatTheJobReadsOrWrites) {
  std::vector<long long> offsets;
  const std::string job = JobWithWarnings(offsets);
  const std::string input = dir_.Write("job.zan", job).string();
  for (const std::string& report : {Path("out.txt"), input, Path("store/QDXFILES/udf2.tbl")}) {
    CliRun r = RunVelkan(Args({input, "-o", Path("out.txt"), "--report", report}));
    EXPECT_EQ(2, r.status) << report;
    EXPECT_NE(std::string::npos, r.err.find("--report")) << r.err;
  }
  // The standard output named by a path of its own is the standard output
  // all the same: the report's lines would go into the output.
  for (const auto& [output, report] : {std::pair<std::string, std::string>{"/dev/stdout", "-"}, {"-", "/dev/stdout"}}) {
    CliRun r = RunVelkan(Args({input, "-o", output, "--report", report}));
    EXPECT_EQ(2, r.status) << output << " " << report;
    EXPECT_NE(std::string::npos, r.err.find("cannot both go to standard output")) << r.err;
    EXPECT_EQ("", r.out);
  }
  // Refused before anything ran.
  EXPECT_EQ(job, Slurp(input));
  EXPECT_FALSE(fs::exists(Path("out.txt")));
}

// In a batch every job's files are kept from the report, the last input's
// as the first's, and an input under a second name too; the report's
// refusal names the file.
TEST_F(ReportCli, RefusesInABatchWhatAnyOfItsJobsReads) {
  std::vector<long long> offsets;
  const std::string job = JobWithWarnings(offsets);
  std::vector<std::string> inputs;
  for (const char* name : {"a.zan", "b.zan", "c.zan"}) inputs.push_back(dir_.Write(name, job).string());
  fs::create_hard_link(inputs[1], Path("second-name"));
  const std::string define = dir_.Write("names.def", "").string();
  const std::pair<std::string, std::string> cases[] = {
      {inputs[2], "the input file " + inputs[2] + " itself"},
      {Path("second-name"), "the input file " + inputs[1] + " itself"},
      {define, "the definition file " + define + " itself"},
      {Path("store/QDXFILES/udf2.fle"), "format store"}};
  for (const auto& [report, said] : cases) {
    std::vector<std::string> args = inputs;
    args.insert(args.end(), {"--out-dir", Path("out"), "--define", define, "--report", report});
    CliRun r = RunVelkan(Args(args));
    EXPECT_EQ(2, r.status) << report;
    EXPECT_NE(std::string::npos, r.err.find("--report")) << r.err;
    EXPECT_NE(std::string::npos, r.err.find(said)) << r.err;
    EXPECT_FALSE(fs::exists(Path("out"))) << report;
  }
  EXPECT_EQ(job, Slurp(inputs[2]));
  EXPECT_EQ(job, Slurp(Path("second-name")));
}

}  // namespace
}  // namespace velkan::test
