#include "engine/output_groups.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace velkan {

std::chrono::steady_clock::duration OutputGroups::Put(std::span<OutputFile* const> outputs, bool last,
                                                      const std::function<void(size_t)>& notPlaced) {
  // The folders to sync (most often one): the group's, as the outputs'
  // bytes spell them, each with the errno of its file system's sync and
  // whether renames wait in it; then those of the renames waiting that the
  // group does not share.
  struct ToSync {
    std::string folder;
    int error = 0;
    bool waiting = false;
  };
  std::vector<ToSync> folders;
  auto syncOf = [&folders](std::string_view folder) {
    return std::find_if(folders.begin(), folders.end(), [folder](const ToSync& f) { return f.folder == folder; });
  };
  for (const OutputFile* output : outputs) {
    if (syncOf(output->folder()) == folders.end()) folders.push_back({std::string(output->folder())});
  }
  const size_t own = folders.size();
  for (std::string& folder : waiting_) {
    if (auto f = syncOf(folder); f != folders.end()) {
      f->waiting = true;
    } else {
      folders.push_back({std::move(folder), 0, true});
    }
  }
  waiting_.clear();
  auto start = std::chrono::steady_clock::now();
  for (ToSync& f : folders) f.error = syncs_->FileSystemOf(f.folder);
  // A folder of renames waiting whose file system could not be synced is
  // synced itself.
  for (const ToSync& f : folders) {
    if (f.waiting && f.error != 0) syncs_->Folder(f.folder);
  }
  auto synced = std::chrono::steady_clock::now() - start;
  for (size_t k = 0; k < outputs.size(); ++k) {
    if (!outputs[k]->Deliver(syncOf(outputs[k]->folder())->error)) notPlaced(k);
  }
  folders.resize(own);
  if (!last) {
    for (ToSync& f : folders) waiting_.push_back(std::move(f.folder));
    return synced;
  }
  start = std::chrono::steady_clock::now();
  for (const ToSync& f : folders) syncs_->Folder(f.folder);
  return synced + (std::chrono::steady_clock::now() - start);
}

void OutputGroups::Settle() {
  for (const std::string& folder : waiting_) syncs_->Folder(folder);
  waiting_.clear();
}

}  // namespace velkan
