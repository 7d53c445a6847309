// The output file replaced whole or not at all: temporary file, permissions,
// links, and the outputs that are written in place.
#include "io/output_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <atomic>
#include <set>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/allocation_pause.h"
#include "support/test_support.h"

namespace velkan {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

using ::velkan::test::Slurp;

void Put(int fd, const std::string& text) {
  ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

// The names in a folder other than `except`.
std::vector<std::string> Others(const fs::path& dir, const std::vector<std::string>& except) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) {
    std::string n = e.path().filename().string();
    if (std::find(except.begin(), except.end(), n) == except.end()) names.push_back(n);
  }
  return names;
}

mode_t ModeOf(const fs::path& p) {
  struct stat st {};
  EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
  return st.st_mode & 07777;
}

// Sets the umask for the life of the object.
struct Umask {
  explicit Umask(mode_t m) : old(::umask(m)) {}
  ~Umask() { ::umask(old); }
  mode_t old;
};

// Runs `check` in a child that is another user when this one is the
// superuser (whom permissions do not bind) and returns what it returns: the
// failed checks as bits, 100 when the child could not give up its rights,
// -1 when it did not end normally.
int AsAnotherUser(const std::function<int()>& check) {
  pid_t pid = ::fork();
  if (pid == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(100);
    ::_exit(check());
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST(OutputFile, TheEarlierFileStaysUntilTheCommit) {
  TempDir dir;
  fs::path out = dir.Write("out.txt", "earlier");
  OutputFile f;
  ASSERT_TRUE(f.Open(out.string())) << f.error();
  EXPECT_FALSE(f.inPlace());
  Put(f.fd(), "new text");
  // Written, but not yet in place: the temporary file lies beside it.
  EXPECT_EQ(Slurp(out), "earlier");
  ASSERT_FALSE(f.temporary().empty());
  EXPECT_EQ(f.temporary().parent_path(), out.parent_path());
  EXPECT_EQ(f.temporary().filename().string().rfind(".out.txt.velkan-", 0), 0u) << f.temporary();
  EXPECT_EQ(Slurp(f.temporary()), "new text");

  ASSERT_TRUE(f.Commit()) << f.error();
  EXPECT_EQ(Slurp(out), "new text");
  EXPECT_TRUE(f.temporary().empty());
  EXPECT_TRUE(Others(dir.path(), {"out.txt"}).empty());
}

TEST(OutputFile, DiscardLeavesTheEarlierFileAndNoTemporary) {
  TempDir dir;
  fs::path out = dir.Write("out.txt", "earlier");
  {
    OutputFile f;
    ASSERT_TRUE(f.Open(out.string()));
    Put(f.fd(), "half a job");
    f.Discard();
    EXPECT_EQ(f.fd(), -1);
  }
  {
    OutputFile dropped;  // going out of scope uncommitted is a discard too
    ASSERT_TRUE(dropped.Open(out.string()));
    Put(dropped.fd(), "another half");
  }
  EXPECT_EQ(Slurp(out), "earlier");
  EXPECT_TRUE(Others(dir.path(), {"out.txt"}).empty());

  // A new output that is discarded is never created.
  OutputFile g;
  ASSERT_TRUE(g.Open((dir.path() / "fresh.txt").string()));
  g.Discard();
  EXPECT_FALSE(fs::exists(dir.path() / "fresh.txt"));
}

// The outputs of a batch: closed unsynced, the temporary file stays until
// Deliver renames it; a sync that failed, or a rename refused, removes it
// and leaves the earlier output.
TEST(OutputFile, AnOutputClosedUnsyncedIsInPlaceOnlyOnceDelivered) {
  TempDir dir;
  fs::path out = dir.Write("out.txt", "earlier");
  OutputFile f;
  ASSERT_TRUE(f.Open(out.string()));
  Put(f.fd(), "new text");
  ASSERT_TRUE(f.CloseUnsynced()) << f.error();
  EXPECT_EQ(f.fd(), -1);
  EXPECT_EQ(Slurp(out), "earlier");
  EXPECT_EQ(Slurp(f.temporary()), "new text");
  ASSERT_TRUE(f.Deliver()) << f.error();
  EXPECT_EQ(Slurp(out), "new text");
  EXPECT_TRUE(Others(dir.path(), {"out.txt"}).empty());
  EXPECT_FALSE(f.Deliver());  // once only

  OutputFile unsynced;
  ASSERT_TRUE(unsynced.Open(out.string()));
  Put(unsynced.fd(), "lost");
  ASSERT_TRUE(unsynced.CloseUnsynced());
  EXPECT_FALSE(unsynced.Deliver(EIO));
  EXPECT_NE(unsynced.error().Text().find("cannot write"), std::string::npos) << unsynced.error();
  EXPECT_EQ(Slurp(out), "new text");

  // A folder made where the output goes meanwhile refuses the rename.
  fs::path place = dir.path() / "place.txt";
  OutputFile refused;
  ASSERT_TRUE(refused.Open(place.string()));
  ASSERT_TRUE(refused.CloseUnsynced());
  fs::create_directory(place);
  EXPECT_FALSE(refused.Deliver());
  EXPECT_NE(refused.error().Text().find("cannot replace"), std::string::npos) << refused.error();
  EXPECT_TRUE(Others(dir.path(), {"out.txt", "place.txt"}).empty());
}

TEST(OutputFile, TwoOutputsAtOnceUseTheirOwnTemporaryFiles) {
  TempDir dir;
  fs::path out = dir.path() / "out.txt";
  OutputFile a, b;
  ASSERT_TRUE(a.Open(out.string()));
  ASSERT_TRUE(b.Open(out.string()));
  EXPECT_NE(a.temporary(), b.temporary());
  Put(a.fd(), "a");
  Put(b.fd(), "b");
  ASSERT_TRUE(a.Commit());
  EXPECT_EQ(Slurp(out), "a");
  ASSERT_TRUE(b.Commit());
  EXPECT_EQ(Slurp(out), "b");
}

TEST(OutputFile, ANameNearTheLengthLimitStillGetsATemporaryFile) {
  TempDir dir;
  fs::path out = dir.path() / (std::string(250, 'n') + ".txt");  // 254 bytes
  OutputFile f;
  ASSERT_TRUE(f.Open(out.string())) << f.error();
  EXPECT_FALSE(f.inPlace());
  EXPECT_LE(f.temporary().filename().string().size(), 255u);
  EXPECT_EQ(f.temporary().parent_path(), out.parent_path());
  EXPECT_EQ(f.temporary().filename().string().rfind("." + std::string(200, 'n') + ".velkan-", 0), 0u)
      << f.temporary();
  Put(f.fd(), "x");
  ASSERT_TRUE(f.Commit()) << f.error();
  EXPECT_EQ(Slurp(out), "x");
}

TEST(OutputFile, NewFilesFollowTheUmaskAndReplacedFilesKeepTheirMode) {
  TempDir dir;
  {
    Umask m(022);
    OutputFile f;
    ASSERT_TRUE(f.Open((dir.path() / "a.txt").string()));
    ASSERT_TRUE(f.Commit());
    EXPECT_EQ(ModeOf(dir.path() / "a.txt"), 0644u);
  }
  {
    Umask m(077);
    OutputFile f;
    ASSERT_TRUE(f.Open((dir.path() / "b.txt").string()));
    ASSERT_TRUE(f.Commit());
    EXPECT_EQ(ModeOf(dir.path() / "b.txt"), 0600u);
  }
  {
    Umask m(022);
    fs::path kept = dir.Write("c.txt", "old");
    ASSERT_EQ(::chmod(kept.c_str(), 0640), 0);
    OutputFile f;
    ASSERT_TRUE(f.Open(kept.string()));
    Put(f.fd(), "new");
    ASSERT_TRUE(f.Commit());
    EXPECT_EQ(ModeOf(kept), 0640u);
    EXPECT_EQ(Slurp(kept), "new");
  }
}

TEST(OutputFile, ALinkIsFollowedAndStaysALink) {
  TempDir dir;
  fs::path target = dir.Write("real/out.txt", "old");
  fs::path link = dir.path() / "link.txt";
  fs::create_symlink("real/out.txt", link);  // relative to the link's folder
  OutputFile f;
  ASSERT_TRUE(f.Open(link.string()));
  EXPECT_EQ(f.target(), dir.path() / "real" / "out.txt");
  EXPECT_EQ(f.temporary().parent_path(), target.parent_path());
  Put(f.fd(), "new");
  ASSERT_TRUE(f.Commit());
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Slurp(target), "new");
}

TEST(OutputFile, ADirectoryOrAMissingFolderIsNoOutput) {
  TempDir dir;
  fs::create_directories(dir.path() / "sub");
  OutputFile f;
  EXPECT_FALSE(f.Open((dir.path() / "sub").string()));
  EXPECT_NE(f.error().Text().find("Is a directory"), std::string::npos) << f.error();
  EXPECT_EQ(f.fd(), -1);
  EXPECT_FALSE(f.Open((dir.path() / "none" / "out.txt").string()));
  EXPECT_NE(f.error().Text().find("none"), std::string::npos) << f.error();
  EXPECT_FALSE(f.Commit());
  EXPECT_TRUE(Others(dir.path(), {"sub"}).empty());
}

TEST(OutputFile, DevicesAreWrittenInPlace) {
  OutputFile f;
  ASSERT_TRUE(f.Open("/dev/null")) << f.error();
  EXPECT_TRUE(f.inPlace());
  EXPECT_TRUE(f.temporary().empty());
  Put(f.fd(), "gone");
  EXPECT_TRUE(f.Commit()) << f.error();
}

TEST(OutputFile, AnOutputInAFolderThatTakesNoNewFileIsRewrittenInPlace) {
  TempDir dir;
  fs::path out = dir.Write("locked/out.txt", "old old old");
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  ASSERT_EQ(::chmod(out.c_str(), 0666), 0);
  ASSERT_EQ(::chmod(out.parent_path().c_str(), 0555), 0);
  int failed = AsAnotherUser([&out] {
    int failed = 0;
    OutputFile f;
    if (!f.Open(out.string())) return 101;
    if (!f.inPlace()) failed |= 1;
    if (::write(f.fd(), "new", 3) != 3) failed |= 2;
    if (!f.Commit()) failed |= 4;
    OutputFile g;  // a new file cannot be made there at all
    if (g.Open((out.parent_path() / "fresh.txt").string())) failed |= 8;
    if (g.error().Text().find("Permission denied") == std::string::npos) failed |= 16;
    return failed;
  });
  ::chmod(out.parent_path().c_str(), 0755);
  EXPECT_EQ(failed, 0) << "1 not in place, 2 write, 4 commit, 8 fresh file made, 16 error text, "
                          "100 could not drop rights, 101 could not open";
  EXPECT_EQ(Slurp(out), "new");
  EXPECT_FALSE(fs::exists(out.parent_path() / "fresh.txt"));
}

TEST(OutputFile, ARenameThatFailsKeepsTheEarlierFileAndRemovesTheTemporary) {
  TempDir dir;
  fs::path out = dir.Write("out.txt", "earlier");
  OutputFile f;
  ASSERT_TRUE(f.Open(out.string()));
  Put(f.fd(), "new");
  // A folder put where the output was cannot be replaced by a file.
  fs::remove(out);
  fs::create_directories(out / "inside");
  EXPECT_FALSE(f.Commit());
  EXPECT_NE(f.error().Text().find("cannot replace"), std::string::npos) << f.error();
  EXPECT_TRUE(fs::is_directory(out));
  EXPECT_TRUE(Others(dir.path(), {"out.txt"}).empty());
}

TEST(OutputFile, SameFileSeesLinksAndSecondNames) {
  TempDir dir;
  fs::path a = dir.Write("a.zan", "x");
  fs::path b = dir.Write("b.zan", "x");
  fs::create_symlink(a, dir.path() / "soft");
  fs::create_hard_link(a, dir.path() / "hard");
  EXPECT_TRUE(SameFile(a.string(), a.string()));
  EXPECT_TRUE(SameFile(a.string(), (dir.path() / "soft").string()));
  EXPECT_TRUE(SameFile((dir.path() / "hard").string(), a.string()));
  EXPECT_TRUE(SameFile(a.string(), (dir.path() / "." / "a.zan").string()));
  EXPECT_FALSE(SameFile(a.string(), b.string()));
  EXPECT_FALSE(SameFile(a.string(), (dir.path() / "missing").string()));
  EXPECT_FALSE(SameFile("", a.string()));
}

TEST(OutputFile, ResolvedPathFollowsLinksAndStopsAtAnEndlessChain) {
  TempDir dir;
  fs::create_symlink("b", dir.path() / "a");
  fs::create_symlink("a", dir.path() / "b");
  fs::path end = ResolvedPath(dir.path() / "a");
  EXPECT_TRUE(end == dir.path() / "a" || end == dir.path() / "b") << end;
  // A link that leads nowhere yet gives the name it leads to, taken from the
  // folder the link lies in, also when that folder is reached by a link.
  fs::create_directories(dir.path() / "real" / "sub");
  fs::create_symlink("../new.txt", dir.path() / "real" / "sub" / "dangling");
  fs::create_directory_symlink(dir.path() / "real" / "sub", dir.path() / "sub-link");
  EXPECT_EQ(ResolvedPath(dir.path() / "sub-link" / "dangling"), dir.path() / "real" / "new.txt");
  EXPECT_EQ(ResolvedPath(dir.path() / "real" / "." / "x" / ".." / "y"), dir.path() / "real" / "y");
}

// Resolving many paths in few folders, each folder once, gives what
// ResolvedPath gives, also for paths met again and folders reached by links.
TEST(OutputFile, APathResolverResolvesAsResolvedPath) {
  TempDir dir;
  fs::create_directories(dir.path() / "real" / "sub");
  dir.Write("real/sub/file.zan", "x");
  fs::create_symlink("../new.txt", dir.path() / "real" / "sub" / "dangling");
  fs::create_symlink("file.zan", dir.path() / "real" / "sub" / "link.zan");
  fs::create_directory_symlink(dir.path() / "real" / "sub", dir.path() / "sub-link");
  const std::vector<fs::path> paths = {
      dir.path() / "real" / "sub" / "file.zan",   dir.path() / "sub-link" / "file.zan",
      dir.path() / "sub-link" / "link.zan",       dir.path() / "sub-link" / "dangling",
      dir.path() / "sub-link" / "missing.txt",    dir.path() / "real" / "." / "x" / ".." / "y",
      dir.path() / "real" / "sub" / "..",         dir.path() / "sub-link" / "",
      dir.path() / "none" / "deeper" / "a.txt",   "relative/a.zan",
      "/",                                        "",
      // Folders in folders resolved before: a link among them is followed,
      // a folder below a link lies where the link leads.
      dir.path() / "real" / "up" / "real" / "sub" / "file.zan",
      dir.path() / "real" / "sub" / "inner" / "a.zan",
      dir.path() / "sub-link" / "inner" / "a.zan"};
  fs::create_directory_symlink("..", dir.path() / "real" / "up");
  fs::create_directory(dir.path() / "real" / "sub" / "inner");
  PathResolver resolver;
  for (int round = 0; round < 2; ++round) {
    for (const fs::path& p : paths) EXPECT_EQ(resolver.Resolve(p), ResolvedPath(p)) << p;
  }
}

// An output's folder looked at once finds what looking at it with each output
// finds: the same reasons, the same file replaced.
TEST(OutputFile, AFolderLookedAtOnceChecksAsEachOutputWould) {
  TempDir dir;
  fs::create_directories(dir.path() / "out" / "dir.txt");
  dir.Write("out/old.txt", "old");
  dir.Write("elsewhere/target.txt", "target");
  fs::create_symlink(dir.path() / "elsewhere" / "target.txt", dir.path() / "out" / "link.txt");
  const std::string folderOf = (dir.path() / "out" / "x.txt").string();
  // Listed (a name it did not hold is not looked at again) or not.
  const OutputFolder folder = OutputFolder::Of(folderOf, 100);
  const OutputFolder unlisted = OutputFolder::Of(folderOf);
  ASSERT_TRUE(folder.listed);
  EXPECT_FALSE(unlisted.listed);
  // A folder holding more names than it is to list is not listed.
  EXPECT_FALSE(OutputFolder::Of(folderOf, 2).listed);
  const std::vector<std::string> names = {"new.txt", "old.txt", "dir.txt", "link.txt", std::string(300, 'n')};
  for (const std::string& name : names) {
    const std::string path = (dir.path() / "out" / name).string();
    EXPECT_EQ(OutputFile::Check(path, &folder), OutputFile::Check(path)) << name;
    EXPECT_EQ(OutputFile::Check(path, &unlisted), OutputFile::Check(path)) << name;
  }
  for (const char* name : {"new.txt", "old.txt", "link.txt"}) {
    OutputFile once, each;
    const std::string path = (dir.path() / "out" / name).string();
    ASSERT_TRUE(once.Open(path, nullptr, &folder)) << once.error();
    ASSERT_TRUE(each.Open(path)) << each.error();
    EXPECT_EQ(once.target(), each.target()) << name;
    EXPECT_EQ(once.existed(), each.existed()) << name;
    EXPECT_EQ(once.temporary().parent_path(), each.target().parent_path()) << name;
    EXPECT_EQ(once.temporary().filename().string().rfind("." + each.target().filename().string() + ".velkan-", 0), 0u)
        << once.temporary();
    each.Discard();
    Put(once.fd(), "new");
    ASSERT_TRUE(once.Commit()) << once.error();
  }
  EXPECT_EQ(Slurp(dir.path() / "out" / "old.txt"), "new");
  EXPECT_EQ(Slurp(dir.path() / "elsewhere" / "target.txt"), "new");
  EXPECT_TRUE(fs::is_symlink(dir.path() / "out" / "link.txt"));
  // A folder that is missing refuses every output in it.
  const std::string missing = (dir.path() / "none" / "a.txt").string();
  const OutputFolder none = OutputFolder::Of(missing);
  EXPECT_EQ(OutputFile::Check(missing, &none), OutputFile::Check(missing));
  EXPECT_FALSE(OutputFile::Check(missing, &none).empty());
}

// Inputs of two folders given in turn, and one given twice, are each found
// in their folder's listing, as their lstats find them.
TEST(LookThroughListings, PathsOfFoldersInTurnAndGivenTwiceAreFoundInTheirListings) {
  TempDir dir;
  std::vector<std::string> paths;
  for (size_t i = 0; i < kListedAtLeast; ++i) {
    paths.push_back(dir.Write("a/f" + std::to_string(i), "").string());
    paths.push_back(dir.Write("b/f" + std::to_string(i), "").string());
  }
  paths.push_back(paths[2]);
  paths.push_back((dir.path() / "a" / "missing").string());
  std::vector<PathLook> looks(paths.size());
  LookThroughListings(paths, looks);
  if (!looks[0].listed) GTEST_SKIP() << "the folders' listings tell no file types";
  for (size_t i = 0; i + 1 < paths.size(); ++i) {
    EXPECT_TRUE(looks[i].listed && S_ISREG(looks[i].mode)) << paths[i];
  }
  // Each look is its own file's (a listing's numbers may not be an lstat's,
  // but tell its files apart).
  EXPECT_NE(looks[0].inode, looks[1].inode);
  EXPECT_NE(looks[0].inode, looks[2].inode);
  EXPECT_EQ(looks[paths.size() - 2].inode, looks[2].inode);
  EXPECT_FALSE(looks.back().taken);  // not listed: left to its lstat
}

// A folder's names listed once tell a name absent exactly where an lstat
// of it finds nothing, whatever stands at the others; a folder of many more
// names than asked about, or a listing taken in part, tells nothing.
TEST(FolderNames, ANameIsLackingOnlyWhereItsLstatFindsNothing) {
  TempDir dir;
  const fs::path out = dir.path() / "out";
  fs::create_directories(out / "dir.txt");
  dir.Write("out/old.txt", "old");
  fs::create_symlink("nowhere", out / "dangling.txt");
  ASSERT_EQ(::mkfifo((out / "fifo.txt").c_str(), 0644), 0);
  const FolderNames names(out.string(), 8);
  if (!names.complete()) GTEST_SKIP() << "the folder's file system is one whose listing is not taken";
  const std::vector<std::string> asked = {"new.txt", "old.txt", "dir.txt", "dangling.txt", "fifo.txt", "OLD.txt",
                                          ".", "..", std::string(300, 'n'), "old.txt/"};
  for (const std::string& name : asked) {
    const std::string path = out.string() + "/" + name;
    struct stat st {};
    const bool nothing = ::lstat(path.c_str(), &st) != 0 && errno == ENOENT;
    // Only what is known absent is said so; a name too long says nothing.
    EXPECT_EQ(names.Lacks(path), nothing && name.size() <= NAME_MAX) << name;
  }
  // A name made after the listing is not seen: it is found when the output
  // is put in place (see OutputFolder).
  dir.Write("out/new.txt", "");
  EXPECT_TRUE(names.Lacks((out / "new.txt").string()));
  // Many other names: not read to their end, nothing told.
  for (int i = 0; i < 200; ++i) dir.Write("out/o" + std::to_string(i), "");
  const FolderNames crowded(out.string(), 2);
  EXPECT_FALSE(crowded.complete());
  EXPECT_FALSE(crowded.Lacks((out / "absent.txt").string()));
  EXPECT_TRUE(FolderNames(out.string(), 200).complete());
  // A folder that is not there tells nothing either (the resolver knows it
  // absent).
  EXPECT_FALSE(FolderNames((dir.path() / "none").string(), 8).Lacks((dir.path() / "none" / "a.txt").string()));
}

TEST(OutputFile, NamesOfTheOpenDescriptors) {
  EXPECT_EQ(NamedDescriptor("/dev/stdin"), 0);
  EXPECT_EQ(NamedDescriptor("/dev/stdout"), 1);
  EXPECT_EQ(NamedDescriptor("/dev/stderr"), 2);
  EXPECT_EQ(NamedDescriptor("/dev/fd/7"), 7);
  EXPECT_EQ(NamedDescriptor("/proc/self/fd/12"), 12);
  EXPECT_EQ(NamedDescriptor("/proc/thread-self/fd/3"), 3);
  EXPECT_EQ(NamedDescriptor("/proc/" + std::to_string(::getpid()) + "/fd/4"), 4);
  EXPECT_EQ(NamedDescriptor("/proc/self/task/" + std::to_string(::getpid()) + "/fd/5"), 5);
  EXPECT_EQ(NamedDescriptor("/dev/../dev/./fd/6"), 6);
  TempDir dir;
  fs::create_symlink("/dev/stderr", dir.path() / "err");
  EXPECT_EQ(NamedDescriptor(dir.path() / "err"), 2);
  if (fs::exists("/proc/self/fd")) {
    fs::create_directory_symlink("/proc/self/fd", dir.path() / "fds");
    EXPECT_EQ(NamedDescriptor(dir.path() / "fds" / "9"), 9);
  }
  // Not a descriptor of this process, or no descriptor at all.
  EXPECT_EQ(NamedDescriptor("/proc/1/fd/1"), ::getpid() == 1 ? 1 : -1);
  EXPECT_EQ(NamedDescriptor("/dev/fd/01"), -1);
  EXPECT_EQ(NamedDescriptor("/dev/fd/x"), -1);
  EXPECT_EQ(NamedDescriptor("/dev/null"), -1);
  EXPECT_EQ(NamedDescriptor(dir.path() / "stdout"), -1);
}

TEST(OutputFile, ADescriptorTheProcessOpenedItselfIsNoneItWasGiven) {
  TempDir dir;
  const fs::path own = dir.Write("own.txt", "own");
  // As every file the program opens: close-on-exec, which no descriptor
  // inherited through exec is.
  const int fd = ::open(own.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  const std::string name = "/dev/fd/" + std::to_string(fd);
  EXPECT_NE(OutputFile::Check(name).Text().find("is not open"), std::string::npos) << OutputFile::Check(name);
  // A caller that gives it as the output's descriptor means it.
  EXPECT_TRUE(OutputFile::CheckDescriptor(fd, name).empty());
  ASSERT_EQ(::fcntl(fd, F_SETFD, 0), 0);
  EXPECT_TRUE(OutputFile::Check(name).empty());
  ::close(fd);
  EXPECT_EQ(Slurp(own), "own");
}

TEST(OutputFile, AFileOfAnotherUserInAStickyFolderIsRefusedAtOnce) {
  TempDir dir;
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  fs::path sticky = dir.path() / "tmp";
  fs::create_directory(sticky);
  ASSERT_EQ(::chmod(sticky.c_str(), 01777), 0);
  fs::path theirs = dir.Write("tmp/theirs.txt", "theirs");
  ASSERT_EQ(::chmod(theirs.c_str(), 0666), 0);
  // The folder and the file belong to this user; the check runs as another.
  int failed = AsAnotherUser([&] {
    int failed = 0;
    OutputFile f;
    if (f.Open(theirs.string())) failed |= 1;
    if (f.error().Text().find("Operation not permitted") == std::string::npos) failed |= 2;
    if (OutputFile::Check(theirs.string()).empty()) failed |= 4;
    OutputFile mine;  // a new file of its own is fine
    if (!mine.Open((sticky / "mine.txt").string()) || !mine.Commit()) failed |= 8;
    return failed;
  });
  EXPECT_EQ(failed, 0) << "1 opened, 2 error text, 4 check, 8 own file, 100 could not drop rights";
  EXPECT_EQ(Slurp(theirs), "theirs");
  EXPECT_TRUE(Others(sticky, {"theirs.txt", "mine.txt"}).empty());
}

TEST(OutputFile, AFileTheUserMayNotWriteIsRefusedAtOnce) {
  TempDir dir;
  ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
  fs::path kept = dir.Write("kept.txt", "kept");
  ASSERT_EQ(::chmod(kept.c_str(), 0444), 0);
  // Its owner, who may write the folder, may not write the file (the check
  // runs as the other user, who owns it then).
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(kept.c_str(), 65534, 65534), 0);
  }
  int failed = AsAnotherUser([&kept] {
    int failed = 0;
    if (OutputFile::Check(kept.string()).Text().find("Permission denied") == std::string::npos) failed |= 1;
    OutputFile f;
    if (f.Open(kept.string())) failed |= 2;
    return failed;
  });
  EXPECT_EQ(failed, 0) << "1 check, 2 opened, 100 could not drop rights";
  EXPECT_EQ(Slurp(kept), "kept");
  EXPECT_TRUE(Others(dir.path(), {"kept.txt"}).empty());
}

