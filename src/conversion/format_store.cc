#include "conversion/format_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "io/byte_order.h"
#include "io/message_mark.h"
#include "io/shown_path.h"
#include "tables/table_root.h"

namespace velkan {

namespace fs = std::filesystem;

namespace {

constexpr off_t kTableBytes = kFormatCount;
constexpr off_t kFormatFileBytes = off_t{kFormatCount} * kFormatRecordBytes;

// `format` with the path and the system's error in its places.
Note Describe(const char* format, const fs::path& path, int err) {
  return Note(format, {ShownPath(path), Note::SystemError(err)});
}

// Writes all n bytes at `offset`; a regular file takes them in one call.
bool WriteAllAt(int fd, const void* data, size_t n, off_t offset) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    ssize_t w = ::pwrite(fd, p, n, offset);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      if (w == 0) errno = EIO;
      return false;
    }
    p += w;
    n -= static_cast<size_t>(w);
    offset += w;
  }
  return true;
}

// Reads exactly n bytes at `offset`; the end of the file counts as an error.
bool ReadAllAt(int fd, void* data, size_t n, off_t offset) {
  char* p = static_cast<char*>(data);
  while (n > 0) {
    ssize_t r = ::pread(fd, p, n, offset);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      if (r == 0) errno = EIO;
      return false;
    }
    p += r;
    n -= static_cast<size_t>(r);
    offset += r;
  }
  return true;
}

// Opens a store file for reading and writing, creating it (and a missing
// folder above it) when it cannot be opened. Only regular files are taken.
int OpenOrCreate(const fs::path& path, Note& error) {
  // O_NONBLOCK keeps a stray FIFO of that name from stopping the job; it
  // means nothing for a regular file.
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (::mkdir(path.parent_path().c_str(), 0777) != 0 && errno != EEXIST) {
      error = Describe(N_("cannot create the folder %s: %s"), path.parent_path(), errno);
      return -1;
    }
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) {
      error = Describe(N_("cannot open or create %s: %s"), path, errno);
      return -1;
    }
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    error = Describe(N_("cannot examine %s: %s"), path, errno);
    ::close(fd);
    return -1;
  }
  if (!S_ISREG(st.st_mode)) {
    error = Note(N_("not a regular file: %s"), {ShownPath(path)});
    ::close(fd);
    return -1;
  }
  return fd;
}

// Fills a store file up to its fixed size with zero bytes: a new file gets
// all of them, one cut short by an interrupted creation the rest.
bool FillToSize(int fd, off_t size, const fs::path& path, Note& error) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    error = Describe(N_("cannot examine %s: %s"), path, errno);
    return false;
  }
  if (st.st_size >= size) return true;
  std::vector<char> zeros(static_cast<size_t>(size - st.st_size), '\0');
  if (!WriteAllAt(fd, zeros.data(), zeros.size(), st.st_size)) {
    error = Describe(N_("cannot write %s: %s"), path, errno);
    return false;
  }
  return true;
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Takes the lock of the table file (LOCK_SH or LOCK_EX), waiting as long as
// another conversion holds it in the way, and lets go of it when it goes out
// of scope. Turning a held lock from shared to exclusive lets go of it first.
class StoreLock {
 public:
  StoreLock(FormatStore& s, int how) : s_(s) { Take(how); }
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;
  // Also after a failed turn, which may have let go of the lock already.
  ~StoreLock() { ::flock(s_.tableFd, LOCK_UN); }
  // False (with `error` set) when the lock could not be taken.
  bool Take(int how) {
    int locked;
    do {
      locked = ::flock(s_.tableFd, how);
    } while (locked != 0 && errno == EINTR);
    held_ = locked == 0;
    if (!held_) s_.error = Describe(N_("cannot lock %s: %s"), s_.tablePath, errno);
    return held_;
  }
  bool held() const { return held_; }

 private:
  FormatStore& s_;
  bool held_ = false;
};

// True when the file is shorter than `size` (or cannot be examined).
bool ShortFile(int fd, off_t size) {
  struct stat st {};
  return ::fstat(fd, &st) != 0 || st.st_size < size;
}

