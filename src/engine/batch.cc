#include "engine/batch.h"

#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <string_view>
#include <thread>
#include <utility>

#include "conversion/format_store.h"
#include "conversion/session.h"
#include "engine/batch_share.h"
#include "engine/job_pass.h"
#include "engine/output_groups.h"
#include "engine/read_ahead.h"
#include "io/message_mark.h"
#include "io/output_file.h"
#include "io/shown_path.h"

namespace velkan {

namespace fs = std::filesystem;

namespace {

// A file as the file system sees it: its absolute path with links and "."
// and ".." resolved as far as it exists, and its device, inode and type when
// it exists.
struct FileId {
  std::string path;
  size_t hash = 0;  // of `path`, for the claims
  bool exists = false;
  std::pair<dev_t, ino_t> inode{};
  mode_t mode = 0;
};

// Finds the file at `p` (all of `id` but its hash); `look`, when taken, is
// the lstat of `p` as spelled, which spares the resolver its own.
void LookAt(const std::string& p, PathResolver& resolver, FileId& id, PathLook look) {
  if (resolver.ResolveInto(p, id.path, &look)) {
    id.exists = look.error == 0;
    id.inode = id.exists ? std::pair<dev_t, ino_t>{look.device, look.inode} : std::pair<dev_t, ino_t>{};
    id.mode = id.exists ? look.mode : 0;
    return;
  }
  struct stat st {};
  id.exists = ::stat(p.c_str(), &st) == 0;
  id.inode = id.exists ? std::pair<dev_t, ino_t>{st.st_dev, st.st_ino} : std::pair<dev_t, ino_t>{};
  id.mode = id.exists ? st.st_mode : 0;
}

// Identifies the file at `p`, as LookAt, and hashes its path.
void Identify(const std::string& p, PathResolver& resolver, FileId& id, PathLook look = {}) {
  LookAt(p, resolver, id, look);
  id.hash = std::hash<std::string_view>()(id.path);
}

// What stands at a file when it is something a batch cannot replace by a
// file, as a phrase ("a FIFO"), else null.
const char* NoFileAt(const FileId& id) {
  if (!id.exists || S_ISREG(id.mode)) return nullptr;
  if (S_ISDIR(id.mode)) return N_("a folder");
  if (S_ISFIFO(id.mode)) return N_("a FIFO");
  if (S_ISSOCK(id.mode)) return N_("a socket");
  return N_("a device");
}

// Files already claimed by the batch, found by path or by inode: the index
// of the input that claimed each (the first claim is kept). Two tables with
// open addressing hold the claims' indexes (plus one; 0 is a free slot),
// their paths (one after the other in one string) and inodes kept beside;
// the room for every input is made at once, so a claim seldom allocates.
class FileClaims {
 public:
  explicit FileClaims(size_t n) : paths_(n), inodes_(n) {
    arena_.reserve(n * 64);
    size_t size = 16;
    while (size < 2 * n) size *= 2;
    mask_ = size - 1;
    byPath_.assign(size, 0);
    byInode_.assign(size, 0);
  }
  // The input that claimed the same file as `id`, or -1.
  long Find(const FileId& id) const {
    if (const uint32_t claim = byPath_[PathSlot(id.path, id.hash)]; claim != 0) return static_cast<long>(claim - 1);
    if (id.exists) {
      if (const uint32_t claim = byInode_[InodeSlot(id.inode)]; claim != 0) return static_cast<long>(claim - 1);
    }
    return -1;
  }
  // Records input `index` (below the `n` the claims were made for) as the
  // claim on `id` (its path kept as a copy).
  void Claim(const FileId& id, size_t index) {
    const auto claim = static_cast<uint32_t>(index + 1);
    if (uint32_t& slot = byPath_[PathSlot(id.path, id.hash)]; slot == 0) {
      paths_[index] = {arena_.size(), id.path.size()};
      arena_.append(id.path);
      slot = claim;
    }
    if (!id.exists) return;
    if (uint32_t& slot = byInode_[InodeSlot(id.inode)]; slot == 0) {
      inodes_[index] = id.inode;
      slot = claim;
    }
  }

