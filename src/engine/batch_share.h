// What the jobs of a batch share, so that each pays only for its own input
// and output: the tables of the root, loaded once and lent to every pass
// (TableLender: checked against their files now and then, loaded again when
// they changed), the definition file, read once when the batch starts, the
// format file (--udf), held in memory as the tables are, the files no
// output may replace, found once, and the folders the outputs go to, looked
// at once.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "engine/job.h"
#include "engine/job_pass.h"
#include "engine/read_ahead.h"
#include "io/output_file.h"
#include "tables/table_lender.h"
#include "typo/definition_file.h"

namespace velkan {

// A file that every job of a batch reads whole first (the format file),
// held in memory: read when a job first asks for it, and looked at again at
// most once per `recheck`, as the tables' files are (see TableLender): when
// it is no longer the file read (its identity, modification time or size
// changed), it is read again for the jobs that ask after that.
class HeldFile {
 public:
  explicit HeldFile(std::string path, std::chrono::steady_clock::duration recheck = kTableRecheck);
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

  const std::string& path() const { return path_; }

  // The file's bytes; null when it cannot be held (it is no regular file,
  // or could not be read whole, or names a descriptor): the job then opens
  // it itself, as it would without a batch. Safe to call from any thread.
  std::shared_ptr<const ReadBytes> Bytes();

  // How often the file was read (for tests).
  int reads() const;

 private:
  const std::string path_;
  const std::chrono::steady_clock::duration recheck_;
  mutable std::mutex mutex_;
  std::shared_ptr<const ReadBytes> bytes_;
  FileStamp stamp_;
  std::chrono::steady_clock::time_point checked_;
  int reads_ = 0;
};

class BatchShare {
 public:
  // For jobs run with `common`'s table root, MTBL and definition file;
  // the tables and the format file are looked at again at most once per
  // `recheck`.
  explicit BatchShare(const JobOptions& common, std::chrono::steady_clock::duration recheck = kTableRecheck);
  BatchShare(const BatchShare&) = delete;
  BatchShare& operator=(const BatchShare&) = delete;

  TableLender tables;
  // The files no job's output may replace, found once.
  const KeptFiles kept;

  // The definition file as it was read: its lines, which every job looks
  // its names up in, or why it could not be read (no definition file: not
  // read, no reason).
  bool definitionsRead = false;
  std::shared_ptr<const DefinitionLines> definitions;
  Note definitionsFault;

  // The format file (`common.udfFile`; none when empty), which every job
  // converts first.
  HeldFile formats;

  // The folder of `output`, looked at when the first output into it asks
  // (see OutputFolder), for a batch of `outputs` outputs: its names are
  // listed when it holds no more than a few for each output (listing more
  // would cost more than looking at each output's name). Safe to call from
  // any thread.
  const OutputFolder& FolderOf(const std::string& output, size_t outputs = 0);

 private:
  using Folders = std::map<std::string, std::unique_ptr<OutputFolder>, std::less<>>;
  std::mutex foldersMutex_;
  // By the folder as the outputs spell it.
  Folders folders_;
  // The entry of `folders_` found last, read without the lock.
  std::atomic<const Folders::value_type*> last_{nullptr};
};

}  // namespace velkan
