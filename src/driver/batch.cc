#include "driver/batch.h"

#include <sched.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "driver/session.h"

namespace velkan {

namespace fs = std::filesystem;

namespace {

// A file as the file system sees it: its absolute path with links and "."
// and ".." resolved as far as it exists, and its device and inode when it
// exists.
struct FileId {
  std::string path;
  bool exists = false;
  std::pair<dev_t, ino_t> inode{};
};

FileId Identify(const fs::path& p) {
  FileId id;
  std::error_code ec;
  fs::path abs = fs::absolute(p, ec);
  if (ec) abs = p;
  fs::path canon = fs::weakly_canonical(abs, ec);
  id.path = (ec ? abs.lexically_normal() : canon).string();
  struct stat st {};
  if (::stat(p.c_str(), &st) == 0) {
    id.exists = true;
    id.inode = {st.st_dev, st.st_ino};
  }
  return id;
}

// Files already claimed by the batch, found by path or by inode.
class FileClaims {
 public:
  // The claim on the same file as `id`, or nullptr.
  const std::string* Find(const FileId& id) const {
    if (auto it = byPath_.find(id.path); it != byPath_.end()) return &it->second;
    if (id.exists) {
      if (auto it = byInode_.find(id.inode); it != byInode_.end()) return &it->second;
    }
    return nullptr;
  }
  // Records `what` as the claim on `id` (a first claim is kept).
  void Claim(const FileId& id, const std::string& what) {
    byPath_.emplace(id.path, what);
    if (id.exists) byInode_.emplace(id.inode, what);
  }

 private:
  std::map<std::string, std::string> byPath_;
  std::map<std::pair<dev_t, ino_t>, std::string> byInode_;
};

}  // namespace

fs::path BatchOutputName(const std::string& input, const fs::path& outDir) {
  fs::path name = fs::path(input).filename();
  name.replace_extension(".txt");
  return outDir / name;
}

BatchPlan PlanBatch(const std::vector<std::string>& inputs, const fs::path& outDir,
                    const std::vector<std::string>& guarded) {
  BatchPlan plan;
  FileClaims read;  // files the jobs read
  for (const std::string& g : guarded) {
    if (!g.empty()) read.Claim(Identify(g), "'" + g + "'");
  }
  for (const std::string& in : inputs) read.Claim(Identify(in), "the input '" + in + "'");

  FileClaims written;  // outputs planned so far
  for (const std::string& in : inputs) {
    if (fs::path(in).filename().empty()) {
      plan.refusals.push_back("'" + in + "' names no file");
      continue;
    }
    fs::path out = BatchOutputName(in, outDir);
    FileId id = Identify(out);
    if (const std::string* claim = read.Find(id)) {
      plan.refusals.push_back("the output of '" + in + "', '" + out.string() + "', would replace " + *claim);
    } else if (const std::string* other = written.Find(id)) {
      plan.refusals.push_back("'" + in + "' and " + *other + " would both be converted into '" + out.string() +
                              "'");
    }
    written.Claim(id, "'" + in + "'");
    plan.entries.push_back({in, out});
  }
  return plan;
}

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

// The state the workers and the calling thread share.
struct BatchRun {
  explicit BatchRun(size_t workers) : current(workers) {
    for (auto& c : current) c.store(0);
  }
  std::atomic<size_t> next{0};
  std::mutex mutex;
  std::condition_variable changed;
  // Guarded by `mutex`: jobs ended but not yet reported, and the totals.
  std::deque<size_t> ended;
  size_t done = 0;
  size_t failed = 0;
  long long endedBytes = 0;
  // Per worker: bytes read so far of the input its running job converts.
  std::vector<std::atomic<long long>> current;
};

long long FileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? static_cast<long long>(st.st_size) : 0;
}

void Work(BatchRun& run, size_t worker, const std::vector<BatchEntry>& entries, const JobOptions& common,
          std::vector<JobResult>& results) {
  const int lastPass = common.udfFile.empty() ? 1 : 2;
  std::atomic<long long>& current = run.current[worker];
  for (;;) {
    size_t i = run.next.fetch_add(1);
    if (i >= entries.size()) return;
    JobOptions o = common;
    o.inputFile = entries[i].input;
    o.inputFd = o.outputFd = -1;  // every entry is a file of its own
    o.outputFile = entries[i].output.string();
    o.progress = [&current, lastPass](int pass, long long done, long long) {
      if (pass == lastPass) current.store(done, std::memory_order_relaxed);
    };
    Session session;  // as if a new program ran this job alone
    JobResult r = RunConversionJob(session, o);
    long long bytes = r.status == JobStatus::kInputNotFound ? 0 : FileSize(o.inputFile);
    std::lock_guard<std::mutex> lock(run.mutex);
    current.store(0, std::memory_order_relaxed);
    if (r.status != JobStatus::kCompleted) ++run.failed;
    results[i] = std::move(r);
    ++run.done;
    run.endedBytes += bytes;
    run.ended.push_back(i);
    run.changed.notify_one();
  }
}

}  // namespace

std::vector<JobResult> RunBatch(const std::vector<BatchEntry>& entries, const JobOptions& common, int jobs,
                                const BatchCallbacks& callbacks) {
  std::vector<JobResult> results(entries.size());
  size_t workers = std::min(entries.size(), static_cast<size_t>(std::max(jobs, 1)));
  BatchRun run(workers);
  auto start = std::chrono::steady_clock::now();

  std::vector<std::thread> threads;
  threads.reserve(workers);
  for (size_t w = 0; w < workers; ++w) {
    threads.emplace_back(Work, std::ref(run), w, std::cref(entries), std::cref(common), std::ref(results));
  }

  auto status = [&]() {
    BatchStatus s;
    s.total = entries.size();
    s.done = run.done;
    s.failed = run.failed;
    s.bytes = run.endedBytes;
    for (const auto& c : run.current) s.bytes += c.load(std::memory_order_relaxed);
    s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return s;
  };

  std::unique_lock<std::mutex> lock(run.mutex);
  auto nextTick = start + callbacks.interval;
  for (;;) {
    while (!run.ended.empty()) {
      size_t i = run.ended.front();
      run.ended.pop_front();
      if (callbacks.jobEnded) {
        lock.unlock();
        callbacks.jobEnded(i, results[i]);
        lock.lock();
      }
    }
    if (run.done == entries.size()) break;
    if (run.changed.wait_until(lock, nextTick) == std::cv_status::timeout ||
        std::chrono::steady_clock::now() >= nextTick) {
      nextTick = std::chrono::steady_clock::now() + callbacks.interval;
      if (callbacks.tick) {
        BatchStatus s = status();
        lock.unlock();
        callbacks.tick(s);
        lock.lock();
      }
    }
  }
  BatchStatus last = status();
  lock.unlock();
  for (std::thread& t : threads) t.join();
  if (callbacks.tick) callbacks.tick(last);
  return results;
}

}  // namespace velkan