 private:
  // The slot holding the claim on `path` (whose hash is `hash`), else the
  // free slot where it goes.
  size_t PathSlot(std::string_view path, size_t hash) const {
    size_t at = hash & mask_;
    while (byPath_[at] != 0 && PathOf(byPath_[at] - 1) != path) at = (at + 1) & mask_;
    return at;
  }
  size_t InodeSlot(const std::pair<dev_t, ino_t>& inode) const {
    const unsigned long long mixed =
        (static_cast<unsigned long long>(inode.first) * 0x9E3779B97F4A7C15ULL ^ static_cast<unsigned long long>(inode.second)) *
        0xBF58476D1CE4E5B9ULL;
    size_t at = static_cast<size_t>(mixed >> 32) & mask_;
    while (byInode_[at] != 0 && inodes_[byInode_[at] - 1] != inode) at = (at + 1) & mask_;
    return at;
  }

  std::string_view PathOf(size_t index) const {
    return std::string_view(arena_).substr(paths_[index].first, paths_[index].second);
  }

  size_t mask_ = 0;
  std::vector<uint32_t> byPath_, byInode_;
  std::string arena_;
  std::vector<std::pair<size_t, size_t>> paths_;  // offset in `arena_` and length
  std::vector<std::pair<dev_t, ino_t>> inodes_;
};

// The input's name as a note shows it, in quotes.
std::string Quoted(std::string_view path) { return "'" + ShownPath(path) + "'"; }

}  // namespace

void AppendBatchOutputName(std::string& into, std::string_view input, std::string_view outDir) {
  // The input's last name (none after a final "/"), and in it the extension:
  // from the last "." that is not its first character ("." and ".." have
  // none).
  // memrchr scans many bytes at a time; a path's folders are long.
  const void* slash = input.empty() ? nullptr : ::memrchr(input.data(), '/', input.size());
  std::string_view name =
      slash == nullptr ? input : input.substr(static_cast<size_t>(static_cast<const char*>(slash) - input.data()) + 1);
  if (name != "." && name != ".." && name.size() > 1) {
    const void* dot = ::memrchr(name.data() + 1, '.', name.size() - 1);
    if (dot != nullptr) name = name.substr(0, static_cast<size_t>(static_cast<const char*>(dot) - name.data()));
  }
  into.reserve(into.size() + outDir.size() + 1 + name.size() + 4);
  into.append(outDir);
  if (!outDir.empty() && outDir.back() != '/') into += '/';
  into.append(name);
  into.append(".txt");
}

fs::path BatchOutputName(const std::string& input, const fs::path& outDir) {
  std::string name;
  AppendBatchOutputName(name, input, outDir.native());
  return fs::path(std::move(name));
}

BatchPlan PlanBatch(const std::vector<std::string>& inputs, const fs::path& outDir, const JobOptions& common,
                    std::span<const PathLook> looks) {
  BatchPlan plan;
  // The jobs' tables are loaded meanwhile, so that the first job finds them.
  std::thread tables;
  if (common.shared != nullptr) {
    try {
      tables = std::thread([&common, &inputs] {
        // Whether some jobs are text jobs, and some code-word jobs: one look
        // at each input, until both are found (here, beside the planning).
        bool text = common.inputIsText, words = false;
        for (size_t i = 0; !common.inputIsText && !(text && words) && i < inputs.size(); ++i) {
          (IsTextJob(inputs[i]) ? text : words) = true;
        }
        try {
          if (words) common.shared->tables.Lend(false);
          if (text) common.shared->tables.Lend(true);
        } catch (...) {
          // Loading ran out of memory: the first job tries again and says so.
        }
      });
    } catch (const std::system_error&) {
      // No thread to be had: the first job loads them.
    }
  }
  struct Joined {
    std::thread& thread;
    ~Joined() {
      if (thread.joinable()) thread.join();
    }
  } joined{tables};
  // Every job reads the format file from its start.
  if (!common.udfFile.empty() && NamedDescriptor(common.udfFile) >= 0) {
    plan.refusals.push_back(Note(N_("the user-defined format file '%s' is a descriptor already open, which the jobs "
                                    "of a batch cannot each read whole"),
                                 {ShownPath(common.udfFile)}));
  }
  // The inputs and outputs lie in few folders, each resolved once; the names
  // a note shows are made only for a note.
  PathResolver resolver;
  FileId id;
  // Files the jobs read. An input looked at through its folder's listing is
  // known by its path; its inode, which an output's is compared with, may
  // not be the one an lstat gives: the claims are made again from lstats
  // when the first output that exists is met.
  FileClaims read(inputs.size());
  bool listedInodes = false;
  auto claimInputs = [&](bool listed) {
    FileId input;
    for (size_t i = 0; i < inputs.size(); ++i) {
      PathLook look = i < looks.size() ? looks[i] : PathLook{};
      if (look.listed && !listed) look = PathLook{};
      listedInodes = listedInodes || look.listed;
      Identify(inputs[i], resolver, input, look);
      read.Claim(input, i);
    }
  };
  claimInputs(true);

  const KeptFiles kept(common);
  // The outputs all lie in `outDir`: of many, those its listing lacks are
  // known to stand nowhere without an lstat of each; what stands at a name
  // it holds, whatever that is, is looked at as before.
  std::optional<FolderNames> outNames;
  if (inputs.size() >= kListedAtLeast) outNames.emplace(outDir.native(), inputs.size());
  FileClaims written(inputs.size());  // outputs planned so far
  plan.entries.reserve(inputs.size());
  for (size_t i = 0; i < inputs.size(); ++i) {
    const std::string& in = inputs[i];
    if (in.empty() || in.back() == '/') {
      plan.refusals.push_back(Note(N_("%s names no file"), {Quoted(in)}));
      continue;
    }
    std::string out;
    AppendBatchOutputName(out, in, outDir.native());
    PathLook look;
    if (outNames && outNames->Lacks(out)) {
      look.taken = true;
      look.error = ENOENT;
    }
    Identify(out, resolver, id, look);
    if (id.exists && listedInodes) {
      read = FileClaims(inputs.size());
      listedInodes = false;
      claimInputs(false);
    }
    if (const long claim = read.Find(id); claim >= 0) {
      plan.refusals.push_back(Note(N_("the output of %s, %s, would replace %s"),
                                   {Quoted(in), Quoted(out), Note(N_("the input '%s'"), {ShownPath(inputs[claim])})}));
    } else if (std::optional<Note> reserved =
                   ReservedOutput(kept, common, out, id.path, FileKey{id.exists, id.inode.first, id.inode.second},
                                  resolver)) {
      plan.refusals.push_back(Note(N_("the output of %s, %s, would replace %s"), {Quoted(in), Quoted(out), *reserved}));
    } else if (const long other = written.Find(id); other >= 0) {
      plan.refusals.push_back(
          Note(N_("%s and %s would both be converted into %s"), {Quoted(in), Note(Quoted(inputs[other])), Quoted(out)}));
    } else if (const char* what = NoFileAt(id)) {
      plan.refusals.push_back(
          Note(N_("the output of %s, %s, is %s, not a file a batch can replace"), {Quoted(in), Quoted(out), what}));
    }
    written.Claim(id, i);
    plan.entries.push_back({in, std::move(out), true});
  }
  return plan;
}

std::shared_ptr<BatchShare> MakeBatchShare(const JobOptions& common) { return std::make_shared<BatchShare>(common); }

int DefaultJobCount() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0) {
    int n = CPU_COUNT(&set);
    if (n > 0) return n;
  }
  unsigned hw = std::thread::hardware_concurrency();
  return hw > 0 ? static_cast<int>(hw) : 1;
}