// Sets the inode flags `flags` (FS_*_FL) of a file or folder for the life of
// the object; ok() is false where the file system or the process cannot.
class InodeFlags {
 public:
  InodeFlags(const fs::path& path, int flags) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    ok_ = fd_ >= 0 && ::ioctl(fd_, FS_IOC_GETFLAGS, &old_) == 0;
    int now = old_ | flags;
    ok_ = ok_ && ::ioctl(fd_, FS_IOC_SETFLAGS, &now) == 0;
  }
  ~InodeFlags() {
    if (ok_) ::ioctl(fd_, FS_IOC_SETFLAGS, &old_);
    if (fd_ >= 0) ::close(fd_);
  }
  InodeFlags(const InodeFlags&) = delete;
  InodeFlags& operator=(const InodeFlags&) = delete;
  bool ok() const { return ok_; }

 private:
  int fd_;
  int old_ = 0;
  bool ok_ = false;
};

TEST(OutputFile, AnAppendOnlyOrImmutableFileOrFolderIsRefusedAtOnce) {
  TempDir dir;
  const fs::path folder = dir.path() / "folder";
  fs::create_directory(folder);
  const fs::path file = dir.Write("folder/out.txt", "earlier");
  struct Case {
    fs::path flagged;
    int flag;
    const char* says;
  } cases[] = {
      {folder, FS_APPEND_FL, "is append-only"},
      {folder, FS_IMMUTABLE_FL, "is immutable"},
      {file, FS_APPEND_FL, "the file is append-only"},
      {file, FS_IMMUTABLE_FL, "the file is immutable"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.says);
    InodeFlags flagged(c.flagged, c.flag);
    if (!flagged.ok()) GTEST_SKIP() << "the file system or the process cannot set those attributes";
    for (const fs::path& out : {file, folder / "fresh.txt"}) {
      if (c.flagged == file && out != file) continue;
      const std::string why = OutputFile::Check(out.string()).Text();
      EXPECT_NE(why.find(c.says), std::string::npos) << why;
      OutputFile f;
      EXPECT_FALSE(f.Open(out.string()));
      // So too where the folder was looked at before, as a batch does: the
      // name's look then brings the file's attributes with it.
      const OutputFolder known = OutputFolder::Of(out.string());
      const std::string seen = OutputFile::Check(out.string(), &known).Text();
      EXPECT_NE(seen.find(c.says), std::string::npos) << seen;
      OutputFile ahead;
      EXPECT_FALSE(ahead.OpenReplacement(out.string(), nullptr, known));
    }
    EXPECT_EQ(Slurp(file), "earlier");
    EXPECT_TRUE(Others(folder, {"out.txt"}).empty());
  }
}

