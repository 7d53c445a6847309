// velkan: the command-line converter.
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/standard_output.h"
#include "cli/warning_report.h"
#include "conversion/session.h"
#include "engine/batch.h"
#include "engine/job.h"
#include "engine/job_places.h"
#include "engine/version.h"
#include "frontend/messages.h"
#include "frontend/termination.h"
#include "io/output_file.h"
#include "io/shown_path.h"
#include "tools/arguments.h"
#include "tools/dump_command.h"
#include "tools/tables_command.h"

namespace {

using velkan::tools::OptionValue;

constexpr const char* kUsage = N_(
    "usage: velkan <command> [options]\n"
    "\n"
    "commands:\n"
    "  convert   convert jobs (.zan code words, or .txt texts) into tagged text\n"
    "  dump      list the code words of a job, with command names and arguments\n"
    "  tables    dump, build and check table files\n"
    "\n"
    "Run 'velkan COMMAND --help' for the options of a command;\n"
    "'velkan --version' prints the version.\n");

constexpr const char* kConvertUsage = N_(
    "usage: velkan convert [--root DIR] [--store DIR] [--udf FILE] [--define FILE]\n"
    "                      [--text] [--input-encoding shift_jis|utf-8] [--vertical]\n"
    "                      [--unit pt|Q] [--no-warnings] [--report FILE] [-q]\n"
    "                      INPUT -o OUTPUT\n"
    "       velkan convert [options] INPUT... --out-dir DIR [-j N]\n"
    "\n"
    "Converts INPUT, a code-word job (16-bit words, high byte first), into tagged\n"
    "Shift_JIS text in OUTPUT (created, or replaced). An INPUT (or --udf FILE)\n"
    "whose path contains \".txt\" in any case is a text job, Shift_JIS unless\n"
    "--input-encoding says otherwise: it is turned into code words first, with\n"
    "the text-input tables of the root.\n"
    "INPUT - reads standard input; -o - writes standard output. /dev/stdin,\n"
    "/dev/fd/N and /proc/self/fd/N as INPUT or --udf FILE are read where they\n"
    "stand (a process substitution <(...) gives /dev/fd/N); a named FIFO counts\n"
    "as missing.\n"
    "\n"
    "OUTPUT is written to a temporary file beside it and renamed into place when\n"
    "the job ends, so an interrupted conversion leaves the earlier OUTPUT as it\n"
    "was: on SIGINT, SIGTERM or SIGHUP the temporary file is removed and the\n"
    "program ends with status 128+N (only a conversion killed outright may leave\n"
    "a file .NAME.velkan-XXXXXXXX there, which can be removed). An existing\n"
    "OUTPUT keeps its permissions. When writing fails (a full disk, a file size\n"
    "limit, a quota) the conversion says how many bytes could be written, removes\n"
    "the partial file and exits 1: the earlier OUTPUT is unchanged.\n"
    "\n"
    "/dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N are the descriptors\n"
    "already open, written where they stand (\"-o /dev/stdout >> log\" appends).\n"
    "These, pipes, devices and an existing OUTPUT in a folder where no new file\n"
    "can be made are written in place: what they received before a failure\n"
    "cannot be taken back. OUTPUT may not be INPUT, the --udf FILE, the --define\n"
    "FILE, a file of the format store or of the root's qdxfiles folder, also not\n"
    "through a link. An OUTPUT that cannot be made fails before converting: also\n"
    "a file the user may not write, and an append-only or immutable file or\n"
    "folder. When the format store or the pi-font file cannot be opened nothing\n"
    "is converted: a new OUTPUT is made empty, an existing one is left as it was.\n"
    "\n"
    "An option takes its value as the next argument, or attached: to a long one\n"
    "with '=' (--root=DIR), to a short one as it is (-j4). Every argument after\n"
    "-- is an INPUT, also one that starts with '-'.\n"
    "\n"
    "  --root DIR      the table root holding qdxfiles/ (default: $VELKAN_ROOT,\n"
    "                  else the sample root of the build tree the program runs\n"
    "                  from, else /etc/velkan/root when it exists, else the\n"
    "                  installation's sample root, PREFIX/share/velkan/root;\n"
    "                  'velkan tables check' shows the one chosen)\n"
    "  --store DIR     where the store of user-defined formats lies: the files\n"
    "                  QDXFILES/udf2.tbl and QDXFILES/udf2.fle below DIR, created\n"
    "                  when absent (default: $VELKAN_STORE, else\n"
    "                  $XDG_STATE_HOME/velkan, or ~/.local/state/velkan, when the\n"
    "                  table root is the default one, else the table root;\n"
    "                  without XDG_STATE_HOME and HOME the default root needs\n"
    "                  --store).\n"
    "                  Formats defined by one job stay there for later jobs; give\n"
    "                  a writable DIR when the table root is read-only\n"
    "  --udf FILE      convert FILE first, only to store the formats it defines\n"
    "                  (its output goes nowhere); OUTPUT then holds the\n"
    "                  conversion of INPUT alone\n"
    "  --define FILE   definition file naming fonts, colours and rules\n"
    "  --text          INPUT is a text job whatever its name (for standard input)\n"
    "  --input-encoding shift_jis|utf-8\n"
    "                  the encoding of the text jobs, INPUT and the --udf FILE\n"
    "                  (default shift_jis, code page 932). A UTF-8 text is turned\n"
    "                  into Shift_JIS as it is read, a byte-order mark skipped; a\n"
    "                  character without a Shift_JIS form, and a byte that is no\n"
    "                  UTF-8, is written as the geta mark (0x81AC) and noted\n"
    "                  with its line and column\n"
    "  --vertical      vertical composition (default horizontal)\n"
    "  --unit pt|Q     unit of the job's lengths (default pt)\n"
    "  --no-warnings   write no <WAR> warning tags\n"
    "  --report FILE   write the warnings of each input to FILE (- for standard\n"
    "                  output) as JSON Lines, one line per input in the order of\n"
    "                  the inputs: input, output, status, notes, warnings (each\n"
    "                  with the line and column of the output, the text, and\n"
    "                  input_offset, the byte of INPUT that caused it, or for a\n"
    "                  text job input_line) and counts per text. FILE is put in\n"
    "                  place at the end; it may not be a file the job reads or\n"
    "                  writes. OUTPUT is the same with or without it\n"
    "  -q, --quiet     no summary line of the warnings of each job, which is\n"
    "                  printed when stderr is a terminal and --report not given\n"
    "  -o OUTPUT       the output file\n"
    "\n"
    "Batch conversion:\n"
    "  --out-dir DIR   convert every INPUT into DIR (created when absent), each\n"
    "                  output named after its input with the extension replaced\n"
    "                  by \".txt\". The batch is refused before anything runs when\n"
    "                  an output would replace an input, the --udf or the --define\n"
    "                  file or a file of the store or the tables, when two inputs\n"
    "                  would give the same output (links followed), or when a\n"
    "                  FIFO, a socket, a device or a folder stands at an output\n"
    "  -j, --jobs N    convert N inputs at a time (default: the number of\n"
    "                  processors). Each input is converted as if by a program\n"
    "                  of its own; with --udf, FILE is converted before each one\n"
    "                  (fewer at a time when no more threads can be had)\n"
    "On a terminal a progress line shows the files done and the throughput; at the\n"
    "end the failed inputs are listed.\n"
    "\n"
    "Font tables are looked for under $MTBL when it is set. Conversions running at\n"
    "the same time share the format store, each locking it only while it reads or\n"
    "writes a format or the defined flags: a slow one holds up no other.\n"
    "\n"
    "Exit status: 0 when every pass ended through the end of the job; 1 when the\n"
    "input could not be read, the output could not be created or written, or a\n"
    "pass ended otherwise (the reason is printed), in a batch when any input\n"
    "failed so; 2 for bad usage and for a batch refused before it ran.\n");

// A usage error of `velkan convert` (see tools::UsageError).
int UsageError(const char* what, const std::vector<std::string>& args = {}) {
  return velkan::tools::UsageError("convert", what, args);
}

// The encoding a value of --input-encoding names, in any case, with "-" or
// "_" or nothing between its words ("utf-8", "UTF8", "Shift_JIS", "sjis").
std::optional<velkan::TextEncoding> TextEncodingNamed(const std::string& name) {
  std::string key;
  for (char ch : name) {
    if (ch != '-' && ch != '_') key += static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
  }
  if (key == "utf8") return velkan::TextEncoding::kUtf8;
  if (key == "shiftjis" || key == "sjis" || key == "cp932") return velkan::TextEncoding::kShiftJis;
  return std::nullopt;
}

// Prints what a job reports: its message and notes, each on a line of its
// own, prefixed with `prefix`.
void PrintJobResult(const std::string& prefix, const velkan::JobResult& r) {
  for (const std::string& line : velkan::cli::JobMessages(r)) std::cerr << prefix << line << "\n";
}

// What the command tells of the warnings of its jobs: the report file when
// one is asked for, else on a terminal a summary line per job (unless -q).
struct WarningOutput {
  std::string reportPath;  // empty: no report
  bool summary = false;
  velkan::cli::ReportFile report;

