// The conversion job: one or two passes from the chosen files to the output.
//
// This is the engine's public header, the one front ends and embedding
// programs include: options in, a result with notes out, progress and
// cancel callbacks. It needs nothing of the engine but the Session
// (conversion/session.h), what carries over from job to job, and the
// warnings a job lists (conversion/written_warning.h).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "conversion/session.h"
#include "conversion/written_warning.h"
#include "io/note.h"

namespace velkan {

class TemporaryFiles;
class BatchShare;
struct FormatStoreFiles;
struct PassBuffers;

// How the bytes of a text job are read.
enum class TextEncoding {
  kShiftJis,  // Shift_JIS (code page 932), the system's own
  kUtf8,      // UTF-8, turned into Shift_JIS as it is read (tables/utf8_text_source.h)
};

struct JobOptions {
  std::string udfFile;     // user-defined format file; empty = one pass only
  std::string inputFile;   // ".zan" code words, or a text job (".TXT" in the path)
  // When not negative, the input is read from this open descriptor (not
  // owned, not closed: standard input, a pipe, a terminal or a file) instead
  // of opening inputFile, which then only names it in messages.
  int inputFd = -1;
  // The input is a text job whatever its name (the --udf file is still known
  // as one by its name).
  bool inputIsText = false;
  // The encoding of the text jobs of the job: the input and the format
  // file, when they are text jobs. A code-word job is read as it is.
  TextEncoding inputEncoding = TextEncoding::kShiftJis;
  std::string outputFile;
  // When not negative, the output is written in place to this open
  // descriptor (not owned, not closed, never reopened or truncated: standard
  // output) instead of outputFile, which then only names it in messages.
  int outputFd = -1;
  std::string defineFile;  // definition file; may be missing
  int kumi = 0;            // 0 horizontal, 1 vertical
  int unit = 0;            // 0 pt, 1 Q
  int warning = 0;         // 0 warnings written, 1 not
  std::filesystem::path tableRoot;
  // Where the user-defined format store lies (its "QDXFILES" folder); empty
  // means the table root.
  std::filesystem::path storeDir;
  // Set when no place for the store could be chosen (ChooseStoreDir found
  // none): the job then converts nothing and says what to give.
  bool noStorePlace = false;
  std::optional<std::string> mtbl;  // MTBL, read once at job start
  // Called now and then with the bytes of the current pass's input consumed
  // and its total (-1 when unknown), and the pass number (1 or 2).
  std::function<void(int pass, long long done, long long total)> progress;
  // Asked before each pass and between blocks of its input (every 64 KiB of
  // code words read, or of text read by the text pre-pass), never per word:
  // true cancels the job. The pass ends there, its output is discarded (the
  // temporary file removed, an earlier OUTPUT left as it was) and no further
  // pass runs. Once it has returned true it must keep doing so. It is called
  // on the thread that runs the job (in a batch, on every worker at once).
  // A FIFO or a device the job opens by its name (outputFile) is opened and
  // written without blocking when this is set: while the FIFO has no reader
  // yet, or the output takes no more bytes for now (a stalled pipe), it is
  // asked every 50 ms, and saying true ends the wait and the job (the
  // output's open description is the job's own; a FIFO never opened is left
  // as it was). A descriptor given (outputFd) is written as it is: a write
  // it blocks asks this only once that write returns.
  std::function<bool()> cancelled;
  // Where the temporary output files of the job are recorded, so that the
  // front end can remove them when the process is asked to end; none when
  // null.
  TemporaryFiles* temporaries = nullptr;
  // When set, the job lists every warning tag it writes to OUTPUT in
  // `JobResult::warnings`. The output is the same either way.
  bool listWarnings = false;
  // What the jobs of a batch share (the tables loaded once, the definition
  // file read once; see engine/batch_share.h), made for options with the
  // same table root, MTBL and definition file; none when null: the job reads
  // them itself.
  BatchShare* shared = nullptr;
  // The files of the format store kept open from job to job by the thread
  // that runs the job (see conversion/format_store.h); none when null: each
  // pass opens them itself.
  FormatStoreFiles* storeFiles = nullptr;
  // The buffers of the passes (see engine/job_pass.h), kept from job to job
  // by the thread that runs the job; none when null: each pass makes its
  // own.
  PassBuffers* buffers = nullptr;
};

enum class JobStatus {
  kCompleted,         // every pass ended through the end-of-job command
  kInputNotFound,     // the chosen file could not be read: message shown
  kOutputNotCreated,  // the output could not be created: message shown
  kPassFailed,        // a pass ended otherwise (see notes)
  kCancelled,         // `cancelled` stopped the job; the output was discarded
};

struct JobResult {
  JobStatus status = JobStatus::kCompleted;
  // The message the system shows in a message box (UTF-8), empty if none.
  std::string message;
  // What went wrong without showing in the output, one note a line (a front
  // end renders them in its user's language; Note::Text() gives English).
  std::vector<Note> notes;
  // True when the output could not be written as a whole (a write, the sync
  // or the rename at the end failed); the notes say how.
  bool outputWriteFailed = false;
  // With `JobOptions::listWarnings`: the warning tags of the kept pass's
  // output, in output order (none are written with warnings switched off or
  // while the output switch drops everything).
  std::vector<WrittenWarning> warnings;
  // The size of the job's input when it was opened (a regular file read from
  // its start: its size; one read from where a descriptor stood: what lay
  // after), -1 when unknown or not opened.
  long long inputSize = -1;
};

// Runs the job. Never throws for bad input; every failure is in the result.
//
// OUTPUT is written by the pass whose output is kept (the only pass, or the
// second): it is opened once that pass's input was found and the store and
// the pi-font file are open; the first pass of a job with a format file
// writes into nothing. When the store or the pi-font file cannot be opened
// (in either pass), the job ends without converting: an OUTPUT that did not
// exist is made empty, an existing one is left exactly as it was; INPUT is
// still looked for first, and when it is not found OUTPUT is not touched.
// An OUTPUT that cannot be made (see OutputFile::Check) or that
// ReservedOutput refuses fails the job before anything is converted. After a
// failed write or read of the kept pass the earlier OUTPUT stays as it was,
// unless it is written in place. The temporary file is recorded in
// `options.temporaries`.
JobResult RunConversionJob(Session& session, const JobOptions& options);

// Whether the file at `path` is read as a text job: ".txt" in any case
// anywhere in the path.
bool IsTextJob(const std::string& path);

// Why writing `output` would destroy a file the job reads or keeps, as a
// phrase for a note ("the input file NAME itself"); none when it would not.
// Kept are the input, the format file and the definition file (also reached
// through a link or a second name), the two files of the format store in use
// (also when they do not exist yet, named in any case) and everything in the
// tables folder ("qdxfiles" in any case) of the table root and of MTBL.
std::optional<Note> ReservedOutput(const JobOptions& options, const std::string& output);

// ReservedOutput(options, output) for the jobs of `options` with each of
// `inputs` as the input, the first that refuses `output`: for a file every
// job of a batch writes (the report). The kept files are found and `output`
// looked at once, the paths resolved as a batch resolves them.
std::optional<Note> ReservedForInputs(const JobOptions& options, const std::vector<std::string>& inputs,
                                      const std::string& output);

}  // namespace velkan
