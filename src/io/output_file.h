// The output file of a job, replaced whole or not at all.
//
// The tagged text is written to a temporary file beside the output (same
// directory, a unique hidden name made with O_EXCL) and renamed onto the
// output when the job ends, so a conversion that is stopped, fails to write
// or crashes leaves the earlier file in place, never a half-written one. A
// front end that removes the temporary files when the process is asked to
// end (TemporaryFiles below) leaves only a conversion killed outright
// (SIGKILL, a crash) with its temporary file behind: a file
// ".NAME.velkan-XXXXXXXX" beside the output, which may be removed.
//
// Outputs that cannot be replaced by a rename are written in place, and what
// was written to them before a fault stays: a descriptor the process already
// has open, named /dev/stdout, /dev/stderr, /dev/fd/N or /proc/self/fd/N
// (written where it stands, neither opened again nor emptied, so
// "-o /dev/stdout >> log" appends to log); a pipe, a terminal or another
// device; and an existing regular file in a directory where no new file can
// be made.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "io/note.h"

namespace velkan {

// The temporary output files of the conversions in flight, kept by a front
// end so that it can remove them when the process is asked to end (a signal,
// or the end of the program while a conversion still runs). Every job of a
// batch shares one; safe to use from any thread.
//
// Besides its list, it keeps up to kSignalSafeSlots files in flight in a
// table of its own that a signal handler may read, so that
// RemoveAllInSignalHandler can remove them where no thread can wait for the
// signal. The table is compact: a file is kept as its last name beside the
// descriptor of its folder, the one it was made through (the one given to
// Create, else one opened while files of that folder are in flight), for
// unlinkat; and its room is made kSlotsAtOnce files at a time,
// as many files come to be in flight at once: a single conversion costs
// about 20 KiB, a batch at most about 340 KiB. Once NoHandlerRemoves has
// said that no handler removes files, the table is not kept.
class TemporaryFiles {
 public:
  // Files in flight a signal handler can remove: more than a batch keeps in
  // flight on any machine it is meant for (see the batch's groups of
  // outputs). A file past them, or in a folder past kSignalSafeFolders with
  // files in flight (two descriptors of one folder count as two), or whose
  // folder cannot be opened, is still removed by RemoveAll.
  static constexpr size_t kSignalSafeSlots = 1024;
  static constexpr size_t kSlotsAtOnce = 64;
  static constexpr size_t kSignalSafeFolders = 16;

  TemporaryFiles();
  ~TemporaryFiles();
  TemporaryFiles(const TemporaryFiles&) = delete;
  TemporaryFiles& operator=(const TemporaryFiles&) = delete;

  // What Create recorded of a file, for its Forget.
  using Ticket = size_t;

  // Creates the new file `path` (open(2) with O_CREAT | O_EXCL added to
  // `flags`) and records it, `ticket` naming the record. The file is made
  // outside the registry's lock: a RemoveAll (or RemoveAllInSignalHandler)
  // that comes meanwhile waits for it, and the Create, finding the registry
  // closed once the file is made, removes that file itself and fails with
  // ECANCELED; so a file is never left unseen by a removal. The calling
  // thread takes no signal meanwhile (unless no handler removes files, see
  // NoHandlerRemoves). All the memory the record needs is had before the
  // Create counts as in progress: a removal that waits for it never waits
  // for an allocation.
  // With `folderFd`, a descriptor of the folder `path` lies in, the file is
  // made through it, by its last name, and removed through it by the
  // removals, even when that folder was renamed meanwhile: it must stay open
  // until the file is forgotten. Without it, a file of the handler's table
  // is made through the descriptor its folder was opened with for the
  // handler.
  // Returns the descriptor, or -1 with errno set: ECANCELED once RemoveAll
  // (or RemoveAllInSignalHandler) was called.
  int Create(const std::string& path, int flags, mode_t mode, Ticket& ticket, int folderFd = -1);
  // Says that RemoveAllInSignalHandler is never called: the files are removed
  // only by RemoveAll, which waits for a Create in progress, so Create need
  // not keep signals off the thread that makes the file (two system calls a
  // file). Called by a front end that takes the signals on a thread of its
  // own, before the first Create.
  void NoHandlerRemoves() { handlerRemoves_.store(false); }
  // A number for the name of a new temporary file, unpredictable and
  // different from call to call: the system's random numbers, drawn
  // kSuffixPool at a time (one system call for as many files). It takes a
  // lock of its own, not the registry's.
  uint32_t NextSuffix();
  // Forgets the file of `ticket`, which was renamed or removed; once for
  // each Create that succeeded. A ticket whose file RemoveAll removed is
  // forgotten already.
  void Forget(Ticket ticket);
  // Removes every file recorded and refuses every later Create: called when
  // the process is about to end. It returns once the Creates in progress
  // have ended, each removing the file it made. Returns how many were
  // recorded; each that could not be removed is added to `failures` (when
  // given) as the message "cannot remove the temporary file NAME: reason",
  // NAME shown as ShownPath shows it.
  size_t RemoveAll(std::vector<Note>* failures = nullptr);
  // The same from a signal handler: async-signal-safe (no lock, no memory
  // allocated), it waits only for a Create running on another thread, which
  // allocates nothing meanwhile (see Create).
  // Removes the files of the table and writes a line on descriptor 2 for
  // each that could not be removed; refuses every later Create.
  void RemoveAllInSignalHandler() noexcept;