namespace {

// The inputs of `entries`, as InputReadAhead takes them.
std::vector<const std::string*> InputsOf(const std::vector<BatchEntry>& entries) {
  std::vector<const std::string*> inputs;
  inputs.reserve(entries.size());
  for (const BatchEntry& e : entries) inputs.push_back(&e.input);
  return inputs;
}

// The files of the store as they stood when the batch started: the jobs
// write them, so their jobs read them at their own turn.
std::vector<std::pair<dev_t, ino_t>> StoreFilesOf(const BatchShare& share) {
  std::vector<std::pair<dev_t, ino_t>> files;
  for (const KeptFiles::StoreFile& f : share.kept.store) {
    if (f.key.exists) files.emplace_back(f.key.dev, f.key.ino);
  }
  return files;
}

// Outputs put in place, kept to be opened again ahead of later jobs: an
// output's memory and the room of its paths are had once for many jobs,
// not made and freed for each. An output given back is discarded first, as
// its destruction would discard it. Its own lock: outputs are put in place
// and opened ahead by the calling thread, which need not be the only one.
class SpareOutputs {
 public:
  // An output to open: a spare one, else a new one.
  std::unique_ptr<OutputFile> Take() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!spare_.empty()) {
        std::unique_ptr<OutputFile> output = std::move(spare_.back());
        spare_.pop_back();
        return output;
      }
    }
    return std::make_unique<OutputFile>();
  }
  // Gives `output` back (discarded now), kept while fewer than kKept are.
  void Give(std::unique_ptr<OutputFile> output) {
    if (!output) return;
    output->Discard();
    std::lock_guard<std::mutex> lock(mutex_);
    if (spare_.size() < kKept) spare_.push_back(std::move(output));
  }

 private:
  static constexpr size_t kKept = 64;  // about the outputs opened ahead at a time
  std::mutex mutex_;
  std::vector<std::unique_ptr<OutputFile>> spare_;
};

