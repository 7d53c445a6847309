#include "io/output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/random.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <utility>

#include "io/cancellable_wait.h"
#include "io/message_mark.h"
#include "io/shown_path.h"

namespace velkan {

namespace fs = std::filesystem;

namespace {

// `format` (with places for the path, the system's reason and `more`)
// filled in.
Note Describe(const char* format, std::string_view path, int err, std::vector<Note> more = {}) {
  std::vector<Note> args = {Note(ShownPath(path)), Note::SystemError(err)};
  for (Note& m : more) args.push_back(std::move(m));
  return Note(format, std::move(args));
}

// A random number for a temporary file's name, from the system's random
// source; where it gives none, one that still differs from call to call
// (`salt`) and process to process.
uint32_t RandomNumber(unsigned salt) {
  uint32_t r = 0;
  if (::getrandom(&r, sizeof r, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof r)) {
    r = static_cast<uint32_t>(::getpid()) * 2654435761u ^ salt * 40503u ^
        static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&r));
  }
  return r;
}

// Appends `r` to `name` as eight lower-case hexadecimal digits.
void AppendSuffix(std::string& name, uint32_t r) {
  for (int shift = 28; shift >= 0; shift -= 4) name += "0123456789abcdef"[(r >> shift) & 15];
}

// A descriptor number as the kernel names it in /proc/PID/fd (no sign, no
// leading zero), or -1.
int DescriptorNumber(const std::string& s) {
  if (s.empty() || s.size() > 9 || (s.size() > 1 && s[0] == '0')) return -1;
  int n = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

bool AllDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The descriptor an absolute path in normal form names by its spelling
// alone, or -1.
int DescriptorSpelled(const fs::path& path) {
  std::vector<std::string> parts;
  for (const fs::path& part : path.relative_path()) parts.push_back(part.string());
  if (!path.has_root_directory()) return -1;
  if (parts.size() == 2 && parts[0] == "dev") {
    if (parts[1] == "stdin") return 0;
    if (parts[1] == "stdout") return 1;
    if (parts[1] == "stderr") return 2;
  }
  if (parts.size() == 3 && parts[0] == "dev" && parts[1] == "fd") return DescriptorNumber(parts[2]);
  if (parts.empty() || parts[0] != "proc") return -1;
  const std::string self = std::to_string(::getpid());
  // /proc/X/fd/N with X self, thread-self or this process's number;
  // /proc/X/task/T/fd/N with X self or this process's number.
  if (parts.size() == 4 && parts[2] == "fd" && (parts[1] == "self" || parts[1] == "thread-self" || parts[1] == self)) {
    return DescriptorNumber(parts[3]);
  }
  if (parts.size() == 6 && parts[2] == "task" && AllDigits(parts[3]) && parts[4] == "fd" &&
      (parts[1] == "self" || parts[1] == self)) {
    return DescriptorNumber(parts[5]);
  }
  return -1;
}

// Whether the process may replace the files of other users in a sticky
// folder (CAP_FOWNER).
bool MayReplaceOthersFiles() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2]{};
  if (::syscall(SYS_capget, &header, data) != 0) return ::geteuid() == 0;
  return (data[CAP_FOWNER / 32].effective & (1u << (CAP_FOWNER % 32))) != 0;
}

// The immutable and append-only attributes of a file or folder (statx's
// STATX_ATTR_*), 0 where the file system keeps none or they cannot be read.
uint64_t AttributesOf(const struct statx& sx) {
  return sx.stx_attributes & sx.stx_attributes_mask & (STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND);
}
uint64_t Attributes(const char* path) {
  struct statx sx {};
  if (::statx(AT_FDCWD, path, 0, 0, &sx) != 0) return 0;
  return AttributesOf(sx);
}

// The lstat of `path` (taken from the folder `dirFd`, or the working
// folder) and its attributes (see Attributes) with one statx; false, errno
// set, when it fails.
bool LookWithAttributes(int dirFd, const char* path, struct stat& st, uint64_t& attributes) {
  struct statx sx {};
  if (::statx(dirFd, path, AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &sx) != 0) return false;
  st = {};
  st.st_dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
  st.st_ino = sx.stx_ino;
  st.st_mode = sx.stx_mode;
  st.st_nlink = sx.stx_nlink;
  st.st_uid = sx.stx_uid;
  st.st_gid = sx.stx_gid;
  st.st_rdev = makedev(sx.stx_rdev_major, sx.stx_rdev_minor);
  st.st_size = static_cast<off_t>(sx.stx_size);
  st.st_blksize = static_cast<blksize_t>(sx.stx_blksize);
  st.st_blocks = static_cast<blkcnt_t>(sx.stx_blocks);
  st.st_atim = {sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec};
  st.st_mtim = {sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec};
  st.st_ctim = {sx.stx_ctime.tv_sec, sx.stx_ctime.tv_nsec};
  attributes = AttributesOf(sx);
  return true;
}

// How an output is written.
enum class Way {
  kReplace,     // through a temporary file renamed onto it
  kInPlace,     // opened and written as it is
  kDescriptor,  // a descriptor of the process, written where it stands
};

}  // namespace

// What opening an output would do, found without creating anything.
struct OutputFile::Plan {
  Way way = Way::kReplace;
  int descriptor = -1;
  bool exists = false;
  struct stat old {};
  // The existing file's attributes (see Attributes), when taken with `old`.
  std::optional<uint64_t> attributes;
  std::string target;
  // The folder the target lies in, when found in a folder looked at before
  // (see PlanInFolder).
  const OutputFolder* folder = nullptr;
  Note error;  // not empty: nothing can be written there
};