 private:
  struct Slot;
  struct Folder;
  static constexpr size_t kNoSlot = ~size_t{0};

  struct File;
  // Fills in the slot of `file` (taken from freeSlots_) for its path, the
  // file not yet made, and sets its dirFd to its folder's descriptor in the
  // table; false when it cannot be (a name too long, its folder has no room
  // or cannot be opened). With `mutex_` held.
  bool FillSlot(File& file);
  // The entry of the table for the folder `dir` reached through `folderFd`
  // (-1: by its path), opened when no file of it is in flight, with one
  // user more; kNoSlot when none can be had. With `mutex_` held.
  size_t TakeFolder(std::string_view dir, int folderFd);
  // One user less for the folder entry `f`, whose descriptor is closed (if
  // it was opened for the table) with the last. With `mutex_` held.
  void LeaveFolder(size_t f);
  // A free slot of the table, its room made when none is left; kNoSlot when
  // the table is full. With `mutex_` held.
  size_t TakeSlot();
  // Gives back `slot`, whose file is forgotten, and its folder's descriptor
  // when no other file of that folder is in flight. With `mutex_` held.
  void FreeSlot(size_t slot);
  Slot& SlotAt(size_t i) const;
  // Takes a free record (made when none is free) for Create, as
  // kCreating, `path` swapped into it and `folderFd` as its dirFd, with a
  // slot of the table filled in when `inTable` (kNoSlot when the table is
  // full or the slot cannot be filled in). Everything the file needs to be
  // recorded once made is had here. Returns kNoSlot with `err` set when the
  // registry is closed (ECANCELED) or no memory is left for the record
  // (ENOMEM). With `mutex_` held.
  Ticket Reserve(std::string& path, int folderFd, bool inTable, int& err);
  // Puts record `ticket` on the free list, giving back its slot and its
  // folder entry. With `mutex_` held.
  void Release(Ticket ticket);

  // A record of a file: kCreating while its Create makes the file (a
  // removal leaves it to that Create), kMade once made and recorded, kFree
  // on the free list.
  struct File {
    enum State : unsigned char { kFree, kCreating, kMade };
    State state = kFree;
    size_t slot = kNoSlot;       // in the table a handler reads, or kNoSlot
    size_t nextFree = kNoSlot;   // the next free record
    // The folder's descriptor the file is made and removed through (one
    // given to Create, or its folder's in the table), or -1: by `path`.
    int dirFd = -1;
    std::string path;
  };

