// velkan: the command-line converter.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/default_root.h"
#include "driver/job.h"
#include "driver/session.h"

namespace {

constexpr const char* kUsage =
    "usage: velkan <command> [options]\n"
    "\n"
    "commands:\n"
    "  convert   convert a job (.zan code words, or a .txt text) into tagged text\n"
    "\n"
    "Run 'velkan convert --help' for the options of a command.\n";

constexpr const char* kConvertUsage =
    "usage: velkan convert [--root DIR] [--store DIR] [--udf FILE] [--define FILE]\n"
    "                      [--vertical] [--unit pt|Q] [--no-warnings] INPUT -o OUTPUT\n"
    "\n"
    "Converts INPUT, a code-word job (16-bit words, high byte first), into tagged\n"
    "Shift_JIS text in OUTPUT (created, or replaced). An INPUT (or --udf FILE)\n"
    "whose path contains \".txt\" in any case is a Shift_JIS text job: it is\n"
    "turned into code words first, with the text-input tables of the root.\n"
    "\n"
    "OUTPUT is written to a temporary file beside it and renamed into place when\n"
    "the job ends, so an interrupted conversion leaves the earlier OUTPUT as it\n"
    "was (a conversion killed outright may leave a file .NAME.velkan-XXXXXXXX\n"
    "there, which can be removed). An existing OUTPUT keeps its permissions. A\n"
    "pipe or device (such as /dev/stdout) is written directly. OUTPUT may not be\n"
    "INPUT, the --udf FILE or the --define FILE, also not through a link.\n"
    "When writing fails (a full disk, a file size limit, a closed pipe) the\n"
    "conversion reports it and exits 1; OUTPUT then holds the bytes written\n"
    "before the fault.\n"
    "\n"
    "  --root DIR      the table root holding qdxfiles/ (default: $VELKAN_ROOT,\n"
    "                  else the bundled sample root)\n"
    "  --store DIR     where the store of user-defined formats lies: the files\n"
    "                  QDXFILES/udf2.tbl and QDXFILES/udf2.fle below DIR, created\n"
    "                  when absent (default: $VELKAN_STORE, else the table root).\n"
    "                  Formats defined by one job stay there for later jobs; give\n"
    "                  a writable DIR when the table root is read-only\n"
    "  --udf FILE      convert FILE first, only to store the formats it defines;\n"
    "                  OUTPUT then holds the conversion of INPUT alone\n"
    "  --define FILE   definition file naming fonts, colours and rules\n"
    "  --vertical      vertical composition (default horizontal)\n"
    "  --unit pt|Q     unit of the job's lengths (default pt)\n"
    "  --no-warnings   write no <WAR> warning tags\n"
    "  -o OUTPUT       the output file\n"
    "\n"
    "Font tables are looked for under $MTBL when it is set. Conversions running at\n"
    "the same time take turns with the format store, one pass after the other.\n"
    "\n"
    "Exit status: 0 when every pass ended through the end of the job; 1 when the\n"
    "input could not be read, the output could not be created or written, or a\n"
    "pass ended otherwise (the reason is printed); 2 for bad usage.\n";

int UsageError(const std::string& what) {
  std::cerr << "velkan convert: " << what << "\n"
            << "Try 'velkan convert --help'.\n";
  return 2;
}

int Convert(int argc, char** argv) {
  velkan::JobOptions o;
  std::string root;
  bool haveInput = false, haveOutput = false;
  for (int i = 0; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string& out) -> bool {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    if (a == "--help" || a == "-h") {
      std::cout << kConvertUsage;
      return 0;
    } else if (a == "--root") {
      if (!value(root)) return UsageError("--root needs a directory");
    } else if (a == "--store") {
      std::string dir;
      if (!value(dir)) return UsageError("--store needs a directory");
      o.storeDir = dir;
    } else if (a == "--udf") {
      if (!value(o.udfFile)) return UsageError("--udf needs a file");
    } else if (a == "--define") {
      if (!value(o.defineFile)) return UsageError("--define needs a file");
    } else if (a == "--vertical") {
      o.kumi = 1;
    } else if (a == "--unit") {
      std::string u;
      if (!value(u)) return UsageError("--unit needs pt or Q");
      if (u == "pt") o.unit = 0;
      else if (u == "Q" || u == "q") o.unit = 1;
      else return UsageError("--unit takes pt or Q, not '" + u + "'");
    } else if (a == "--no-warnings") {
      o.warning = 1;
    } else if (a == "-o" || a == "--output") {
      if (!value(o.outputFile)) return UsageError("-o needs a file");
      haveOutput = true;
    } else if (a.size() > 1 && a[0] == '-') {
      return UsageError("unknown option '" + a + "'");
    } else if (!haveInput) {
      o.inputFile = a;
      haveInput = true;
    } else {
      return UsageError("only one input file may be given");
    }
  }
  if (!haveInput) return UsageError("no input file given");
  if (!haveOutput) return UsageError("no output file given (-o OUTPUT)");

  if (root.empty()) {
    const char* env = std::getenv("VELKAN_ROOT");
    root = env && *env ? env : velkan::DefaultTableRoot();
  }
  o.tableRoot = root;
  if (o.storeDir.empty()) {
    const char* env = std::getenv("VELKAN_STORE");
    if (env && *env) o.storeDir = env;
  }
  if (const char* mtbl = std::getenv("MTBL")) o.mtbl = mtbl;

  velkan::Session session;
  velkan::JobResult r = velkan::RunConversionJob(session, o);
  if (!r.message.empty()) std::cerr << "velkan: " << r.message << "\n";
  for (const std::string& note : r.notes) std::cerr << "velkan: " << note << "\n";
  return r.status == velkan::JobStatus::kCompleted ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  // A reader that goes away shows as a write error of the output, reported
  // with exit status 1, instead of ending the program without a word.
  std::signal(SIGPIPE, SIG_IGN);
  if (argc < 2) {
    std::cerr << kUsage;
    return 2;
  }
  std::string cmd = argv[1];
  if (cmd == "--help" || cmd == "-h" || cmd == "help") {
    std::cout << kUsage;
    return 0;
  }
  if (cmd == "convert") return Convert(argc - 2, argv + 2);
  std::cerr << "velkan: unknown command '" << cmd << "'\n" << kUsage;
  return 2;
}