  // Whether the jobs are to list their warnings.
  bool listed() const { return !reportPath.empty() || summary; }
  // Whether a job's result gets a summary line.
  bool Summarizes(const velkan::JobResult& r) const {
    return summary && (r.status == velkan::JobStatus::kCompleted || !r.warnings.empty());
  }
  // Prints the summary of a job whose output was kept.
  void Summarize(const std::string& prefix, const velkan::JobResult& r) const {
    if (Summarizes(r)) std::cerr << prefix << velkan::cli::WarningSummary(r) << "\n";
  }
  // Checks and opens the report before anything runs; false (after saying
  // why) when it cannot be written.
  bool Prepare(const velkan::JobOptions& common, const std::vector<std::string>& inputs,
               const std::vector<std::string>& outputs) {
    if (reportPath.empty()) return true;
    std::string why = velkan::cli::ReportFile::Refusal(reportPath, common, inputs, outputs);
    if (why.empty() && !report.Open(reportPath, common.temporaries)) why = report.error();
    if (why.empty()) return true;
    std::cerr << "velkan convert: --report " << velkan::ShownPath(reportPath) << ": " << why << "\n";
    return false;
  }
  // Writes the report lines; false (after saying why) when that failed.
  bool Finish(const std::vector<std::string>& lines) {
    if (reportPath.empty() || report.Write(lines)) return true;
    std::cerr << "velkan convert: " << velkan::FillPlaces(_("the report could not be written: %s"), {report.error()})
              << "\n";
    return false;
  }
};

// A number of bytes per second, readable.
std::string Rate(long long bytes, double seconds) {
  char buf[48];
  double rate = seconds > 0 ? static_cast<double>(bytes) / seconds : 0;
  std::snprintf(buf, sizeof buf, "%.1f", rate / (1024.0 * 1024.0));
  return velkan::FillPlaces(_("%s MiB/s"), {buf});
}

int RunBatchConversion(const std::vector<std::string>& inputs, const std::vector<velkan::PathLook>& looks,
                       const std::string& outDir, int jobs, const velkan::JobOptions& common,
                       WarningOutput& warnings) {
  // The tables are read once for every job, the first time while the batch
  // is planned.
  const std::shared_ptr<velkan::BatchShare> share = velkan::MakeBatchShare(common);
  velkan::JobOptions shared = common;
  shared.shared = share.get();
  velkan::BatchPlan plan = velkan::PlanBatch(inputs, outDir, shared, looks);
  if (!plan.ok()) {
    for (const velkan::Note& why : plan.refusals) {
      std::cerr << "velkan convert: " << velkan::frontend::RenderNote(why) << "\n";
    }
    std::cerr << "velkan convert: " << _("the batch was refused; nothing was converted") << "\n";
    return 2;
  }
  // The outputs are listed for the report alone.
  std::vector<std::string> outputs;
  for (size_t i = 0; i < plan.entries.size() && !warnings.reportPath.empty(); ++i) {
    outputs.push_back(plan.entries[i].output);
  }
  if (!warnings.Prepare(common, inputs, outputs)) return 2;
  std::error_code ec;
  std::filesystem::create_directories(outDir, ec);
  if (ec || !std::filesystem::is_directory(outDir)) {
    std::cerr << "velkan convert: "
              << velkan::FillPlaces(ec ? _("cannot create the output folder %s: %s")
                                       : _("cannot create the output folder %s"),
                                    {velkan::ShownPath(outDir), velkan::frontend::SystemErrorText(ec.value())})
              << "\n";
    return 1;
  }

  const bool terminal = ::isatty(STDERR_FILENO) == 1;
  bool lineShown = false;
  auto clearLine = [&] {
    if (lineShown) std::cerr << "\r\033[K" << std::flush;
    lineShown = false;
  };
  velkan::BatchCallbacks cb;
  cb.jobEnded = [&](size_t i, const velkan::JobResult& r) {
    // Most jobs end without a word to say: their input's name is shown only
    // when something is said.
    clearLine();
    std::vector<std::string> said = velkan::cli::JobMessages(r);
    if (said.empty() && !warnings.Summarizes(r)) return;
    const std::string prefix = "velkan: " + velkan::ShownPath(plan.entries[i].input) + ": ";
    for (const std::string& line : said) std::cerr << prefix << line << "\n";
    warnings.Summarize(prefix, r);
  };
  if (terminal) {
    cb.tick = [&](const velkan::BatchStatus& s) {
      std::cerr << "\r\033[Kvelkan: "
                << velkan::FillPlaces(_("%s/%s files, %s"),
                                      {std::to_string(s.done), std::to_string(s.total), Rate(s.bytes, s.seconds)})
                << std::flush;
      lineShown = true;
    };
  }
  auto start = std::chrono::steady_clock::now();
  std::vector<velkan::JobResult> results = velkan::RunBatch(plan.entries, shared, jobs, cb);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  clearLine();
  // The report's lines are made only when a report is written.
  std::vector<std::string> lines;
  for (size_t i = 0; i < results.size() && !warnings.reportPath.empty(); ++i) {
    lines.push_back(velkan::cli::ReportLine(plan.entries[i].input, plan.entries[i].output, results[i]));
  }
  const bool reported = warnings.Finish(lines);

  std::vector<size_t> failed;
  for (size_t i = 0; i < results.size(); ++i) {
    if (results[i].status != velkan::JobStatus::kCompleted) failed.push_back(i);
  }
  if (terminal || !failed.empty()) {
    char took[32];
    std::snprintf(took, sizeof took, "%.2f", seconds);
    std::cerr << "velkan: "
              << velkan::FillPlaces(_("%s of %s files converted in %s s"),
                                    {std::to_string(results.size() - failed.size()), std::to_string(results.size()),
                                     took})
              << "\n";
  }
  if (failed.empty()) return reported ? 0 : 1;
  std::cerr << "velkan: " << _("failed:") << "\n";
  for (size_t i : failed) {
    const velkan::JobResult& r = results[i];
    std::string why = !r.message.empty() ? r.message
                      : !r.notes.empty() ? velkan::frontend::RenderNote(r.notes.front())
                                         : std::string(_("failed"));
    std::cerr << "  " << velkan::ShownPath(plan.entries[i].input) << ": " << why << "\n";
  }
  return 1;
}

int Convert(int argc, char** argv, velkan::TemporaryFiles& temporaries) {
  velkan::JobOptions o;
  o.temporaries = &temporaries;
  std::string root, outDir;
  std::vector<std::string> inputs;
  bool haveOutput = false, haveOutDir = false, quiet = false, optionsEnded = false;
  int jobs = 0;
  WarningOutput warnings;
  for (int i = 0; i < argc; ++i) {
    const std::string_view a = argv[i];
    // Every option starts with "-": anything else ("-" alone too) is an
    // input, told at once, and so is every argument after "--".
    if (optionsEnded || a.size() < 2 || a[0] != '-') {
      inputs.emplace_back(a);
      continue;
    }
    if (a == "--") {
      optionsEnded = true;
      continue;
    }
    // An option with a value: the value, or a usage error when it is
    // missing; false when `a` is not that option.
    std::string v;
    bool missing = false;
    auto option = [&](std::initializer_list<std::string_view> names) {
      OptionValue got = velkan::tools::TakeOptionValue(argc, argv, i, names, v);
      missing = got == OptionValue::kMissing;
      return got != OptionValue::kOther;
    };
    if (a == "--help" || a == "-h") {
      std::cout << _(kConvertUsage);
      return 0;
    } else if (option({"--root"})) {
      if (missing) return UsageError(N_("--root needs a directory"));
      root = v;
    } else if (option({"--store"})) {
      if (missing) return UsageError(N_("--store needs a directory"));
      o.storeDir = v;
    } else if (option({"--udf"})) {
      if (missing) return UsageError(N_("--udf needs a file"));
      o.udfFile = v;
    } else if (option({"--define"})) {
      if (missing) return UsageError(N_("--define needs a file"));
      o.defineFile = v;
    } else if (a == "--text") {
      o.inputIsText = true;
    } else if (option({"--input-encoding"})) {
      if (missing) return UsageError(N_("--input-encoding needs shift_jis or utf-8"));
      if (std::optional<velkan::TextEncoding> e = TextEncodingNamed(v)) {
        o.inputEncoding = *e;
      } else {
        return UsageError(N_("--input-encoding takes shift_jis or utf-8, not '%s'"), {velkan::ShownText(v)});
      }
    } else if (a == "--vertical") {
      o.kumi = 1;
    } else if (option({"--unit"})) {
      if (missing) return UsageError(N_("--unit needs pt or Q"));
      if (v == "pt") o.unit = 0;
      else if (v == "Q" || v == "q") o.unit = 1;
      else return UsageError(N_("--unit takes pt or Q, not '%s'"), {velkan::ShownText(v)});
    } else if (a == "--no-warnings") {
      o.warning = 1;
    } else if (option({"--report"})) {
      if (missing || v.empty()) return UsageError(N_("--report needs a file (- for standard output)"));
      warnings.reportPath = v;
    } else if (a == "-q" || a == "--quiet") {
      quiet = true;
    } else if (option({"-o", "--output"})) {
      if (missing) return UsageError(N_("-o needs a file"));
      o.outputFile = v;
      haveOutput = true;
    } else if (option({"--out-dir"})) {
      if (missing || v.empty()) return UsageError(N_("--out-dir needs a directory"));
      outDir = v;
      haveOutDir = true;
    } else if (option({"-j", "--jobs"})) {
      if (missing) return UsageError(N_("-j needs a number of jobs"));
      char* end = nullptr;
      errno = 0;
      long n = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || errno != 0 || n < 1 || n > 1024) {
        return UsageError(N_("-j takes a number from 1 to 1024, not '%s'"), {velkan::ShownText(v)});
      }
      jobs = static_cast<int>(n);
    } else {
      return UsageError(N_("unknown option '%s'"), {velkan::ShownText(a)});
    }
  }
  if (inputs.empty()) return UsageError(N_("no input file given"));
  if (haveOutDir && haveOutput) return UsageError(N_("-o and --out-dir cannot be given together"));
  if (!haveOutDir) {
    if (inputs.size() > 1) {
      return UsageError(N_("only one input file may be given with -o; use --out-dir DIR for several"));
    }
    if (!haveOutput) return UsageError(N_("no output file given (-o OUTPUT, or --out-dir DIR)"));
    o.inputFile = inputs.front();
    if (o.inputFile == "-") o.inputFd = STDIN_FILENO;
    if (o.outputFile == "-") o.outputFd = STDOUT_FILENO;
  } else {
    for (const std::string& input : inputs) {
      if (input == "-") return UsageError(N_("standard input (-) cannot be converted with --out-dir"));
    }
  }