// An output its folder's listing did not hold is put in place only where
// nothing was made at its name since: a file made there is replaced as if it
// had stood there when the output was opened (its mode kept, refused when it
// may not be replaced), a folder refuses the rename, and a link or a FIFO is
// left as it is. No temporary file stays.
TEST(OutputFile, WhatAppearsAtANewOutputsNameIsLookedAtBeforeItIsReplaced) {
  TempDir dir;
  const fs::path out = dir.path() / "out";
  fs::create_directory(out);
  const fs::path target = dir.Write("elsewhere/target.txt", "target");
  const OutputFolder folder = OutputFolder::Of((out / "x.txt").string(), 100);
  ASSERT_TRUE(folder.listed);
  auto file = [](const fs::path& p) {
    std::ofstream(p) << "theirs";
    ::chmod(p.c_str(), 0600);
  };
  std::unique_ptr<InodeFlags> immutable;
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> make;
    const char* says;  // null: put in place
  } cases[] = {
      {"nothing.txt", [](const fs::path&) {}, nullptr},
      {"file.txt", file, nullptr},
      {"folder.txt", [](const fs::path& p) { fs::create_directory(p); }, "Is a directory"},
      {"link.txt", [&](const fs::path& p) { fs::create_symlink(target, p); }, "something other than a file"},
      {"dangling.txt", [](const fs::path& p) { fs::create_symlink("nowhere", p); }, "something other than a file"},
      {"fifo.txt", [](const fs::path& p) { ::mkfifo(p.c_str(), 0644); }, "something other than a file"},
      {"immutable.txt",
       [&](const fs::path& p) {
         file(p);
         immutable = std::make_unique<InodeFlags>(p, FS_IMMUTABLE_FL);
       },
       "the file is immutable"},
  };
  std::vector<std::string> made;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path path = out / c.name;
    made.push_back(c.name);
    OutputFile f;
    ASSERT_TRUE(f.OpenReplacement(path.string(), nullptr, folder)) << f.error();
    EXPECT_FALSE(f.existed());
    Put(f.fd(), "ours");
    ASSERT_TRUE(f.CloseUnsynced()) << f.error();
    c.make(path);
    if (immutable && !immutable->ok()) {
      immutable.reset();
      continue;  // the file system or the process cannot set the attribute
    }
    const bool placed = f.Deliver();
    EXPECT_EQ(placed, c.says == nullptr) << f.error();
    if (c.says != nullptr) {
      EXPECT_NE(f.error().Text().find(c.says), std::string::npos) << f.error();
    }
    EXPECT_TRUE(f.temporary().empty());
  }
  immutable.reset();
  EXPECT_EQ(Slurp(out / "nothing.txt"), "ours");
  EXPECT_EQ(Slurp(out / "file.txt"), "ours");
  EXPECT_EQ(ModeOf(out / "file.txt"), 0600u);
  EXPECT_EQ(Slurp(out / "immutable.txt"), "theirs");
  EXPECT_TRUE(fs::is_directory(out / "folder.txt"));
  EXPECT_EQ(fs::read_symlink(out / "link.txt"), target);
  EXPECT_EQ(Slurp(target), "target");
  EXPECT_EQ(fs::read_symlink(out / "dangling.txt"), "nowhere");
  EXPECT_EQ(fs::symlink_status(out / "fifo.txt").type(), fs::file_type::fifo);
  EXPECT_TRUE(Others(out, made).empty());
}