// The flags as the table holds them: 1 for a defined format, else 0.
std::array<uint8_t, kFormatCount> TableBytes(const FormatStore& s) {
  std::array<uint8_t, kFormatCount> flags;
  for (size_t i = 0; i < flags.size(); ++i) flags[i] = s.state[i] >> 7;
  return flags;
}

std::pair<unsigned long long, unsigned long long> Identity(const struct stat& st) {
  return {static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino)};
}

// Whether `path` still leads to the file that had the identity `id` when it
// was opened, at its full `size`.
bool StillNamed(const fs::path& path, const std::pair<unsigned long long, unsigned long long>& id, off_t size) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && Identity(st) == id && st.st_size >= size;
}

// Takes the files `s.kept` holds for `storeDir`; closes them when they are
// another folder's. True when taken. Whether the store's names still lead
// to them is asked when the pass first needs the store (ReadPendingFlags):
// a pass that never does is spared the look.
bool TakeKept(FormatStore& s, const fs::path& storeDir) {
  FormatStoreFiles& k = *s.kept;
  const bool usable = k.Holds(storeDir) && k.formatFd >= 0;
  if (usable) {
    // The paths go to the pass and come back when it hands the files back.
    s.tableFd = k.tableFd;
    s.formatFd = k.formatFd;
    s.storeDir = std::move(k.storeDir);
    s.tablePath = std::move(k.tablePath);
    s.formatPath = std::move(k.formatPath);
  } else {
    CloseFd(k.formatFd);
    CloseFd(k.tableFd);
    k.tableId = k.formatId = {};
  }
  k.tableFd = k.formatFd = -1;
  return usable;
}

// Hands the open files of `s` to `s.kept` (for `storeDir`).
void Keep(FormatStore& s) {
  FormatStoreFiles& k = *s.kept;
  // Files taken from `k` keep the identities they had; new ones are asked.
  if (k.tableId == decltype(k.tableId){} || k.formatId == decltype(k.formatId){}) {
    struct stat table {}, format {};
    if (::fstat(s.tableFd, &table) != 0 || ::fstat(s.formatFd, &format) != 0) return;
    k.tableId = Identity(table);
    k.formatId = Identity(format);
  }
  k.storeDir = std::move(s.storeDir);
  k.tableFd = s.tableFd;
  k.formatFd = s.formatFd;
  k.tablePath = std::move(s.tablePath);
  k.formatPath = std::move(s.formatPath);
  s.tableFd = s.formatFd = -1;
}

// Reads the defined flags under the shared lock, so not while another pass
// writes the store, into `tableOnDisk` and `state` (no format has a cache
// slot yet). False with `error` set when they could not be read.
bool ReadFlags(FormatStore& s) {
  {
    StoreLock lock(s, LOCK_SH);
    if (!lock.held()) return false;
    if (!ReadAllAt(s.tableFd, s.tableOnDisk.data(), s.tableOnDisk.size(), 0)) {
      s.error = Describe(N_("cannot read %s: %s"), s.tablePath, errno);
      return false;
    }
  }
  for (int i = 0; i < kFormatCount; ++i) {
    s.state[static_cast<size_t>(i)] = s.tableOnDisk[static_cast<size_t>(i)] != 0 ? 0xFF : kNoSlot;
  }
  s.flagsPending = false;
  return true;
}

// Finds and opens (or creates) the store files below `storeDir` and reads
// the defined flags; OpenFormatStore without files kept.
int16_t OpenFiles(FormatStore& s, const fs::path& storeDir) {
  s.storeDir = storeDir;
  s.tablePath = ResolveUnder(storeDir, kFormatTableName);
  s.formatPath = ResolveUnder(storeDir, kFormatFileName);
  s.tableFd = OpenOrCreate(s.tablePath, s.error);
  if (s.tableFd < 0) return -1;
  bool ok;
  {
    // The flags are read while no pass writes the store.
    StoreLock lock(s, LOCK_SH);
    ok = lock.held();
    if (ok) {
      s.formatFd = OpenOrCreate(s.formatPath, s.error);
      ok = s.formatFd >= 0;
    }
    // Files just created, or cut short, are filled up by a pass that holds
    // the store alone (and finds them filled when another one did it
    // meanwhile).
    if (ok && (ShortFile(s.tableFd, kTableBytes) || ShortFile(s.formatFd, kFormatFileBytes))) {
      ok = lock.Take(LOCK_EX) && FillToSize(s.tableFd, kTableBytes, s.tablePath, s.error) &&
           FillToSize(s.formatFd, kFormatFileBytes, s.formatPath, s.error);
    }
    if (ok && !ReadAllAt(s.tableFd, s.tableOnDisk.data(), s.tableOnDisk.size(), 0)) {
      s.error = Describe(N_("cannot read %s: %s"), s.tablePath, errno);
      ok = false;
    }
  }
  if (!ok) {
    CloseFd(s.formatFd);
    CloseFd(s.tableFd);
    return -1;
  }

  for (int i = 0; i < kFormatCount; ++i) {
    s.state[static_cast<size_t>(i)] = s.tableOnDisk[static_cast<size_t>(i)] != 0 ? 0xFF : kNoSlot;
  }
  return 0;
}

