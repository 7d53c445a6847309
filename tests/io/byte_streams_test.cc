// Byte sources and sinks: reads in pieces, buffered writes in call order, and
// write failures reported rather than lost.
#include "io/byte_streams.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace velkan::test {
namespace {

TEST(MemorySource, ReadsInPiecesThenReportsTheEnd) {
  MemorySource s("abcde");
  uint8_t buf[4];
  EXPECT_EQ(s.Size(), 5);
  EXPECT_EQ(s.Read(buf, 3), 3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 3), "abc");
  EXPECT_EQ(s.Read(buf, 4), 2);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 2), "de");
  EXPECT_EQ(s.Read(buf, 4), 0);

  MemorySource empty{std::string_view{}};
  EXPECT_EQ(empty.Read(buf, 4), 0);
}

// The size a source is given spares the read that finds the end, but never
// cuts a file short: one that grew since its size was taken is read whole,
// and a size of 0 (a file of /proc, a pipe) ends nothing.
TEST(FdSource, ASizeGivenNeverCutsTheInputShort) {
  TempDir dir;
  const std::filesystem::path grown = dir.Write("grown", "abcdef");
  int fd = ::open(grown.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  FdSource source(fd, 3);  // the size before it grew
  uint8_t buf[64];
  EXPECT_EQ(source.Read(buf, sizeof buf), 6);
  EXPECT_EQ(source.Read(buf, sizeof buf), 0);
  ::close(fd);

  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  FdSource piped(fds[0], 0);
  ASSERT_EQ(::write(fds[1], "ab", 2), 2);
  EXPECT_EQ(piped.Read(buf, sizeof buf), 2);
  ASSERT_EQ(::write(fds[1], "cd", 2), 2);
  ::close(fds[1]);
  EXPECT_EQ(piped.Read(buf, sizeof buf), 2);
  EXPECT_EQ(piped.Read(buf, sizeof buf), 0);
  ::close(fds[0]);
}

// Also from where the descriptor stands, and past the amounts after which
// the disk's writing is started.
TEST(FdSink, WritesEverythingInCallOrder) {
  TempDir dir;
  std::string path = (dir.path() / "out").string();
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  std::string want = "before the sink\r\n";
  ASSERT_EQ(::write(fd, want.data(), want.size()), static_cast<ssize_t>(want.size()));
  {
    FdSink sink(fd);
    for (int i = 0; i < 5000; ++i) {
      std::string piece = "<ZAN2 code=" + std::to_string(i) + ">";
      ASSERT_TRUE(sink.Write(piece.data(), piece.size()));
      want += piece;
    }
    std::string big(200000, 'x');  // larger than the buffer
    ASSERT_TRUE(sink.Write(big.data(), big.size()));
    want += big;
    ASSERT_TRUE(sink.Write("\r\n", 2));
    want += "\r\n";
    for (int i = 0; i < 300; ++i) {  // 19 MiB in pieces, some larger than any buffer
      std::string piece((i % 50 == 7 ? 300000 : 65536) + 1 + i % 7, static_cast<char>('a' + i % 26));
      ASSERT_TRUE(sink.Write(piece.data(), piece.size()));
      want += piece;
    }
    EXPECT_TRUE(sink.Flush());
    EXPECT_EQ(sink.written(), static_cast<long long>(want.size() - 17));
    EXPECT_FALSE(sink.failed());
  }
  ::close(fd);
  std::ifstream in(path, std::ios::binary);
  std::ostringstream got;
  got << in.rdbuf();
  EXPECT_EQ(got.str(), want);
}

// Sinks one after another lend the same buffer: each file takes exactly its
// own bytes, also after a sink whose thread wrote larger buffers; and two
// sinks at once never write through one buffer.
TEST(FdSink, SinksInTurnShareOneBuffer) {
  TempDir dir;
  SpareBlock spare;
  int files = 0;
  auto open = [&dir, &files](std::string& path) {
    path = (dir.path() / ("out" + std::to_string(files++))).string();
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  };
  auto slurp = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream got;
    got << in.rdbuf();
    return got.str();
  };
  auto piece = [](int sink, size_t i) { return "<" + std::to_string(sink) + ":" + std::to_string(i) + ">"; };
  for (size_t size : {size_t{3} << 20, size_t{70000}, size_t{5}, size_t{1} << 20}) {
    std::string path, want;
    const int fd = open(path);
    ASSERT_GE(fd, 0);
    {
      FdSink sink(fd, &spare);
      for (size_t i = 0; want.size() < size; ++i) {
        const std::string p = piece(files, i);
        ASSERT_TRUE(sink.Write(p.data(), p.size()));
        want += p;
      }
      EXPECT_TRUE(sink.Flush());
    }
    ::close(fd);
    const std::string got = slurp(path);
    EXPECT_TRUE(got == want) << path << ": " << got.size() << " bytes of " << want.size();
  }
  std::string paths[2], wants[2];
  const int fds[2] = {open(paths[0]), open(paths[1])};
  ASSERT_GE(fds[0], 0);
  ASSERT_GE(fds[1], 0);
  {
    FdSink a(fds[0], &spare), b(fds[1], &spare);
    for (size_t i = 0; i < 20000; ++i) {
      const std::string p = piece(0, i), q = piece(1, i);
      ASSERT_TRUE(a.Write(p.data(), p.size()) && b.Write(q.data(), q.size()));
      wants[0] += p;
      wants[1] += q;
    }
  }
  for (int k = 0; k < 2; ++k) {
    ::close(fds[k]);
    EXPECT_TRUE(slurp(paths[k]) == wants[k]) << paths[k];
  }
}