// One output object opens output after output, as a batch opens its
// outputs ahead: after a failed delivery, after a file it replaced and
// after a new one, each output is opened as a new object would open it (its
// own mode, whether something stood there, no error of the one before).
TEST(OutputFile, OpensOneOutputAfterAnotherAsNewOnesWould) {
  TempDir dir;
  const fs::path out = dir.path() / "out";
  fs::create_directory(out);
  std::ofstream(out / "b.txt") << "theirs";
  ::chmod((out / "b.txt").c_str(), 0600);
  const OutputFolder folder = OutputFolder::Of((out / "x.txt").string(), 100);
  ASSERT_TRUE(folder.listed);
  OutputFile f;
  ASSERT_TRUE(f.OpenReplacement((out / "a.txt").string(), nullptr, folder)) << f.error();
  Put(f.fd(), "one");
  ASSERT_TRUE(f.CloseUnsynced()) << f.error();
  EXPECT_FALSE(f.Deliver(EIO));
  EXPECT_FALSE(f.error().empty());

  ASSERT_TRUE(f.OpenReplacement((out / "b.txt").string(), nullptr, folder)) << f.error();
  EXPECT_TRUE(f.error().empty()) << f.error();
  EXPECT_TRUE(f.existed());
  Put(f.fd(), "two");
  ASSERT_TRUE(f.CloseUnsynced()) << f.error();
  ASSERT_TRUE(f.Deliver()) << f.error();

  ASSERT_TRUE(f.OpenReplacement((out / "c.txt").string(), nullptr, folder)) << f.error();
  EXPECT_FALSE(f.existed());
  Put(f.fd(), "three");
  ASSERT_TRUE(f.CloseUnsynced()) << f.error();
  std::ofstream(out / "c.txt") << "made meanwhile";
  ::chmod((out / "c.txt").c_str(), 0640);
  ASSERT_TRUE(f.Deliver()) << f.error();

  EXPECT_FALSE(fs::exists(out / "a.txt"));
  EXPECT_EQ(Slurp(out / "b.txt"), "two");
  EXPECT_EQ(ModeOf(out / "b.txt"), 0600u);
  // Seen absent when opened: what was made there since is looked at, and
  // replaced keeping its mode, not the mode of the file replaced before.
  EXPECT_EQ(Slurp(out / "c.txt"), "three");
  EXPECT_EQ(ModeOf(out / "c.txt"), 0640u);
  EXPECT_TRUE(Others(out, {"b.txt", "c.txt"}).empty());
}

