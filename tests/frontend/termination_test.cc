// What a front end's set-up removes when the program ends in the middle of a
// conversion: a signal, or exit() called from anywhere (as the dialog's
// toolkit calls it when the X connection is lost).
#include "frontend/termination.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "io/output_file.h"
#include "support/test_support.h"

namespace velkan {
namespace {

namespace fs = std::filesystem;

// Runs, in a child, a program that sets up the ending, opens an output
// through the registry and then `ends`; returns its wait status.
template <typename End>
int EndWithAnOutputOpen(const fs::path& out, End ends) {
  pid_t pid = ::fork();
  if (pid == 0) {
    auto* files = new TemporaryFiles;
    frontend::RemoveTemporariesWhenEnding(*files);
    OutputFile f;
    if (!f.Open(out.string(), files) || f.temporary().empty()) ::_exit(100);
    ends();
    ::_exit(101);
  }
  int status = 0;
  EXPECT_EQ(::waitpid(pid, &status, 0), pid);
  return status;
}

size_t FilesIn(const fs::path& dir) {
  size_t n = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
  return n;
}

TEST(Termination, TheTemporaryFileGoesWhenTheProgramEndsMidway) {
  test::TempDir dir;
  const fs::path out = dir.Write("out.txt", "earlier");
  // exit() from anywhere, as the toolkit calls it.
  int status = EndWithAnOutputOpen(out, [] { std::exit(1); });
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(FilesIn(dir.path()), 1u);
  // A signal that ends a program, sent to the process.
  for (int sig : {SIGTERM, SIGHUP}) {
    status = EndWithAnOutputOpen(out, [sig] {
      ::kill(::getpid(), sig);
      ::pause();
    });
    ASSERT_TRUE(WIFSIGNALED(status)) << sig;
    EXPECT_EQ(WTERMSIG(status), sig);
    EXPECT_EQ(FilesIn(dir.path()), 1u);
  }
  EXPECT_EQ(test::Slurp(out), "earlier");
}

}  // namespace
}  // namespace velkan
