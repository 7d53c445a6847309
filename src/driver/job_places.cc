#include "driver/job_places.h"

#include <cstdlib>
#include <system_error>

namespace velkan {

namespace fs = std::filesystem;

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// Whether two paths name the same directory (the same file when both exist,
// else the same normal form).
bool SameDirectory(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  if (fs::exists(a, ec) && fs::exists(b, ec)) {
    bool same = fs::equivalent(a, b, ec);
    if (!ec) return same;
  }
  return fs::weakly_canonical(a, ec).lexically_normal() == fs::weakly_canonical(b, ec).lexically_normal();
}

}  // namespace

fs::path ChooseTableRoot(const std::string& rootOption, const fs::path& bundledRoot) {
  if (!rootOption.empty()) return rootOption;
  std::string env = Env("VELKAN_ROOT");
  if (!env.empty()) return env;
  return bundledRoot;
}

fs::path UserStateDir() {
  fs::path state = Env("XDG_STATE_HOME");
  if (state.empty() || !state.is_absolute()) {
    std::string home = Env("HOME");
    if (home.empty()) return fs::path("velkan-state");
    state = fs::path(home) / ".local" / "state";
  }
  return state / "velkan";
}

fs::path ChooseStoreDir(const std::string& storeOption, const fs::path& tableRoot, const fs::path& bundledRoot) {
  if (!storeOption.empty()) return storeOption;
  std::string env = Env("VELKAN_STORE");
  if (!env.empty()) return env;
  if (!bundledRoot.empty() && SameDirectory(tableRoot, bundledRoot)) return UserStateDir();
  return tableRoot;
}

}  // namespace velkan