TEST(OutputFile, ATemporaryFileThatCannotBeRemovedIsNamed) {
  TempDir dir;
  const fs::path folder = dir.path() / "folder";
  fs::create_directory(folder);
  const fs::path out = dir.Write("folder/out.txt", "earlier");
  OutputFile discarded, committed;
  ASSERT_TRUE(discarded.Open(out.string()));
  ASSERT_TRUE(committed.Open(out.string()));
  const std::string first = discarded.temporary().string(), second = committed.temporary().string();
  {
    // Made append-only while they were written: neither renamed nor removed.
    InodeFlags flagged(folder, FS_APPEND_FL);
    if (!flagged.ok()) GTEST_SKIP() << "the file system or the process cannot set those attributes";
    discarded.Discard();
    EXPECT_NE(discarded.leftover().Text().find("the temporary file " + first + " could not be removed"), std::string::npos)
        << discarded.leftover();
    EXPECT_FALSE(committed.Commit());
    EXPECT_NE(committed.error().Text().find("the temporary file " + second + " could not be removed"), std::string::npos)
        << committed.error();
  }
  EXPECT_EQ(Slurp(out), "earlier");
  fs::remove(first);
  fs::remove(second);
}

// Both removals, the one at the end of the program and the one a signal
// handler makes, remove every file in flight: here more than one room of the
// handler's table holds, in two folders, some forgotten (committed or
// discarded) between others. Later opens are refused.
TEST(TemporaryFiles, RemovalsRemoveTheFilesInFlightAndRefuseNewOnes) {
  for (bool inHandler : {false, true}) {
    SCOPED_TRACE(inHandler);
    TempDir dir;
    fs::create_directory(dir.path() / "b");
    TemporaryFiles files;
    // Creates that fail take no room of the table for good.
    for (size_t i = 0; i <= TemporaryFiles::kSignalSafeSlots; ++i) {
      TemporaryFiles::Ticket ticket = 0;
      ASSERT_LT(files.Create((dir.path() / "missing" / "x").string(), O_WRONLY | O_CLOEXEC, 0600, ticket), 0);
    }
    OutputFile kept;
    ASSERT_TRUE(kept.Open((dir.path() / "kept.txt").string(), &files));
    const size_t n = TemporaryFiles::kSlotsAtOnce * 2 + 10;
    std::vector<std::unique_ptr<OutputFile>> removed;
    for (size_t i = 0; i < n; ++i) {
      const fs::path folder = i % 3 == 0 ? dir.path() / "b" : dir.path();
      removed.push_back(std::make_unique<OutputFile>());
      ASSERT_TRUE(removed.back()->Open((folder / ("r" + std::to_string(i) + ".txt")).string(), &files));
      // Some leave the table midway, and their slots are taken again.
      if (i % 7 == 3) {
        removed.back()->Discard();
        removed.pop_back();
      }
    }
    Put(kept.fd(), "kept");
    ASSERT_TRUE(kept.Commit());
    if (inHandler) {
      files.RemoveAllInSignalHandler();
    } else {
      EXPECT_EQ(files.RemoveAll(), removed.size());  // the committed one was forgotten
    }
    for (const auto& r : removed) EXPECT_FALSE(fs::exists(r->temporary())) << r->temporary();
    EXPECT_EQ(Slurp(dir.path() / "kept.txt"), "kept");
    OutputFile late;
    EXPECT_FALSE(late.Open((dir.path() / "late.txt").string(), &files));
    EXPECT_NE(late.error().Text().find("canceled"), std::string::npos) << late.error();
    EXPECT_FALSE(removed.front()->Commit());
    EXPECT_TRUE(Others(dir.path(), {"kept.txt", "b"}).empty());
    EXPECT_TRUE(fs::is_empty(dir.path() / "b"));
  }
}

