// Where a job looks for its tables and keeps its format store when the user
// names neither.
#include "driver/job_places.h"

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

TEST(JobPlaces, TheRootIsTheOptionElseTheEnvironmentElseTheBundledOne) {
  ScopedEnv root("VELKAN_ROOT", "/env/root");
  EXPECT_EQ(ChooseTableRoot("/given", "/bundled"), fs::path("/given"));
  EXPECT_EQ(ChooseTableRoot("", "/bundled"), fs::path("/env/root"));
  ScopedEnv empty("VELKAN_ROOT", "");
  EXPECT_EQ(ChooseTableRoot("", "/bundled"), fs::path("/bundled"));
}

TEST(JobPlaces, TheStoreOfTheBundledRootGoesToTheUsersStateDirectory) {
  test::TempDir bundled, other;
  ScopedEnv store("VELKAN_STORE", std::nullopt);
  ScopedEnv state("XDG_STATE_HOME", "/state");
  EXPECT_EQ(ChooseStoreDir("", bundled.path(), bundled.path()), fs::path("/state/velkan"));
  // The same directory written another way is still the bundled root.
  EXPECT_EQ(ChooseStoreDir("", bundled.path() / "." / "", bundled.path()), fs::path("/state/velkan"));
  EXPECT_EQ(ChooseStoreDir("", other.path(), bundled.path()), other.path()) << "another root keeps its store";
  EXPECT_EQ(ChooseStoreDir("/mine", bundled.path(), bundled.path()), fs::path("/mine"));
  ScopedEnv fromEnv("VELKAN_STORE", "/env/store");
  EXPECT_EQ(ChooseStoreDir("", bundled.path(), bundled.path()), fs::path("/env/store"));
  EXPECT_EQ(ChooseStoreDir("/mine", bundled.path(), bundled.path()), fs::path("/mine"));
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

}  // namespace
}  // namespace velkan
