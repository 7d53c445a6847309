// Runs the built `velkan` binary as a user would, for the command-line tests.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace velkan::test {

struct CliRun {
  int status = -1;  // exit status, or 128 + signal
  std::string out;  // what it wrote on stdout
  std::string err;  // what it wrote on stderr
};

class TempDir;

// A run of the binary that was started and is waited for by Wait() (or by
// the destructor, which kills it first).
class RunningVelkan {
 public:
  // Starts the binary with `args` in the directory `cwd` (empty: the test's
  // own), stdin from /dev/null and stdout and stderr captured in files (so
  // not a terminal). The environment is the test's own without VELKAN_ROOT,
  // VELKAN_STORE and MTBL and with LANG=C.UTF-8 (LANGUAGE, LC_ALL and
  // LC_MESSAGES unset), plus `env` ("NAME=value", which wins). `inChild` (if given)
  // runs in the child just before the program starts.
  RunningVelkan(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                const std::string& cwd = {}, const std::function<void()>& inChild = {});
  ~RunningVelkan();
  RunningVelkan(const RunningVelkan&) = delete;
  RunningVelkan& operator=(const RunningVelkan&) = delete;

  pid_t pid() const { return pid_; }
  // Waits for the program to end and gives what it did.
  CliRun Wait();

 private:
  std::unique_ptr<TempDir> io_;
  pid_t pid_ = -1;
};

// A pipe whose writing end the test keeps: a conversion that reads it waits,
// with its output open, until Release() (or the end of the object).
class HeldPipe {
 public:
  HeldPipe();
  ~HeldPipe();
  HeldPipe(const HeldPipe&) = delete;
  HeldPipe& operator=(const HeldPipe&) = delete;
  // In the child of RunningVelkan: the reading end becomes descriptor `fd`.
  void GiveAs(int fd) const;
  // Writes `bytes` and closes the writing end: the reader gets them and
  // then the end of the data.
  void Release(const std::string& bytes = {});

 private:
  int reader_ = -1;
  int writer_ = -1;
};

// Starts the binary as RunningVelkan does and waits for it.
CliRun RunVelkan(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                 const std::string& cwd = {}, const std::function<void()>& inChild = {});

// Starts the binary with `args` on a new terminal (its standard input,
// output and error) and waits for it: `out` gets all the terminal showed,
// `err` stays empty.
CliRun RunVelkanOnTerminal(const std::vector<std::string>& args);

}  // namespace velkan::test
