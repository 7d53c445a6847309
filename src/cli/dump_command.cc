#include "cli/dump_command.h"

#include <iostream>
#include <string>
#include <unordered_map>

#include "cli/default_root.h"
#include "driver/job_listing.h"
#include "driver/job_places.h"
#include "tables/code_tables.h"
#include "tables/shift_jis_text.h"
#include "tables/table_file.h"

namespace velkan::cli {

namespace {

constexpr const char* kUsage =
    "usage: velkan dump [--root DIR] JOB\n"
    "\n"
    "Lists the code words of JOB (a .zan file): byte offset, word, and what the\n"
    "word is. Commands show their names and the numbers their argument words\n"
    "spell; the lines of a parameter group are indented. Characters show the\n"
    "character the tables of the root give them (default root: $VELKAN_ROOT,\n"
    "else the bundled sample root), as in the default font.\n";

int UsageError(const std::string& what) {
  std::cerr << "velkan dump: " << what << "\nTry 'velkan dump --help'.\n";
  return 2;
}

// Names characters as the default font of the tables under a root shows
// them: a Shift-JIS or single-byte form from the code tables, else the JIS
// code the base code file gives.
class TableNamer {
 public:
  explicit TableNamer(const TablePaths& paths) {
    LoadCodeTables(codes_, paths);
    std::string base;
    if (ReadTableFile(paths.Fixed("\\qdxfiles\\conv00.tbl"), base) == TableFileStatus::kRead) {
      for (size_t i = 0; i + 4 <= base.size(); i += 4) {
        auto w = [&](size_t k) {
          return static_cast<uint16_t>(static_cast<unsigned char>(base[k]) | static_cast<unsigned char>(base[k + 1]) << 8);
        };
        if (w(i) != 0) jis_[w(i)] = w(i + 2);
      }
    }
  }
  std::string operator()(uint16_t word) const {
    uint16_t sjis = codes_.ShiftJisOf(word);
    if (sjis != 0) {
      uint8_t single = codes_.SingleByteOf(sjis);
      if (single >= 0x20 && single < 0x7F && ((word & 0xFF00) == 0xC300 || (word & 0xFF00) == 0xC400 ||
                                              (word & 0xFF00) == 0xC100)) {
        return std::string(1, static_cast<char>(single));
      }
      if ((word & 0xF000) != 0x8000 && (word & 0xF000) != 0x9000) return ShiftJisCharacter(sjis);
    }
    auto it = jis_.find(word);
    return it == jis_.end() ? std::string() : JisCharacter(it->second);
  }

 private:
  CodeTables codes_;
  std::unordered_map<uint16_t, uint16_t> jis_;
};

}  // namespace

int DumpCommand(int argc, char** argv) {
  std::string root, job;
  for (int i = 0; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (a == "--root") {
      if (i + 1 >= argc) return UsageError("--root needs a directory");
      root = argv[++i];
    } else if (a.size() > 1 && a[0] == '-') {
      return UsageError("unknown option '" + a + "'");
    } else if (job.empty()) {
      job = a;
    } else {
      return UsageError("dump takes one job");
    }
  }
  if (job.empty()) return UsageError("no job given");
  std::string bytes;
  if (ReadTableFile(job, bytes) != TableFileStatus::kRead) {
    std::cerr << "velkan dump: cannot read " << job << "\n";
    return 1;
  }
  TablePaths paths(ChooseTableRoot(root, DefaultTableRoot()), std::nullopt);
  TableNamer namer(paths);
  std::cout << ListCodeWords(bytes, [&namer](uint16_t w) { return namer(w); });
  return std::cout.good() ? 0 : 1;
}

}  // namespace velkan::cli
