#include "driver/job.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <optional>

#include "driver/conversion.h"
#include "driver/format_store.h"
#include "driver/io.h"
#include "driver/main_loop.h"
#include "tables/code_tables.h"
#include "tables/escape_definitions.h"
#include "tables/font_tables.h"
#include "tables/pre_pass_tables.h"
#include "tables/text_pre_pass.h"
#include "typo/pi_font.h"

namespace velkan {

namespace {

// Closes a descriptor when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { Close(); }
  int get() const { return fd_; }
  bool Close() {
    if (fd_ < 0) return true;
    int r = ::close(fd_);
    fd_ = -1;
    return r == 0;
  }

 private:
  int fd_;
};

std::string NotFoundMessage(const std::string& path) {
  return "「" + path + "」ファイルが見つかりません。";
}

std::string NotCreatedMessage(const std::string& path) {
  return "「" + path + "」ファイルが作成できません。";
}

bool IsTextJob(const std::string& path) {
  std::string upper = path;
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char ch) { return static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 32 : ch); });
  return upper.find(".TXT") != std::string::npos;
}

enum class PassEnd { kEndOfJob, kStopped, kAbandoned };

PassEnd RunPass(Session& session, const JobOptions& o, int pass, const std::string& chosen, JobResult& result) {
  TablePaths paths(o.tableRoot, o.mtbl);

  // A text job is read through the pre-pass, which turns it into code words
  // as the pass reads them; a text that cannot be read is not found, like a
  // code-word input.
  const bool textJob = IsTextJob(chosen);

  Fd input(::open(chosen.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat inStat {};
  if (input.get() < 0 || ::fstat(input.get(), &inStat) != 0 || !S_ISREG(inStat.st_mode)) {
    result.status = JobStatus::kInputNotFound;
    result.message = NotFoundMessage(chosen);
    return PassEnd::kAbandoned;
  }

  // Converting onto the input itself would destroy it before it is read.
  struct stat outStat {};
  if (::stat(o.outputFile.c_str(), &outStat) == 0 && outStat.st_dev == inStat.st_dev &&
      outStat.st_ino == inStat.st_ino) {
    result.status = JobStatus::kOutputNotCreated;
    result.message = NotCreatedMessage(o.outputFile);
    result.notes.push_back("the output file is the input file itself; nothing was written");
    return PassEnd::kAbandoned;
  }

  Fd output(::open(o.outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (output.get() < 0) {
    result.status = JobStatus::kOutputNotCreated;
    result.message = NotCreatedMessage(o.outputFile);
    return PassEnd::kAbandoned;
  }

  FdSource file(input.get(), static_cast<long long>(inStat.st_size));
  PrePassTables prePassTables;
  EscapeDefinitions prePassEscapes;
  std::optional<TextPrePass> text;
  if (textJob) {
    LoadTextInputTables(prePassTables, prePassEscapes, paths, &result.notes);
    text.emplace(file, prePassTables, prePassEscapes);
  }
  ByteSource& source = textJob ? static_cast<ByteSource&>(*text) : file;
  FdSink sink(output.get());
  Conversion c(session, paths, source, sink);

  if (!o.defineFile.empty() && !c.definitions.Open(o.defineFile)) {
    result.notes.push_back("definition file not found, names are written as numbers: " + o.defineFile);
  }

  OpenPitchFile(c.fonts.pitch, paths);
  // The store stays locked for the whole pass: shared while the pass only
  // reads it, alone once it changes it (see format_store.h).
  const std::filesystem::path& storeDir = o.storeDir.empty() ? o.tableRoot : o.storeDir;
  // A store directory of its own (such as the user's state directory) is
  // created when it is absent; a failure shows when the store is opened.
  if (!o.storeDir.empty() && o.storeDir != o.tableRoot) {
    std::error_code ignored;
    std::filesystem::create_directories(o.storeDir, ignored);
  }
  if (OpenFormatStore(c.store, storeDir) != 0) {
    result.status = JobStatus::kPassFailed;
    result.notes.push_back("the user-defined format store could not be opened or created in " +
                           ResolveUnder(storeDir, "\\QDXFILES").string() + " (" + c.store.error +
                           "); the job ended without converting. A writable place for it is named "
                           "with --store DIR or VELKAN_STORE");
    return PassEnd::kAbandoned;
  }

  if (LoadPiFontFile(c.pi, paths) != 0) {
    CloseFormatStore(c.store);
    result.status = JobStatus::kPassFailed;
    result.notes.push_back("pi-font file missing or unreadable, the pass ended: " +
                           paths.Fixed("\\qdxfiles\\pifont.fil").string());
    return PassEnd::kAbandoned;
  }

  InitJob(c, o.kumi, o.unit, o.warning);
  if (c.fonts.prepareResult != 0) {
    result.notes.push_back("font tables incomplete, characters fall back to code forms: " + c.fonts.prepareFailure);
  }
  std::string failedTable;
  if (LoadCodeTables(c.codes, paths, &failedTable) != 0) {
    result.notes.push_back("code table missing, later tables not loaded: " + failedTable);
  }
  if (LoadEscapeDefinitions(c.escapes, paths) != 0) {
    result.notes.push_back("escape definitions missing under " + paths.root().string());
  }
  c.chars.charClass = 0;
  c.ruby = RubyState{};

  if (o.progress) {
    // A text job counts the bytes of the text read, since its words have no
    // size known beforehand.
    c.progress = [&o, pass, &c, &text, &file] {
      if (text) o.progress(pass, text->textRead(), file.Size());
      else o.progress(pass, c.stream.consumed(), c.stream.total());
    };
  }
  int16_t loop = RunMainLoop(c);

  ReleaseEscapeDefinitions(c.escapes);
  ReleaseCodeTables(c.codes);
  ReleaseFontTables(c.fonts);
  bool storeClosed = CloseFormatStore(c.store) == 0;
  bool flushed = sink.Flush();
  bool closed = output.Close();

  PassEnd end = PassEnd::kEndOfJob;
  if (loop != 1) {
    end = PassEnd::kStopped;
    result.notes.push_back("pass " + std::to_string(pass) + " stopped at a failing command near byte " +
                           std::to_string(c.stream.consumed()) + " of " + chosen);
    if (storeClosed && !c.store.error.empty()) {
      result.notes.push_back("user-defined format store: " + c.store.error);
    }
  }
  if (c.stream.readError()) {
    end = PassEnd::kStopped;
    result.notes.push_back("reading " + chosen + " failed; the output holds what was read before");
  }
  if (!flushed || !closed || sink.failed() || c.out.writeFailed()) {
    end = PassEnd::kStopped;
    result.notes.push_back("writing " + o.outputFile + " failed: " +
                           std::strerror(sink.error() ? sink.error() : EIO));
  }
  if (!storeClosed) {
    end = PassEnd::kStopped;
    result.notes.push_back("the formats defined in pass " + std::to_string(pass) +
                           " may be lost for later jobs: " + c.store.error);
  }
  if (end != PassEnd::kEndOfJob && result.status == JobStatus::kCompleted) {
    result.status = JobStatus::kPassFailed;
  }
  return end;
}

}  // namespace

JobResult RunConversionJob(Session& session, const JobOptions& options) {
  JobResult result;
  bool twoPasses = !options.udfFile.empty();
  for (int pass = 1; pass <= (twoPasses ? 2 : 1); ++pass) {
    const std::string& chosen = (pass == 1 && twoPasses) ? options.udfFile : options.inputFile;
    if (RunPass(session, options, pass, chosen, result) == PassEnd::kAbandoned) break;
  }
  return result;
}

}  // namespace velkan