namespace {

using Plan = OutputFile::Plan;

// The last name of `path` as its bytes spell it: what follows the last "/"
// (empty after a final "/").
std::string_view LastName(std::string_view path) {
  // memrchr scans many bytes at a time; a path's folders are long.
  const void* slash = path.empty() ? nullptr : ::memrchr(path.data(), '/', path.size());
  return slash == nullptr ? path : path.substr(static_cast<size_t>(static_cast<const char*>(slash) - path.data()) + 1);
}

// `name` in the folder `dir`, joined as std::filesystem::path's "/" joins them
// (`dir` empty or ending in "/" takes no other).
std::string InFolder(std::string_view dir, std::string_view name) {
  std::string joined;
  joined.reserve(dir.size() + 1 + name.size());
  joined += dir;
  if (!dir.empty() && dir.back() != '/') joined += '/';
  joined += name;
  return joined;
}

// Gives the file that replaces `old` its owner where the process may set
// it, and its mode (without set-id bits when the owner could not be kept):
// `mine` is the new file's stat (null: not known), `chown` sets its owner
// (false: refused) and `chmod` its mode, where the new file's mode is not
// that mode already (a mode that cannot be set is not worth losing the job
// for).
template <typename Chown, typename Chmod>
void KeepOwnerAndMode(const struct stat& old, const struct stat* mine, Chown chown, Chmod chmod) {
  bool owned = true;
  if (mine != nullptr && (mine->st_uid != old.st_uid || mine->st_gid != old.st_gid)) {
    owned = chown(old.st_uid, old.st_gid);
  }
  const mode_t mode = old.st_mode & (owned ? 07777 : 0777);
  if (mine == nullptr || mine->st_uid != old.st_uid || mine->st_gid != old.st_gid || (mine->st_mode & 07777) != mode) {
    static_cast<void>(chmod(mode));
  }
}

OutputFolder LookAtFolder(const fs::path& dir) {
  OutputFolder f;
  f.dir = dir;
  if (::stat(dir.c_str(), &f.st) != 0) {
    f.error = errno;
    return f;
  }
  if (!S_ISDIR(f.st.st_mode)) {
    f.error = ENOTDIR;
    return f;
  }
  f.nameMax = ::pathconf(dir.c_str(), _PC_NAME_MAX);
  if (f.nameMax <= 0) f.nameMax = NAME_MAX;
  f.attributes = Attributes(dir.c_str());
  f.access = ::faccessat(AT_FDCWD, dir.c_str(), W_OK | X_OK, AT_EACCESS) == 0 ? 0 : errno;
  return f;
}

// Opens the folder `f` looked at (the same folder: a descriptor of another
// one that took its place is not kept) and lists its names when there are
// at most `listUpTo` (a folder that cannot be read is opened, not listed).
void OpenFolder(OutputFolder& f, size_t listUpTo) {
  int fd = ::open(f.dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const bool readable = fd >= 0;
  if (fd < 0) fd = ::open(f.dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || st.st_dev != f.st.st_dev || st.st_ino != f.st.st_ino) {
    ::close(fd);
    return;
  }
  f.fd = fd;
  if (!readable || listUpTo == 0) return;
  constexpr size_t kRoom = 32 << 10;
  const auto room = std::make_unique<char[]>(kRoom);
  for (;;) {
    const ssize_t n = ::getdents64(fd, room.get(), kRoom);
    if (n < 0) {
      f.names.clear();
      return;
    }
    if (n == 0) break;
    for (ssize_t at = 0; at < n;) {
      const auto* entry = reinterpret_cast<const struct dirent64*>(room.get() + at);
      at += entry->d_reclen;
      const std::string_view name = entry->d_name;
      if (name == "." || name == "..") continue;
      if (f.names.size() == listUpTo) {
        f.names.clear();
        return;
      }
      f.names.emplace(name);
    }
  }
  f.listed = true;
}

// The checks of `p`, whose target is resolved, `exists` and `old` are set,
// against the facts of its folder.
Plan& CheckInFolder(Plan& p, const OutputFolder& folder) {
  auto fail = [&p](const char* format, int err, std::vector<Note> more = {}) -> Plan& {
    p.error = Describe(format, p.target, err, std::move(more));
    return p;
  };
  const fs::path& dir = folder.dir;
  if (folder.error != 0) return fail(N_("cannot create %s: %s"), folder.error);
  if (LastName(p.target).size() > static_cast<size_t>(folder.nameMax) || p.target.size() >= PATH_MAX) {
    return fail(N_("cannot create %s: %s"), ENAMETOOLONG);
  }
  // A folder whose files can be made but neither renamed nor removed, or
  // that takes no change at all, and a file that takes no change or only
  // more bytes at its end, would leave a temporary file behind or refuse the
  // rename at the end.
  if ((folder.attributes & STATX_ATTR_IMMUTABLE) != 0) {
    return fail(N_("cannot create %s: %s (its folder %s is immutable: no file can be made, renamed or removed there)"),
                EPERM, {ShownPath(dir)});
  }
  if ((folder.attributes & STATX_ATTR_APPEND) != 0) {
    return fail(
        N_("cannot create %s: %s (its folder %s is append-only: a file made there can be neither renamed nor removed)"),
        EPERM, {ShownPath(dir)});
  }
  if (p.exists) {
    const uint64_t attributes = p.attributes ? *p.attributes : Attributes(p.target.c_str());
    if ((attributes & STATX_ATTR_IMMUTABLE) != 0) return fail(N_("cannot create %s: %s (the file is immutable)"), EPERM);
    if ((attributes & STATX_ATTR_APPEND) != 0) return fail(N_("cannot create %s: %s (the file is append-only)"), EPERM);
    // A file the user may not write is not replaced either, as the shell's
    // ">" and cp leave it (a privileged process may).
    if (::faccessat(AT_FDCWD, p.target.c_str(), W_OK, AT_EACCESS) != 0) return fail(N_("cannot create %s: %s"), errno);
  }
  if (folder.access != 0) {
    // A folder that lets no new file be made may still hold an output that
    // can be rewritten.
    if (p.exists && (folder.access == EACCES || folder.access == EPERM || folder.access == EROFS)) {
      p.way = Way::kInPlace;
      return p;
    }
    return fail(N_("cannot create %s: %s"), folder.access);
  }
  // In a sticky folder (such as /tmp) only the file's owner, the folder's
  // owner and a privileged process may replace a file.
  if (p.exists && (folder.st.st_mode & S_ISVTX) != 0) {
    const uid_t me = ::geteuid();
    if (p.old.st_uid != me && folder.st.st_uid != me && !MayReplaceOthersFiles()) {
      return fail(N_("cannot replace %s: %s (a file of another user in a folder where only its owner may replace it)"),
                  EPERM);
    }
  }
  return p;
}

// The plan of `path` in its folder `known`, found before, when what stands
// at `path` is a regular file or nothing under a plain last name (no link,
// not "." or ".."): its target then lies in that folder. One lstat. False
// (`p` partly filled) for anything else, which needs the whole look.
bool PlanInFolder(const std::string& path, const OutputFolder& known, Plan& p) {
  const std::string_view name = LastName(path);
  if (name.empty() || name == "." || name == "..") return false;
  // The name's look and, for a file there, its attributes, at once; none
  // for a name the folder's listing did not hold.
  uint64_t attributes = 0;
  const bool lacked = known.Lacks(name);
  const bool found = !lacked && LookWithAttributes(AT_FDCWD, path.c_str(), p.old, attributes);
  if (found ? !S_ISREG(p.old.st_mode) : !lacked && errno != ENOENT) return false;
  p.exists = found;
  if (found) p.attributes = attributes;
  p.target = InFolder(known.dir.native(), name);
  p.folder = &known;
  CheckInFolder(p, known);
  return true;
}

// `given`: a descriptor the caller gives (then `path` only names it), else
// -1: `path` may name one. `known`: the facts of the folder of `path`, found
// before; used when what stands at `path` is no link (nothing, or a regular
// file), whose target then lies in that folder.
Plan MakePlan(const std::string& path, int given = -1, const OutputFolder* known = nullptr) {
  Plan p;
  p.target = path;
  auto fail = [&p](const char* format, int err, std::vector<Note> more = {}) {
    p.error = Describe(format, p.target, err, std::move(more));
    return p;
  };
  if (path.empty()) return fail(N_("cannot create %s: %s"), ENOENT);

  if (known != nullptr && given < 0) {
    if (PlanInFolder(path, *known, p)) return p;
    p.old = {};
    p.attributes.reset();
  }

  const bool named = given < 0;
  const int d = named ? NamedDescriptor(path) : given;
  if (d >= 0) {
    p.way = Way::kDescriptor;
    p.descriptor = d;
    const std::string n = std::to_string(d);
    const int flags = ::fcntl(d, F_GETFL);
    if (flags < 0 || (flags & O_PATH) != 0 || (named && !GivenDescriptor(d))) {
      return fail(N_("cannot write to %s: %s (descriptor %s is not open)"), EBADF, {n});
    }
    struct stat st {};
    if (::fstat(d, &st) == 0 && S_ISDIR(st.st_mode)) return fail(N_("cannot write to %s: %s"), EISDIR);
    if ((flags & O_ACCMODE) == O_RDONLY) {
      return fail(N_("cannot write to %s: %s (descriptor %s is open for reading only)"), EBADF, {n});
    }
    return p;
  }

  p.exists = ::stat(path.c_str(), &p.old) == 0;
  if (!p.exists && errno != ENOENT) return fail(N_("cannot create %s: %s"), errno);
  if (p.exists && S_ISDIR(p.old.st_mode)) return fail(N_("cannot create %s: %s"), EISDIR);
  // Pipes, terminals and devices are written as they are, under the name
  // given.
  if (p.exists && !S_ISREG(p.old.st_mode)) {
    p.way = Way::kInPlace;
    return p;
  }
  fs::path target = ResolvedPath(path);
  p.target = target.native();
  return CheckInFolder(p, LookAtFolder(target.parent_path()));
}

}  // namespace

struct TemporaryFiles::Slot {
  // kFree; kRecorded, `folder` and `name` telling the file; kTaken by a
  // signal handler that removes it. A slot is filled in while its file is
  // being made, and recorded once the file is made.
  static constexpr int kFree = 0, kRecorded = 1, kTaken = 2;
  std::atomic<int> state{kFree};
  unsigned folder = 0;  // in folders_
  char name[NAME_MAX + 1];
};

// A folder with files in the table: its path as the files' paths spell it
// (empty for a file named without one), and while `users` files of it are
// in flight or being made, the descriptor they are made and unlinked
// through: the one their Creates were given (`given`), else one opened for
// them.
struct TemporaryFiles::Folder {
  int fd = -1;
  int given = -1;
  size_t users = 0;
  char path[PATH_MAX];
};

TemporaryFiles::TemporaryFiles() = default;

TemporaryFiles::~TemporaryFiles() {
  for (auto& room : rooms_) delete[] room.load();
  for (auto& f : folders_) {
    Folder* folder = f.load();
    if (folder != nullptr && folder->fd >= 0 && folder->given < 0) ::close(folder->fd);
    delete folder;
  }
}

TemporaryFiles::Slot& TemporaryFiles::SlotAt(size_t i) const {
  return rooms_[i / kSlotsAtOnce].load()[i % kSlotsAtOnce];
}

size_t TemporaryFiles::TakeSlot() {
  if (freeSlots_.empty()) {
    if (slotsMade_ == kSignalSafeSlots) return kNoSlot;
    // The free list holds every slot at once: giving one back never
    // allocates.
    freeSlots_.reserve(slotsMade_ + kSlotsAtOnce);
    rooms_[slotsMade_ / kSlotsAtOnce].store(new Slot[kSlotsAtOnce]);
    for (size_t i = kSlotsAtOnce; i-- > 0;) freeSlots_.push_back(slotsMade_ + i);
    slotsMade_ += kSlotsAtOnce;
  }
  const size_t slot = freeSlots_.back();
  freeSlots_.pop_back();
  return slot;
}

void TemporaryFiles::FreeSlot(size_t i) {
  Slot& slot = SlotAt(i);
  int recorded = Slot::kRecorded;
  // A slot a handler has taken stays taken, and so does its folder's
  // descriptor: the process is ending.
  if (!slot.state.compare_exchange_strong(recorded, Slot::kFree)) return;
  LeaveFolder(slot.folder);
  freeSlots_.push_back(i);
}

size_t TemporaryFiles::TakeFolder(std::string_view dir, int folderFd) {
  // The entry in use for the folder, else one with no file in flight (made
  // now if need be).
  size_t chosen = kSignalSafeFolders;
  for (size_t f = 0; f < kSignalSafeFolders; ++f) {
    Folder* folder = folders_[f].load();
    if (folder != nullptr && folder->users > 0 && folder->given == folderFd && dir == folder->path) {
      chosen = f;
      break;
    }
    if (chosen == kSignalSafeFolders && (folder == nullptr || folder->users == 0)) chosen = f;
  }
  if (chosen == kSignalSafeFolders) return kNoSlot;
  Folder* folder = folders_[chosen].load();
  if (folder == nullptr) {
    folder = new (std::nothrow) Folder;
    if (folder == nullptr) return kNoSlot;
    folders_[chosen].store(folder);
  }
  if (folder->users == 0) {
    std::memcpy(folder->path, dir.data(), dir.size());
    folder->path[dir.size()] = '\0';
    folder->given = folderFd;
    folder->fd = folderFd >= 0 ? folderFd : ::open(dir.empty() ? "." : folder->path, O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder->fd < 0) return kNoSlot;
  }
  ++folder->users;
  return chosen;
}

void TemporaryFiles::LeaveFolder(size_t f) {
  Folder& folder = *folders_[f].load();
  if (--folder.users == 0) {
    if (folder.given < 0) ::close(folder.fd);
    folder.fd = -1;
  }
}

bool TemporaryFiles::FillSlot(File& file) {
  const std::string& path = file.path;
  const size_t slash = path.rfind('/');
  const std::string_view dir =
      slash == std::string::npos ? std::string_view() : std::string_view(path).substr(0, slash == 0 ? 1 : slash);
  const std::string_view name = slash == std::string::npos ? std::string_view(path) : std::string_view(path).substr(slash + 1);
  if (name.empty() || name.size() > NAME_MAX || dir.size() >= PATH_MAX) return false;
  const size_t f = TakeFolder(dir, file.dirFd);
  if (f == kNoSlot) return false;
  // Not read by a handler before the file is recorded.
  Slot& slot = SlotAt(file.slot);
  slot.folder = static_cast<unsigned>(f);
  std::memcpy(slot.name, name.data(), name.size());
  slot.name[name.size()] = '\0';
  // The file is made through the descriptor the handler unlinks it through.
  file.dirFd = folders_[f].load()->fd;
  return true;
}

namespace {

// Keeps every signal off the calling thread while it lives, when `hold`:
// a thread that holds the registry's lock, or makes a file not yet
// recorded, is never where a handler removing the files runs.
class SignalsHeld {
 public:
  explicit SignalsHeld(bool hold) : held_(hold) {
    if (!held_) return;
    sigset_t all;
    sigfillset(&all);
    ::pthread_sigmask(SIG_BLOCK, &all, &old_);
  }
  ~SignalsHeld() {
    if (held_) ::pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  bool held_;
  sigset_t old_;
};

}  // namespace

TemporaryFiles::Ticket TemporaryFiles::Reserve(std::string& path, int folderFd, bool inTable, int& err) {
  if (closed_ || ending_.load()) {
    err = ECANCELED;
    return kNoSlot;
  }
  Ticket t = freeFile_;
  try {
    if (t == kNoSlot) {
      files_.emplace_back();
      t = files_.size() - 1;
    } else {
      freeFile_ = files_[t].nextFree;
    }
  } catch (const std::bad_alloc&) {
    err = ENOMEM;
    return kNoSlot;
  }
  File& file = files_[t];
  file.state = File::kCreating;
  file.path.swap(path);  // the record's earlier path is freed by the caller, outside the lock
  file.slot = kNoSlot;
  file.dirFd = folderFd;
  if (inTable) {
    try {
      file.slot = TakeSlot();
    } catch (const std::bad_alloc&) {
      // Still removed by RemoveAll.
    }
    if (file.slot != kNoSlot && !FillSlot(file)) {
      freeSlots_.push_back(file.slot);
      file.slot = kNoSlot;
    }
  }
  return t;
}

void TemporaryFiles::Release(Ticket t) {
  File& file = files_[t];
  if (file.slot != kNoSlot) {
    // A file not made has its slot free in the table still: only its folder
    // and its place on the free list are given back.
    if (file.state == File::kMade) {
      FreeSlot(file.slot);
    } else {
      LeaveFolder(SlotAt(file.slot).folder);
      freeSlots_.push_back(file.slot);
    }
  }
  file.slot = kNoSlot;
  file.state = File::kFree;
  file.nextFree = freeFile_;
  freeFile_ = t;
}

int TemporaryFiles::Create(const std::string& path, int flags, mode_t mode, Ticket& ticket, int folderFd) {
  // No handler runs on this thread meanwhile, and one running on another
  // thread waits until the file is made and recorded (or removed again).
  const bool inTable = handlerRemoves_.load();
  SignalsHeld held(inTable);
  int err = ECANCELED;
  Ticket t = kNoSlot;
  int dirFd = -1;
  // Whatever the record needs (its memory, its slot and folder in the
  // table) is had before the Create counts as in progress: a handler that
  // waits for it may have stopped its own thread inside the allocator,
  // holding the lock another allocation would wait for. So too a file made
  // is never left unrecorded for want of memory. The path is copied here,
  // outside the lock, and swapped into the record.
  std::string spelled;
  try {
    spelled = path;
    std::lock_guard<std::mutex> lock(mutex_);
    t = Reserve(spelled, folderFd, inTable, err);
    if (t != kNoSlot) {
      dirFd = files_[t].dirFd;
      // Counted under the lock: a RemoveAll that closes the registry after
      // it waits for this Create.
      creating_.fetch_add(1);
    }
  } catch (const std::bad_alloc&) {
    err = ENOMEM;
  }
  if (t == kNoSlot) {
    errno = err;
    return -1;
  }
  int fd = -1;
  // A handler that began before the count does not wait for this Create:
  // then no file is made.
  if (!ending_.load()) {
    fd = dirFd >= 0 ? ::openat(dirFd, LastName(path).data(), flags | O_CREAT | O_EXCL, mode)
                    : ::open(path.c_str(), flags | O_CREAT | O_EXCL, mode);
    err = errno;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    File& file = files_[t];
    // A removal that came while the file was made has left it here.
    if (fd >= 0 && (closed_ || ending_.load())) {
      ::close(fd);
      if (dirFd >= 0) {
        ::unlinkat(dirFd, LastName(path).data(), 0);
      } else {
        ::unlink(path.c_str());
      }
      fd = -1;
      err = ECANCELED;
    }
    if (fd < 0) {
      Release(t);
    } else {
      file.state = File::kMade;
      if (file.slot != kNoSlot) SlotAt(file.slot).state.store(Slot::kRecorded);
    }
  }
  creating_.fetch_sub(1);
  if (fd < 0) {
    errno = err;
  } else {
    ticket = t;
  }
  return fd;
}

uint32_t TemporaryFiles::NextSuffix() {
  std::lock_guard<std::mutex> lock(suffixMutex_);
  if (suffixesLeft_ == 0) {
    const auto want = static_cast<ssize_t>(sizeof suffixes_);
    if (::getrandom(suffixes_, sizeof suffixes_, GRND_NONBLOCK) != want) {
      for (uint32_t& r : suffixes_) r = RandomNumber(static_cast<unsigned>(++drawn_));
    }
    suffixesLeft_ = kSuffixPool;
  }
  ++drawn_;
  return suffixes_[--suffixesLeft_];
}

void TemporaryFiles::Forget(Ticket ticket) {
  SignalsHeld held(handlerRemoves_.load());
  std::lock_guard<std::mutex> lock(mutex_);
  if (ticket < files_.size() && files_[ticket].state == File::kMade) Release(ticket);
}

size_t TemporaryFiles::RemoveAll(std::vector<Note>* failures) {
  size_t n = 0;
  {
    SignalsHeld held(handlerRemoves_.load());
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    for (File& file : files_) {
      // A file being made is removed by its own Create, waited for below.
      if (file.state != File::kMade) continue;
      ++n;
      // Through the folder it was made in, wherever that folder is now.
      const int removed = file.dirFd >= 0 ? ::unlinkat(file.dirFd, LastName(file.path).data(), 0)
                                          : ::unlink(file.path.c_str());
      if (removed != 0 && errno != ENOENT && failures != nullptr) {
        failures->push_back(
            Note(N_("cannot remove the temporary file %s: %s"), {ShownPath(file.path), Note::SystemError(errno)}));
      }
      // Forgotten: a later Forget of its ticket finds nothing to do.
      file.state = File::kFree;
    }
  }
  // Each Create in progress finds the registry closed once its file is made
  // and removes it.
  while (creating_.load() != 0) std::this_thread::yield();
  return n;
}

namespace {

// Writes on descriptor 2, in a signal handler.
void WriteError(const char* text, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(STDERR_FILENO, text, n);
    if (w <= 0) return;
    text += w;
    n -= static_cast<size_t>(w);
  }
}
void WriteError(const char* text) { WriteError(text, std::strlen(text)); }

// What an unlink that failed says, in a signal handler (strerror may not be
// called there).
const char* UnlinkErrorText(int err) {
  switch (err) {
    case EPERM: return "Operation not permitted";
    case EACCES: return "Permission denied";
    case EROFS: return "Read-only file system";
    case EBUSY: return "Device or resource busy";
    case EIO: return "Input/output error";
    default: return "refused by the system";
  }
}

// Writes `path` as ShownPath shows it, a character at a time, in a signal
// handler.
void WriteShown(std::string_view p) {
  while (!p.empty()) {
    size_t n = Utf8CharacterLength(p);
    const auto c = static_cast<unsigned char>(p[0]);
    if (n == 0 || c < 0x20 || c == 0x7F) {
      const char hex[] = "0123456789abcdef";
      const char escaped[4] = {'\\', 'x', hex[c >> 4], hex[c & 15]};
      WriteError(escaped, 4);
      n = 1;
    } else {
      WriteError(p.data(), n);
    }
    p.remove_prefix(n);
  }
}

}  // namespace

void TemporaryFiles::RemoveAllInSignalHandler() noexcept {
  ending_.store(true);
  // A Create on another thread finishes first (it cannot be this thread's:
  // it takes no signal).
  while (creating_.load() != 0) {
  }
  for (size_t i = 0; i < kSignalSafeSlots; ++i) {
    Slot* room = rooms_[i / kSlotsAtOnce].load();
    if (room == nullptr) break;  // made in order
    Slot& slot = room[i % kSlotsAtOnce];
    int recorded = Slot::kRecorded;
    if (!slot.state.compare_exchange_strong(recorded, Slot::kTaken)) continue;
    const Folder& folder = *folders_[slot.folder].load();
    if (::unlinkat(folder.fd, slot.name, 0) == 0 || errno == ENOENT) continue;
    const int err = errno;
    WriteError("velkan: cannot remove the temporary file ");
    if (folder.path[0] != '\0') {
      WriteShown(folder.path);
      if (std::strcmp(folder.path, "/") != 0) WriteError("/");
    }
    WriteShown(slot.name);
    WriteError(": ");
    WriteError(UnlinkErrorText(err));
    WriteError("\n");
  }
}

bool GivenDescriptor(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  const int fdFlags = ::fcntl(fd, F_GETFD);
  return flags >= 0 && fdFlags >= 0 && (flags & O_PATH) == 0 && (fdFlags & FD_CLOEXEC) == 0;
}

void PathLook::Take(const char* path) {
  struct stat st {};
  taken = true;
  if (::lstat(path, &st) != 0) {
    error = errno;
    device = 0;
    inode = 0;
    mode = 0;
    return;
  }
  error = 0;
  device = st.st_dev;
  inode = st.st_ino;
  mode = st.st_mode;
}

namespace {

// The bytes a listing that reads at most `budget` names asks for at a time:
// about that many entries of names of some twenty bytes (a folder of many
// other names is not read far past the budget), at most kListingRoom.
constexpr size_t kListingRoom = 32 << 10;
size_t ListingRoom(size_t budget) { return std::clamp<size_t>(budget * 40, 4 << 10, kListingRoom); }

}  // namespace

namespace {

// The last names of one folder's paths, each with the first of its paths
// that has it: a table of open addressing over the names as views into the
// paths (no copy, no node a name), found again by the names a listing holds.
class NamesOfPaths {
 public:
  // Room for `n` names; clears the names kept.
  void Reset(size_t n) {
    size_t size = 16;
    while (size < 2 * n) size *= 2;
    slots_.assign(size, Slot{});
    mask_ = size - 1;
  }
  // Records `name` as that of path `index`, unless a path before had it:
  // false then.
  bool Add(std::string_view name, size_t index) {
    Slot& slot = slots_[SlotOf(name)];
    if (slot.index != 0) return false;
    slot = {name, index + 1};
    return true;
  }
  // The first path whose last name is `name`, or npos.
  size_t Find(std::string_view name) const {
    const Slot& slot = slots_[SlotOf(name)];
    return slot.index == 0 ? std::string_view::npos : slot.index - 1;
  }

