// Where the table files of a conversion live.
//
// The system names every table with a drive-root path such as
// "\QDXFILES\SJIS_ZAN.TBL". Here those paths lie under the table root
// directory; each component is matched without regard to case when the exact
// name is absent. Font tables are "prefixed": when MTBL is set they lie under
// that directory instead ("$MTBL/qdxfiles/fntinf.fil").
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace velkan {

class TablePaths {
 public:
  // `root` is the table root; `mtbl` the value of MTBL read once at job start
  // (nullopt when it is not set). An empty MTBL counts as not set: its files
  // are then looked for under the root, not at the top of the file system.
  TablePaths(std::filesystem::path root, std::optional<std::string> mtbl);

  // The file a fixed name ("\qdxfiles\pifont.fil") stands for under the root.
  // Components that exist under another case are matched; components that do
  // not exist at all keep the case as written, so a new file is created with
  // the name the system writes.
  std::filesystem::path Fixed(std::string_view name) const;

  // The file a prefixed name ("\QDXFILES\pitfile.fil") stands for: under the
  // MTBL directory when it is set (the name's components matched as in
  // Fixed(), the MTBL directory itself taken as written), else as Fixed().
  std::filesystem::path Prefixed(std::string_view name) const;

  const std::filesystem::path& root() const { return root_; }
  const std::optional<std::string>& mtbl() const { return mtbl_; }

 private:
  std::filesystem::path root_;
  std::optional<std::string> mtbl_;
};

// Resolves a drive-root name ("\A\b.TBL", separated by backslashes or
// slashes) below `base`. Each component is taken exactly when an entry of
// that name exists; otherwise the entry whose name equals it without regard
// to ASCII case (the smallest such name when there are several); otherwise it
// is kept as written.
std::filesystem::path ResolveUnder(const std::filesystem::path& base, std::string_view name);

}  // namespace velkan