  // Nothing is open yet: a descriptor the command line names (/dev/fd/N) is
  // held when it is closed, so that none of the files opened later takes it.
  for (const std::string* named : {&o.outputFile, &o.udfFile, &o.defineFile}) {
    velkan::frontend::HoldClosedDescriptor(velkan::NamedDescriptor(*named));
  }
  // The lstat that tells an input is no descriptor's name is kept for the
  // batch's planning, which would take it again. The inputs of a batch that
  // its folder's listing shows as regular files name no descriptor: they
  // need none.
  std::vector<velkan::PathLook> looks(haveOutDir ? inputs.size() : 0);
  if (haveOutDir) velkan::LookThroughListings(inputs, looks);
  for (size_t i = 0; i < inputs.size(); ++i) {
    if (haveOutDir && looks[i].listed) continue;
    velkan::frontend::HoldClosedDescriptor(velkan::NamedDescriptor(inputs[i], haveOutDir ? &looks[i] : nullptr));
  }

  const velkan::Place defaultRoot = velkan::DefaultTableRoot();
  const velkan::Place rootPlace = velkan::ChooseTableRoot(root, defaultRoot);
  o.tableRoot = rootPlace.path;
  const velkan::Place store = velkan::ChooseStoreDir(o.storeDir.string(), rootPlace, defaultRoot);
  // Refused before anything runs, like the other missing choices.
  if (store.rule == velkan::PlaceRule::kNowhere) {
    return UsageError("%s", {velkan::frontend::RenderNote(velkan::NoStorePlaceMessage())});
  }
  o.storeDir = store.path;
  if (const char* mtbl = std::getenv("MTBL")) o.mtbl = mtbl;