 private:
  struct Slot {
    std::string_view name;
    size_t index = 0;  // the path's plus one; 0: a free slot
  };
  size_t SlotOf(std::string_view name) const {
    // FNV-1a: names are short, and a listing asks for every name it holds.
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    size_t at = static_cast<size_t>(hash ^ (hash >> 32)) & mask_;
    while (slots_[at].index != 0 && slots_[at].name != name) at = (at + 1) & mask_;
    return at;
  }
  std::vector<Slot> slots_;
  size_t mask_ = 0;
};

}  // namespace

void LookThroughListings(const std::vector<std::string>& paths, std::vector<PathLook>& looks) {
  // The paths by folder (as spelled, up to the last "/"), their last names
  // beside; a name "." or ".." or none is left alone.
  // Paths come in runs from one folder: the run's folder is looked up once.
  std::unordered_map<std::string_view, std::vector<size_t>> byFolder;
  std::string_view lastFolder;
  std::vector<size_t>* lastIndexes = nullptr;
  for (size_t i = 0; i < paths.size() && i < looks.size(); ++i) {
    const std::string_view name = LastName(paths[i]);
    if (name.empty() || name == "." || name == ".." || looks[i].taken) continue;
    const std::string_view folder = std::string_view(paths[i]).substr(0, paths[i].size() - name.size());
    if (lastIndexes == nullptr || folder != lastFolder) {
      lastIndexes = &byFolder[folder];
      lastFolder = folder;
    }
    lastIndexes->push_back(i);
  }
  std::unique_ptr<char[]> room;
  NamesOfPaths named;
  for (const auto& [spelled, indexes] : byFolder) {
    if (indexes.size() < kListedAtLeast) continue;
    const std::string folder = spelled.empty() ? std::string(".") : std::string(spelled);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
      ::close(fd);
      continue;
    }
    // A path's last name follows its folder as spelled.
    named.Reset(indexes.size());
    bool again = false;  // a name given twice: its first path is looked up
    for (size_t i : indexes) again = !named.Add(std::string_view(paths[i]).substr(spelled.size()), i) || again;
    if (!room) room = std::make_unique_for_overwrite<char[]>(kListingRoom);
    // A folder of many other names is listed only in part: an lstat of each
    // path costs less than reading them all.
    const size_t budget = 4 * indexes.size() + 64;
    const size_t asked = ListingRoom(budget);
    size_t read = 0;
    ssize_t n;
    while (read < budget && (n = ::getdents64(fd, room.get(), asked)) > 0) {
      for (ssize_t at = 0; at < n;) {
        const auto* entry = reinterpret_cast<const struct dirent64*>(room.get() + at);
        at += entry->d_reclen;
        ++read;
        if (entry->d_type != DT_REG) continue;
        const size_t i = named.Find(std::string_view(entry->d_name, ::strlen(entry->d_name)));
        if (i == std::string_view::npos) continue;
        PathLook& look = looks[i];
        look.taken = true;
        look.error = 0;
        look.device = st.st_dev;
        look.inode = entry->d_ino;
        look.mode = S_IFREG;
        look.listed = true;
      }
    }
    ::close(fd);
    // A path given again (the same folder and name) looks as it did first.
    for (size_t k = 0; again && k < indexes.size(); ++k) {
      const size_t i = indexes[k];
      const size_t first = named.Find(std::string_view(paths[i]).substr(spelled.size()));
      if (first != i && looks[first].listed) looks[i] = looks[first];
    }
  }
}