// For the jobs of `entries` run with `common`: opens the output of entry
// `i` as its job would open it (see RunJob), for a job of one pass that
// PlanBatch planned; null when it cannot be opened (its job tries again and
// says why) or is its job's to open.
std::function<std::unique_ptr<OutputFile>(size_t)> OutputOpener(const std::vector<BatchEntry>& entries,
                                                                 const JobOptions& common, SpareOutputs& spare) {
  if (!common.udfFile.empty() || common.noStorePlace || common.outputFd >= 0) return {};
  return [&entries, &common, &spare](size_t i) -> std::unique_ptr<OutputFile> {
    const BatchEntry& e = entries[i];
    if (!e.planned || (common.cancelled && common.cancelled())) return nullptr;
    // Only a new temporary file is made ahead: an output written in place
    // would be emptied long before its job runs (and stay so if the batch
    // were cancelled meanwhile).
    std::unique_ptr<OutputFile> output = spare.Take();
    if (!output->OpenReplacement(e.output, common.temporaries, common.shared->FolderOf(e.output, entries.size()))) {
      spare.Give(std::move(output));
      return nullptr;
    }
    return output;
  };
}

// Outputs that wait to reach the disk together: a group ends at this many,
// or kGroupDelay after its first output waited, whichever comes first. On a
// disk a sync of the file system costs milliseconds whatever the group (1.5
// ms on a quiet disk, ten times that on a busy one, where other programs'
// data is flushed with it), so a group of small jobs is large there: a few
// syncs for thousands of outputs, and still most of the room in flight left
// for the workers while a group is put in place. Where the syncs of the
// last group took less than kCheapSync (a file system in memory), a group
// ends at kSmallGroup outputs: the outputs are shown sooner and the last
// group, put in place after the last job, is short. The delay keeps the
// outputs of slower jobs shown as the batch goes (half the interval of a
// progress display), with at most ten syncs a second.
constexpr size_t kHeldOutputs = 256;
constexpr size_t kSmallGroup = 32;
constexpr std::chrono::microseconds kCheapSync{500};
constexpr std::chrono::milliseconds kGroupDelay{100};

// How far the calling thread reads ahead of `workers` workers. It leaves
// the input each worker is about to take to the worker, which opens it
// itself: a worker that found its input being read would open it again
// (rather than sleep until it is read and be woken, which here costs more:
// a wake-up tens of microseconds, the job itself not many more). When the
// calling thread is the slower, the workers open every other input or so and
// neither waits for the other; when it is the faster, it stays ahead. It
// then sleeps once the inputs held fill the room and is woken when half of
// it is free again: with room for 2 * kSmallGroup jobs, about as often as a
// group of small outputs is put in place, not every few jobs. Each job held
// keeps its output open, so the room is at most a sixteenth of the
// descriptors the process may have open (never below the 16 it always had):
// a job must still find one for its own files under a low limit.
ReadAheadLimits ReadAheadFor(size_t workers) {
  ReadAheadLimits limits;
  limits.lead = workers;
  struct rlimit files {};
  const rlim_t open = ::getrlimit(RLIMIT_NOFILE, &files) == 0 ? files.rlim_cur : 0;
  limits.jobs = std::clamp<rlim_t>(open / 16, limits.jobs, 2 * kSmallGroup);
  return limits;
}

