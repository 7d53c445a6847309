#include "engine/job_places.h"

#include <cstdlib>
#include <system_error>

#include "io/message_mark.h"

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

fs::path ProgramFile() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : self;
}

Place FindDefaultTableRoot(const fs::path& program, const fs::path& siteRoot) {
  std::error_code ec;
  fs::path bin = program.parent_path();
  if (!program.empty()) {
    fs::path built = bin.parent_path() / "root";
    if (fs::is_directory(built / "qdxfiles", ec)) return {built, PlaceRule::kBuildTree};
  }
  if (!siteRoot.empty() && fs::is_directory(siteRoot, ec)) return {siteRoot, PlaceRule::kSiteRoot};
  if (!program.empty()) return {(bin / VELKAN_ROOT_FROM_BINDIR).lexically_normal(), PlaceRule::kInstallation};
  // Without /proc: the folder the build was configured to install into, else
  // the usual places of a package or a local installation.
  for (const char* guess : {VELKAN_INSTALLED_ROOT, "/usr/share/velkan/root", "/usr/local/share/velkan/root"}) {
    if (fs::is_directory(guess, ec)) return {guess, PlaceRule::kInstallation};
  }
  return {VELKAN_INSTALLED_ROOT, PlaceRule::kInstallation};
}

Place DefaultTableRoot() { return FindDefaultTableRoot(ProgramFile(), kSiteTableRoot); }

Place ChooseTableRoot(const std::string& rootOption, const Place& defaultRoot) {
  if (!rootOption.empty()) return {rootOption, PlaceRule::kNamed};
  std::string env = Env("VELKAN_ROOT");
  if (!env.empty()) return {env, PlaceRule::kEnvironment};
  return defaultRoot;
}

std::optional<fs::path> UserStateDir() {
  fs::path state = Env("XDG_STATE_HOME");
  if (state.is_absolute()) return state / "velkan";
  fs::path home = Env("HOME");
  if (home.is_absolute()) return home / ".local" / "state" / "velkan";
  return std::nullopt;
}

Place ChooseStoreDir(const std::string& storeOption, const Place& tableRoot, const Place& defaultRoot) {
  if (!storeOption.empty()) return {storeOption, PlaceRule::kNamed};
  std::string env = Env("VELKAN_STORE");
  if (!env.empty()) return {env, PlaceRule::kEnvironment};
  bool shared = tableRoot.rule == PlaceRule::kBuildTree || tableRoot.rule == PlaceRule::kSiteRoot ||
                tableRoot.rule == PlaceRule::kInstallation;
  if (shared || (!defaultRoot.path.empty() && SameDirectory(tableRoot.path, defaultRoot.path))) {
    std::optional<fs::path> state = UserStateDir();
    if (!state) return {fs::path(), PlaceRule::kNowhere};
    return {*state, PlaceRule::kUserState};
  }
  return {tableRoot.path, PlaceRule::kBesideTables};
}

Note NoStorePlaceMessage() {
  return Note(N_("no place for the store of user-defined formats: neither XDG_STATE_HOME nor HOME names an "
                 "absolute folder; name one with --store DIR or VELKAN_STORE"));
}

}  // namespace velkan