namespace {

// Whether the folder open as `fd` matches names by their bytes alone, as
// the file systems that do unless a folder asks otherwise (case folding,
// which such a folder shows in its flags).
bool NamesMatchByBytes(int fd) {
  struct statfs fsInfo {};
  if (::fstatfs(fd, &fsInfo) != 0) return false;
  switch (static_cast<unsigned long>(fsInfo.f_type)) {
    case TMPFS_MAGIC:
    case EXT4_SUPER_MAGIC:  // ext2 and ext3 too
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case F2FS_SUPER_MAGIC:
      break;
    default:
      return false;
  }
  int flags = 0;
  if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) return errno == ENOTTY || errno == EOPNOTSUPP;
  return (static_cast<unsigned>(flags) & FS_CASEFOLD_FL) == 0;
}

}  // namespace

FolderNames::FolderNames(const std::string& folder, size_t expected) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  if (!NamesMatchByBytes(fd)) {
    ::close(fd);
    return;
  }
  // As LookThroughListings: a folder of many other names is read only in
  // part, and then says nothing.
  const size_t budget = 4 * expected + 64;
  const size_t asked = ListingRoom(budget);
  const auto room = std::make_unique_for_overwrite<char[]>(asked);
  // The listing is whole once a read finds no more names; one that reaches
  // the budget first is not read further.
  size_t read = 0;
  for (bool more = true; more;) {
    const ssize_t n = ::getdents64(fd, room.get(), asked);
    complete_ = n == 0;
    more = n > 0;
    for (ssize_t at = 0; more && at < n;) {
      const auto* entry = reinterpret_cast<const struct dirent64*>(room.get() + at);
      at += entry->d_reclen;
      more = ++read < budget;
      const std::string_view name = entry->d_name;
      if (name != "." && name != "..") names_.emplace(name);
    }
  }
  ::close(fd);
  if (!complete_) names_.clear();
}

