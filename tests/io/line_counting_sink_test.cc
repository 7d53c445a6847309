// The sink that counts line ends on the way to another: the bytes arrive
// unchanged, and the position of the next byte is right whichever way the
// bytes came (short writes, the room lent, pieces larger than its buffer).
#include "io/line_counting_sink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace velkan {
namespace {

// The line and column of the byte after `text`, counted the plain way.
LineCountingSink::Position After(const std::string& text) {
  const long long lines = std::count(text.begin(), text.end(), '\n');
  const size_t lastEnd = text.rfind('\n');
  const long long column = static_cast<long long>(lastEnd == std::string::npos ? text.size() : text.size() - lastEnd - 1);
  return {lines + 1, column + 1};
}

TEST(LineCountingSink, PassesEveryByteOnAndKnowsWhereTheNextOneStands) {
  MemorySink inner;
  LineCountingSink sink(inner);
  std::string written;
  auto check = [&] {
    LineCountingSink::Position at = sink.Next();
    LineCountingSink::Position want = After(written);
    EXPECT_EQ(want.line, at.line) << written.size();
    EXPECT_EQ(want.column, at.column) << written.size();
  };
  check();
  for (int round = 0; round < 300; ++round) {
    // A short tag, a line end, text put in the room lent, and now and then
    // a piece larger than the sink's buffer.
    std::string tag = "<WAR \"" + std::to_string(round) + "\">";
    ASSERT_TRUE(sink.Write(tag.data(), tag.size()));
    written += tag;
    check();
    ASSERT_TRUE(sink.Write("\r\n", 2));
    written += "\r\n";
    char* end = nullptr;
    if (char* room = sink.room(); room != nullptr && (end = sink.roomEnd()) - room >= 3) {
      std::memcpy(room, "abc", 3);
      sink.Advance(room + 3);
      written += "abc";
    }
    check();
    if (round % 100 == 99) {
      std::string big(70000, 'x');
      big[12345] = '\n';
      ASSERT_TRUE(sink.Write(big.data(), big.size()));
      written += big;
      check();
    }
  }
  ASSERT_TRUE(sink.Flush());
  EXPECT_EQ(written, inner.data());
}

}  // namespace
}  // namespace velkan
