// The outputs of a batch reach the disk a group at a time.
//
// Each output was written to its temporary file and closed unsynced
// (OutputFile::CloseUnsynced). A group is put in place by one sync of the
// file system of each folder its outputs lie in, then the renames: a
// temporary file is renamed onto its output only once its bytes are on the
// disk, so a crash at any point leaves under each output's name either the
// earlier file or the complete new one, never an empty or partial file.
//
// The renames themselves reach the disk with the next sync of their file
// system: the next group's (which syncs the folders of the renames still
// waiting as well as its own), or a sync of each such folder when no group
// follows (Settle, or the last group, which syncs its folders after its
// renames). A crash meanwhile leaves the earlier file under the name of a
// waiting rename, which the rename would have replaced: the outputs are the
// ones above either way. Whoever reports the jobs as ended does so only once
// their renames are on the disk (see unsettled()).
#pragma once

#include <chrono>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "io/output_file.h"

namespace velkan {

class OutputGroups {
 public:
  // The syncs, one system call each; a test gives its own to see their
  // order among the renames, or to make one fail.
  class Syncs {
   public:
    virtual ~Syncs() = default;
    // Syncs the file system `folder` lies on: 0, or the errno of the failure.
    virtual int FileSystemOf(const std::string& folder) { return SyncFileSystemOf(folder); }
    // Syncs the folder itself, its names (best effort).
    virtual void Folder(const std::string& folder) { SyncFolder(folder); }
  };

  // With the system's syncs, or `syncs` (which must outlive it).
  OutputGroups() : syncs_(&own_) {}
  explicit OutputGroups(Syncs& syncs) : syncs_(&syncs) {}
  OutputGroups(const OutputGroups&) = delete;
  OutputGroups& operator=(const OutputGroups&) = delete;

  // Puts `outputs` (each closed unsynced) in place: one sync of the file
  // system of each folder they lie in and of each folder with renames still
  // waiting, then their renames in order, and when `last` (no group
  // follows) a sync of each folder they were renamed into. An output whose
  // file system's sync failed is not renamed (its temporary file is
  // removed); for each output not put in place, `notPlaced` is called with
  // its index in `outputs` (its error() tells why). Afterwards the renames
  // of the groups before are on the disk, and this group's too when `last`;
  // else they wait (unsettled()). Returns the time the syncs took.
  std::chrono::steady_clock::duration Put(std::span<OutputFile* const> outputs, bool last,
                                          const std::function<void(size_t)>& notPlaced);

  // Syncs each folder with renames waiting: they are on the disk.
  void Settle();

  // Whether the renames of the last group wait for a sync (Put or Settle).
  bool unsettled() const { return !waiting_.empty(); }

 private:
  Syncs own_;
  Syncs* syncs_;
  // The folders of the renames that wait for a sync, as the outputs' bytes
  // spell them.
  std::vector<std::string> waiting_;
};

}  // namespace velkan
