// Where a job looks for its tables and keeps its format store when the user
// names neither.
#include "engine/job_places.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "support/test_support.h"

namespace velkan {
namespace {

namespace fs = std::filesystem;

// Sets (or unsets) an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) ::setenv(name, value->c_str(), 1);
    else ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(JobPlaces, TheRootIsTheOptionElseTheEnvironmentElseTheDefaultOne) {
  const Place fallback{"/default", PlaceRule::kInstallation};
  ScopedEnv root("VELKAN_ROOT", "/env/root");
  Place named = ChooseTableRoot("/given", fallback);
  EXPECT_EQ(named.path, fs::path("/given"));
  EXPECT_EQ(named.rule, PlaceRule::kNamed);
  Place fromEnv = ChooseTableRoot("", fallback);
  EXPECT_EQ(fromEnv.path, fs::path("/env/root"));
  EXPECT_EQ(fromEnv.rule, PlaceRule::kEnvironment);
  ScopedEnv empty("VELKAN_ROOT", "");
  EXPECT_EQ(ChooseTableRoot("", fallback).path, fs::path("/default"));
  EXPECT_EQ(ChooseTableRoot("", fallback).rule, PlaceRule::kInstallation);
}

// The default root is found from where the program lies: its build tree's
// root, else the site's root when it exists, else the installation's root.
TEST(JobPlaces, TheDefaultRootIsFoundFromTheProgramsPlace) {
  test::TempDir dir;
  const fs::path site = dir.path() / "etc" / "velkan" / "root";

  // An installation: PREFIX/bin/velkan reads PREFIX/share/velkan/root, even
  // before that folder exists.
  Place installed = FindDefaultTableRoot(dir.path() / "usr" / "bin" / "velkan", site);
  EXPECT_EQ(installed.path, dir.path() / "usr" / "share" / "velkan" / "root");
  EXPECT_EQ(installed.rule, PlaceRule::kInstallation);

  // A site root, once it exists, comes before the installation's.
  fs::create_directories(site);
  Place atSite = FindDefaultTableRoot(dir.path() / "usr" / "bin" / "velkan", site);
  EXPECT_EQ(atSite.path, site);
  EXPECT_EQ(atSite.rule, PlaceRule::kSiteRoot);

  // A build tree: BUILD/bin/velkan with BUILD/root/qdxfiles beside it; a root
  // folder without qdxfiles is no build tree.
  dir.Write("build/root/readme", "");
  EXPECT_EQ(FindDefaultTableRoot(dir.path() / "build" / "bin" / "velkan", site).rule, PlaceRule::kSiteRoot);
  fs::create_directories(dir.path() / "build" / "root" / "qdxfiles");
  Place built = FindDefaultTableRoot(dir.path() / "build" / "bin" / "velkan", site);
  EXPECT_EQ(built.path, dir.path() / "build" / "root");
  EXPECT_EQ(built.rule, PlaceRule::kBuildTree);

  // Without the program's place, the site's root, else the installation's
  // configured folder.
  EXPECT_EQ(FindDefaultTableRoot("", site).rule, PlaceRule::kSiteRoot);
  Place unknown = FindDefaultTableRoot("", "");
  EXPECT_EQ(unknown.rule, PlaceRule::kInstallation);
  EXPECT_TRUE(unknown.path.is_absolute()) << unknown.path;

  // This test program runs from the build tree, beside its sample root.
  EXPECT_EQ(ProgramFile().filename(), "velkan_tests");
  Place mine = DefaultTableRoot();
  EXPECT_EQ(mine.rule, PlaceRule::kBuildTree);
  EXPECT_TRUE(fs::equivalent(mine.path, VELKAN_SAMPLE_ROOT)) << mine.path;
}

TEST(JobPlaces, TheStoreOfASharedRootGoesToTheUsersStateDirectory) {
  test::TempDir bundled, other;
  const Place defaultRoot{bundled.path(), PlaceRule::kBuildTree};
  ScopedEnv store("VELKAN_STORE", std::nullopt);
  ScopedEnv state("XDG_STATE_HOME", "/state");
  Place inState = ChooseStoreDir("", defaultRoot, defaultRoot);
  EXPECT_EQ(inState.path, fs::path("/state/velkan"));
  EXPECT_EQ(inState.rule, PlaceRule::kUserState);
  // Every shared root does so; a named root that is the default one too,
  // however it is written.
  for (PlaceRule shared : {PlaceRule::kSiteRoot, PlaceRule::kInstallation}) {
    EXPECT_EQ(ChooseStoreDir("", {other.path(), shared}, defaultRoot).rule, PlaceRule::kUserState);
  }
  EXPECT_EQ(ChooseStoreDir("", {bundled.path() / "." / "", PlaceRule::kNamed}, defaultRoot).path,
            fs::path("/state/velkan"));
  Place beside = ChooseStoreDir("", {other.path(), PlaceRule::kEnvironment}, defaultRoot);
  EXPECT_EQ(beside.path, other.path()) << "another root keeps its store";
  EXPECT_EQ(beside.rule, PlaceRule::kBesideTables);
  EXPECT_EQ(ChooseStoreDir("/mine", defaultRoot, defaultRoot).path, fs::path("/mine"));
  EXPECT_EQ(ChooseStoreDir("/mine", defaultRoot, defaultRoot).rule, PlaceRule::kNamed);
  ScopedEnv fromEnv("VELKAN_STORE", "/env/store");
  EXPECT_EQ(ChooseStoreDir("", defaultRoot, defaultRoot).path, fs::path("/env/store"));
  EXPECT_EQ(ChooseStoreDir("", defaultRoot, defaultRoot).rule, PlaceRule::kEnvironment);
  EXPECT_EQ(ChooseStoreDir("/mine", defaultRoot, defaultRoot).path, fs::path("/mine"));
}

TEST(JobPlaces, TheStateDirectoryFollowsXdgElseHome) {
  ScopedEnv home("HOME", "/home/u");
  {
    ScopedEnv state("XDG_STATE_HOME", "/xdg");
    EXPECT_EQ(UserStateDir(), fs::path("/xdg/velkan"));
  }
  {
    ScopedEnv state("XDG_STATE_HOME", "relative/dir");  // not absolute: ignored
    EXPECT_EQ(UserStateDir(), fs::path("/home/u/.local/state/velkan"));
  }
  ScopedEnv state("XDG_STATE_HOME", std::nullopt);
  EXPECT_EQ(UserStateDir(), fs::path("/home/u/.local/state/velkan"));
}

TEST(JobPlaces, WithoutAStateDirectoryASharedRootHasNoStore) {
  test::TempDir bundled, other;
  const Place defaultRoot{bundled.path(), PlaceRule::kBuildTree};
  ScopedEnv store("VELKAN_STORE", std::nullopt);
  ScopedEnv state("XDG_STATE_HOME", "relative/state");
  for (std::optional<std::string> home : {std::optional<std::string>(), std::optional<std::string>("relative/home")}) {
    ScopedEnv homeEnv("HOME", home);
    // Never a folder of the working directory.
    EXPECT_EQ(UserStateDir(), std::nullopt);
    Place none = ChooseStoreDir("", defaultRoot, defaultRoot);
    EXPECT_EQ(none.rule, PlaceRule::kNowhere);
    EXPECT_TRUE(none.path.empty());
    EXPECT_EQ(ChooseStoreDir("", {other.path(), PlaceRule::kNamed}, defaultRoot).path, other.path());
    EXPECT_EQ(ChooseStoreDir("/mine", defaultRoot, defaultRoot).path, fs::path("/mine"));
    ScopedEnv fromEnv("VELKAN_STORE", "/env/store");
    EXPECT_EQ(ChooseStoreDir("", defaultRoot, defaultRoot).path, fs::path("/env/store"));
  }
}

}  // namespace
}  // namespace velkan
