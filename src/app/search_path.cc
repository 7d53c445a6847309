#include "app/search_path.h"

#include <cstdlib>

#include "app/ini_file.h"
#include "app/settings.h"

namespace velkan::app {

std::filesystem::path SharedProfilePath() { return ConfigFolder() / "kestovan.ini"; }

std::string ExtendedSearchPath(std::string folder, const std::optional<std::string>& oldPath) {
  if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (!oldPath) return folder;
  return folder + ":" + *oldPath;
}

bool SetUpSearchPath(const std::filesystem::path& profile) {
  std::string folder = IniFile::Load(profile).GetOr("PATH", "tzwfntutl", "");
  if (folder.empty()) return false;
  std::optional<std::string> oldPath;
  if (const char* path = std::getenv("PATH")) oldPath = path;
  return ::setenv("PATH", ExtendedSearchPath(folder, oldPath).c_str(), 1) == 0;
}

}  // namespace velkan::app
