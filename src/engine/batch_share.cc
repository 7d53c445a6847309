#include "engine/batch_share.h"

#include <cstring>
#include <string_view>
#include <utility>

#include "tables/table_file.h"

namespace velkan {

HeldFile::HeldFile(std::string path, std::chrono::steady_clock::duration recheck)
    : path_(std::move(path)), recheck_(recheck) {}

std::shared_ptr<const ReadBytes> HeldFile::Bytes() {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto now = std::chrono::steady_clock::now();
  if (bytes_ && now - checked_ >= recheck_) {
    if (StampFile(path_) != stamp_) bytes_.reset();
    else checked_ = now;
  }
  // A name that stands for a descriptor (/dev/stdin) is read by the job.
  if (bytes_ || path_.empty() || NamedDescriptor(path_) >= 0) return bytes_;
  // Stamped first: a change made while the file is read is seen next time.
  FileStamp stamp = StampFile(path_);
  std::string content;
  ++reads_;
  if (!stamp.exists || ReadTableFile(path_, content) != TableFileStatus::kRead) return nullptr;
  auto data = std::make_unique_for_overwrite<char[]>(content.size());
  std::memcpy(data.get(), content.data(), content.size());
  bytes_ = std::make_shared<const ReadBytes>(std::move(data), content.size(), content.size());
  stamp_ = std::move(stamp);
  checked_ = std::chrono::steady_clock::now();
  return bytes_;
}

int HeldFile::reads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reads_;
}

BatchShare::BatchShare(const JobOptions& common, std::chrono::steady_clock::duration recheck)
    : tables(TablePaths(common.tableRoot, common.mtbl), recheck), kept(common), formats(common.udfFile, recheck) {
  if (common.defineFile.empty()) return;
  std::string content;
  definitionsRead = DefinitionFile::Read(common.defineFile, content, &definitionsFault);
  if (definitionsRead) definitions = std::make_shared<const DefinitionLines>(std::move(content));
}

const OutputFolder& BatchShare::FolderOf(const std::string& output, size_t outputs) {
  // Outputs whose paths agree up to their last "/" lie in one folder.
  const size_t slash = output.rfind('/');
  const std::string_view spelled = slash == std::string::npos ? std::string_view()
                                   : slash == 0               ? std::string_view(output).substr(0, 1)
                                                              : std::string_view(output).substr(0, slash);
  // Most often the folder asked for last (a batch's outputs mostly go to
  // one): found without the lock, which every job of every thread would
  // otherwise take. An entry stays where it is while the share lives.
  if (const Folders::value_type* last = last_.load(std::memory_order_acquire); last != nullptr && last->first == spelled) {
    return *last->second;
  }
  std::lock_guard<std::mutex> lock(foldersMutex_);
  auto it = folders_.find(spelled);
  if (it == folders_.end()) {
    it = folders_.emplace(std::string(spelled), std::make_unique<OutputFolder>(OutputFolder::Of(output, outputs == 0 ? 0 : 4 * outputs + 64))).first;
  }
  last_.store(&*it, std::memory_order_release);
  return *it->second;
}

}  // namespace velkan