  std::mutex mutex_;
  // Guarded by `mutex_`: the records, a Ticket being the index of one, and
  // the first free one (kNoSlot: none). The lock is held only to take a
  // record, fill it and give it back, never across a system call a batch
  // makes for every file.
  std::vector<File> files_;
  size_t freeFile_ = kNoSlot;
  bool closed_ = false;
  // Set by RemoveAllInSignalHandler; Creates in progress, on any thread.
  std::atomic<bool> ending_{false};
  std::atomic<int> creating_{0};
  std::atomic<bool> handlerRemoves_{true};
  // The table a handler reads: its rooms of kSlotsAtOnce slots, made as
  // needed and kept to the end, and the folders of their files.
  std::atomic<Slot*> rooms_[kSignalSafeSlots / kSlotsAtOnce] = {};
  std::atomic<Folder*> folders_[kSignalSafeFolders] = {};
  // Guarded by `mutex_`: slots made and free, and the files each folder has
  // in flight in the table.
  std::vector<size_t> freeSlots_;
  size_t slotsMade_ = 0;
  // Random numbers not yet given by NextSuffix: the first suffixesLeft_,
  // guarded by `suffixMutex_`.
  std::mutex suffixMutex_;
  static constexpr size_t kSuffixPool = 64;
  uint32_t suffixes_[kSuffixPool] = {};
  size_t suffixesLeft_ = 0;
  unsigned long drawn_ = 0;  // numbers given so far
};

// The folder of many outputs (those of a batch), looked at once: its path
// resolved (the links of its folders followed) and what Check finds wrong
// with the folder itself. Given to Check and Open for an output in that
// folder, only what stands at the output's own name is looked at (one lstat;
// a link or anything but a regular file is looked at in full), and not even
// that for a name the folder's listing did not hold (see `names`). It does
// not see later changes of the folder: one that became unwritable fails the
// Open that creates the temporary file, which then says so.
//
// It keeps the folder open while it lives: the temporary files of its
// outputs are made, renamed and removed through that descriptor (by their
// last names, not walking the folder's path each time). An output seen
// absent is put in place only where nothing stands at its name yet (a
// rename that replaces nothing); when something was made there meanwhile,
// what stands there is looked at then, as the Open would have: a regular
// file that may be replaced is replaced (keeping its owner and mode), a
// folder refuses the rename as it always did, and anything else (a link, a
// FIFO, a socket, a device) is left where it is and the output not put in
// place. Move-only; an OutputFile opened in it must not outlive it.
struct OutputFolder {
  // The folder `output` lies in, looked at now. Its names are listed when
  // it holds at most `listUpTo` of them (0: not listed).
  static OutputFolder Of(const std::string& output, size_t listUpTo = 0);

  OutputFolder() = default;
  ~OutputFolder();
  OutputFolder(OutputFolder&& other) noexcept;
  OutputFolder& operator=(OutputFolder&& other) noexcept;
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;

  // Whether the folder's listing was taken and did not hold `name`: nothing
  // stood there when the folder was looked at.
  bool Lacks(std::string_view name) const { return listed && !names.contains(name); }

  std::filesystem::path dir;  // resolved
  int error = 0;              // errno of examining it, or ENOTDIR
  struct stat st {};
  long nameMax = 255;
  uint64_t attributes = 0;  // immutable or append-only (statx)
  int access = 0;           // errno of asking to make files in it, or 0
  // The folder open (the one `st` tells), or -1: its outputs are then
  // reached by their paths.
  int fd = -1;
  // The names the folder held when it was looked at, when `listed`.
  bool listed = false;
  std::set<std::string, std::less<>> names;
};

class OutputFile {
 public:
  OutputFile();
  // Removes a temporary file that was not committed.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // What opening `path` would find wrong, found without creating or opening
  // anything: an empty name, a name too long, a missing folder, a folder
  // where the file can neither be made nor rewritten, a directory, a
  // descriptor that is not open for writing, a file the user may not write
  // (mode 0444, say), a file of another user in a sticky folder (which a
  // rename may not replace), an immutable or append-only file or folder
  // (where the file system keeps those attributes). Returns the reason (as
  // error() gives it), or an empty note when nothing is seen wrong.
  // With `folder` (the OutputFolder of `path`), the folder is not looked at
  // again.
  static Note Check(const std::string& path, const OutputFolder* folder = nullptr);
  // Check, keeping what it found for the Open of the same `path` and
  // `folder` that follows (the next call but Check's): that Open looks at
  // nothing again. For an Open that follows at once, as when only the store
  // is opened in between: what it would find could as well change after it,
  // while the output is written.
  Note Examine(const std::string& path, const OutputFolder* folder = nullptr);
  // The same for the open descriptor `fd` the caller gives (see Adopt),
  // named `name` in the reason.
  static Note CheckDescriptor(int fd, const std::string& name);

