#include "tables/table_lender.h"

#include <sys/stat.h>

#include <algorithm>
#include <system_error>

namespace velkan {

namespace fs = std::filesystem;

FileStamp StampFile(const fs::path& path) {
  FileStamp s;
  s.path = path;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return s;
  s.exists = true;
  s.device = st.st_dev;
  s.inode = st.st_ino;
  s.size = static_cast<unsigned long long>(st.st_size);
  s.modifiedSeconds = st.st_mtim.tv_sec;
  s.modifiedNanoseconds = st.st_mtim.tv_nsec;
  return s;
}

namespace {

bool Unchanged(const std::vector<FileStamp>& stamps) {
  return std::all_of(stamps.begin(), stamps.end(), [](const FileStamp& s) { return StampFile(s.path) == s; });
}

}  // namespace

std::vector<FileStamp> StampTableFiles(const TablePaths& paths) {
  const fs::path folders[2] = {paths.Fixed("\\qdxfiles"), paths.Prefixed("\\qdxfiles")};
  std::vector<fs::path> stamped = {paths.root()};  // files and folders, each once
  if (paths.mtbl() && !paths.mtbl()->empty() && fs::path(*paths.mtbl()) != paths.root()) {
    stamped.push_back(*paths.mtbl());
  }
  // Without MTBL both names lead to one folder, listed once. The entries of
  // a folder are distinct, so they are not looked for among the others (a
  // name stamped twice would only be looked at twice).
  for (const fs::path& folder : folders) {
    if (&folder != folders && folder == folders[0]) continue;
    if (std::find(stamped.begin(), stamped.end(), folder) == stamped.end()) stamped.push_back(folder);
    std::error_code ec;
    const size_t first = stamped.size();
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) stamped.push_back(it->path());
    std::sort(stamped.begin() + static_cast<std::ptrdiff_t>(first), stamped.end());
  }
  std::vector<FileStamp> stamps;
  stamps.reserve(stamped.size());
  for (const fs::path& p : stamped) stamps.push_back(StampFile(p));
  return stamps;
}

TableLender::TableLender(TablePaths paths, std::chrono::steady_clock::duration recheck)
    : paths_(std::move(paths)), recheck_(recheck) {}

void GiveTablesBack::operator()(PassTables* tables) const {
  if (lender != nullptr) lender->GiveBack(tables);
  else delete tables;
}

LentTables TableLender::Lend(bool textInput) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::unique_ptr<Loaded>& loaded = loaded_[textInput ? 1 : 0];
  const auto now = std::chrono::steady_clock::now();
  if (loaded && now - loaded->checked >= recheck_) {
    if (!Unchanged(loaded->stamps)) loaded.reset();
    else loaded->checked = now;
  }
  if (!loaded) {
    auto fresh = std::make_unique<Loaded>();
    // Stamped first: a change made while the tables load is seen next time.
    fresh->stamps = StampTableFiles(paths_);
    fresh->tables = std::make_unique<PassTables>(paths_);
    LoadPassTables(*fresh->tables, textInput);
    PrepareForLending(*fresh->tables);
    fresh->checked = std::chrono::steady_clock::now();
    loaded = std::move(fresh);
    ++loads_;
  }
  GiveTablesBack back{this};
  if (!loaded->given.empty()) {
    PassTables* again = loaded->given.back().release();
    loaded->given.pop_back();
    again->RestartFrom(*loaded->tables);
    return LentTables(again, back);
  }
  return LentTables(new PassTables(*loaded->tables, PassTables::Lend{}), back);
}

void TableLender::GiveBack(PassTables* tables) {
  std::unique_ptr<PassTables> returned(tables);
  std::lock_guard<std::mutex> lock(mutex_);
  // Tables lent from what was loaded before are deleted (after the lock is
  // let go, since `returned` is declared first).
  for (std::unique_ptr<Loaded>& loaded : loaded_) {
    if (loaded && returned->SharesReadTablesOf(*loaded->tables)) {
      loaded->given.push_back(std::move(returned));
      return;
    }
  }
}

int TableLender::loads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return loads_;
}

}  // namespace velkan