bool FolderNames::Lacks(std::string_view path) const {
  const std::string_view name = LastName(path);
  // An empty folder (a batch's new one) lacks every name: no hashing.
  return complete_ && !name.empty() && name != "." && name != ".." && name.size() <= NAME_MAX &&
         path.size() < PATH_MAX && (names_.empty() || !names_.contains(name));
}

int NamedDescriptor(const std::string& path, PathLook* look) {
  // A regular file or a folder is no descriptor's name: those are links
  // (/dev/stdin, the entries of /proc/self/fd) or devices. Most paths are
  // told so with one lstat, on the path's bytes, instead of resolving their
  // folders.
  PathLook first;
  if (!path.empty()) first.Take(path.c_str());
  if (look != nullptr) *look = first;
  if (path.empty()) return -1;  // names nothing
  if (first.error == 0 && (S_ISREG(first.mode) || S_ISDIR(first.mode))) return -1;
  std::error_code ec;
  fs::path p = path;
  for (int hops = 0; hops <= 40; ++hops) {
    struct stat st {};
    if (hops > 0 && !p.empty() && ::lstat(p.c_str(), &st) == 0 && (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) {
      return -1;
    }
    fs::path abs = fs::absolute(p, ec);
    if (ec || abs.empty()) return -1;
    int n = DescriptorSpelled(abs.lexically_normal());
    if (n >= 0) return n;
    // A folder that leads to one of those (/dev/fd is a link to /proc/self/fd).
    fs::path folder = fs::canonical(abs.parent_path(), ec);
    if (!ec) {
      n = DescriptorSpelled(folder / abs.filename());
      if (n >= 0) return n;
    }
    if (!fs::is_symlink(fs::symlink_status(abs, ec))) return -1;
    fs::path to = fs::read_symlink(abs, ec);
    if (ec) return -1;
    p = to.is_absolute() ? to : abs.parent_path() / to;
  }
  return -1;
}

namespace {

// ResolvedPath, with the folders resolved through `resolver` when given.
fs::path Resolve(const fs::path& path, PathResolver* resolver) {
  std::error_code ec;
  fs::path p = resolver != nullptr ? resolver->Absolute(path) : fs::absolute(path, ec);
  if (ec) p = path;
  for (int hops = 0;; ++hops) {
    fs::path name = p.filename();
    if (name.empty() || name == "." || name == "..") {
      fs::path whole = fs::weakly_canonical(p, ec);
      return ec ? p.lexically_normal() : whole;
    }
    fs::path folder =
        resolver != nullptr ? resolver->Folder(p.parent_path()) : fs::weakly_canonical(p.parent_path(), ec);
    if (ec) folder = p.parent_path().lexically_normal();
    p = folder / name;
    if (hops >= 40 || !fs::is_symlink(fs::symlink_status(p, ec))) return p;
    fs::path to = fs::read_symlink(p, ec);
    if (ec) return p;
    p = to.is_absolute() ? to : folder / to;
  }
}

}  // namespace

fs::path ResolvedPath(const fs::path& path) { return Resolve(path, nullptr); }

fs::path PathResolver::Absolute(const fs::path& path) {
  if (path.is_absolute() || path.empty()) return path;
  if (cwd_.empty()) {
    std::error_code ec;
    cwd_ = fs::current_path(ec);
    if (ec) return fs::absolute(path, ec);
  }
  return cwd_ / path;
}

fs::path PathResolver::Folder(const fs::path& folder) {
  auto it = folders_.find(folder.native());
  if (it != folders_.end()) return it->second;
  std::error_code ec;
  fs::path whole = fs::weakly_canonical(folder, ec);
  if (ec) {
    whole = folder.lexically_normal();
    inexact_.insert(folder.native());
  }
  folders_.emplace(folder.native(), whole);
  return whole;
}

PathResolver::FolderMap::iterator PathResolver::AddFolder(std::string_view spelled, bool& present) {
  // A folder whose own name is a folder, no link (one lstat), in a folder
  // resolved exactly is that folder resolved and its name: a batch's inputs
  // in many folders of one folder resolve it once.
  const size_t cut = spelled.rfind('/');
  const std::string_view name = cut == std::string_view::npos ? spelled : spelled.substr(cut + 1);
  if (cut != std::string_view::npos && spelled.size() > 1 && !name.empty() && name != "." && name != "..") {
    const std::string_view parent = spelled.substr(0, cut == 0 ? 1 : cut);
    auto up = folders_.find(parent);
    bool parentPresent = false;
    if (up == folders_.end()) up = AddFolder(parent, parentPresent);
    struct stat st {};
    if (!inexact_.contains(parent) && ::lstat(std::string(spelled).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      present = true;
      std::string resolved = up->second.native();
      if (resolved.empty() || resolved.back() != '/') resolved += '/';
      resolved += name;
      return folders_.emplace(std::string(spelled), fs::path(std::move(resolved))).first;
    }
  }
  const fs::path folder{std::string(spelled)};
  std::error_code ec;
  fs::path resolved = fs::weakly_canonical(folder, ec);
  if (ec) {
    resolved = folder.lexically_normal();
    inexact_.emplace(spelled);
  }
  return folders_.emplace(std::string(spelled), std::move(resolved)).first;
}

fs::path PathResolver::Resolve(const fs::path& path) {
  std::string resolved;
  ResolveInto(path.native(), resolved);
  return fs::path(std::move(resolved));
}

bool PathResolver::ResolveInto(const std::string& path, std::string& out, PathLook* look) {
  // A name in a folder, told apart on the path's bytes: the folder looked up
  // as it is spelled, the name appended, and one lstat for a link. Anything
  // else (a name "." or "..", a path ending in "/") goes the whole way.
  auto whole = [&] {
    out = velkan::Resolve(path, this).native();
    return false;
  };
  const size_t cut = path.rfind('/');
  const std::string_view name = cut == std::string::npos ? std::string_view(path) : std::string_view(path).substr(cut + 1);
  if (name.empty() || name == "." || name == "..") return whole();
  // The paths of a batch come in runs from one folder: the folder of the
  // path before, as spelled up to its last "/", is taken as it was resolved.
  const std::string_view key = std::string_view(path).substr(0, cut == std::string::npos ? 0 : cut + 1);
  if (lastFolder_ == nullptr || key != lastKey_) {
    std::string& spelledPath = joined_;  // the path made absolute, as spelled
    if (path.front() == '/') {
      spelledPath.assign(path);
    } else {
      if (cwd_.empty()) {
        std::error_code ec;
        cwd_ = fs::current_path(ec);
        if (ec) {
          cwd_.clear();
          return whole();
        }
      }
      spelledPath.assign(cwd_.native());
      if (spelledPath.back() != '/') spelledPath += '/';
      spelledPath += path;
    }
    const size_t slash = spelledPath.rfind('/');
    const std::string_view spelled = std::string_view(spelledPath).substr(0, slash == 0 ? 1 : slash);
    bool present = false;
    auto it = folders_.find(spelled);
    if (it == folders_.end()) it = AddFolder(spelled, present);
    lastExact_ = !inexact_.contains(spelled);
    lastKey_.assign(key);
    lastFolder_ = &it->second.native();
    // Nothing stands in a folder that is not there (a batch's new output
    // folder): its names need no lstat of their own.
    struct stat folder {};
    lastAbsent_ = lastExact_ && !present && ::stat(lastFolder_->c_str(), &folder) != 0 && errno == ENOENT;
  }
  const bool exact = lastExact_;
  out.reserve(lastFolder_->size() + 1 + name.size());
  out.assign(*lastFolder_);
  if (out.empty() || out.back() != '/') out += '/';
  out += name;
  PathLook own;
  PathLook& seen = look != nullptr ? *look : own;
  if (!seen.taken && lastAbsent_) {
    seen.taken = true;
    seen.error = ENOENT;
  } else if (!seen.taken) {
    seen.Take(out.c_str());
  }
  if (seen.error == 0 && S_ISLNK(seen.mode)) return whole();
  // The folder resolved exactly and the name no link: a stat of the path as
  // given would find the same file, or none.
  return look != nullptr && exact && (seen.error == 0 || seen.error == ENOENT);
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  if (a.empty() || b.empty() || ::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

OutputFolder OutputFolder::Of(const std::string& output, size_t listUpTo) {
  std::error_code ec;
  fs::path folder = fs::absolute(output, ec).parent_path();
  if (ec) folder = fs::path(output).parent_path();
  fs::path whole = fs::weakly_canonical(folder, ec);
  OutputFolder f = LookAtFolder(ec ? folder.lexically_normal() : whole);
  if (f.error == 0) OpenFolder(f, listUpTo);
  return f;
}

OutputFolder::~OutputFolder() {
  if (fd >= 0) ::close(fd);
}

OutputFolder::OutputFolder(OutputFolder&& other) noexcept { *this = std::move(other); }

OutputFolder& OutputFolder::operator=(OutputFolder&& other) noexcept {
  if (this == &other) return *this;
  if (fd >= 0) ::close(fd);
  dir = std::move(other.dir);
  error = other.error;
  st = other.st;
  nameMax = other.nameMax;
  attributes = other.attributes;
  access = other.access;
  fd = std::exchange(other.fd, -1);
  listed = std::exchange(other.listed, false);
  names = std::move(other.names);
  return *this;
}

Note OutputFile::Check(const std::string& path, const OutputFolder* folder) {
  return MakePlan(path, -1, folder).error;
}

Note OutputFile::Examine(const std::string& path, const OutputFolder* folder) {
  examined_ = std::make_unique<Plan>(MakePlan(path, -1, folder));
  examinedPath_ = path;
  examinedFolder_ = folder;
  return examined_->error;
}

Note OutputFile::CheckDescriptor(int fd, const std::string& name) { return MakePlan(name, fd).error; }

bool OutputFile::Exists(const std::string& path) {
  struct stat st {};
  return NamedDescriptor(path) >= 0 || ::stat(path.c_str(), &st) == 0;
}

OutputFile::OutputFile() = default;
OutputFile::~OutputFile() { Discard(); }

Note OutputFile::WithLeftover(Note error) const {
  return leftover_.empty() ? error : Note(N_("%s; %s"), {std::move(error), leftover_});
}

void OutputFile::RemoveTemporary() {
  if (temporary_.empty()) return;
  const int removed = folder_ != nullptr ? ::unlinkat(folder_->fd, LastName(temporary_).data(), 0)
                                         : ::unlink(temporary_.c_str());
  if (removed != 0 && errno != ENOENT) {
    leftover_ = Note(N_("the temporary file %s could not be removed (%s); it may be removed by hand"),
                     {ShownPath(temporary_), Note::SystemError(errno)});
  }
  if (temporaries_ != nullptr) temporaries_->Forget(ticket_);
  temporary_.clear();
}

void OutputFile::Restart(TemporaryFiles* temporaries) {
  Discard();
  folder_ = nullptr;
  seenAbsent_ = false;
  error_ = Note();
  leftover_ = Note();
  inPlace_ = false;
  nonBlocking_ = false;
  temporaries_ = temporaries;
}

bool OutputFile::Adopt(int fd, const std::string& name) {
  Restart(nullptr);
  examined_.reset();
  target_ = name;
  existed_ = true;
  fd_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (fd_ < 0) {
    error_ = Describe(N_("cannot write %s: %s"), target_, errno);
    return false;
  }
  inPlace_ = true;
  return true;
}

bool OutputFile::Open(const std::string& path, TemporaryFiles* temporaries, const OutputFolder* folder,
                      const std::function<bool()>* cancelled) {
  Restart(temporaries);
  std::unique_ptr<Plan> examined = std::move(examined_);
  Plan plan = examined != nullptr && examinedPath_ == path && examinedFolder_ == folder ? std::move(*examined)
                                                                                        : MakePlan(path, -1, folder);
  target_ = plan.target;
  existed_ = plan.exists || plan.way == Way::kDescriptor;
  if (!plan.error.empty()) {
    error_ = plan.error;
    return false;
  }
  auto inPlace = [this](int fd, const char* format) {
    fd_ = fd;
    if (fd_ < 0) {
      error_ = Describe(format, target_, errno);
      return false;
    }
    inPlace_ = true;
    return true;
  };
  if (plan.way == Way::kDescriptor) return inPlace(::fcntl(plan.descriptor, F_DUPFD_CLOEXEC, 3), N_("cannot write to %s: %s"));
  // A regular file written in place is emptied first; a pipe or a device is
  // written as it comes.
  const int inPlaceFlags = O_WRONLY | O_CLOEXEC | O_NOCTTY | (S_ISREG(plan.old.st_mode) ? O_TRUNC : 0);
  if (plan.way == Way::kInPlace) {
    if (cancelled == nullptr || !*cancelled || S_ISREG(plan.old.st_mode)) {
      return inPlace(::open(target_.c_str(), inPlaceFlags), N_("cannot create %s: %s"));
    }
    // A FIFO or a device that blocks is waited for while the job can still
    // be cancelled.
    if (!inPlace(OpenCancellably(target_.c_str(), inPlaceFlags, S_ISFIFO(plan.old.st_mode), *cancelled),
                 N_("cannot create %s: %s"))) {
      return false;
    }
    nonBlocking_ = true;
    return true;
  }

  if (MakeTemporary(plan)) return true;
  const int err = errno;
  // The folder changed since it was looked at: an output it holds may
  // still be rewritten.
  if (plan.exists && (err == EACCES || err == EPERM || err == EROFS)) {
    return inPlace(::open(target_.c_str(), inPlaceFlags), N_("cannot create %s: %s"));
  }
  error_ = Describe(N_("cannot create %s: %s"), target_, err);
  return false;
}

bool OutputFile::OpenReplacement(const std::string& path, TemporaryFiles* temporaries, const OutputFolder& folder) {
  Restart(temporaries);
  examined_.reset();
  Plan plan;
  if (!PlanInFolder(path, folder, plan)) return false;
  target_ = plan.target;
  existed_ = plan.exists;
  if (!plan.error.empty()) {
    error_ = plan.error;
    return false;
  }
  // Never in place, not even when the folder turns out to take no new file
  // any more: that would empty the output now.
  if (plan.way != Way::kReplace) return false;
  if (MakeTemporary(plan)) return true;
  error_ = Describe(N_("cannot create %s: %s"), target_, errno);
  return false;
}

bool OutputFile::MakeTemporary(const Plan& plan) {
  // The temporary name is the output's with 17 bytes more; a name near the
  // limit of 255 bytes is shortened for it.
  // The name is built as bytes: the target is a resolved path, its folder
  // all but its last name.
  const std::string& target = target_;
  const std::string_view name = LastName(target).substr(0, 200);
  const std::string_view dir = std::string_view(target).substr(0, target.size() - LastName(target).size());
  // The folder joined as InFolder joins it, with room for the whole name
  // made below (".", the name, ".velkan-" and eight digits) at once.
  std::string spelled;
  spelled.reserve(dir.size() + 1 + 1 + name.size() + 8 + 8);
  spelled += dir;
  if (!dir.empty() && dir.back() != '/') spelled += '/';
  // In a folder kept open, the file is made (and later renamed) through its
  // descriptor.
  folder_ = plan.folder != nullptr && plan.folder->fd >= 0 ? plan.folder : nullptr;
  seenAbsent_ = folder_ != nullptr && !plan.exists;
  const int dirFd = folder_ != nullptr ? folder_->fd : -1;
  const size_t nameAt = spelled.size();
  spelled += '.';
  spelled += name;
  spelled += ".velkan-";
  const size_t base = spelled.size();
  const int flags = O_WRONLY | O_CLOEXEC;
  int err = 0;
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    spelled.resize(base);
    AppendSuffix(spelled, temporaries_ != nullptr ? temporaries_->NextSuffix() : RandomNumber(attempt));
    fd_ = temporaries_ != nullptr ? temporaries_->Create(spelled, flags, 0666, ticket_, dirFd)
          : dirFd >= 0            ? ::openat(dirFd, spelled.c_str() + nameAt, flags | O_CREAT | O_EXCL, 0666)
                                  : ::open(spelled.c_str(), flags | O_CREAT | O_EXCL, 0666);
    if (fd_ >= 0) {
      temporary_.swap(spelled);
      break;
    }
    err = errno;
    if (err != EEXIST) break;
  }
  if (fd_ < 0) {
    errno = err;
    return false;
  }
  if (plan.exists) {
    struct stat mine {};
    const bool looked = ::fstat(fd_, &mine) == 0;
    KeepOwnerAndMode(
        plan.old, looked ? &mine : nullptr, [this](uid_t u, gid_t g) { return ::fchown(fd_, u, g) == 0; },
        [this](mode_t mode) { return ::fchmod(fd_, mode) == 0; });
  }
  return true;
}

bool OutputFile::Close(bool sync) {
  if (fd_ < 0) {
    if (error_.empty()) error_ = Note(N_("no output file is open"));
    return false;
  }
  int err = 0;
  struct stat st {};
  // EINVAL: a file that cannot be synced, which is no failed write.
  if (sync && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) && ::fsync(fd_) != 0 && errno != EINVAL) err = errno;
  if (::close(fd_) != 0 && err == 0 && errno != EINTR) err = errno;
  fd_ = -1;
  if (err != 0) {
    // A write the disk refused late: the earlier output stays.
    RemoveTemporary();
    error_ = WithLeftover(Describe(N_("cannot write %s: %s"), target_, err));
    return false;
  }
  return true;
}

bool OutputFile::Rename() {
  if (temporary_.empty()) return true;
  int renamed;
  if (folder_ == nullptr) {
    renamed = ::rename(temporary_.c_str(), target_.c_str());
  } else {
    const char* from = LastName(temporary_).data();
    const char* to = LastName(target_).data();
    if (!seenAbsent_) {
      renamed = ::renameat(folder_->fd, from, folder_->fd, to);
    } else {
      renamed = ::renameat2(folder_->fd, from, folder_->fd, to, RENAME_NOREPLACE);
      // Something stands there now, or the file system cannot tell.
      if (renamed != 0 && (errno == EEXIST || errno == EINVAL || errno == ENOSYS)) return RenameOntoNewcomer();
    }
  }
  if (renamed != 0) {
    const int err = errno;
    RemoveTemporary();
    error_ = WithLeftover(Describe(N_("cannot replace %s: %s"), target_, err));
    return false;
  }
  if (temporaries_ != nullptr) temporaries_->Forget(ticket_);
  temporary_.clear();
  return true;
}

bool OutputFile::RenameOntoNewcomer() {
  const int dirFd = folder_->fd;
  const char* from = LastName(temporary_).data();
  const char* to = LastName(target_).data();
  auto fail = [this](Note why) {
    RemoveTemporary();
    error_ = WithLeftover(std::move(why));
    return false;
  };
  Plan p;
  p.target = target_;
  uint64_t attributes = 0;
  if (LookWithAttributes(dirFd, to, p.old, attributes)) {
    // A folder refuses the rename, as it always did.
    if (S_ISDIR(p.old.st_mode)) return fail(Describe(N_("cannot replace %s: %s"), target_, EISDIR));
    if (!S_ISREG(p.old.st_mode)) {
      return fail(Describe(N_("cannot replace %s: %s (something other than a file was made there while the job "
                              "ran; it is left as it is)"),
                           target_, EEXIST));
    }
    // A file: replaced as the Open would have replaced it, had it stood
    // there then.
    p.exists = true;
    p.attributes = attributes;
    if (!CheckInFolder(p, *folder_).error.empty()) return fail(p.error);
    struct stat mine {};
    const bool looked = ::fstatat(dirFd, from, &mine, AT_SYMLINK_NOFOLLOW) == 0;
    KeepOwnerAndMode(
        p.old, looked ? &mine : nullptr,
        [&](uid_t u, gid_t g) { return ::fchownat(dirFd, from, u, g, AT_SYMLINK_NOFOLLOW) == 0; },
        [&](mode_t mode) { return ::fchmodat(dirFd, from, mode, 0) == 0; });
  } else if (errno != ENOENT) {
    return fail(Describe(N_("cannot replace %s: %s"), target_, errno));
  }
  // Nothing stands there (gone again, or the file system renames only with
  // a replacement): renamed as before.
  if (::renameat(dirFd, from, dirFd, to) != 0) return fail(Describe(N_("cannot replace %s: %s"), target_, errno));
  if (temporaries_ != nullptr) temporaries_->Forget(ticket_);
  temporary_.clear();
  return true;
}

bool OutputFile::Commit() {
  if (!Close(true)) return false;
  if (temporary_.empty()) return true;
  if (!Rename()) return false;
  // The new name reaches the disk with the folder.
  SyncFolder(std::string(folder()));
  return true;
}

std::string_view OutputFile::folder() const {
  const size_t slash = target_.rfind('/');
  if (slash == std::string::npos) return {};
  return std::string_view(target_).substr(0, slash == 0 ? 1 : slash);
}

bool OutputFile::CloseUnsynced() {
  if (!Close(false)) return false;
  closedUnsynced_ = !temporary_.empty();
  return true;
}

bool OutputFile::Deliver(int syncError) {
  if (!closedUnsynced_) {
    error_ = Note(N_("no output file is waiting to be put in place"));
    return false;
  }
  closedUnsynced_ = false;
  if (syncError != 0) {
    RemoveTemporary();
    error_ = WithLeftover(Describe(N_("cannot write %s: %s"), target_, syncError));
    return false;
  }
  return Rename();
}

int SyncFileSystemOf(const fs::path& folder) {
  int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) return errno;
  int err = ::syncfs(dirFd) == 0 ? 0 : errno;
  ::close(dirFd);
  return err;
}

void SyncFolder(const fs::path& folder) {
  int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
}

void OutputFile::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  closedUnsynced_ = false;
  RemoveTemporary();
}

}  // namespace velkan
