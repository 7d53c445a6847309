// The tables of one root loaded once and lent to many passes (the jobs of a
// batch), read again when their files change.
//
// Tables loaded for lending are shared read-only by every pass lent them, on
// any thread (see PassTables' lending constructor): a pass pays for none of
// them but what it changes (an overlay, the ruby table), which it copies for
// itself. What was loaded is checked against the files before a pass is lent
// the tables, at most once per `recheck`: every file of the tables folders
// (and those folders and the table root themselves) by identity (device and
// inode), modification time and size. When any differs, the tables are
// loaded again for that pass and the ones after it; a pass keeps the tables
// it was lent to its end. Tables given back (when a pass drops them) are
// started again for a later pass instead of made anew, as long as what they
// were lent from is still what is lent.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

#include "tables/pass_tables.h"
#include "tables/table_root.h"

namespace velkan {

// How long tables are lent before their files are looked at again.
inline constexpr std::chrono::milliseconds kTableRecheck{200};

// What a file was when the tables were loaded.
struct FileStamp {
  std::filesystem::path path;
  bool exists = false;
  unsigned long long device = 0, inode = 0, size = 0;
  long long modifiedSeconds = 0, modifiedNanoseconds = 0;
  bool operator==(const FileStamp&) const = default;
};

// What the file at `path` is now (links followed); `exists` false when it
// cannot be looked at.
FileStamp StampFile(const std::filesystem::path& path);

class TableLender;

// Gives tables back to the lender that lent them; tables of no lender are
// deleted.
struct GiveTablesBack {
  TableLender* lender = nullptr;
  void operator()(PassTables* tables) const;
};

// Tables lent for one pass (or, without a lender, a pass's own), given back
// when dropped. They must be dropped before their lender.
using LentTables = std::unique_ptr<PassTables, GiveTablesBack>;

// The stamps of the files the tables of `paths` are read from: the root, the
// MTBL folder, their tables folders and every entry of those.
std::vector<FileStamp> StampTableFiles(const TablePaths& paths);

class TableLender {
 public:
  explicit TableLender(TablePaths paths, std::chrono::steady_clock::duration recheck = kTableRecheck);
  TableLender(const TableLender&) = delete;
  TableLender& operator=(const TableLender&) = delete;

  // The tables of one pass (with the text pre-pass's tables when
  // `textInput`), lent from those loaded for it. Safe to call from any
  // thread.
  LentTables Lend(bool textInput);

  // How often the tables were loaded (for tests).
  int loads() const;

 private:
  friend struct GiveTablesBack;
  // Keeps `tables` for a later pass when they were lent from what is lent
  // now; otherwise deletes them.
  void GiveBack(PassTables* tables);

  struct Loaded {
    std::unique_ptr<PassTables> tables;
    // Tables lent from `tables` and given back, to be started again.
    std::vector<std::unique_ptr<PassTables>> given;
    std::vector<FileStamp> stamps;
    std::chrono::steady_clock::time_point checked;
  };

  const TablePaths paths_;
  const std::chrono::steady_clock::duration recheck_;
  mutable std::mutex mutex_;
  // Without and with the text pre-pass's tables.
  std::unique_ptr<Loaded> loaded_[2];
  int loads_ = 0;
};

}  // namespace velkan
