// The search path of the programs the application starts: a folder named in
// the shared profile kestovan.ini goes in front of PATH at start-up.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace velkan::app {

// kestovan.ini beside velkan.ini (in ConfigFolder()).
std::filesystem::path SharedProfilePath();

// The new value of PATH with `folder` in front of `oldPath` (":" between
// them), or `folder` alone when PATH was not set. One trailing "/" of the
// folder is dropped unless the folder is "/" itself.
std::string ExtendedSearchPath(std::string folder, const std::optional<std::string>& oldPath);

// Reads the key "tzwfntutl" of section [PATH] of the profile at `profile`;
// when it names a folder, puts that folder in front of the process's PATH
// and returns true. A missing profile, key or an empty value changes
// nothing and returns false. Call before any other thread is started.
bool SetUpSearchPath(const std::filesystem::path& profile);

}  // namespace velkan::app