  // Whether something stands at `path` to be written (a file, what a link
  // leads to, a FIFO, a device) or `path` names a descriptor of the process.
  static bool Exists(const std::string& path);

  // Prepares writing to `path`. A symbolic link is followed, so the file it
  // leads to is the one replaced. A new file gets the permissions a plain
  // create would give it (0666 less the umask); a replaced file keeps its
  // mode (and owner, where the process may set it). The temporary file is
  // made through `temporaries` when given. Returns false with error() set
  // when nothing can be written there (see Check); nothing at `path` has
  // changed then. `folder` as for Check.
  // After Examine of the same `path` and `folder`, what it found is used.
  // With `cancelled` (a job that can be cancelled), a FIFO or a device
  // written in place is opened without blocking (O_NONBLOCK, on the open
  // file description made here, which no one else shares): a FIFO that has
  // no reader yet is tried again while `cancelled` says false (see
  // io/cancellable_wait.h), and the Open fails with ECANCELED once it says
  // true. Its writer is then to wait for room itself (see nonBlocking()).
  // Without it, such an open waits for a reader as long as it takes.
  bool Open(const std::string& path, TemporaryFiles* temporaries = nullptr, const OutputFolder* folder = nullptr,
            const std::function<bool()>* cancelled = nullptr);

  // Open, only where it makes a new temporary file beside the output and
  // changes nothing else: `path` names a regular file or nothing under a
  // plain last name (no link), in `folder` (its OutputFolder), and the
  // output is to be replaced through a temporary file. False otherwise, with
  // nothing opened and nothing at `path` changed: where Open would write in
  // place (even when the folder turns out to take no new file any more), at
  // a link, a device, or a descriptor's name, or when the temporary file
  // cannot be made. For opening an output well before its job runs, which
  // must not empty it meanwhile; what it refuses is Open's to do at the
  // job's own turn. error() says why where there is a reason to tell.
  bool OpenReplacement(const std::string& path, TemporaryFiles* temporaries, const OutputFolder& folder);

  // Prepares writing in place to the open descriptor `fd` (standard output),
  // which is neither reopened nor truncated; a duplicate of it is written and
  // closed, `fd` stays open. `name` names it in messages. Returns false with
  // error() set when `fd` is not open.
  bool Adopt(int fd, const std::string& name);

  // The descriptor to write to (-1 before a successful Open).
  int fd() const { return fd_; }

  // Ends writing. A temporary file is synced to the disk, closed and renamed
  // onto the output; when the sync or the close fails (a write the disk
  // refused late) it is removed instead and the output stays as it was, as
  // when the rename fails. In place, the file is synced (regular files only)
  // and closed. Returns false with error() set when any step failed.
  bool Commit();

  // The first half of a commit whose sync is the caller's (the outputs of a
  // batch reach the disk together, see OutputBatch): the file is closed,
  // not synced, and stays a temporary file until Deliver. Failures as
  // Commit's. In place (no temporary file), the file is only closed.
  bool CloseUnsynced();
  // The second half, once the caller has synced the file system: renames
  // the temporary file onto the output (the folder is not synced). A failed
  // rename removes it and leaves the output as it was, as does a
  // `syncError` (the errno of the caller's failed sync), which renames
  // nothing.
  bool Deliver(int syncError = 0);

  // Gives up: a temporary file is closed and removed and the output stays as
  // it was; in place, the descriptor is closed (what was written stays).
  void Discard();

  // True when the output is written in place, not through a temporary file.
  bool inPlace() const { return inPlace_; }
  // True when fd() was opened with O_NONBLOCK (see Open): a write may take
  // only part of its bytes, or none (EAGAIN), where the file has no room.
  bool nonBlocking() const { return nonBlocking_; }
  // True when a file stood at the output's place when it was opened.
  bool existed() const { return existed_; }
  // The file that ends up holding the output (a link at the path resolved).
  std::filesystem::path target() const { return target_; }
  // The folder of target(), as its bytes spell it: all before its last "/"
  // ("/" for a file in the root, empty for a name without a folder).
  std::string_view folder() const;
  // The temporary file while one is open, else empty.
  std::filesystem::path temporary() const { return temporary_; }
  // What went wrong in the last failed Open or Commit (a system error,
  // with the file it concerns).
  const Note& error() const { return error_; }
  // Set when the temporary file could not be removed (a Discard, or a
  // Commit that failed): a sentence that names it and says why, for the
  // person to remove it. error() ends with it too.
  const Note& leftover() const { return leftover_; }

