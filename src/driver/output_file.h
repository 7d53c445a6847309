// The output file of a job, replaced whole or not at all.
//
// The tagged text is written to a temporary file beside the output (same
// directory, a unique hidden name made with O_EXCL) and renamed onto the
// output when the job ends, so a conversion that is killed or crashes leaves
// the earlier file in place, never a half-written one. Only a conversion
// killed outright (SIGKILL, a crash) can leave its temporary file behind: a
// file ".NAME.velkan-XXXXXXXX" beside the output, which may be removed.
//
// Outputs that cannot be replaced by a rename are written in place: a pipe,
// a terminal or another device (/dev/stdout, /dev/null), and an existing
// regular file in a directory where no new file can be made.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace velkan {

class OutputFile {
 public:
  OutputFile() = default;
  // Removes a temporary file that was not committed.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Prepares writing to `path`. A symbolic link is followed, so the file it
  // leads to is the one replaced. A new file gets the permissions a plain
  // create would give it (0666 less the umask); a replaced file keeps its
  // mode (and owner, where the process may set it). Returns false with
  // error() set when nothing can be written there (a directory, a missing
  // folder, no permission); nothing at `path` has changed then.
  bool Open(const std::string& path);

  // Prepares writing in place to the open descriptor `fd` (standard output),
  // which is neither reopened nor truncated; a duplicate of it is written and
  // closed, `fd` stays open. `name` names it in messages. Returns false with
  // error() set when `fd` is not open.
  bool Adopt(int fd, const std::string& name);

  // The descriptor to write to (-1 before a successful Open).
  int fd() const { return fd_; }

  // Ends writing. A temporary file is synced to the disk, closed and renamed
  // onto the output; when the sync or the close fails the rename is still
  // made, so the output holds what was written, and false is returned. When
  // the rename fails the temporary file is removed and the output stays as it
  // was. In place, the file is synced (regular files only) and closed.
  // Returns false with error() set when any step failed.
  bool Commit();

  // Gives up: a temporary file is closed and removed and the output stays as
  // it was; in place, the descriptor is closed (what was written stays).
  void Discard();

  // True when the output is written in place, not through a temporary file.
  bool inPlace() const { return inPlace_; }
  // The file that ends up holding the output (a link at the path resolved).
  const std::filesystem::path& target() const { return target_; }
  // The temporary file while one is open, else empty.
  const std::filesystem::path& temporary() const { return temporary_; }
  // What went wrong in the last failed Open or Commit (a system error text,
  // with the file it concerns).
  const std::string& error() const { return error_; }

 private:
  bool OpenInPlace(bool truncate);
  void CloseFd();

  int fd_ = -1;
  bool inPlace_ = false;
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::string error_;
};

// The file a path names with its symbolic links followed (up to 40 of them;
// a relative link is taken from the link's folder). A path that is no link,
// or a link that leads nowhere yet, gives the last name reached.
std::filesystem::path FollowLinks(const std::filesystem::path& path);

// Whether two paths name the same existing file (device and inode, links
// followed). False when either cannot be examined.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace velkan