// The state the workers and the calling thread share.
struct BatchRun {
  BatchRun(size_t workers, const std::vector<BatchEntry>& entries, const JobOptions& common)
      : current(workers),
        kept(new WorkerKeeps[workers]),
        spent(new ReadInput[workers]),
        readAhead(InputsOf(entries), ReadAheadFor(workers), StoreFilesOf(*common.shared),
                  OutputOpener(entries, common, spare)) {
    for (auto& c : current) c.store(0);
  }
  std::atomic<size_t> next{0};
  std::mutex mutex;
  std::condition_variable changed;
  // Guarded by `mutex`: jobs ended but not yet reported, and the totals.
  std::vector<size_t> ended;
  size_t done = 0;
  size_t failed = 0;
  long long endedBytes = 0;
  // Per worker: bytes read so far of the input its running job converts.
  std::vector<std::atomic<long long>> current;
  // Per worker: what it keeps from job to job.
  struct WorkerKeeps {
    FormatStoreFiles store;  // the files of the format store, kept open
    PassBuffers buffers;     // the buffers of its passes, made once
    // The folder its last output went to, and the path up to the output's
    // name (its last "/" included): the next output into it is not looked up.
    const OutputFolder* folder = nullptr;
    std::string folderSpelled;
  };
  std::unique_ptr<WorkerKeeps[]> kept;
  // Per worker: the input its last job was given read, given back to the
  // read-ahead with the next job's Take.
  std::unique_ptr<ReadInput[]> spent;
  // Outputs put in place, opened again ahead of later jobs.
  SpareOutputs spare;
  // The inputs the calling thread reads ahead of the workers (and their
  // outputs it opens), when it has workers; see ReadAheadFor.
  InputReadAhead readAhead;
  // Guarded by `mutex`: jobs ended whose outputs, written and closed, wait
  // to reach the disk together with others', and the jobs ended so far,
  // waiting or not.
  struct Held {
    size_t index;
    JobResult result;
    std::unique_ptr<OutputFile> output;
    long long bytes;
  };
  std::vector<Held> held;
  // An empty vector with the room of a group put in place before, which
  // `held` becomes when a group is taken from it (see TakeGroup): the jobs
  // that end meanwhile do not grow it again from nothing.
  std::vector<Held> heldRoom;
  std::chrono::steady_clock::time_point heldSince;  // when the first of `held` began to wait
  // Whoever puts the outputs in place (one thread at a time): the groups,
  // and the jobs of the last group put in place while its renames wait for
  // a sync (guarded by `mutex`), since `settleFrom`. They end once the
  // renames are on the disk: with the next group's sync, or when no group
  // follows (the batch's end, or kGroupDelay with no output waiting).
  OutputGroups groups;
  std::vector<Held> unsettled;
  std::chrono::steady_clock::time_point settleFrom;
  size_t groupSize = kSmallGroup;  // outputs that end a group, by the last group's syncs
  size_t finished = 0;
  // Guarded by `mutex`: set when the calling thread puts the outputs in
  // place while the workers go on converting (it has workers), and the
  // outputs it is putting in place.
  bool deliveredAside = false;
  size_t delivering = 0;
  size_t inFlight = 0;  // OutputsInFlight of the workers
  std::condition_variable room;
};

// While a group is put in place beside the workers, they go on until this
// many outputs wait or are being put in place: with one more for each job
// running and those opened ahead of their jobs, no more than the temporary
// files a signal handler can remove (TemporaryFiles::kSignalSafeSlots), but
// never fewer than a group, which the calling thread waits for.
size_t OutputsInFlight(size_t workers) {
  const size_t others = std::min(workers + ReadAheadFor(workers).jobs, TemporaryFiles::kSignalSafeSlots);
  return std::max(kHeldOutputs, TemporaryFiles::kSignalSafeSlots - others);
}

// Whether the outputs waiting are to be put in place now: a full group, one
// that has waited kGroupDelay, or the last ones of the batch, and none being
// put in place.
bool GroupReady(const BatchRun& run, size_t total, std::chrono::steady_clock::time_point now) {
  return run.delivering == 0 && !run.held.empty() &&
         (run.held.size() >= run.groupSize || run.finished == total || now >= run.heldSince + kGroupDelay);
}

// Whether the jobs whose renames wait are to end now, their folders
// synced: no group follows soon (none waits, and the batch is at its end or
// they waited kGroupDelay), and none is being put in place.
bool SettleDue(const BatchRun& run, size_t total, std::chrono::steady_clock::time_point now) {
  return run.delivering == 0 && !run.unsettled.empty() && run.held.empty() &&
         (run.finished == total || now >= run.settleFrom + kGroupDelay);
}