  // What Check finds; opaque outside the implementation.
  struct Plan;

 private:
  void RemoveTemporary();
  // Makes the temporary file beside target_ for the output planned in
  // `plan` (fd_ and temporary_ set), giving it the earlier file's owner and
  // mode. False with errno set when it cannot be made.
  bool MakeTemporary(const Plan& plan);
  // The rename onto an output seen absent found something there (or the
  // file system cannot rename without replacing): looks at what stands
  // there now and replaces it only where the Open would have (see
  // OutputFolder).
  bool RenameOntoNewcomer();
  // Discards what was open and starts again: no error, not in place, the
  // temporary files recorded in `temporaries` (when given).
  void Restart(TemporaryFiles* temporaries);
  // Syncs (when `sync`) and closes the file; a failure removes the
  // temporary file.
  bool Close(bool sync);
  // Renames the temporary file (if any) onto the output.
  bool Rename();
  // `error`, followed by "; " and leftover() when there is one.
  Note WithLeftover(Note error) const;

  int fd_ = -1;
  bool inPlace_ = false;
  bool nonBlocking_ = false;
  bool existed_ = false;
  bool closedUnsynced_ = false;  // CloseUnsynced left a temporary file to Deliver
  std::string target_;
  std::string temporary_;
  TemporaryFiles* temporaries_ = nullptr;
  // The temporary file's record in `temporaries_`, while there is one.
  TemporaryFiles::Ticket ticket_ = 0;
  // The output's folder, when the temporary file was made through its
  // descriptor (it is renamed and removed through it too); and whether the
  // output was seen absent, so that its rename is to replace nothing.
  const OutputFolder* folder_ = nullptr;
  bool seenAbsent_ = false;
  Note error_;
  Note leftover_;
  // What Examine found, and for which path and folder.
  std::unique_ptr<Plan> examined_;
  std::string examinedPath_;
  const OutputFolder* examinedFolder_ = nullptr;
};

// Syncs the file system `folder` lies on (syncfs). Returns 0 or the errno
// of the failure.
int SyncFileSystemOf(const std::filesystem::path& folder);

// Syncs a folder, so that the names made or renamed in it reach the disk
// (best effort: a folder that cannot be opened is not synced).
void SyncFolder(const std::filesystem::path& folder);

// What one lstat of a path found: once `taken`, either `error` is 0 and
// `device`, `inode` and `mode` tell the file that stands there (a link
// itself, not what it leads to), or `error` is the errno of the failure
// (ENOENT: nothing stands there).
struct PathLook {
  bool taken = false;
  int error = 0;
  dev_t device = 0;
  ino_t inode = 0;
  mode_t mode = 0;
  // Set when the look was read from the listing of the path's folder (see
  // LookThroughListings): `mode` tells only the type of the file, and
  // `device` and `inode` may not be those an lstat tells (a file mounted
  // there, a file system that numbers its listings apart).
  bool listed = false;
  // Takes the lstat of `path` (not empty).
  void Take(const char* path);
};

// Takes the looks of many `paths` (a batch's inputs) from the listings of
// their folders where that costs less than an lstat of each: each folder
// holding at least kListedAtLeast of them is listed once, and the paths it
// holds as regular files get a look (`listed`, see PathLook); any other look
// is left as it was (a link, a folder, a name the listing did not hold or
// did not tell the type of, a folder listed only in part because it holds
// many other names). `looks` has one look per path.
constexpr size_t kListedAtLeast = 16;
void LookThroughListings(const std::vector<std::string>& paths, std::vector<PathLook>& looks);

// The names of one folder (the output folder of a batch), listed once, to
// tell of many paths in it which stand nowhere without an lstat of each.
// The listing is taken only where it tells what an lstat would: a folder on
// a file system that tells names apart by their bytes alone (a tmpfs, ext4,
// XFS, Btrfs, F2FS), not one whose names are matched without regard to case.
// A folder holding many more names than `expected` is not read to its end
// (an lstat of each path costs less), and says nothing.
class FolderNames {
 public:
  // Lists `folder` as spelled (empty: the working folder), expecting
  // `expected` paths in it to be asked about.
  FolderNames(const std::string& folder, size_t expected);
  // Whether the folder's listing was taken whole.
  bool complete() const { return complete_; }
  // Whether `path` (a name in the folder, as spelled with it) stood nowhere
  // when the folder was listed: an lstat of it then would have found
  // nothing (ENOENT). False when the listing says nothing of it (not taken
  // whole, a name "." or "..", a name or path too long for an lstat).
  bool Lacks(std::string_view path) const;

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
  };
  bool complete_ = false;
  std::unordered_set<std::string, Hash, std::equal_to<>> names_;
};

