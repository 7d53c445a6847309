#include "tables/table_root.h"

#include <strings.h>

#include <system_error>

namespace velkan {

namespace fs = std::filesystem;

namespace {

// The entry of `dir` named `part`: the exact name when it exists, else the
// smallest name that matches without regard to case, else `part` as is.
fs::path MatchComponent(const fs::path& dir, const std::string& part) {
  fs::path exact = dir / part;
  std::error_code ec;
  if (fs::symlink_status(exact, ec).type() != fs::file_type::not_found && !ec) return exact;
  fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, ec);
  if (ec) return exact;
  std::string best;
  for (fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.size() == part.size() && ::strcasecmp(name.c_str(), part.c_str()) == 0 &&
        (best.empty() || name < best)) {
      best = std::move(name);
    }
  }
  return best.empty() ? exact : dir / best;
}

}  // namespace

fs::path ResolveUnder(const fs::path& base, std::string_view name) {
  fs::path result = base;
  size_t i = 0;
  while (i < name.size()) {
    size_t j = name.find_first_of("\\/", i);
    if (j == std::string_view::npos) j = name.size();
    if (j > i) result = MatchComponent(result, std::string(name.substr(i, j - i)));
    i = j + 1;
  }
  return result;
}

TablePaths::TablePaths(fs::path root, std::optional<std::string> mtbl)
    : root_(std::move(root)), mtbl_(std::move(mtbl)) {
  if (mtbl_ && mtbl_->empty()) mtbl_.reset();
}

fs::path TablePaths::Fixed(std::string_view name) const { return ResolveUnder(root_, name); }

fs::path TablePaths::Prefixed(std::string_view name) const {
  if (!mtbl_) return Fixed(name);
  return ResolveUnder(fs::path(*mtbl_), name);
}

}  // namespace velkan
