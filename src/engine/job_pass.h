// The pass of a job, for the job itself and for the programs that run a job's
// pass over bytes in memory (the fuzz targets, the tests).
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "conversion/session.h"
#include "engine/job.h"
#include "io/byte_streams.h"
#include "tables/pass_tables.h"
#include "tables/text_line_marks.h"

namespace velkan {

class OutputFile;
class ReadBytes;
struct OutputFolder;
class PathResolver;

// The buffers a thread that runs one job after another keeps for their
// passes, one pass at a time: the block the code words are read into and
// the output's buffer (see JobOptions::buffers).
struct PassBuffers {
  SpareBlock words;
  SpareBlock output;
};

// How a pass ended: through the end-of-job command; stopped otherwise (a
// failing command, a read or write fault), after which a second pass still
// runs; abandoned before converting, which ends the job; or cancelled by
// `cancelled`, which ends the job and discards its output.
enum class PassEnd { kEndOfJob, kStopped, kAbandoned, kCancelled };

// How far the input of a pass is read, for progress: bytes done (when not
// set, the bytes of code words the pass has consumed) of a total (-1 when
// unknown).
struct InputProgress {
  std::function<long long()> done;
  long long total = -1;
};

// What a pass records of the warnings it writes: when `list` is set, every
// warning tag goes there (see WrittenWarning), with the text line of a text
// job's words told by `lines` (null for a code-word job).
struct WarningListing {
  std::vector<WrittenWarning>* list = nullptr;
  TextLineMarks* lines = nullptr;
};

// The heart of a pass, once its input is open: starts a Pass over `source`
// into `sink` with `tables` (loaded by LoadPassTables; what they lack is
// noted as a pass notes it, but for the text pre-pass's tables, whose notes
// the caller gives), opens the definition file and the format store, then
// asks `ready` (when given; the caller opens the output there, and false
// abandons the pass, or cancels it when `options.cancelled` says so), runs
// the main loop, then closes the store and flushes `sink`. A store that
// cannot be opened, or a pi-font file that could not be read, abandons the
// pass before it converts. The first write `sink` refuses ends the main
// loop. `input` says how progress is counted; `chosen` names the input in
// notes. Notes and a failed status go to `result`; `delivered` is false when
// the sink refused bytes (the caller, who knows the sink, reports that). A
// pass that ends while `options.cancelled` says so ends kCancelled (its
// output is for the caller to throw away); the caller ends `source` early
// when asked to cancel, as RunConversionJob does. `listing` says whether and
// how the warnings written are listed.
PassEnd ConvertStream(Session& session, const JobOptions& options, int pass, const std::string& chosen,
                      PassTables& tables, ByteSource& source, ByteSink& sink, JobResult& result, bool& delivered,
                      const InputProgress& input = {}, const std::function<bool()>& ready = {},
                      const WarningListing& listing = {});

// A file as it stood when looked at: whether it existed, and its device and
// inode (links followed).
struct FileKey {
  static FileKey Of(const std::string& path);
  bool Same(const FileKey& other) const { return exists && other.exists && dev == other.dev && ino == other.ino; }
  bool exists = false;
  dev_t dev{};
  ino_t ino{};
};

// What ReservedOutput compares an output with besides the job's input,
// found once for every job with the same options but the input and output:
// the format file and the definition file, the store's files and the
// roots, each resolved as ResolvedPath resolves it, the files as they stood
// when looked at (`keys`).
struct KeptFiles {
  explicit KeptFiles(const JobOptions& options);
  struct Read {
    std::string path;
    std::string resolved;
    FileKey key;
    Note what;  // "the definition file NAME itself"
  };
  std::vector<Read> read;
  std::string storeFolder;
  struct StoreFile {
    std::filesystem::path path;
    std::string base;  // its name, matched without regard to case
    FileKey key;
  };
  std::vector<StoreFile> store;
  struct Root {
    std::filesystem::path named;
    std::string resolved;
  };
  std::vector<Root> roots;
};

// ReservedOutput with the kept files of `options` found beforehand, and the
// paths resolved through `resolver` when given.
std::optional<Note> ReservedOutput(const KeptFiles& kept, const JobOptions& options, const std::string& output,
                                   PathResolver* resolver = nullptr);

// The same for an output already resolved (`resolved`, as `resolver`
// resolves it) and looked at (`key`), compared with the kept files as they
// stood when `kept` was made: for a batch's planning, which makes `kept`
// just before. Only strings and keys are compared.
std::optional<Note> ReservedOutput(const KeptFiles& kept, const JobOptions& options, const std::string& output,
                                   const std::string& resolved, const FileKey& key, PathResolver& resolver);

// What a batch found of a job's output before the job ran.
struct OutputPlan {
  // The batch refused the output where ReservedOutput would have (see
  // PlanBatch): the job does not ask again.
  bool reservedChecked = false;
  // The output's folder, looked at once for the jobs of the batch; null: the
  // job looks at it.
  const OutputFolder* folder = nullptr;
  // The job's input, read whole ahead of the job as the job would have found
  // it (a regular file, its last name no link; see InputReadAhead); null:
  // the job opens it.
  const ReadBytes* input = nullptr;
  // For a job of one pass: its output, opened ahead of the job (Open of the
  // output in `folder`), which the job takes instead of checking and opening
  // it; null or empty: the job does.
  std::unique_ptr<OutputFile>* opened = nullptr;
};

// RunConversionJob; but with `held`, an output written through a temporary
// file that would be put in place is closed without a sync and handed to
// `*held` instead: the caller syncs the file system for several such outputs
// at once, then calls Deliver, and NoteOutputNotPlaced when that fails.
// `plan` says what need not be looked at again.
JobResult RunJob(Session& session, const JobOptions& options, std::unique_ptr<OutputFile>* held,
                 const OutputPlan& plan = {});

// Notes in `result` that `output`, the job's output `outputFile`, could not
// be put in place (a failed Commit or Deliver; its error() says why) and
// fails the job.
void NoteOutputNotPlaced(const std::string& outputFile, const OutputFile& output, JobResult& result);

}  // namespace velkan
