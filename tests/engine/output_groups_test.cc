// The outputs of a batch put in place a group at a time: the order of the
// syncs and the renames, and what a failed sync leaves.
#include "engine/output_groups.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace velkan {
namespace {

namespace fs = std::filesystem;
using test::Slurp;
using test::TempDir;

// Records each sync as "fs FOLDER" or "folder FOLDER" (FOLDER the folder's
// last name), and at each sync of a file system which of `watched` are in
// place then; the sync of a file system fails with `fail` for the folders
// named in `failing`.
class RecordingSyncs : public OutputGroups::Syncs {
 public:
  int FileSystemOf(const std::string& folder) override {
    const std::string name = fs::path(folder).filename().string();
    log.push_back("fs " + name);
    std::string present;
    for (const fs::path& p : watched) present += fs::exists(p) ? "1" : "0";
    inPlace.push_back(present);
    for (const std::string& f : failing) {
      if (f == name) return fail;
    }
    return 0;
  }
  void Folder(const std::string& folder) override { log.push_back("folder " + fs::path(folder).filename().string()); }

  std::vector<std::string> log;
  std::vector<fs::path> watched;
  std::vector<std::string> inPlace;
  std::vector<std::string> failing;
  int fail = EIO;
};

// An output closed unsynced, holding `text`, waiting to be put in place.
std::unique_ptr<OutputFile> Written(const fs::path& path, const std::string& text) {
  auto f = std::make_unique<OutputFile>();
  EXPECT_TRUE(f->Open(path.string())) << f->error();
  EXPECT_EQ(::write(f->fd(), text.data(), text.size()), static_cast<ssize_t>(text.size()));
  EXPECT_TRUE(f->CloseUnsynced()) << f->error();
  return f;
}

std::vector<OutputFile*> Pointers(const std::vector<std::unique_ptr<OutputFile>>& files) {
  std::vector<OutputFile*> p;
  for (const auto& f : files) p.push_back(f.get());
  return p;
}

// A group is renamed only after its file system's sync; the folder is not
// synced after each group: the next group's sync puts the renames before it
// on the disk, and the last group syncs its folder once its renames are done.
TEST(OutputGroups, EachGroupIsRenamedAfterItsSyncAndTheFolderSyncedOnceAtTheEnd) {
  TempDir dir;
  fs::create_directory(dir.path() / "out");
  const fs::path a = dir.path() / "out" / "a.txt", b = dir.path() / "out" / "b.txt", c = dir.path() / "out" / "c.txt";
  RecordingSyncs syncs;
  syncs.watched = {a, b, c};
  OutputGroups groups(syncs);
  auto never = [](size_t k) { ADD_FAILURE() << "output " << k << " not placed"; };

  std::vector<std::unique_ptr<OutputFile>> first;
  first.push_back(Written(a, "A"));
  first.push_back(Written(b, "B"));
  groups.Put(Pointers(first), false, never);
  EXPECT_EQ(syncs.log, (std::vector<std::string>{"fs out"}));
  EXPECT_TRUE(groups.unsettled());
  EXPECT_EQ(Slurp(a), "A");
  EXPECT_EQ(Slurp(b), "B");

  std::vector<std::unique_ptr<OutputFile>> second;
  second.push_back(Written(c, "C"));
  groups.Put(Pointers(second), true, never);
  EXPECT_EQ(syncs.log, (std::vector<std::string>{"fs out", "fs out", "folder out"}));
  // Nothing was renamed before the first sync, and c not before the second.
  EXPECT_EQ(syncs.inPlace, (std::vector<std::string>{"000", "110"}));
  EXPECT_FALSE(groups.unsettled());
  EXPECT_EQ(Slurp(c), "C");
  groups.Settle();  // nothing waits
  EXPECT_EQ(syncs.log.size(), 3u);
}

// Renames waiting in a folder the next group does not write to are put on
// the disk by that group's sync all the same; Settle syncs the folders of
// the renames left waiting.
TEST(OutputGroups, TheFoldersOfWaitingRenamesAreSyncedWithTheNextGroup) {
  TempDir dir;
  fs::create_directory(dir.path() / "one");
  fs::create_directory(dir.path() / "two");
  RecordingSyncs syncs;
  OutputGroups groups(syncs);
  auto never = [](size_t k) { ADD_FAILURE() << "output " << k << " not placed"; };
  std::vector<std::unique_ptr<OutputFile>> first, second;
  first.push_back(Written(dir.path() / "one" / "a.txt", "A"));
  groups.Put(Pointers(first), false, never);
  second.push_back(Written(dir.path() / "two" / "b.txt", "B"));
  groups.Put(Pointers(second), false, never);
  EXPECT_EQ(syncs.log, (std::vector<std::string>{"fs one", "fs two", "fs one"}));
  groups.Settle();
  EXPECT_EQ(syncs.log, (std::vector<std::string>{"fs one", "fs two", "fs one", "folder two"}));
  EXPECT_FALSE(groups.unsettled());
  EXPECT_EQ(Slurp(dir.path() / "one" / "a.txt"), "A");
  EXPECT_EQ(Slurp(dir.path() / "two" / "b.txt"), "B");
}

// A group whose sync fails is not put in place: each of its outputs is
// reported, the earlier files stay and no temporary file is left; the
// outputs of the group before stay in place, and their folder, whose sync
// failed, is synced itself.
TEST(OutputGroups, AGroupWhoseSyncFailsLeavesTheEarlierOutputs) {
  TempDir dir;
  fs::create_directory(dir.path() / "out");
  const fs::path a = dir.path() / "out" / "a.txt", b = dir.path() / "out" / "b.txt";
  const fs::path c = dir.Write("out/c.txt", "earlier");
  RecordingSyncs syncs;
  OutputGroups groups(syncs);
  std::vector<size_t> notPlaced;
  auto note = [&notPlaced](size_t k) { notPlaced.push_back(k); };
  std::vector<std::unique_ptr<OutputFile>> first, second;
  first.push_back(Written(a, "A"));
  groups.Put(Pointers(first), false, note);
  EXPECT_TRUE(notPlaced.empty());

  syncs.failing = {"out"};
  second.push_back(Written(b, "B"));
  second.push_back(Written(c, "C"));
  groups.Put(Pointers(second), true, note);
  EXPECT_EQ(notPlaced, (std::vector<size_t>{0, 1}));
  for (const auto& f : second) EXPECT_NE(f->error().Text().find("cannot write"), std::string::npos) << f->error();
  EXPECT_EQ(syncs.log, (std::vector<std::string>{"fs out", "fs out", "folder out", "folder out"}));
  EXPECT_EQ(Slurp(a), "A");
  EXPECT_FALSE(fs::exists(b));
  EXPECT_EQ(Slurp(c), "earlier");
  size_t files = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path() / "out")) ++files;
  EXPECT_EQ(files, 2u);  // a.txt and c.txt, no temporary file
}

}  // namespace
}  // namespace velkan