// Puts the outputs of `group` in place (see OutputGroups::Put; `last`: no
// output comes after them). An output that cannot be put in place fails
// its job. The outputs are given back to `spare`. Returns the group size
// the time the syncs took calls for (see kCheapSync).
size_t Deliver(OutputGroups& groups, std::vector<BatchRun::Held>& group, const std::vector<BatchEntry>& entries,
               bool last, SpareOutputs& spare) {
  std::vector<OutputFile*> outputs;
  outputs.reserve(group.size());
  for (BatchRun::Held& h : group) outputs.push_back(h.output.get());
  const auto synced = groups.Put(outputs, last, [&](size_t k) {
    BatchRun::Held& h = group[k];
    NoteOutputNotPlaced(entries[h.index].output, *h.output, h.result);
  });
  for (BatchRun::Held& h : group) spare.Give(std::move(h.output));
  return synced < kCheapSync ? kSmallGroup : kHeldOutputs;
}

// After `group` was put in place (`last` as for Deliver), with `run.mutex`
// held: the jobs of the group before it, whose renames its sync put on the
// disk, are moved to `ready`; so are the group's own when `last`, else they
// wait for the next sync (`run.unsettled`).
void Delivered(BatchRun& run, std::vector<BatchRun::Held>& group, bool last, std::vector<BatchRun::Held>& ready,
               std::chrono::steady_clock::time_point now) {
  for (BatchRun::Held& h : run.unsettled) ready.push_back(std::move(h));
  run.unsettled.clear();
  if (last) {
    for (BatchRun::Held& h : group) ready.push_back(std::move(h));
  } else {
    run.unsettled.swap(group);
    run.settleFrom = now;
  }
  group.clear();
  if (group.capacity() > run.heldRoom.capacity()) run.heldRoom.swap(group);
}

// The outputs waiting, taken to be put in place as a group, with
// `run.mutex` held.
std::vector<BatchRun::Held> TakeGroup(BatchRun& run) {
  std::vector<BatchRun::Held> group;
  group.swap(run.held);
  run.held.swap(run.heldRoom);
  return group;
}

// Ends the jobs of `group`: their results are kept and reported. Called
// with `run.mutex` held; true when the calling thread is to be woken to
// report them (the caller wakes it once the lock is let go).
bool Release(BatchRun& run, std::vector<BatchRun::Held>& group, std::vector<JobResult>& results) {
  for (BatchRun::Held& h : group) {
    if (h.result.status != JobStatus::kCompleted) ++run.failed;
    results[h.index] = std::move(h.result);
    ++run.done;
    run.endedBytes += h.bytes;
    run.ended.push_back(h.index);
  }
  return !group.empty();
}

long long FileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? static_cast<long long>(st.st_size) : 0;
}

// The options of the jobs a worker runs: the batch's, with the worker's
// store files and progress; each job sets its input and output.
JobOptions WorkerOptions(BatchRun& run, size_t worker, const JobOptions& common) {
  const int lastPass = common.udfFile.empty() ? 1 : 2;
  std::atomic<long long>& current = run.current[worker];
  JobOptions o = common;
  o.inputFd = o.outputFd = -1;  // every entry is a file of its own
  o.storeFiles = &run.kept[worker].store;
  o.buffers = &run.kept[worker].buffers;
  o.progress = [&current, lastPass](int pass, long long done, long long) {
    if (pass == lastPass) current.store(done, std::memory_order_relaxed);
  };
  return o;
}