// The flags of a pass lent kept files, read when it first loads or defines
// a format. The files are those the store's names lead to when they were
// opened; another program may have replaced or removed one since, and then
// they are found and opened (or made) afresh, as a pass without kept files
// would. False with `error` set when the flags could not be had.
bool ReadPendingFlags(FormatStore& s) {
  if (s.tableFd < 0) return false;
  if (s.kept != nullptr && StillNamed(s.tablePath, s.kept->tableId, kTableBytes) &&
      StillNamed(s.formatPath, s.kept->formatId, kFormatFileBytes)) {
    return ReadFlags(s);
  }
  CloseFd(s.formatFd);
  CloseFd(s.tableFd);
  // The identities are asked again when the new files are kept.
  if (s.kept != nullptr) s.kept->tableId = s.kept->formatId = {};
  s.flagsPending = false;
  const fs::path dir = std::move(s.storeDir);
  return OpenFiles(s, dir) == 0;
}

}  // namespace

FormatStoreFiles::~FormatStoreFiles() {
  CloseFd(formatFd);
  CloseFd(tableFd);
}

FormatStore::FormatStore() {
  state.fill(kNoSlot);
  playCounter.fill(-1);
  owner.fill(-1);
}

FormatStore::~FormatStore() {
  CloseFd(formatFd);
  CloseFd(tableFd);
}

int16_t OpenFormatStore(FormatStore& s, const fs::path& storeDir) {
  CloseFd(s.formatFd);
  CloseFd(s.tableFd);
  s.error = Note();
  s.owner.fill(-1);
  s.flagsPending = false;
  if (s.kept != nullptr && TakeKept(s, storeDir)) {
    // The files are looked at, and the flags read, when a format is first
    // loaded or defined.
    s.state.fill(kNoSlot);
    s.flagsPending = true;
    return 0;
  }
  return OpenFiles(s, storeDir);
}

int16_t CloseFormatStore(FormatStore& s) {
  if (s.tableFd < 0 && s.formatFd < 0) return 0;
  bool ok = true;
  if (s.tableFd >= 0 && !s.flagsPending && TableBytes(s) != s.tableOnDisk) {
    // Another pass may have written flags since they were read: its formats
    // stay defined.
    StoreLock lock(s, LOCK_EX);
    std::array<uint8_t, kFormatCount> now{};
    if (!lock.held()) {
      ok = false;
    } else if (!ReadAllAt(s.tableFd, now.data(), now.size(), 0)) {
      s.error = Describe(N_("cannot read %s: %s"), s.tablePath, errno);
      ok = false;
    } else {
      std::array<uint8_t, kFormatCount> flags = TableBytes(s);
      for (size_t i = 0; i < flags.size(); ++i) flags[i] |= now[i] != 0 ? 1 : 0;
      if (flags == now) {
        s.tableOnDisk = now;
      } else if (WriteAllAt(s.tableFd, flags.data(), flags.size(), 0)) {
        s.tableOnDisk = flags;
      } else {
        s.error = Describe(N_("cannot write the defined flags to %s: %s"), s.tablePath, errno);
        ok = false;
      }
    }
  }
  if (ok && s.kept != nullptr && s.tableFd >= 0 && s.formatFd >= 0) {
    Keep(s);
  }
  if (s.formatFd >= 0 && ::close(s.formatFd) != 0 && ok) {
    s.error = Describe(N_("cannot close %s: %s"), s.formatPath, errno);
    ok = false;
  }
  s.formatFd = -1;
  if (s.tableFd >= 0 && ::close(s.tableFd) != 0 && ok) {
    s.error = Describe(N_("cannot close %s: %s"), s.tablePath, errno);
    ok = false;
  }
  s.tableFd = -1;
  return ok ? 0 : -1;
}

