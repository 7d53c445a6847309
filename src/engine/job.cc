#include "engine/job.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <span>

#include "conversion/conversion.h"
#include "conversion/format_store.h"
#include "conversion/warning_facts.h"
#include "engine/batch_share.h"
#include "engine/job_pass.h"
#include "engine/job_places.h"
#include "engine/pass.h"
#include "engine/read_ahead.h"
#include "io/byte_streams.h"
#include "io/line_counting_sink.h"
#include "io/message_mark.h"
#include "io/output_file.h"
#include "io/shown_path.h"
#include "tables/pass_tables.h"
#include "tables/table_lender.h"
#include "tables/table_root.h"
#include "tables/text_pre_pass.h"
#include "tables/text_words.h"
#include "tables/utf8_text_source.h"

namespace velkan {

namespace fs = std::filesystem;

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

// Adds a note unless the job has it already (a table missing in both passes
// is told once).
void NoteOnce(JobResult& result, Note note) {
  if (std::find(result.notes.begin(), result.notes.end(), note) == result.notes.end()) {
    result.notes.push_back(std::move(note));
  }
}

std::string NotFoundMessage(const std::string& path) {
  return "「" + ShownPath(path) + "」ファイルが見つかりません。";
}

std::string NotCreatedMessage(const std::string& path) {
  return "「" + ShownPath(path) + "」ファイルが作成できません。";
}


// The last component of a drive-root name ("udf2.tbl" of "\QDXFILES\udf2.tbl").
std::string_view LastComponent(std::string_view name) { return name.substr(name.find_last_of('\\') + 1); }

// The path a descriptor of the job is compared as: its /dev/fd name when it
// is a regular file, else none (only a regular file can be destroyed so, and
// a terminal may well be both ends); `path` itself when there is no
// descriptor.
std::string ComparedAs(int fd, const std::string& path) {
  if (fd < 0) return path;
  struct stat st {};
  bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  return regular ? "/dev/fd/" + std::to_string(fd) : std::string();
}

// Refuses an output that names a file the job reads or keeps (see
// ReservedOutput): replacing it would destroy it.
bool RefuseReservedOutput(const JobOptions& o, JobResult& result) {
  const std::string output = ComparedAs(o.outputFd, o.outputFile);
  std::optional<Note> reserved =
      o.shared != nullptr ? ReservedOutput(o.shared->kept, o, output) : ReservedOutput(o, output);
  if (!reserved) return false;
  result.status = JobStatus::kOutputNotCreated;
  result.message = NotCreatedMessage(o.outputFile);
  result.notes.push_back(Note(N_("the output file %s is %s; converting would destroy it, so nothing was written"),
                              {ShownPath(o.outputFile), *std::move(reserved)}));
  return true;
}

// The input of a pass, open, and its size when known (else -1).
struct PassInput {
  Fd owned;     // a file the pass opened, closed with it
  int fd = -1;  // what the pass reads
  long long size = -1;
  // Instead of `fd`: the input's bytes, read ahead of the job.
  const ReadBytes* bytes = nullptr;
};

// The descriptor a pass reads instead of opening `chosen`: the job's input
// given as one (`jobInput`), or the descriptor `chosen` names (/dev/stdin,
// /dev/fd/N, /proc/self/fd/N, as a process substitution gives); else -1.
int InputDescriptor(const JobOptions& o, bool jobInput, const std::string& chosen) {
  return jobInput && o.inputFd >= 0 ? o.inputFd : NamedDescriptor(chosen);
}

// The input a pass reads, as ReservedOutput compares it (see ComparedAs).
std::string ComparedInput(const JobOptions& o, bool jobInput, const std::string& chosen) {
  return ComparedAs(InputDescriptor(o, jobInput, chosen), chosen);
}

// Opens the input of a pass: the file `chosen`, which must be a regular file
// (a FIFO, a directory or a device counts as missing), or the descriptor
// InputDescriptor gives, read where it stands, which may be anything open for
// reading but a directory. When there is nothing to read, the input is not
// found: the message is set and false returned.
bool OpenPassInput(const JobOptions& o, bool jobInput, const std::string& chosen, PassInput& in,
                   JobResult& result) {
  struct stat st {};
  if (!(jobInput && o.inputFd >= 0)) {
    // A regular file whose last name is no link names no descriptor (those
    // names are links), so it is opened without asking first.
    Fd plain(::open(chosen.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
    if (plain.get() >= 0 && ::fstat(plain.get(), &st) == 0 && S_ISREG(st.st_mode)) {
      in.fd = plain.get();
      in.size = static_cast<long long>(st.st_size);
      in.owned.Swap(plain);
      return true;
    }
  }
  if (const int fd = InputDescriptor(o, jobInput, chosen); fd >= 0) {
    // One the caller gives is taken as it is; one a name leads to must be
    // one the process was given.
    const bool given = jobInput && o.inputFd >= 0;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0 && (flags & O_PATH) == 0 && (given || GivenDescriptor(fd)) && (flags & O_ACCMODE) != O_WRONLY &&
        ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode)) {
      in.fd = fd;
      if (S_ISREG(st.st_mode)) {
        // Read from where the descriptor stands, as a pipe would be.
        off_t at = ::lseek(in.fd, 0, SEEK_CUR);
        in.size = at >= 0 && at <= st.st_size ? st.st_size - at : -1;
      }
      return true;
    }
  } else {
    // O_NONBLOCK: a FIFO given as the input is refused at once below instead
    // of waiting for a writer; it means nothing for a regular file.
    Fd opened(::open(chosen.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (opened.get() >= 0 && ::fstat(opened.get(), &st) == 0 && S_ISREG(st.st_mode)) {
      in.fd = opened.get();
      in.size = static_cast<long long>(st.st_size);
      in.owned.Swap(opened);
      return true;
    }
  }
  result.status = JobStatus::kInputNotFound;
  result.message = NotFoundMessage(chosen);
  return false;
}

// Notes the places of a UTF-8 text that were written as the geta mark: the
// first ones with their line and column, then how many more there were.
void NoteEncodingFaults(JobResult& result, const std::string& shown, std::span<const TextEncodingFault> faults,
                        long long faultCount) {
  for (const TextEncodingFault& f : faults) {
    const std::string line = std::to_string(f.line), column = std::to_string(f.column);
    if (f.codePoint == 0) {
      result.notes.push_back(Note(N_("%s, line %s, column %s: bytes that are no UTF-8, written as the geta mark"),
                                  {shown, line, column}));
    } else {
      char code[16];
      std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(f.codePoint));
      result.notes.push_back(Note(N_("%s, line %s, column %s: %s has no Shift_JIS form, written as the geta mark"),
                                  {shown, line, column, std::string(code)}));
    }
  }
  if (faultCount > static_cast<long long>(faults.size())) {
    result.notes.push_back(Note(N_("%s: %s more characters written as the geta mark"),
                                {shown, std::to_string(faultCount - static_cast<long long>(faults.size()))}));
  }
}

// The pass of a text job over `file`: the text is read through the pre-pass,
// which turns it into code words as the pass reads them, or its words are
// replayed from the tables' records (see RunPass). Kept apart from the pass
// of code words, whose input needs none of the pre-pass's readers.
PassEnd RunTextPass(Session& session, const JobOptions& o, int pass, bool jobInput, const std::string& chosen,
                    CancellableSource& file, PassTables& tables, ByteSink& sink, JobResult& result, bool& delivered,
                    const std::function<bool()>& ready, const std::shared_ptr<const ReadBytes>& held,
                    WarningListing& listing) {
  std::optional<TextPrePass> text;
  // The words of a text the batch holds, made once for the tables lent and
  // the encoding, and recorded or read from the record.
  std::optional<TextWords> words;
  // A UTF-8 text becomes Shift_JIS before the pre-pass reads it.
  std::optional<Utf8TextSource> utf8;
  InputProgress progress;
  // The warnings of the pass whose output is kept are listed when asked.
  std::optional<TextLineMarks> lines;
  PrePassRecords* records = held != nullptr && !jobInput && listing.list == nullptr
                                ? tables.prePassSetup.records.get()
                                : nullptr;
  const bool utf8Text = o.inputEncoding == TextEncoding::kUtf8;
  if (records != nullptr) {
    words.emplace(file, utf8Text, tables.prePass, tables.prePassEscapes, &tables.prePassSetup,
                  records->Find(held.get(), utf8Text));
    progress.done = [&words] { return words->textRead(); };
    progress.total = file.Size();
  } else {
    if (utf8Text) utf8.emplace(file);
    text.emplace(utf8 ? static_cast<ByteSource&>(*utf8) : file, tables.prePass, tables.prePassEscapes,
                 &tables.prePassSetup);
    if (listing.list != nullptr) {
      text->TrackLines(&lines.emplace());
      listing.lines = &*lines;
    }
    // A text job counts the bytes of the text read, since its words have no
    // size known beforehand.
    progress.done = [&text, &utf8] { return utf8 ? utf8->utf8Read() : text->textRead(); };
    progress.total = file.Size();
  }
  // Words read from a record end when the job is cancelled, as the text
  // under a pre-pass does.
  std::optional<CancellableSource> cancellable;
  if (words) cancellable.emplace(*words, o.cancelled);
  ByteSource& source = cancellable ? static_cast<ByteSource&>(*cancellable) : static_cast<ByteSource&>(*text);
  PassEnd end =
      ConvertStream(session, o, pass, chosen, tables, source, sink, result, delivered, progress, ready, listing);
  if (words && !words->replayed() && words->RecordWhole() && end != PassEnd::kCancelled && !Cancelled(o)) {
    records->Keep(held, utf8Text, words->TakeRecord());
  }
  if (utf8) {
    NoteEncodingFaults(result, ShownPath(chosen), utf8->faults(), utf8->faultCount());
  } else if (words && utf8Text) {
    NoteEncodingFaults(result, ShownPath(chosen), words->faults(), words->faultCount());
  } else if ((text && text->looksLikeUtf8()) || (words && words->looksLikeUtf8())) {
    NoteOnce(result, Note(N_("%s looks like UTF-8 text, but a text job is read as Shift_JIS (code page 932): its "
                             "characters came out wrong. Convert it as UTF-8 with --input-encoding utf-8 (in the "
                             "dialog: %s UTF-8)"),
                          {ShownPath(chosen), std::string("入力の文字コード")}));
  }
  return end;
}

// Runs a pass over an open input into `sink`. `jobInput`: the pass reads
// the job's input (not the --udf file). `readError` is set to the errno of a
// failed read of the input (0 if none); otherwise as ConvertStream.
// `held`: the bytes of `in` as the batch holds them (the format file), whose
// pre-pass words are read from the tables' records when made before.
PassEnd RunPass(Session& session, const JobOptions& o, int pass, bool jobInput, const std::string& chosen,
                const PassInput& in, ByteSink& sink, JobResult& result, bool& delivered, int& readError,
                const std::function<bool()>& ready = {}, const std::shared_ptr<const ReadBytes>& held = nullptr) {
  // A text job is read through the pre-pass (RunTextPass).
  const bool textJob = (jobInput && o.inputIsText) || IsTextJob(chosen);
  FdSource fileRead(in.fd, in.size);
  MemorySource readAhead(in.bytes != nullptr ? in.bytes->view() : std::string_view());
  // The code words, or the text under the pre-pass, end when the job is
  // cancelled, so that the pass ends at once.
  CancellableSource file(in.bytes != nullptr ? static_cast<ByteSource&>(readAhead) : fileRead, o.cancelled);
  LentTables loaded;
  if (o.shared != nullptr) {
    loaded = o.shared->tables.Lend(textJob);
  } else {
    loaded.reset(new PassTables(TablePaths(o.tableRoot, o.mtbl)));
    LoadPassTables(*loaded, textJob);
  }
  PassTables& tables = *loaded;
  // What the text pre-pass's tables lack is told first: the pre-pass reads
  // them before the pass reads its own.
  for (const Note& note : tables.faults.textInput) result.notes.push_back(note);
  WarningListing listing;
  if (o.listWarnings && ready) listing.list = &result.warnings;
  // The readers of a text are made only for a text job: they are large, and
  // a job of code words would clear them for nothing.
  const PassEnd end =
      textJob ? RunTextPass(session, o, pass, jobInput, chosen, file, tables, sink, result, delivered, ready, held,
                            listing)
              : ConvertStream(session, o, pass, chosen, tables, file, sink, result, delivered, InputProgress{}, ready,
                              listing);
  readError = fileRead.error();
  return end;
}

// Opens the output of the job: the descriptor given (written where it
// stands) or the file named. A FIFO or a device the job opens itself is
// waited for (a FIFO's reader, room to write) only while the job is not
// cancelled, when it can be.
bool OpenOutput(const JobOptions& o, OutputFile& output, const OutputFolder* folder) {
  return o.outputFd >= 0 ? output.Adopt(o.outputFd, o.outputFile)
                         : output.Open(o.outputFile, o.temporaries, folder, o.cancelled ? &o.cancelled : nullptr);
}

// Ends a cancelled job: its output (if it was opened) is discarded, so an
// earlier OUTPUT stays as it was, except one written in place.
JobResult EndCancelled(const JobOptions& o, OutputFile* output, JobResult& result) {
  result.status = JobStatus::kCancelled;
  if (output == nullptr || !output->inPlace()) result.warnings.clear();
  const bool inPlace = output != nullptr && output->inPlace();
  if (output != nullptr) {
    output->Discard();
    if (!output->leftover().empty()) result.notes.push_back(output->leftover());
  }
  result.notes.push_back(
      Note(inPlace ? N_("the conversion was cancelled; %s, written in place, holds what was written before")
                   : N_("the conversion was cancelled; %s was left as it was"),
           {ShownPath(o.outputFile)}));
  return std::move(result);
}

// Ends a job whose pass was abandoned before converting, since the store or
// the pi-font file cannot be opened: an OUTPUT that did not exist is made,
// empty, as such a pass leaves it; one that exists (a file, a FIFO, a
// device, a descriptor) is left exactly as it was.
void EndAbandoned(const JobOptions& o, JobResult& result) {
  const std::string shown = ShownPath(o.outputFile);
  if (o.outputFd >= 0 || OutputFile::Exists(o.outputFile)) {
    result.notes.push_back(Note(N_("%s was left as it was"), {shown}));
    return;
  }
  OutputFile output;
  if (output.Open(o.outputFile, o.temporaries) && output.Commit()) {
    result.notes.push_back(Note(N_("%s was made empty"), {shown}));
  } else {
    result.notes.push_back(output.error());
  }
}

// What the sink of the kept pass took.
struct Written {
  bool failed = false;  // some bytes were refused
  int error = 0;        // errno of the first refusal
  long long bytes = 0;  // bytes taken
};

// Ends an output whose conversion could not be read or written whole
// (`written.failed` or `readError`, of the input `inputFile`): the earlier
// output stays as it was (a temporary file is removed), except in place,
// where what was written stays.
void EndIncomplete(const std::string& outputFile, const std::string& inputFile, OutputFile& output,
                   const Written& written, int readError, JobResult& result) {
  const bool writeFailed = written.failed;
  const std::string shown = ShownPath(outputFile);
  if (result.status == JobStatus::kCompleted) result.status = JobStatus::kPassFailed;
  Note what = Note("");
  if (writeFailed) {
    result.outputWriteFailed = true;
    what = Note(N_("writing %s failed: %s, only %s bytes could be written"),
                {shown, Note::SystemError(written.error != 0 ? written.error : EIO),
                 std::to_string(written.bytes)});
  } else {
    what = Note(N_("the conversion of %s is incomplete (%s)"),
                {ShownPath(inputFile), Note::SystemError(readError)});
  }
  if (output.inPlace()) {
    output.Commit();
    result.notes.push_back(Note(N_("%s; %s is written in place (an open descriptor, a pipe, a device, or a file in a "
                                   "folder where no new file can be made), so what it received stays"),
                                {std::move(what), shown}));
    return;
  }
  output.Discard();
  result.warnings.clear();
  if (output.leftover().empty()) {
    result.notes.push_back(output.existed()
                               ? Note(N_("%s; the partial output was removed and the earlier %s is unchanged"),
                                      {std::move(what), shown})
                               : Note(N_("%s; the partial output was removed and %s was not made"),
                                      {std::move(what), shown}));
  } else {
    result.notes.push_back(output.existed() ? Note(N_("%s; the earlier %s is unchanged; %s"),
                                                   {std::move(what), shown, output.leftover()})
                                            : Note(N_("%s; %s was not made; %s"),
                                                   {std::move(what), shown, output.leftover()}));
  }
}

// Ends the pass whose output is kept: a conversion that could be read and
// written whole takes the place of the earlier output (with `held`, it is
// closed without a sync and handed there, to be put in place by the
// caller); otherwise see EndIncomplete.
void FinishOutput(const JobOptions& o, std::unique_ptr<OutputFile>& outputFile, const Written& written,
                  int readError, JobResult& result, std::unique_ptr<OutputFile>* held) {
  OutputFile& output = *outputFile;
  if (written.failed || readError != 0) {
    EndIncomplete(o.outputFile, o.inputFile, output, written, readError, result);
    return;
  }
  if (held != nullptr && !output.inPlace()) {
    if (output.CloseUnsynced()) {
      *held = std::move(outputFile);
      return;
    }
  } else if (output.Commit()) {
    return;
  }
  NoteOutputNotPlaced(o.outputFile, output, result);
}

}  // namespace

void NoteOutputNotPlaced(const std::string& outputFile, const OutputFile& output, JobResult& result) {
  const std::string shown = ShownPath(outputFile);
  if (result.status == JobStatus::kCompleted) result.status = JobStatus::kPassFailed;
  result.outputWriteFailed = true;
  result.warnings.clear();  // they were written nowhere that lasts
  result.notes.push_back(output.inPlace()    ? output.error()
                         : output.existed() ? Note(N_("%s; the earlier %s is unchanged"), {output.error(), shown})
                                            : Note(N_("%s; %s was not made"), {output.error(), shown}));
}

PassEnd ConvertStream(Session& session, const JobOptions& o, int pass, const std::string& chosen, PassTables& tables,
                      ByteSource& source, ByteSink& sink, JobResult& result, bool& delivered,
                      const InputProgress& input, const std::function<bool()>& ready,
                      const WarningListing& listing) {
  const PassTableFaults& faults = tables.faults;
  delivered = true;
  // Listed warnings are placed by the lines counted on the way out.
  std::optional<LineCountingSink> counted;
  if (listing.list != nullptr) counted.emplace(sink);
  ByteSink& out = counted ? static_cast<ByteSink&>(*counted) : sink;
  Pass p(session, PassSettings{o.kumi, o.unit, o.warning}, tables, source, out,
         o.buffers != nullptr ? &o.buffers->words : nullptr);
  Conversion& c = p.conversion();
  std::optional<WarningFacts> facts;
  if (listing.list != nullptr) {
    facts.emplace(c.stream, *counted, listing.lines, *listing.list);
    c.out.facts = &*facts;
  }

  if (!o.defineFile.empty()) {
    // A batch read the file once, when it started.
    Note why = o.shared != nullptr ? o.shared->definitionsFault : Note();
    const bool defined = o.shared == nullptr             ? c.definitions.Open(o.defineFile, &why)
                         : o.shared->definitionsRead ? (c.definitions.OpenShared(o.shared->definitions), true)
                                                     : false;
    if (!defined) {
      NoteOnce(result,
               Note(N_("definition file %s %s; names are written as numbers"), {ShownPath(o.defineFile), why}));
    }
  }
  if (faults.pitch) {
    NoteOnce(result, Note(N_("pitch file %s; roman characters written as code tags get the width 108"),
                          {faults.pitch->Text()}));
  }
  // The store is shared with passes running at the same time, each locking
  // it only while it reads or writes its files (see format_store.h).
  const std::filesystem::path& storeDir = o.storeDir.empty() ? o.tableRoot : o.storeDir;
  // A store directory of its own (such as the user's state directory) is
  // created when it is absent; a failure shows when the store is opened.
  const bool held = o.storeFiles != nullptr && o.storeFiles->Holds(storeDir);
  if (!held && !o.storeDir.empty() && o.storeDir != o.tableRoot) {
    std::error_code ignored;
    std::filesystem::create_directories(o.storeDir, ignored);
  }
  c.store.kept = o.storeFiles;
  if (OpenFormatStore(c.store, storeDir) != 0) {
    result.status = JobStatus::kPassFailed;
    result.notes.push_back(Note(N_("the user-defined format store could not be opened or created in %s (%s); the "
                                   "job ended without converting. A writable place for it is named with --store DIR "
                                   "or VELKAN_STORE"),
                                {ShownPath(ResolveUnder(storeDir, "\\QDXFILES")), c.store.error}));
    return PassEnd::kAbandoned;
  }
  if (faults.piFont) {
    result.status = JobStatus::kPassFailed;
    NoteOnce(result, Note(N_("pi-font file %s; the pass ended"), {faults.piFont->Text()}));
    return PassEnd::kAbandoned;
  }
  if (ready && !ready()) return Cancelled(o) ? PassEnd::kCancelled : PassEnd::kAbandoned;
  if (tables.fonts.prepareResult != 0) {
    NoteOnce(result, Note(N_("font tables incomplete, characters fall back to code forms: %s"),
                          {tables.fonts.prepareFailure}));
  }
  if (faults.codes) NoteOnce(result, Note(N_("code table %s; later tables not loaded"), {faults.codes->Text()}));
  for (const TableFault& f : faults.escapes) NoteOnce(result, Note(N_("escape definitions %s"), {f.Text()}));

  // What the progress is told from, lent to the pass by reference, so that
  // nothing is made for it; the pass calls it only while its loop runs.
  struct Progress {
    const JobOptions& o;
    int pass;
    const Conversion& c;
    const InputProgress& input;
    void operator()() const {
      if (input.done) o.progress(pass, input.done(), input.total);
      else o.progress(pass, c.stream.consumed(), c.stream.total());
    }
  } progress{o, pass, c, input};
  if (o.progress) c.progress = std::cref(progress);
  const Flow loop = p.Run();
  // Overlay and ruby tables are looked for as fonts need them.
  for (const Note& note : tables.fonts.notes) NoteOnce(result, note);

  const Pass::Closing closing = p.Close();
  const bool storeClosed = closing.storeClosed;
  delivered = closing.delivered;
  // A cancelled pass is thrown away, whatever cut it short.
  const bool cancelled = Cancelled(o);

  PassEnd end = PassEnd::kEndOfJob;
  // A refused write ends the loop; the caller, who knows the sink, says so.
  if (loop != Flow::kEndJob && !cancelled && !c.out.writeFailed()) {
    end = PassEnd::kStopped;
    result.notes.push_back(Note(N_("pass %s stopped at a failing command near byte %s of %s"),
                                {std::to_string(pass), std::to_string(c.stream.consumed()), ShownPath(chosen)}));
    if (storeClosed && !c.store.error.empty()) {
      result.notes.push_back(Note(N_("user-defined format store: %s"), {c.store.error}));
    }
  }
  if (c.stream.readError()) {
    end = PassEnd::kStopped;
    result.notes.push_back(Note(N_("reading %s failed; the pass ended there"), {ShownPath(chosen)}));
  }
  if (!delivered) end = PassEnd::kStopped;
  if (!storeClosed) {
    end = PassEnd::kStopped;
    result.notes.push_back(Note(N_("the formats defined in pass %s may be lost for later jobs: %s"),
                                {std::to_string(pass), c.store.error}));
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


bool IsTextJob(const std::string& path) {
  for (size_t dot = path.find('.'); dot != std::string::npos && dot + 4 <= path.size(); dot = path.find('.', dot + 1)) {
    // "txt" in any case, compared in place (no call for every job's name).
    const char* ext = path.data() + dot + 1;
    if ((ext[0] | 0x20) == 't' && (ext[1] | 0x20) == 'x' && (ext[2] | 0x20) == 't') return true;
  }
  return false;
}

FileKey FileKey::Of(const std::string& path) {
  FileKey key;
  struct stat st {};
  if (!path.empty() && ::stat(path.c_str(), &st) == 0) {
    key.exists = true;
    key.dev = st.st_dev;
    key.ino = st.st_ino;
  }
  return key;
}

KeptFiles::KeptFiles(const JobOptions& o) {
  struct Named {
    std::string path;  // the file compared with the output; empty: none
    const std::string& shown;
    const char* what;  // the phrase, with a place for the name
  };
  for (const Named& in : {Named{ComparedInput(o, false, o.udfFile), o.udfFile,
                                N_("the user-defined format file %s itself")},
                          Named{o.defineFile, o.defineFile, N_("the definition file %s itself")}}) {
    if (!in.path.empty()) {
      read.push_back({in.path, ResolvedPath(in.path).native(), FileKey::Of(in.path), Note(in.what, {ShownPath(in.shown)})});
    }
  }
  // The store's files, found as the store finds them (without regard to
  // case), also before they exist.
  const fs::path& storeDir = o.storeDir.empty() ? o.tableRoot : o.storeDir;
  storeFolder = ResolvedPath(ResolveUnder(storeDir, "\\QDXFILES")).native();
  for (const char* name : {kFormatTableName, kFormatFileName}) {
    fs::path file = ResolveUnder(storeDir, name);
    FileKey key = FileKey::Of(file.native());
    store.push_back({std::move(file), std::string(LastComponent(name)), key});
  }
  // The tables folder of the root (and of MTBL).
  std::vector<fs::path> named = {o.tableRoot};
  if (o.mtbl && !o.mtbl->empty()) named.emplace_back(*o.mtbl);
  for (const fs::path& root : named) {
    if (!root.empty()) roots.push_back({root, ResolvedPath(root).native()});
  }
}

namespace {

// Whether the resolved path `out` lies in a tables folder of the resolved
// root `root`: a name below root/qdxfiles, the folder matched without regard
// to case.
bool InTablesFolder(std::string_view out, std::string_view root) {
  if (out.size() <= root.size() || out.compare(0, root.size(), root) != 0) return false;
  std::string_view inside = out.substr(root.size());
  if (root.empty() || root.back() != '/') {
    if (inside.front() != '/') return false;
    inside.remove_prefix(1);
  }
  const size_t slash = inside.find('/');
  if (slash == std::string_view::npos) return false;
  return slash == 8 && ::strncasecmp(inside.data(), "qdxfiles", 8) == 0;
}

// Whether the output, `out` resolved, is the job's input; `sameInput` tells
// whether the output is the existing file of the input as compared.
template <typename SameInput>
std::optional<Note> ReservedAsInput(const JobOptions& o, std::string_view out, PathResolver* resolver,
                                    const SameInput& sameInput) {
  if (std::string input = ComparedInput(o, true, o.inputFile); !input.empty()) {
    const fs::path in = resolver != nullptr ? resolver->Resolve(input) : ResolvedPath(input);
    if (sameInput(input) || in.native() == out) {
      return Note(N_("the input file %s itself"), {ShownPath(o.inputFile)});
    }
  }
  return {};
}

// Whether the output, `out` resolved, is a kept file (see KeptFiles); `same`
// tells whether the output is the existing file of a kept one.
template <typename Same>
std::optional<Note> ReservedAsKept(const KeptFiles& kept, std::string_view out, const Same& same) {
  for (const KeptFiles::Read& in : kept.read) {
    if (same(in.path, in.key) || in.resolved == out) return in.what;
  }
  const size_t slash = out.rfind('/');
  const std::string_view folder = slash == 0 ? out.substr(0, 1) : out.substr(0, slash == std::string_view::npos ? 0 : slash);
  const std::string_view name = slash == std::string_view::npos ? out : out.substr(slash + 1);
  for (const KeptFiles::StoreFile& file : kept.store) {
    if (same(file.path.native(), file.key) ||
        (folder == kept.storeFolder && name.size() == file.base.size() &&
         ::strncasecmp(name.data(), file.base.data(), name.size()) == 0)) {
      return Note(N_("a file of the user-defined format store in use (%s)"), {ShownPath(file.path)});
    }
  }
  for (const KeptFiles::Root& root : kept.roots) {
    if (InTablesFolder(out, root.resolved)) return Note(N_("a table file of the table root %s"), {ShownPath(root.named)});
  }
  return {};
}

// ReservedOutput on strings: `out` is the output resolved; `same` tells
// whether the output is the existing file of a kept one.
template <typename Same>
std::optional<Note> ReservedAs(const KeptFiles& kept, const JobOptions& o, const std::string& output,
                               std::string_view out, PathResolver* resolver, const Same& same) {
  auto sameInput = [&output](const std::string& input) { return SameFile(output, input); };
  if (std::optional<Note> input = ReservedAsInput(o, out, resolver, sameInput)) return input;
  return ReservedAsKept(kept, out, same);
}

}  // namespace

std::optional<Note> ReservedOutput(const KeptFiles& kept, const JobOptions& o, const std::string& output,
                                   PathResolver* resolver) {
  if (output.empty()) return {};
  const fs::path out = resolver != nullptr ? resolver->Resolve(output) : ResolvedPath(output);
  // Also a file that does not exist yet: a job of a batch may read it after
  // another made it. The kept files are looked at again: a job may have made
  // or replaced them since `kept` was made.
  auto same = [&output](const std::string& path, const FileKey&) { return SameFile(output, path); };
  return ReservedAs(kept, o, output, out.native(), resolver, same);
}

std::optional<Note> ReservedOutput(const KeptFiles& kept, const JobOptions& o, const std::string& output,
                                   const std::string& resolved, const FileKey& key, PathResolver& resolver) {
  if (output.empty()) return {};
  auto same = [&key](const std::string&, const FileKey& kept) { return key.Same(kept); };
  return ReservedAs(kept, o, output, resolved, &resolver, same);
}

std::optional<Note> ReservedOutput(const JobOptions& o, const std::string& output) {
  return ReservedOutput(KeptFiles(o), o, output);
}

std::optional<Note> ReservedForInputs(const JobOptions& options, const std::vector<std::string>& inputs,
                                      const std::string& output) {
  if (output.empty()) return {};
  const KeptFiles kept(options);
  PathResolver resolver;
  const std::string out = resolver.Resolve(output).native();
  const FileKey key = FileKey::Of(output);
  // Each job compares the output with its input first, then with the kept
  // files, which are the same for every job: when the first job finds none
  // of them, no later one does.
  auto sameInput = [&key](const std::string& input) { return key.exists && key.Same(FileKey::Of(input)); };
  auto same = [&output](const std::string& path, const FileKey&) { return SameFile(output, path); };
  JobOptions o = options;
  for (size_t i = 0; i < inputs.size(); ++i) {
    o.inputFile = inputs[i];
    if (std::optional<Note> input = ReservedAsInput(o, out, &resolver, sameInput)) return input;
    if (i == 0) {
      if (std::optional<Note> reserved = ReservedAsKept(kept, out, same)) return reserved;
    }
  }
  return {};
}

JobResult RunConversionJob(Session& session, const JobOptions& o) { return RunJob(session, o, nullptr); }

JobResult RunJob(Session& session, const JobOptions& o, std::unique_ptr<OutputFile>* held, const OutputPlan& plan) {
  JobResult result;
  if (o.noStorePlace) {
    result.status = JobStatus::kPassFailed;
    result.notes.push_back(NoStorePlaceMessage());
    return result;
  }
  if (!plan.reservedChecked && RefuseReservedOutput(o, result)) return result;
  if (Cancelled(o)) return EndCancelled(o, nullptr, result);
  // OUTPUT is looked at before anything is converted, so that what makes it
  // impossible is found at once, but it is opened only for the pass whose
  // output is kept, once its input was found and the store and the pi-font
  // file are open.
  const bool twoPasses = !o.udfFile.empty();
  // An output the batch opened ahead was checked and opened as the job
  // would check and open it.
  const bool preOpened = !twoPasses && plan.opened != nullptr && *plan.opened != nullptr;
  auto outputFile = preOpened ? std::move(*plan.opened) : std::make_unique<OutputFile>();
  OutputFile& output = *outputFile;
  // With one pass, only the store's opening and the tables' lending come
  // between the check and the opening of the output: the opening takes what
  // the check found.
  auto checkOutput = [&o, &plan, &output, twoPasses] {
    return o.outputFd >= 0 ? OutputFile::CheckDescriptor(o.outputFd, "/dev/fd/" + std::to_string(o.outputFd))
           : twoPasses     ? OutputFile::Check(o.outputFile, plan.folder)
                           : output.Examine(o.outputFile, plan.folder);
  };
  auto refuseOutput = [&o, &result](Note why) {
    result.status = JobStatus::kOutputNotCreated;
    result.message = NotCreatedMessage(o.outputFile);
    result.notes.push_back(std::move(why));
  };
  PassInput input;
  // The input read ahead by the batch, or opened now.
  auto openInput = [&o, &plan, &input, &result] {
    if (plan.input == nullptr) return OpenPassInput(o, true, o.inputFile, input, result);
    input.bytes = plan.input;
    input.size = static_cast<long long>(plan.input->size());
    return true;
  };
  if (twoPasses) {
    // The first pass only stores the formats of the format file: its output
    // goes nowhere.
    PassInput udf;
    // Held by the batch, or opened now.
    std::shared_ptr<const ReadBytes> held;
    if (o.shared != nullptr && o.shared->formats.path() == o.udfFile) held = o.shared->formats.Bytes();
    if (held != nullptr) {
      udf.bytes = held.get();
      udf.size = static_cast<long long>(held->size());
    } else if (!OpenPassInput(o, false, o.udfFile, udf, result)) {
      return result;
    }
    if (Note why = checkOutput(); !why.empty()) {
      refuseOutput(why);
      return result;
    }
    DiscardSink nowhere;
    bool delivered = true;
    int readError = 0;
    PassEnd first = RunPass(session, o, 1, false, o.udfFile, udf, nowhere, result, delivered, readError, {}, held);
    if (first == PassEnd::kCancelled || Cancelled(o)) return EndCancelled(o, nullptr, result);
    if (!openInput()) return result;
    result.inputSize = input.size;
    // The store or the pi-font file cannot be opened, so the second pass
    // could not open them either.
    if (first == PassEnd::kAbandoned) {
      EndAbandoned(o, result);
      return result;
    }
  } else {
    if (!openInput()) return result;
    result.inputSize = input.size;
    if (Note why = preOpened ? Note() : checkOutput(); !why.empty()) {
      refuseOutput(why);
      return result;
    }
  }
  bool opened = false;
  int readError = 0;
  Written written;
  PassEnd end;
  {
    // The sink is done with the descriptor before the output is ended.
    FdSink sink(o.buffers != nullptr ? &o.buffers->output : nullptr);
    auto open = [&] {
      if (Cancelled(o)) return false;
      if (!preOpened && !OpenOutput(o, output, plan.folder)) {
        // Cancelled while a FIFO waited for its reader: nothing was written.
        if (Cancelled(o)) return false;
        refuseOutput(output.error());
        return false;
      }
      // A temporary file was just made: empty, written from its start.
      if (output.nonBlocking()) {
        sink.AttachNonBlocking(output.fd(), o.cancelled);
      } else if (output.inPlace()) {
        sink.Attach(output.fd());
      } else {
        sink.AttachNewFile(output.fd());
      }
      opened = true;
      return true;
    };
    bool delivered = true;
    // Lent by reference: the call is made without a copy of what it refers to.
    end = RunPass(session, o, twoPasses ? 2 : 1, true, o.inputFile, input, sink, result, delivered, readError,
                  std::ref(open));
    written = {!delivered || sink.failed(), sink.error(), sink.written()};
  }
  if (end == PassEnd::kCancelled) return EndCancelled(o, opened || preOpened ? &output : nullptr, result);
  if (!opened) {
    // The output could not be opened, or the store or the pi-font file not.
    output.Discard();
    if (result.status != JobStatus::kOutputNotCreated) EndAbandoned(o, result);
    return result;
  }
  FinishOutput(o, outputFile, written, readError, result, held);
  return result;
}

}  // namespace velkan