// Runs the next job not yet taken, as worker `worker` with its options `o`
// (see WorkerOptions); false when every job was taken.
bool WorkOne(BatchRun& run, size_t worker, const std::vector<BatchEntry>& entries, JobOptions& o,
             std::vector<JobResult>& results) {
  std::atomic<long long>& current = run.current[worker];
  if (std::unique_lock<std::mutex> lock(run.mutex); run.deliveredAside) {
    run.room.wait(lock, [&run] { return run.held.size() + run.delivering < run.inFlight; });
  }
  size_t i = run.next.fetch_add(1);
  if (i >= entries.size()) return false;
  bool wake = false;
  ReadAhead prepared = run.readAhead.Take(i, wake, std::move(run.spent[worker]));
  if (wake) {
    // The calling thread waits for room to read ahead again: taking the lock
    // makes sure it waits or has yet to look. It is woken once the lock is
    // let go, so that it does not wake only to wait for the lock.
    { std::lock_guard<std::mutex> lock(run.mutex); }
    run.changed.notify_one();
  }
  // Nothing else of the options changes from job to job (a job only reads
  // them), so each job sees the batch's options as a job of its own would.
  o.inputFile = entries[i].input;
  o.outputFile = entries[i].output;
  Session session;  // as if a new program ran this job alone
  std::unique_ptr<OutputFile> output;
  OutputPlan plan;
  plan.reservedChecked = entries[i].planned;
  BatchRun::WorkerKeeps& kept = run.kept[worker];
  const size_t slash = o.outputFile.rfind('/');
  const std::string_view spelled =
      std::string_view(o.outputFile).substr(0, slash == std::string::npos ? 0 : slash + 1);
  if (kept.folder == nullptr || spelled != kept.folderSpelled) {
    kept.folder = &o.shared->FolderOf(o.outputFile, entries.size());
    kept.folderSpelled.assign(spelled);
  }
  plan.folder = kept.folder;
  plan.input = prepared.input.get();
  plan.opened = &prepared.output;
  // The job writes and closes its output here: the calling thread, which
  // reads ahead and puts the outputs in place, is the busier of the two.
  JobResult r = RunJob(session, o, &output, plan);
  run.spent[worker] = std::move(prepared.input);
  // The input's size as the job found it; looked at only when it did not.
  long long bytes = r.inputSize >= 0 ? r.inputSize : r.status == JobStatus::kInputNotFound ? 0 : FileSize(o.inputFile);
  std::unique_lock<std::mutex> lock(run.mutex);
  current.store(0, std::memory_order_relaxed);
  ++run.finished;
  std::vector<BatchRun::Held> ready;
  BatchRun::Held ended{i, std::move(r), std::move(output), bytes};
  const auto now = std::chrono::steady_clock::now();
  if (ended.output && run.held.empty()) run.heldSince = now;
  (ended.output ? run.held : ready).push_back(std::move(ended));
  // The outputs waiting are delivered a group at a time, by the calling
  // thread when it has workers; else here, the last job of the batch
  // delivering those left.
  if (!run.deliveredAside && GroupReady(run, entries.size(), now)) {
    std::vector<BatchRun::Held> group = TakeGroup(run);
    const bool last = run.finished == entries.size();
    lock.unlock();
    const size_t next = Deliver(run.groups, group, entries, last, run.spare);
    lock.lock();
    run.groupSize = next;
    Delivered(run, group, last, ready, now);
  }
  if (!run.deliveredAside && SettleDue(run, entries.size(), now)) {
    lock.unlock();
    run.groups.Settle();
    lock.lock();
    for (BatchRun::Held& h : run.unsettled) ready.push_back(std::move(h));
    run.unsettled.clear();
  }
  // The calling thread is woken for a group to put in place, not for every
  // job whose output waits in one (one that has waited long enough it finds
  // by its own clock), and for jobs ended here; once the lock is let go.
  bool wakeCaller =
      run.deliveredAside && (GroupReady(run, entries.size(), now) || SettleDue(run, entries.size(), now));
  if (Release(run, ready, results)) wakeCaller = true;
  lock.unlock();
  if (wakeCaller) run.changed.notify_one();
  return true;
}

}  // namespace