// The descriptor of this process that `path` names: 0, 1 and 2 for
// /dev/stdin, /dev/stdout and /dev/stderr, N for /dev/fd/N,
// /proc/self/fd/N, /proc/thread-self/fd/N and /proc/PID/fd/N of this
// process, also reached through symbolic links; -1 for any other path.
// When `look` is given, it is set to the lstat of `path` as spelled that
// comes first (left untaken for an empty path), so that a caller who needs
// that lstat too does not take it again.
int NamedDescriptor(const std::string& path, PathLook* look = nullptr);

// Whether `fd` is a descriptor the process was given, open: not one it
// opened itself (every file the program and its libraries open is
// close-on-exec, which no descriptor inherited through exec is), nor a
// placeholder (O_PATH) a front end holds the number of a closed one with.
bool GivenDescriptor(int fd);

// The file a path leads to: absolute, with the symbolic links of its folders
// and of its last name followed (up to 40; a relative link is taken from the
// link's folder) and "." and ".." resolved. A link that leads nowhere yet
// gives the name it leads to.
std::filesystem::path ResolvedPath(const std::filesystem::path& path);

// ResolvedPath for many paths in few folders (the inputs and outputs of a
// batch): each folder is resolved once, and the working folder asked once.
// It does not see a link among the folders that changes after it resolved
// them, nor a folder made after it found it absent.
class PathResolver {
 public:
  std::filesystem::path Resolve(const std::filesystem::path& path);
  // Resolve into `out` (another string than `path`), on the path's bytes: a
  // path in a folder resolved before builds no std::filesystem::path.
  // The resolving looks at the name (an lstat) to follow a link; a `look`
  // already taken of `path` as spelled stands for that lstat (the same
  // entry of the same folder), else the lstat taken is left in `look` (none
  // is taken in a folder found absent: nothing is there). True
  // when that look tells what a stat of the path would (the folder resolved
  // exactly, the name no link, and something there or ENOENT).
  bool ResolveInto(const std::string& path, std::string& out, PathLook* look = nullptr);
  // `path` made absolute against the working folder.
  std::filesystem::path Absolute(const std::filesystem::path& path);
  // The folder `folder` (absolute) resolved, as ResolvedPath resolves a
  // path's folders.
  std::filesystem::path Folder(const std::filesystem::path& folder);

 private:
  using FolderMap = std::map<std::string, std::filesystem::path, std::less<>>;
  // Resolves the folder `spelled` (absolute, as spelled, no "/" at its end
  // but for "/" itself) into `folders_`, through the folders above it;
  // `present` is set when it was seen to be there.
  FolderMap::iterator AddFolder(std::string_view spelled, bool& present);

  std::filesystem::path cwd_;
  // By the folder as spelled.
  FolderMap folders_;
  std::string joined_;  // room for a path made absolute
  // The folder of the path resolved last, as spelled up to its last "/"
  // (empty: none), and its entry in `folders_` (null: none yet).
  std::string lastKey_;
  const std::string* lastFolder_ = nullptr;
  bool lastExact_ = false;
  bool lastAbsent_ = false;  // that folder was not there
  // Folders that could not be resolved, kept as spelled (normalized).
  std::set<std::string, std::less<>> inexact_;
};

// Whether two paths name the same existing file (device and inode, links
// followed). False when either cannot be examined.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace velkan