  // The summary is for a person at a terminal; scripts read the report.
  warnings.summary = warnings.reportPath.empty() && !quiet && ::isatty(STDERR_FILENO) == 1;
  o.listWarnings = warnings.listed();
  if (haveOutDir) {
    return RunBatchConversion(inputs, looks, outDir, jobs > 0 ? jobs : velkan::DefaultJobCount(), o, warnings);
  }

  if (!warnings.Prepare(o, {o.inputFile}, {o.outputFile})) return 2;
  velkan::Session session;
  velkan::JobResult r = velkan::RunConversionJob(session, o);
  PrintJobResult("velkan: ", r);
  warnings.Summarize("velkan: ", r);
  const bool reported = warnings.Finish({velkan::cli::ReportLine(o.inputFile, o.outputFile, r)});
  return r.status == velkan::JobStatus::kCompleted && reported ? 0 : 1;
}

int Run(int argc, char** argv, velkan::TemporaryFiles& temporaries) {
  if (argc < 2) {
    std::cerr << _(kUsage);
    return 2;
  }
  std::string cmd = argv[1];
  if (cmd == "--help" || cmd == "-h" || cmd == "help") {
    std::cout << _(kUsage);
    return 0;
  }
  if (cmd == "--version") {
    std::cout << velkan::VersionLine() << "\n";
    return 0;
  }
  if (cmd == "convert") return Convert(argc - 2, argv + 2, temporaries);
  if (cmd == "dump") return velkan::tools::DumpCommand(argc - 2, argv + 2);
  if (cmd == "tables") return velkan::tools::TablesCommand(argc - 2, argv + 2, temporaries);
  std::cerr << "velkan: " << velkan::FillPlaces(_("unknown command '%s'"), {velkan::ShownText(cmd)}) << "\n"
            << _(kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // The language of the messages, before the first one.
  velkan::frontend::SetUpMessages();
  // Before anything is opened, a closed standard descriptor is held, so that
  // no file of the program takes its number.
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) velkan::frontend::HoldClosedDescriptor(fd);
  // The temporary output files of the conversions in flight, removed when a
  // signal ends the program; made first, before any thread, and never freed,
  // since the thread that takes the signals may use it until the very end.
  static velkan::TemporaryFiles* const temporaries = new velkan::TemporaryFiles;
  velkan::frontend::RemoveTemporariesWhenEnding(*temporaries);
  // A reader that goes away shows as a write error of the output, reported
  // with exit status 1, instead of ending the program without a word; so does
  // a file size limit (EFBIG instead of SIGXFSZ).
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  velkan::cli::StandardOutput out;
  int status = Run(argc, argv, *temporaries);
  // A failed write of the standard output (a full disk, a closed pipe) is a
  // failure of the command, also when the text waited in the buffer until now.
  if (int err = out.Close(); err != 0) {
    std::cerr << "velkan: " << velkan::FillPlaces(_("cannot write the standard output: %s"), {velkan::frontend::SystemErrorText(err)})
              << "\n";
    if (status == 0) status = 1;
  }
  return status;
}
