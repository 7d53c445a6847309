#include "tools/dump_command.h"

#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "engine/job.h"
#include "engine/job_places.h"
#include "io/byte_streams.h"
#include "frontend/messages.h"
#include "io/shown_path.h"
#include "tables/code_conversion.h"
#include "tables/code_tables.h"
#include "tables/command_words.h"
#include "tables/font_tables.h"
#include "tables/table_file.h"
#include "tables/text_line_marks.h"
#include "tables/text_pre_pass.h"
#include "tools/arguments.h"
#include "tools/job_listing.h"
#include "tools/shift_jis_text.h"

namespace velkan::tools {

namespace {

constexpr const char* kUsage = N_(
    "usage: velkan dump [--root DIR] [--text] [--at OFFSET [--context N]] JOB\n"
    "\n"
    "Lists the code words of JOB (a .zan file): byte offset, word, and what the\n"
    "word is. Commands show their names and the numbers their argument words\n"
    "spell; the lines of a parameter group are indented. Characters show the\n"
    "character the tables of the root give them in font 1 (default root: as\n"
    "for 'velkan convert').\n"
    "\n"
    "A JOB whose path contains \".txt\" in any case (or any JOB with --text) is\n"
    "a text job: the words listed are those the text pre-pass makes of it with\n"
    "the text-input tables of the root, each with the line of the text it came\n"
    "from; offsets count the bytes of those words.\n"
    "\n"
    "  --at OFFSET   list only the lines around the word at byte OFFSET\n"
    "                (decimal, or hexadecimal after 0x: the input_offset of a\n"
    "                --report), that line marked with '>'\n"
    "  --context N   lines shown before and after it (default 10)\n");

// A usage error of `velkan dump` (see tools::UsageError).
int UsageError(const char* what, const std::vector<std::string>& args = {}) {
  return tools::UsageError("dump", what, args);
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


// A number of the command line (decimal, or hexadecimal after 0x) from 0
// to `max`; -1 when it is none.
long long NumberArgument(const std::string& v, long long max) {
  if (v.empty() || v[0] == '-' || v[0] == '+') return -1;
  char* end = nullptr;
  errno = 0;
  long long n = std::strtoll(v.c_str(), &end, v.size() > 2 && (v[1] == 'x' || v[1] == 'X') ? 16 : 10);
  return *end != '\0' || errno != 0 || n > max ? -1 : n;
}

// The code words the text pre-pass makes of `text`, with the marks of the
// text's lines.
std::string TextJobWords(const std::string& text, const TablePaths& paths, TextLineMarks& lines) {
  PrePassTables tables;
  EscapeDefinitions escapes;
  std::vector<Note> notes;
  LoadTextInputTables(tables, escapes, paths, &notes);
  for (const Note& note : notes) std::cerr << "velkan dump: " << frontend::RenderNote(note) << "\n";
  MemorySource source(text);
  TextPrePass pass(source, tables, escapes);
  pass.TrackLines(&lines);
  std::string words;
  uint8_t buf[64 * 1024];
  for (long n; (n = pass.Read(buf, sizeof buf)) > 0;) words.append(reinterpret_cast<const char*>(buf), static_cast<size_t>(n));
  ReleaseEscapeDefinitions(escapes);
  return words;
}

}  // namespace

int DumpCommand(int argc, char** argv) {
  std::string root, job;
  bool text = false;
  long long at = -1, context = 10;
  for (int i = 0; i < argc; ++i) {
    std::string a = argv[i];
    std::string v;
    OptionValue got = OptionValue::kOther;
    if (a == "--help" || a == "-h") {
      std::cout << _(kUsage);
      return 0;
    } else if (got = TakeOptionValue(argc, argv, i, {"--root"}, v); got != OptionValue::kOther) {
      if (got == OptionValue::kMissing) return UsageError(N_("--root needs a directory"));
      root = v;
    } else if (got = TakeOptionValue(argc, argv, i, {"--at"}, v); got != OptionValue::kOther) {
      at = got == OptionValue::kMissing ? -1 : NumberArgument(v, 1LL << 62);
      if (at < 0) return UsageError(N_("--at needs a byte offset (decimal, or hexadecimal after 0x)"));
    } else if (got = TakeOptionValue(argc, argv, i, {"--context"}, v); got != OptionValue::kOther) {
      context = got == OptionValue::kMissing ? -1 : NumberArgument(v, 100000);
      if (context < 0) return UsageError(N_("--context needs a number of lines"));
    } else if (a == "--text") {
      text = true;
    } else if (a.size() > 1 && a[0] == '-') {
      return UsageError(N_("unknown option '%s'"), {ShownText(a)});
    } else if (job.empty()) {
      job = a;
    } else {
      return UsageError(N_("dump takes one job"));
    }
  }
  if (job.empty()) return UsageError(N_("no job given"));
  std::string bytes;
  if (ReadTableFile(job, bytes) != TableFileStatus::kRead) {
    std::cerr << "velkan dump: " << FillPlaces(_("cannot read %s"), {ShownPath(job)}) << "\n";
    return 1;
  }
  std::optional<std::string> mtbl;
  if (const char* m = std::getenv("MTBL")) mtbl = m;
  TablePaths paths(ChooseTableRoot(root, DefaultTableRoot()).path, mtbl);
  TextLineMarks lines(true);
  const bool textJob = text || IsTextJob(job);
  if (textJob) bytes = TextJobWords(bytes, paths, lines);
  std::string listing;
  {
    TableNamer namer(paths);
    listing = ListCodeWords(bytes, [&namer](uint16_t w) { return namer(w); });
  }
  if (textJob) listing = WithLineNumbers(listing, "line", [&lines](long long offset) { return lines.LineAt(offset); });
  if (at >= 0) {
    std::string around = at < static_cast<long long>(bytes.size()) ? ListingAround(listing, at, static_cast<int>(context))
                                                                   : std::string();
    if (around.empty()) {
      std::cerr << "velkan dump: "
                << FillPlaces(textJob ? _("%s has no word at byte %s (it holds %s bytes of words)")
                                      : _("%s has no word at byte %s (it holds %s bytes)"),
                              {ShownPath(job), std::to_string(at), std::to_string(bytes.size())})
                << "\n";
      return 1;
    }
    listing = std::move(around);
  }
  // A failed write is reported when the standard output is closed.
  std::cout << listing;
  return 0;
}

}  // namespace velkan::tools
