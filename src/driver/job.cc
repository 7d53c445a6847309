#include "driver/job.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

#include "driver/conversion.h"
#include "driver/format_store.h"
#include "driver/io.h"
#include "driver/job_places.h"
#include "driver/main_loop.h"
#include "driver/output_file.h"
#include "tables/code_tables.h"
#include "tables/escape_definitions.h"
#include "tables/font_tables.h"
#include "tables/pitch_file.h"
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
  void Swap(Fd& other) { std::swap(fd_, other.fd_); }
  bool Close() {
    if (fd_ < 0) return true;
    int r = ::close(fd_);
    fd_ = -1;
    return r == 0;
  }

 private:
  int fd_;
};

// Reads `source` until the job is cancelled: from then on the data ends. It
// is asked once a block, so cancelling costs nothing per word.
class CancellableSource final : public ByteSource {
 public:
  CancellableSource(ByteSource& source, const std::function<bool()>& cancelled)
      : source_(source), cancelled_(cancelled) {}
  long Read(uint8_t* buf, size_t n) override {
    if (cancelled_ && cancelled_()) return 0;
    return source_.Read(buf, n);
  }
  long long Size() const override { return source_.Size(); }

 private:
  ByteSource& source_;
  const std::function<bool()>& cancelled_;
};

bool Cancelled(const JobOptions& o) { return o.cancelled && o.cancelled(); }

std::string NotFoundMessage(const std::string& path) {
  return "「" + path + "」ファイルが見つかりません。";
}

std::string NotCreatedMessage(const std::string& path) {
  return "「" + path + "」ファイルが作成できません。";
}

// Adds a note unless the job has it already (a table missing in both passes
// is told once).
void NoteOnce(JobResult& result, std::string note) {
  if (std::find(result.notes.begin(), result.notes.end(), note) == result.notes.end()) {
    result.notes.push_back(std::move(note));
  }
}

bool IsTextJob(const std::string& path) {
  std::string upper = path;
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char ch) { return static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 32 : ch); });
  return upper.find(".TXT") != std::string::npos;
}

// Refuses an output that names one of the job's own inputs (the same file,
// also through a link): replacing it would destroy what is being converted.
bool RefuseOutputOntoAnInput(const JobOptions& o, JobResult& result) {
  struct Named {
    std::string path;  // the file to compare with the output; empty: none
    const std::string& shown;
    const char* what;
  };
  // A descriptor is compared as the file it is; only a regular file can be
  // destroyed so (a terminal may well be both ends).
  auto compared = [](int fd, const std::string& path) -> std::string {
    if (fd < 0) return path;
    struct stat st {};
    bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    return regular ? "/dev/fd/" + std::to_string(fd) : std::string();
  };
  const std::string inputPath = compared(o.inputFd, o.inputFile);
  const std::string outputPath = compared(o.outputFd, o.outputFile);
  if (outputPath.empty()) return false;
  for (const Named& in : {Named{inputPath, o.inputFile, "the input file"},
                          Named{o.udfFile, o.udfFile, "the user-defined format file"},
                          Named{o.defineFile, o.defineFile, "the definition file"}}) {
    if (in.path.empty() || !SameFile(outputPath, in.path)) continue;
    result.status = JobStatus::kOutputNotCreated;
    result.message = NotCreatedMessage(o.outputFile);
    result.notes.push_back("the output file " + o.outputFile + " is " + in.what + " " + in.shown +
                           " itself; converting would destroy it, so nothing was written");
    return true;
  }
  return false;
}

// The input of a pass, open, and its size when known (else -1).
struct PassInput {
  Fd owned;        // a file the pass opened, closed with it
  int fd = -1;     // what the pass reads
  long long size = -1;
};

