// Byte sources and sinks: reads in pieces, buffered writes in call order, and
// write failures reported rather than lost.
#include "driver/io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>

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
    for (int i = 0; i < 300; ++i) {  // 19 MiB in pieces
      std::string piece(65536 + 1 + i % 7, static_cast<char>('a' + i % 26));
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

}  // namespace
}  // namespace velkan::test