// A removal that comes while other threads make files leaves none behind:
// those being made are waited for, and each of their Creates removes its file
// and fails with ECANCELED, as every later one does.
TEST(TemporaryFiles, ARemovalWhileFilesAreBeingMadeLeavesNone) {
  for (bool inHandler : {false, true}) {
    for (int round = 0; round < 8; ++round) {
      SCOPED_TRACE(testing::Message() << "in a handler " << inHandler << ", round " << round);
      TempDir dir;
      const int dirFd = ::open(dir.path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
      ASSERT_GE(dirFd, 0);
      TemporaryFiles files;
      std::atomic<bool> removed{false};
      std::atomic<int> made{0}, madeAfter{0}, cancelled{0}, otherErrors{0};
      std::vector<std::thread> makers;
      for (int m = 0; m < 3; ++m) {
        makers.emplace_back([&, m] {
          for (int i = 0;; ++i) {
            const bool after = removed.load();
            const std::string path = (dir.path() / ("f" + std::to_string(m) + "-" + std::to_string(i))).string();
            TemporaryFiles::Ticket ticket = 0;
            const int fd = files.Create(path, O_WRONLY | O_CLOEXEC, 0600, ticket, i % 2 == 0 ? dirFd : -1);
            if (fd < 0) {
              ++(errno == ECANCELED ? cancelled : otherErrors);
              return;
            }
            ::close(fd);
            ++made;
            if (after) ++madeAfter;
            if (i % 3 == 0) {  // some are done with before the removal
              ::unlink(path.c_str());
              files.Forget(ticket);
            }
          }
        });
      }
      while (made.load() < 30) std::this_thread::yield();
      if (inHandler) {
        files.RemoveAllInSignalHandler();
      } else {
        files.RemoveAll();
      }
      removed = true;
      // Nothing is left once the removal is over, not even by a Create that
      // was making its file meanwhile.
      EXPECT_TRUE(Others(dir.path(), {}).empty()) << Others(dir.path(), {}).front();
      for (std::thread& t : makers) t.join();
      EXPECT_TRUE(Others(dir.path(), {}).empty());
      EXPECT_EQ(cancelled.load(), 3);
      EXPECT_EQ(otherErrors.load(), 0);
      EXPECT_EQ(madeAfter.load(), 0);
      ::close(dirFd);
    }
  }
}

// A handler that removes the files may have stopped its own thread inside
// the allocator, holding the allocator's lock: a Create it waits for must
// then allocate nothing, or both would wait forever. Each allocation the
// first Create of a registry makes (its record, a room of slots, a folder
// entry) is held here in turn while a handler's removal runs on another
// thread: the removal must not wait for it, and the Create then fails.
TEST(TemporaryFiles, AHandlersRemovalNeverWaitsForACreateThatAllocates) {
  for (bool throughFolder : {false, true}) {
    int nth = 1;
    for (;; ++nth) {
      SCOPED_TRACE(testing::Message() << "through the folder " << throughFolder << ", allocation " << nth);
      TempDir dir;
      const int dirFd = ::open(dir.path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
      ASSERT_GE(dirFd, 0);
      const std::string path = (dir.path() / "f").string();
      TemporaryFiles files;
      test::AllocationPause pause(std::chrono::seconds(2));
      std::atomic<bool> done{false};
      int fd = -1, err = 0;
      TemporaryFiles::Ticket ticket = 0;
      std::thread maker([&] {
        pause.Arm(nth);
        fd = files.Create(path, O_WRONLY | O_CLOEXEC, 0600, ticket, throughFolder ? dirFd : -1);
        err = errno;
        pause.Disarm();
        done.store(true);
      });
      while (!pause.reached() && !done.load()) std::this_thread::yield();
      if (!pause.reached()) {
        // Past the Create's last allocation.
        maker.join();
        EXPECT_GE(fd, 0) << std::strerror(err);
        ::close(fd);
        ::close(dirFd);
        break;
      }
      files.RemoveAllInSignalHandler();
      pause.Release();
      maker.join();
      if (pause.timedOut()) {
        ADD_FAILURE() << "the removal waited for a Create that allocates";
        if (fd >= 0) ::close(fd);
        ::close(dirFd);
        break;
      }
      EXPECT_EQ(fd, -1);
      EXPECT_EQ(err, ECANCELED);
      EXPECT_TRUE(Others(dir.path(), {}).empty());
      ::close(dirFd);
    }
    EXPECT_GT(nth, 1);  // allocations were held
  }
}

// An output's temporary file is made in the folder the output was looked up
// in (its OutputFolder), and stays in that folder when the folder is renamed
// and another made at its old path, before the file is made or while it is
// in flight: both removals remove it where it is now, as a Discard does, and
// a Commit puts the output in place there. The new folder is left alone.
TEST(TemporaryFiles, AFileWhoseFolderIsRenamedIsRemovedWhereItIsNow) {
  enum End { kInHandler, kRemoveAll, kDiscard, kCommit };
  for (bool beforeOpen : {true, false}) {
    for (End end : {kInHandler, kRemoveAll, kDiscard, kCommit}) {
      SCOPED_TRACE(testing::Message() << "renamed before the open " << beforeOpen << ", end " << end);
      TempDir dir;
      const fs::path a = dir.path() / "a", b = dir.path() / "b";
      fs::create_directory(a);
      const std::string out = (a / "out.txt").string();
      const OutputFolder folder = OutputFolder::Of(out);
      ASSERT_GE(folder.fd, 0);
      auto move = [&] {
        fs::rename(a, b);
        fs::create_directory(a);
      };
      TemporaryFiles files;
      OutputFile f;
      if (beforeOpen) move();
      ASSERT_TRUE(f.Open(out, &files, &folder)) << f.error();
      if (!beforeOpen) move();
      Put(f.fd(), "new");
      const fs::path moved = b / f.temporary().filename();
      ASSERT_TRUE(fs::exists(moved));
      switch (end) {
        case kInHandler: files.RemoveAllInSignalHandler(); break;
        case kRemoveAll: EXPECT_EQ(files.RemoveAll(), 1u); break;
        case kDiscard: f.Discard(); break;
        case kCommit: EXPECT_TRUE(f.Commit()) << f.error(); break;
      }
      EXPECT_FALSE(fs::exists(moved));
      EXPECT_TRUE(fs::is_empty(a));
      if (end == kCommit) {
        EXPECT_EQ(Slurp(b / "out.txt"), "new");
        EXPECT_TRUE(Others(b, {"out.txt"}).empty());
      } else {
        EXPECT_TRUE(fs::is_empty(b));
      }
    }
  }
}

// The names of the temporary files come from random numbers drawn a pool at
// a time: they go on differing past the end of a pool, and two registries
// (two processes, two batches) do not draw the same ones.
TEST(TemporaryFiles, SuffixesDifferAcrossPoolsAndRegistries) {
  TemporaryFiles one, two;
  std::set<uint32_t> seen;
  for (int i = 0; i < 200; ++i) seen.insert(one.NextSuffix());
  // 200 random numbers of 32 bits: a repeat is rare, three are unheard of.
  EXPECT_GE(seen.size(), 198u);
  int shared = 0;
  for (int i = 0; i < 200; ++i) shared += seen.count(two.NextSuffix()) != 0 ? 1 : 0;
  EXPECT_LE(shared, 2);
}

}  // namespace
}  // namespace velkan