void ResetFormatReplay(FormatStore& s) {
  s.playCounter.fill(-1);
  s.replaying = -1;
  s.replaySlot = -1;
  s.position = 0;
  s.ring = 0;
  s.startsWithoutInput = 0;
  s.inputAtLastStart = -1;
}

int16_t LoadFormat(FormatStore& s, int16_t n) {
  if (n < 0 || n >= kFormatCount) return 0;
  if (s.flagsPending && !ReadPendingFlags(s)) return -1;
  uint8_t st = s.state[static_cast<size_t>(n)];
  if ((st & kFormatDefined) == 0) return 0;
  if ((st & kNoSlot) != kNoSlot) return 1;
  uint8_t bytes[kFormatRecordBytes];
  if (s.formatFd < 0) {
    s.error = Note(N_("the format file is not open"));
    return -1;
  }
  {
    // Not while another pass writes a record.
    StoreLock lock(s, LOCK_SH);
    if (!lock.held()) return -1;
    if (!ReadAllAt(s.formatFd, bytes, sizeof bytes, off_t{n} * kFormatRecordBytes)) {
      s.error = Describe(N_("cannot read %s: %s"), s.formatPath, errno);
      return -1;
    }
  }
  FormatWords words;
  for (int i = 0; i < kFormatWords; ++i) words[static_cast<size_t>(i)] = LoadLittleEndian16(bytes + 2 * i);
  PutInCache(s, n, words);
  return 1;
}

void PutInCache(FormatStore& s, int16_t n, const FormatWords& words) {
  if (n < 0 || n >= kFormatCount) return;
  size_t fn = static_cast<size_t>(n);
  int slot = s.state[fn] & kNoSlot;
  bool replayed = s.replaying >= 0 && slot == s.replaySlot;
  if (slot >= kCacheSlots || replayed) {
    // A format redefined while it plays gets a new slot; the replay goes on
    // with the old words, whose slot is free once the replay is over.
    if (replayed) s.owner[static_cast<size_t>(slot)] = -1;
    int t = s.ring;
    if (s.replaying >= 0 && t == s.replaySlot) t = (t + 1) % kCacheSlots;
    int16_t old = s.owner[static_cast<size_t>(t)];
    if (old >= 0) {
      size_t fo = static_cast<size_t>(old);
      s.state[fo] = static_cast<uint8_t>((s.state[fo] & kFormatDefined) | kNoSlot);
    }
    s.owner[static_cast<size_t>(t)] = n;
    s.ring = static_cast<int16_t>((t + 1) % kCacheSlots);
    slot = t;
  }
  s.state[fn] = static_cast<uint8_t>(kFormatDefined | slot);
  s.cache[static_cast<size_t>(slot)] = words;
}

int16_t WriteFormat(FormatStore& s, int16_t n, const FormatWords& words) {
  if (n < 0 || n >= kFormatCount) return -1;
  if (s.flagsPending && !ReadPendingFlags(s)) return -1;
  PutInCache(s, n, words);
  uint8_t bytes[kFormatRecordBytes];
  for (int i = 0; i < kFormatWords; ++i) {
    uint16_t w = words[static_cast<size_t>(i)];
    bytes[2 * i] = static_cast<uint8_t>(w & 0xFF);
    bytes[2 * i + 1] = static_cast<uint8_t>(w >> 8);
  }
  if (s.formatFd < 0) {
    s.error = Note(N_("the format file is not open"));
    return -1;
  }
  // The whole record under the exclusive lock: a reader never sees half a
  // format.
  StoreLock lock(s, LOCK_EX);
  if (!lock.held()) return -1;
  if (!WriteAllAt(s.formatFd, bytes, sizeof bytes, off_t{n} * kFormatRecordBytes)) {
    s.error = Describe(N_("cannot write %s: %s"), s.formatPath, errno);
    return -1;
  }
  return 0;
}

}  // namespace velkan
