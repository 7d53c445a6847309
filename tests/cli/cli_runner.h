// Runs the built `velkan` binary as a user would, for the command-line tests.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace velkan::test {

struct CliRun {
  int status = -1;  // exit status, or 128 + signal
  std::string out;  // what it wrote on stdout
  std::string err;  // what it wrote on stderr
};

// Runs the binary with `args` in the directory `cwd` (empty: the test's
// own), stdin from /dev/null and stdout and stderr captured in files (so not
// a terminal). The environment is the test's own without VELKAN_ROOT,
// VELKAN_STORE and MTBL, plus `env` ("NAME=value"). `inChild` (if given)
// runs in the child just before the program starts.
CliRun RunVelkan(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                 const std::string& cwd = {}, const std::function<void()>& inChild = {});

}  // namespace velkan::test
