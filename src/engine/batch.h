// Batch conversion: several inputs converted into one output folder by
// several jobs at once.
//
// Each job of a batch runs as if a new program ran it alone: it gets a Session
// of its own and the common job options with its own input and output. The
// jobs share the tables and the definition file, read once (BatchShare), and
// the store of user-defined formats on disk, through its lock. Their outputs
// reach the disk a group at a time: one sync of the file system, then the
// renames into place.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/job.h"
#include "io/output_file.h"

namespace velkan {

// One job of a batch: an input and the output it is converted into.
struct BatchEntry {
  std::string input;
  std::string output;
  // Set by PlanBatch, which refused every output ReservedOutput refuses: the
  // job does not ask again. An entry made otherwise is checked by its job.
  bool planned = false;
};

// The output of `input` in `outDir`: the input's file name with its
// extension (the part from the last "." that is not the name's first
// character) replaced by ".txt", or ".txt" appended when it has none.
std::filesystem::path BatchOutputName(const std::string& input, const std::filesystem::path& outDir);
// The same appended to `into` as bytes.
void AppendBatchOutputName(std::string& into, std::string_view input, std::string_view outDir);

// The jobs of a batch, or why it cannot run.
struct BatchPlan {
  std::vector<BatchEntry> entries;
  // One note per conflict found; the batch runs only when there is none.
  std::vector<Note> refusals;
  bool ok() const { return refusals.empty(); }
};

// Maps each input to its output in `outDir` and checks the whole batch before
// anything runs. Refused are: an output that is an input of the batch (its
// own or another job's) or a file every job reads or keeps (the format file,
// the definition file, the files of the format store and of the tables
// folder of `common`, see ReservedOutput); two inputs mapping to one output
// (which includes an input named twice); and an output where something other
// than a regular file stands (a FIFO, a socket, a device or a folder, which
// a batch cannot replace); and a format file that names a descriptor already
// open (/dev/fd/N), which every job would read from where the others left it. Files are compared as the file system sees them:
// the same file reached through another spelling, a symbolic link (also one
// that leads nowhere yet) or a hard link counts as the same. `looks`, when
// not empty, holds for each input the lstat of its name as spelled that the
// caller took a moment before (NamedDescriptor), so that it is not taken
// again. The output folder of many outputs is listed once (FolderNames):
// an output its listing lacks is not looked at again. With `common.shared`,
// the tables the jobs will need are loaded there meanwhile, on a thread of
// their own.
BatchPlan PlanBatch(const std::vector<std::string>& inputs, const std::filesystem::path& outDir,
                    const JobOptions& common = {}, std::span<const PathLook> looks = {});

// What the jobs of a batch run with `common` share (the tables, read once,
// the definition file, the files no output may replace, the output folders),
// for the caller to give PlanBatch and RunBatch as `common.shared`, so that
// the tables are read while the batch is planned.
std::shared_ptr<BatchShare> MakeBatchShare(const JobOptions& common);

// The number of jobs run at once when none is asked for: the processors this
// process may run on (at least 1).
int DefaultJobCount();

// How far a running batch has come.
struct BatchStatus {
  size_t total = 0;   // jobs in the batch
  size_t done = 0;    // jobs ended (failed ones included)
  size_t failed = 0;  // jobs ended with a status other than kCompleted
  // Input bytes converted so far: those of the ended jobs' inputs and what
  // the running jobs have read of theirs.
  long long bytes = 0;
  double seconds = 0;  // since the batch started
};

// What the caller hears of a running batch. Both are called on the thread
// that called RunBatch, never at the same time.
struct BatchCallbacks {
  // A job ended: its index in the entries and its result.
  std::function<void(size_t index, const JobResult& result)> jobEnded;
  // Every `interval` while the batch runs, and once more at its end.
  std::function<void(const BatchStatus& status)> tick;
  std::chrono::milliseconds interval{200};
};

// Starts a thread that runs `work`; throws (std::system_error, as
// std::thread does) when no thread can be had.
using ThreadStarter = std::function<std::thread(std::function<void()> work)>;

// Runs every entry as its own job, at most `jobs` at a time (values below 1
// count as 1), each with a new Session and `common` with the entry's input
// and output (the `progress` of `common` is not used). The `cancelled` of
// `common` is asked by every job, running or not yet started: once it says
// so, every job that is left ends kCancelled, its output left as it was. A
// job's output is put in place with those of other jobs (see above), by the
// calling thread while the workers go on, and the job counts as ended, and
// is reported, once its output is in place. Each worker keeps the format
// store's files open from job to job (FormatStoreFiles), and the buffers of
// its passes (PassBuffers). An entry PlanBatch
// made is not checked against the kept files again (BatchEntry::planned). The
// jobs run on threads made by `start` (std::thread when empty); when fewer
// threads can be had than asked for, the batch goes on with those it got, and
// with none it runs its jobs one after the other on the calling thread.
// Returns the results in the order of the entries.
std::vector<JobResult> RunBatch(const std::vector<BatchEntry>& entries, const JobOptions& common, int jobs,
                                const BatchCallbacks& callbacks = {}, const ThreadStarter& start = {});

}  // namespace velkan