// Opens the input of a pass: the file `chosen`, which must be a regular file
// (a FIFO, a directory or a device counts as missing), or, for the job's
// input given as a descriptor, that descriptor, which may be anything that
// can be read but a directory. False when there is nothing to read.
bool OpenPassInput(const JobOptions& o, bool jobInput, const std::string& chosen, PassInput& in) {
  struct stat st {};
  if (jobInput && o.inputFd >= 0) {
    if (::fstat(o.inputFd, &st) != 0 || S_ISDIR(st.st_mode)) return false;
    in.fd = o.inputFd;
    if (S_ISREG(st.st_mode)) {
      // Read from where the descriptor stands, as a pipe would be.
      off_t at = ::lseek(in.fd, 0, SEEK_CUR);
      in.size = at >= 0 && at <= st.st_size ? st.st_size - at : -1;
    }
    return true;
  }
  // O_NONBLOCK: a FIFO given as the input is refused at once below instead
  // of waiting for a writer; it means nothing for a regular file.
  Fd opened(::open(chosen.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (opened.get() < 0 || ::fstat(opened.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  in.fd = opened.get();
  in.size = static_cast<long long>(st.st_size);
  in.owned.Swap(opened);
  return true;
}

// `output` holds the output of the latest pass that opened one; a new pass
// replaces it, so the output of a first pass is thrown away. `jobInput`: the
// pass reads the job's input (not the --udf file).
PassEnd RunPass(Session& session, const JobOptions& o, int pass, bool jobInput, const std::string& chosen,
                std::unique_ptr<OutputFile>& output, JobResult& result) {
  // A text job is read through the pre-pass, which turns it into code words
  // as the pass reads them; a text that cannot be read is not found, like a
  // code-word input.
  const bool textJob = (jobInput && o.inputIsText) || IsTextJob(chosen);

  PassInput input;
  if (!OpenPassInput(o, jobInput, chosen, input)) {
    output.reset();
    result.status = JobStatus::kInputNotFound;
    result.message = NotFoundMessage(chosen);
    return PassEnd::kAbandoned;
  }

  output.reset();
  auto made = std::make_unique<OutputFile>();
  // An output descriptor is written in place; what a first pass writes is
  // thrown away, so it goes to /dev/null then, as nothing sent to the
  // descriptor could be taken back.
  const bool opened = o.outputFd < 0 ? made->Open(o.outputFile)
                      : jobInput     ? made->Adopt(o.outputFd, o.outputFile)
                                     : made->Open("/dev/null");
  if (!opened) {
    result.status = JobStatus::kOutputNotCreated;
    result.message = NotCreatedMessage(o.outputFile);
    result.notes.push_back(made->error());
    return PassEnd::kAbandoned;
  }
  output = std::move(made);

  FdSource fileRead(input.fd, input.size);
  // The code words, or the text under the pre-pass, end when the job is
  // cancelled, so that the pass ends at once.
  CancellableSource file(fileRead, o.cancelled);
  PrePassTables prePassTables;
  EscapeDefinitions prePassEscapes;
  std::optional<TextPrePass> text;
  InputProgress progress;
  if (textJob) {
    LoadTextInputTables(prePassTables, prePassEscapes, TablePaths(o.tableRoot, o.mtbl), &result.notes);
    text.emplace(file, prePassTables, prePassEscapes);
    // A text job counts the bytes of the text read, since its words have no
    // size known beforehand.
    progress.done = [&text] { return text->textRead(); };
    progress.total = file.Size();
  }
  ByteSource& source = textJob ? static_cast<ByteSource&>(*text) : file;
  FdSink sink(output->fd());
  bool delivered = true;
  PassEnd end = ConvertStream(session, o, pass, chosen, source, sink, result, delivered, progress);
  if (text && text->looksLikeUtf8()) {
    NoteOnce(result, chosen + " looks like UTF-8 text, but a text job is read as Shift_JIS (code page 932): its "
                     "characters came out wrong. Convert it first, for example with iconv -f UTF-8 -t CP932");
  }
  if (end == PassEnd::kCancelled) return end;
  if (!delivered || sink.failed()) {
    if (end == PassEnd::kEndOfJob) end = PassEnd::kStopped;
    if (result.status == JobStatus::kCompleted) result.status = JobStatus::kPassFailed;
    result.outputWriteFailed = true;
    result.notes.push_back("writing " + o.outputFile + " failed: " +
                           std::strerror(sink.error() ? sink.error() : EIO) + "; it holds the " +
                           std::to_string(sink.written()) + " bytes written before the fault");
  }
  return end;
}

}  // namespace

PassEnd ConvertStream(Session& session, const JobOptions& o, int pass, const std::string& chosen,
                      ByteSource& source, ByteSink& sink, JobResult& result, bool& delivered,
                      const InputProgress& input) {
  TablePaths paths(o.tableRoot, o.mtbl);
  delivered = true;
  Conversion c(session, paths, source, sink);

  std::string why;
  if (!o.defineFile.empty() && !c.definitions.Open(o.defineFile, &why)) {
    NoteOnce(result, "definition file " + o.defineFile + " " + why + "; names are written as numbers");
  }

  TableFault fault;
  if (OpenPitchFile(c.fonts.pitch, paths, &fault) != kPitchOpened) {
    NoteOnce(result, "pitch file " + fault.Text() + "; roman characters written as code tags get the width 108");
  }
  // The store is shared with passes running at the same time, each locking
  // it only while it reads or writes its files (see format_store.h).
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

  if (LoadPiFontFile(c.pi, paths, &fault) != 0) {
    CloseFormatStore(c.store);
    result.status = JobStatus::kPassFailed;
    NoteOnce(result, "pi-font file " + fault.Text() + "; the pass ended");
    return PassEnd::kAbandoned;
  }

  InitJob(c, o.kumi, o.unit, o.warning);
  if (c.fonts.prepareResult != 0) {
    NoteOnce(result, "font tables incomplete, characters fall back to code forms: " + c.fonts.prepareFailure);
  }
  if (LoadCodeTables(c.codes, paths, &fault) != 0) {
    NoteOnce(result, "code table " + fault.Text() + "; later tables not loaded");
  }
  std::vector<TableFault> escapeFaults;
  LoadEscapeDefinitions(c.escapes, paths, &escapeFaults);
  for (const TableFault& f : escapeFaults) NoteOnce(result, "escape definitions " + f.Text());
  c.chars.charClass = 0;
  c.ruby = RubyState{};

  if (o.progress) {
    c.progress = [&o, pass, &c, &input] {
      if (input.done) o.progress(pass, input.done(), input.total);
      else o.progress(pass, c.stream.consumed(), c.stream.total());
    };
  }
  int16_t loop = RunMainLoop(c);
  // Overlay and ruby tables are looked for as fonts need them.
  for (const std::string& note : c.fonts.notes) NoteOnce(result, note);

  ReleaseEscapeDefinitions(c.escapes);
  ReleaseCodeTables(c.codes);
  ReleaseFontTables(c.fonts);
  bool storeClosed = CloseFormatStore(c.store) == 0;
  delivered = sink.Flush() && !c.out.writeFailed();
  // A cancelled pass is thrown away, whatever cut it short.
  const bool cancelled = Cancelled(o);

  PassEnd end = PassEnd::kEndOfJob;
  if (loop != 1 && !cancelled) {
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
  if (!delivered) end = PassEnd::kStopped;
  if (!storeClosed) {
    end = PassEnd::kStopped;
    result.notes.push_back("the formats defined in pass " + std::to_string(pass) +
                           " may be lost for later jobs: " + c.store.error);
  }
  if (cancelled) {
    result.status = JobStatus::kCancelled;
    return PassEnd::kCancelled;
  }
  if (end != PassEnd::kEndOfJob && result.status == JobStatus::kCompleted) {
    result.status = JobStatus::kPassFailed;
  }
  return end;
}


JobResult RunConversionJob(Session& session, const JobOptions& options) {
  JobResult result;
  if (options.noStorePlace) {
    result.status = JobStatus::kPassFailed;
    result.notes.push_back(NoStorePlaceMessage());
    return result;
  }
  if (RefuseOutputOntoAnInput(options, result)) return result;
  std::unique_ptr<OutputFile> output;
  bool twoPasses = !options.udfFile.empty();
  for (int pass = 1; pass <= (twoPasses ? 2 : 1); ++pass) {
    if (Cancelled(options)) {
      result.status = JobStatus::kCancelled;
      break;
    }
    const bool jobInput = !(pass == 1 && twoPasses);
    const std::string& chosen = jobInput ? options.inputFile : options.udfFile;
    PassEnd end = RunPass(session, options, pass, jobInput, chosen, output, result);
    if (end == PassEnd::kAbandoned || end == PassEnd::kCancelled) break;
  }
  if (result.status == JobStatus::kCancelled) {
    const bool inPlace = output && output->inPlace();
    if (output) output->Discard();
    result.notes.push_back(inPlace ? "the conversion was cancelled; " + options.outputFile +
                                         ", written in place, holds what was written before"
                                   : "the conversion was cancelled; " + options.outputFile + " was left as it was");
    return result;
  }
  // The output of the last pass that opened one takes the place of the
  // earlier file; a write fault before this left its first bytes in it.
  if (output && !output->Commit()) {
    if (result.status == JobStatus::kCompleted) result.status = JobStatus::kPassFailed;
    result.outputWriteFailed = true;
    result.notes.push_back(output->error());
  }
  return result;
}

}  // namespace velkan
