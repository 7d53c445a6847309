#include "cli/dump_command.h"

#include <cstdlib>
#include <iostream>
#include <string>

#include "cli/arguments.h"
#include "engine/job_places.h"
#include "io/shown_path.h"
#include "tables/code_conversion.h"
#include "tables/code_tables.h"
#include "tables/command_words.h"
#include "tables/font_tables.h"
#include "tables/table_file.h"
#include "tools/job_listing.h"
#include "tools/shift_jis_text.h"

namespace velkan::cli {

namespace {

constexpr const char* kUsage =
    "usage: velkan dump [--root DIR] JOB\n"
    "\n"
    "Lists the code words of JOB (a .zan file): byte offset, word, and what the\n"
    "word is. Commands show their names and the numbers their argument words\n"
    "spell; the lines of a parameter group are indented. Characters show the\n"
    "character the tables of the root give them in font 1 (default root: as\n"
    "for 'velkan convert').\n";

int UsageError(const std::string& what) {
  std::cerr << "velkan dump: " << what << "\nTry 'velkan dump --help'.\n";
  return 2;
}

// Names characters as the tables under a root write them in the default
// font 1: the single byte or Shift-JIS form of the code tables where the
// character output takes it, else the JIS code of the font tables.
class TableNamer {
 public:
  explicit TableNamer(const TablePaths& paths) : paths_(paths) {
    LoadCodeTables(codes_, paths);
    PrepareFontTables(fonts_, paths);
  }
  ~TableNamer() {
    ReleaseFontTables(fonts_);
    ReleaseCodeTables(codes_);
  }
  TableNamer(const TableNamer&) = delete;
  TableNamer& operator=(const TableNamer&) = delete;

  std::string operator()(uint16_t word) {
    uint16_t sjis = codes_.ShiftJisOf(word);
    unsigned page = word & 0xFF00;
    if (sjis != 0) {
      uint8_t single = codes_.SingleByteOf(sjis);
      bool singlePage = page == 0xC100 || page == 0xC300 || page == 0xC400 || page == 0xA200 || page == 0xB200;
      if (singlePage && single >= 0x20 && single < 0x7F) return std::string(1, static_cast<char>(single));
      if (page == 0xC500 || page == 0xC600 || page == 0xA000 || page == 0xA300 || page == 0xB000) {
        return ShiftJisCharacter(sjis);
      }
    }
    if (IsCommandWord(word) || (word & 0xF000) == 0x1000) return {};
    return JisCharacter(ConvertCode(fonts_, paths_, 1, word));
  }

 private:
  const TablePaths& paths_;
  CodeTables codes_;
  FontTables fonts_;
};

}  // namespace

int DumpCommand(int argc, char** argv) {
  std::string root, job;
  for (int i = 0; i < argc; ++i) {
    std::string a = argv[i];
    std::string v;
    if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (OptionValue got = TakeOptionValue(argc, argv, i, {"--root"}, v); got != OptionValue::kOther) {
      if (got == OptionValue::kMissing) return UsageError("--root needs a directory");
      root = v;
    } else if (a.size() > 1 && a[0] == '-') {
      return UsageError("unknown option '" + ShownText(a) + "'");
    } else if (job.empty()) {
      job = a;
    } else {
      return UsageError("dump takes one job");
    }
  }
  if (job.empty()) return UsageError("no job given");
  std::string bytes;
  if (ReadTableFile(job, bytes) != TableFileStatus::kRead) {
    std::cerr << "velkan dump: cannot read " << ShownPath(job) << "\n";
    return 1;
  }
  std::optional<std::string> mtbl;
  if (const char* m = std::getenv("MTBL")) mtbl = m;
  TablePaths paths(ChooseTableRoot(root, DefaultTableRoot()).path, mtbl);
  TableNamer namer(paths);
  // A failed write is reported when the standard output is closed.
  std::cout << ListCodeWords(bytes, [&namer](uint16_t w) { return namer(w); });
  return 0;
}

}  // namespace velkan::cli
