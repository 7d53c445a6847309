#include "driver/output_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace velkan {

namespace fs = std::filesystem;

namespace {

std::string Describe(const char* what, const fs::path& path, int err) {
  return std::string(what) + " " + path.string() + ": " + std::strerror(err);
}

// Eight hexadecimal digits that differ from call to call and process to
// process.
std::string RandomSuffix(unsigned attempt) {
  uint32_t r = 0;
  if (::getrandom(&r, sizeof r, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof r)) {
    r = static_cast<uint32_t>(::getpid()) * 2654435761u ^ attempt * 40503u ^
        static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&r));
  }
  char text[9];
  std::snprintf(text, sizeof text, "%08x", r);
  return text;
}

}  // namespace

fs::path FollowLinks(const fs::path& path) {
  fs::path p = path;
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(p, ec))) return p;
    fs::path to = fs::read_symlink(p, ec);
    if (ec) return p;
    p = to.is_absolute() ? to : p.parent_path() / to;
  }
  return p;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  if (a.empty() || b.empty() || ::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

OutputFile::~OutputFile() { Discard(); }

void OutputFile::CloseFd() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool OutputFile::OpenInPlace(bool truncate) {
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (truncate ? O_TRUNC : 0);
  fd_ = ::open(target_.c_str(), flags, 0666);
  if (fd_ < 0) {
    error_ = Describe("cannot create", target_, errno);
    return false;
  }
  inPlace_ = true;
  return true;
}

bool OutputFile::Adopt(int fd, const std::string& name) {
  Discard();
  error_.clear();
  target_ = name;
  fd_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (fd_ < 0) {
    error_ = Describe("cannot write", target_, errno);
    return false;
  }
  inPlace_ = true;
  return true;
}

bool OutputFile::Open(const std::string& path) {
  Discard();
  error_.clear();
  inPlace_ = false;
  struct stat old {};
  bool exists = ::stat(path.c_str(), &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) {
    target_ = path;
    error_ = Describe("cannot create", target_, EISDIR);
    return false;
  }
  // Pipes, terminals and devices are written as they are, under the name
  // given (a name such as /dev/stdout leads to no file that could be replaced).
  if (exists && !S_ISREG(old.st_mode)) {
    target_ = path;
    return OpenInPlace(false);
  }
  std::error_code ec;
  target_ = exists ? fs::canonical(path, ec) : FollowLinks(path);
  if (ec) target_ = FollowLinks(path);

  fs::path dir = target_.parent_path();
  // The temporary name is the output's with 17 bytes more; a name near the
  // limit of 255 bytes is shortened for it.
  std::string name = target_.filename().string();
  if (name.size() > 200) name.resize(200);
  std::string base = "." + name + ".velkan-";
  int err = 0;
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = dir / (base + RandomSuffix(attempt));
    fd_ = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      temporary_ = candidate;
      break;
    }
    err = errno;
    if (err != EEXIST) break;
  }
  if (fd_ < 0) {
    // A folder that lets no new file be made may still hold an output that
    // can be rewritten.
    if (exists && (err == EACCES || err == EPERM || err == EROFS)) return OpenInPlace(true);
    error_ = Describe("cannot create", target_, err);
    return false;
  }
  if (exists) {
    // The replacement keeps the owner where the process may set it, and the
    // mode (without set-id bits when the owner could not be kept).
    bool owned = true;
    struct stat mine {};
    if (::fstat(fd_, &mine) == 0 && (mine.st_uid != old.st_uid || mine.st_gid != old.st_gid)) {
      owned = ::fchown(fd_, old.st_uid, old.st_gid) == 0;
    }
    mode_t mode = old.st_mode & (owned ? 07777 : 0777);
    // A mode that cannot be set is not worth losing the job for.
    ::fchmod(fd_, mode);
  }
  return true;
}

bool OutputFile::Commit() {
  if (fd_ < 0) {
    if (error_.empty()) error_ = "no output file is open";
    return false;
  }
  bool ok = true;
  struct stat st {};
  bool regular = ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
  const fs::path& written = temporary_.empty() ? target_ : temporary_;
  if (regular && ::fsync(fd_) != 0) {
    error_ = Describe("cannot write", target_, errno);
    ok = false;
  }
  int closed = ::close(fd_);
  fd_ = -1;
  if (closed != 0 && ok) {
    error_ = Describe("cannot write", target_, errno);
    ok = false;
  }
  if (temporary_.empty()) return ok;

  if (::rename(written.c_str(), target_.c_str()) != 0) {
    int err = errno;
    ::unlink(temporary_.c_str());
    temporary_.clear();
    error_ = Describe("cannot replace", target_, err);
    return false;
  }
  temporary_.clear();
  // The new name reaches the disk with the folder.
  int dirFd = ::open(target_.parent_path().empty() ? "." : target_.parent_path().c_str(),
                     O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return ok;
}

void OutputFile::Discard() {
  CloseFd();
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
}

}  // namespace velkan