std::vector<JobResult> RunBatch(const std::vector<BatchEntry>& entries, const JobOptions& common, int jobs,
                                const BatchCallbacks& callbacks, const ThreadStarter& start) {
  std::vector<JobResult> results(entries.size());
  // The tables and the definition file are read once for every job.
  std::optional<BatchShare> share;
  JobOptions shared = common;
  if (shared.shared == nullptr) shared.shared = &share.emplace(common);
  size_t workers = std::min(entries.size(), static_cast<size_t>(std::max(jobs, 1)));
  BatchRun run(std::max<size_t>(workers, 1), entries, shared);
  auto started = std::chrono::steady_clock::now();

  // As many workers as threads can be had; the jobs wait in one queue, so
  // fewer threads only take longer.
  std::vector<std::thread> threads;
  threads.reserve(workers);
  // Held until the workers are counted: a worker that ends a job meanwhile
  // knows who puts its output in place.
  std::unique_lock<std::mutex> lock(run.mutex);
  for (size_t w = 0; w < workers; ++w) {
    auto work = [&run, w, &entries, &shared, &results] {
      JobOptions o = WorkerOptions(run, w, shared);
      while (WorkOne(run, w, entries, o, results)) {
      }
    };
    try {
      threads.push_back(start ? start(work) : std::thread(work));
    } catch (const std::exception&) {
      break;
    }
  }

  run.deliveredAside = !threads.empty();
  run.inFlight = OutputsInFlight(threads.size());
  auto status = [&]() {
    BatchStatus s;
    s.total = entries.size();
    s.done = run.done;
    s.failed = run.failed;
    s.bytes = run.endedBytes;
    for (const auto& c : run.current) s.bytes += c.load(std::memory_order_relaxed);
    s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return s;
  };

  auto nextTick = started + callbacks.interval;
  std::optional<JobOptions> alone;  // when the jobs run here
  std::vector<size_t> reporting;  // jobs ended, reported outside the lock
  for (;;) {
    // Those ended so far are reported together, the lock let go once: a
    // worker that came for it meanwhile would sleep until it is let go.
    while (!run.ended.empty()) {
      reporting.swap(run.ended);
      if (callbacks.jobEnded) {
        lock.unlock();
        for (size_t i : reporting) callbacks.jobEnded(i, results[i]);
        lock.lock();
      }
      reporting.clear();
    }
    if (run.done == entries.size()) break;
    if (threads.empty()) {
      // No thread could be had: the jobs run here, one at a time.
      lock.unlock();
      if (!alone) alone.emplace(WorkerOptions(run, 0, shared));
      WorkOne(run, 0, entries, *alone, results);
      lock.lock();
      if (std::chrono::steady_clock::now() < nextTick) continue;
    } else if (GroupReady(run, entries.size(), std::chrono::steady_clock::now())) {
      // The outputs reach the disk here while the workers convert.
      std::vector<BatchRun::Held> group = TakeGroup(run), ready;
      run.delivering = group.size();
      const bool last = run.finished == entries.size();
      lock.unlock();
      const size_t next = Deliver(run.groups, group, entries, last, run.spare);
      lock.lock();
      run.groupSize = next;
      run.delivering = 0;
      run.room.notify_all();
      Delivered(run, group, last, ready, std::chrono::steady_clock::now());
      Release(run, ready, results);  // reported here, next
      continue;
    } else if (SettleDue(run, entries.size(), std::chrono::steady_clock::now())) {
      // The renames of the last group reach the disk: no group follows soon.
      std::vector<BatchRun::Held> settled;
      settled.swap(run.unsettled);
      lock.unlock();
      run.groups.Settle();
      lock.lock();
      Release(run, settled, results);
      continue;
    } else if (run.readAhead.Wants()) {
      // The next inputs are read while the workers convert, until the
      // inputs held fill the room.
      lock.unlock();
      while (run.readAhead.ReadNext()) {
      }
      lock.lock();
      continue;
    } else {
      // Woken by a job, or when the group waiting is due, or the renames
      // waiting are to be settled.
      const bool groupDue = !run.held.empty() && run.delivering == 0 && run.heldSince + kGroupDelay < nextTick;
      const bool settleDue = !run.unsettled.empty() && run.held.empty() && run.settleFrom + kGroupDelay < nextTick;
      auto until = nextTick;
      if (groupDue) until = run.heldSince + kGroupDelay;
      if (settleDue) until = std::min(until, run.settleFrom + kGroupDelay);
      if (run.changed.wait_until(lock, until) != std::cv_status::timeout || groupDue || settleDue) {
        if (std::chrono::steady_clock::now() < nextTick) continue;
      }
    }
    nextTick = std::chrono::steady_clock::now() + callbacks.interval;
    if (callbacks.tick) {
      BatchStatus s = status();
      lock.unlock();
      callbacks.tick(s);
      lock.lock();
    }
  }
  BatchStatus last = status();
  lock.unlock();
  for (std::thread& t : threads) t.join();
  if (callbacks.tick) callbacks.tick(last);
  return results;
}

}  // namespace velkan
