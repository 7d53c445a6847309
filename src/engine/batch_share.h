// What the jobs of a batch share, so that each pays only for its own input
// and output: the tables of the root, loaded once and lent to every pass
// (TableLender: checked against their files now and then, loaded again when
// they changed), the definition file, read once when the batch starts, and
// the files no output may replace, found once, and the folders the outputs
// go to, looked at once.
#pragma once

#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "engine/job.h"
#include "engine/job_pass.h"
#include "io/output_file.h"
#include "tables/table_lender.h"
#include "typo/definition_file.h"

namespace velkan {

class BatchShare {
 public:
  // For jobs run with `common`'s table root, MTBL and definition file.
  explicit BatchShare(const JobOptions& common);
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