// A regular file's buffers are written by the sink's thread: a write that
// fails there is reported at a later write or by Flush, with the count of
// the bytes the file took, and nothing is taken after it.
TEST(FdSink, AFailureOfTheWritingThreadIsReported) {
  TempDir dir;
  std::string path = (dir.path() / "out").string();
  constexpr rlim_t kLimit = 1500000;  // past the first buffers
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim {kLimit, kLimit};
    if (::setrlimit(RLIMIT_FSIZE, &lim) != 0) ::_exit(10);
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) ::_exit(11);
    FdSink sink(fd);
    std::string piece(1000, 'x');
    long long taken = 0;
    while (taken < 4 * 1000000 && sink.Write(piece.data(), piece.size())) taken += 1000;
    if (taken >= 4 * 1000000) ::_exit(12);  // every write was taken
    if (!sink.failed() || sink.error() != EFBIG) ::_exit(13);
    if (sink.written() != static_cast<long long>(kLimit)) ::_exit(14);
    if (sink.Write("y", 1) || sink.Flush()) ::_exit(15);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "the sink died instead of reporting the fault";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::ifstream in(path, std::ios::binary);
  std::ostringstream got;
  got << in.rdbuf();
  EXPECT_EQ(got.str(), std::string(kLimit, 'x'));
}

TEST(FdSink, FailedWritesAreReportedAndStick) {
  int fd = ::open("/dev/full", O_WRONLY);
  if (fd < 0) GTEST_SKIP() << "no /dev/full";
  {
    FdSink sink(fd);
    EXPECT_TRUE(sink.Write("abc", 3));  // buffered for now
    EXPECT_FALSE(sink.Flush());
    EXPECT_TRUE(sink.failed());
    EXPECT_EQ(sink.error(), ENOSPC);
    EXPECT_FALSE(sink.Write("d", 1));
  }
  {
    FdSink sink(fd);
    std::string big(100000, 'x');
    EXPECT_FALSE(sink.Write(big.data(), big.size()));  // goes straight to the file
    EXPECT_TRUE(sink.failed());
    EXPECT_FALSE(sink.Write("e", 1));  // no buffered room is lent after the failure
  }
  ::close(fd);
}

// A descriptor whose write takes nothing and names no error (a file system
// may do so) fails the sink with ENOSPC instead of being asked again for
// ever.
TEST(FdSink, AWriteThatTakesNothingFailsInsteadOfHanging) {
  TempDir dir;
  const std::string path = (dir.path() / "out").string();
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::alarm(10);  // a sink that loops dies of it
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) ::_exit(11);
    if (!MakeWritesTakeNothing(fd)) ::_exit(20);  // no filter to be had here
    FdSink sink(fd);
    if (!sink.Write("abc", 3)) ::_exit(13);  // buffered
    if (sink.Flush() || !sink.failed() || sink.error() != ENOSPC || sink.written() != 0) ::_exit(14);
    std::string big(300000, 'x');  // straight to the descriptor
    FdSink direct(fd);
    if (direct.Write(big.data(), big.size()) || direct.error() != ENOSPC) ::_exit(15);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "the sink kept writing a descriptor that takes nothing";
  if (WEXITSTATUS(status) == 20) GTEST_SKIP() << "no seccomp filter here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace velkan::test
