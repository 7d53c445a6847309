// The two output primitives: the output switch, the Warning option, the
// line-start flag and refused writes.
#include "conversion/tag_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands/commands_literals.h"
#include "commands/mode_switches.h"
#include "conversion/session.h"
#include "conversion/word_fixture.h"
#include "io/byte_streams.h"
#include "support/test_support.h"
#include "typo/typo_literals.h"

namespace velkan::test {
namespace {

// Refuses every write.
class RefusingSink final : public ByteSink {
 public:
  bool TakeBytes(const char*, size_t) override {
    ++calls;
    return false;
  }
  int calls = 0;
};

// Lends room of a buffer of the given size, as a file's sink does, and keeps
// what is written.
class RoomSink final : public ByteSink {
 public:
  explicit RoomSink(size_t size) : buffer_(size) { Rewind(); }
  const std::string& data() {
    Collect();
    return data_;
  }

 protected:
  bool TakeBytes(const char* data, size_t n) override {
    Collect();
    data_.append(data, n);
    return true;
  }

 private:
  void Collect() {
    data_.append(buffer_.data(), static_cast<size_t>(cur_ - buffer_.data()));
    Rewind();
  }
  void Rewind() {
    cur_ = buffer_.data();
    end_ = cur_ + buffer_.size();
  }
  std::vector<char> buffer_;
  std::string data_;
};

TEST(WriteText, WritesTheBytesUnchangedAndClearsTheLineStart) {
  Session session;
  MemorySink sink;
  TagWriter out(sink, session);
  std::string bytes = Sjis("<WAR \"改頁\">") + std::string("\r\n\x82", 3);
  EXPECT_EQ(out.WriteText(bytes), 1);
  EXPECT_EQ(sink.data(), bytes);
  EXPECT_EQ(session.atLineStart, 0);
}

TEST(WriteText, SwitchedOffDropsTheTextButStillClearsTheLineStart) {
  Session session;
  MemorySink sink;
  TagWriter out(sink, session);
  out.outputSuppressed = 1;
  EXPECT_EQ(out.WriteText("<em>"), 1);
  EXPECT_EQ(sink.data(), "");
  EXPECT_EQ(session.atLineStart, 0);
  out.outputSuppressed = 0;
  EXPECT_EQ(out.WriteText("<en>"), 1);
  EXPECT_EQ(sink.data(), "<en>");  // nothing dropped comes back
}

TEST(WriteText, RefusedWriteFailsAndKeepsTheLineStart) {
  Session session;
  RefusingSink sink;
  TagWriter out(sink, session);
  EXPECT_EQ(out.WriteText("<em>"), -1);
  EXPECT_EQ(session.atLineStart, 1);
  EXPECT_TRUE(out.writeFailed());
  // Switched off, nothing reaches the sink, so nothing can fail.
  out.outputSuppressed = 1;
  EXPECT_EQ(out.WriteText("<em>"), 1);
  EXPECT_EQ(sink.calls, 1);
  EXPECT_EQ(session.atLineStart, 0);
}

// A text composed in the sink's room, or on the stack where the room is
// too short, is written as WriteText writes it; switched off, it is
// dropped and the line start is cleared all the same.
TEST(WriteComposed, WritesAsWriteTextInTheRoomOrNot) {
  auto compose = [](char* d) {
    std::memcpy(d, "<GOU2 size=6pt>", 15);
    return d + 15;
  };
  for (size_t room : {4096u, 40u, 20u}) {
    Session session;
    RoomSink sink(room);
    TagWriter out(sink, session);
    // 20 bytes of room: the second text no longer fits in what is left.
    EXPECT_EQ(out.WriteComposed<32>(compose), 1);
    EXPECT_EQ(out.WriteComposed<32>(compose), 1);
    EXPECT_EQ(session.atLineStart, 0);
    out.outputSuppressed = 1;
    session.atLineStart = 1;
    EXPECT_EQ(out.WriteComposed<32>(compose), 1);
    EXPECT_EQ(session.atLineStart, 0);
    EXPECT_EQ(sink.data(), "<GOU2 size=6pt><GOU2 size=6pt>") << room;
  }
  Session session;
  RefusingSink refusing;
  TagWriter out(refusing, session);
  EXPECT_EQ(out.WriteComposed<32>(compose), -1);
  EXPECT_TRUE(out.writeFailed());
  EXPECT_EQ(session.atLineStart, 1);
}

TEST(WriteWarning, ComposesTheWarningTag) {
  Session session;
  MemorySink sink;
  TagWriter out(sink, session);
  EXPECT_EQ(out.WriteWarning(Sjis("改頁")), 1);
  EXPECT_EQ(sink.data(), Sjis("<WAR \"改頁\">"));
  EXPECT_EQ(session.atLineStart, 1);  // a warning is no text
  // A fixed message's tag, made when the program is built, is the same.
  EXPECT_EQ(out.WriteWarning(kWarningTag<lit::kWarnPageBreak>), 1);
  EXPECT_EQ(sink.data(), Sjis("<WAR \"改頁\"><WAR \"改頁\">"));
  EXPECT_EQ(session.atLineStart, 1);
}

TEST(WriteWarning, InvalidWordMessageIsExact) {
  Session session;
  MemorySink sink;
  TagWriter out(sink, session);
  EXPECT_EQ(out.WriteWarningF(lit::kWarnInvalidWord, 0x1234), 1);
  EXPECT_EQ(sink.data(), Sjis("<WAR \"不正文字，1234\">"));
}

TEST(WriteWarning, WarningOptionSilencesOnlyWarnings) {
  Session session;
  session.settings.warnings = 1;
  MemorySink sink;
  TagWriter out(sink, session);
  EXPECT_EQ(out.WriteWarning("x"), 1);
  EXPECT_EQ(out.WriteText("<em>"), 1);
  EXPECT_EQ(out.WriteWarningF("%d", 5), 1);
  EXPECT_EQ(out.WriteWarning(kWarningTag<lit::kWarnPageBreak>), 1);
  EXPECT_EQ(sink.data(), "<em>");
}

TEST(WriteWarning, OutputSwitchSilencesWarningsWhateverTheOption) {
  Session session;
  MemorySink sink;
  TagWriter out(sink, session);
  out.outputSuppressed = 1;
  EXPECT_EQ(out.WriteWarning("x"), 1);
  EXPECT_EQ(out.WriteWarning(kWarningTag<lit::kWarnPageBreak>), 1);
  EXPECT_EQ(sink.data(), "");
  EXPECT_EQ(session.atLineStart, 1);
}

TEST(WriteWarning, RefusedWriteFailsWithoutTouchingTheLineStart) {
  Session session;
  session.atLineStart = 0;
  RefusingSink sink;
  TagWriter out(sink, session);
  EXPECT_EQ(out.WriteWarning("x"), -1);
  // A sink that lends no room takes a fixed tag through the same write.
  EXPECT_EQ(out.WriteWarning(kWarningTag<lit::kWarnPageBreak>), -1);
  EXPECT_EQ(sink.calls, 2);
  EXPECT_EQ(session.atLineStart, 0);
  EXPECT_TRUE(out.writeFailed());
}

TEST(WriteWarning, MessagesAreCutAfter247Bytes) {
  Session session;
  MemorySink sink;
  TagWriter out(sink, session);
  std::string fits(247, 'a');
  out.WriteWarning(fits);
  EXPECT_EQ(sink.data(), "<WAR \"" + fits + "\">");

  MemorySink longSink;
  TagWriter longOut(longSink, session);
  longOut.WriteWarning(std::string(247, 'b') + "cdef");
  EXPECT_EQ(longSink.data(), "<WAR \"" + std::string(247, 'b') + "\">");
  EXPECT_EQ(longSink.data().size(), 255u);

  MemorySink fmtSink;
  TagWriter fmtOut(fmtSink, session);
  fmtOut.WriteWarningF("%s%d", std::string(300, 'c').c_str(), 42);
  EXPECT_EQ(fmtSink.data(), "<WAR \"" + std::string(247, 'c') + "\">");
}

TEST(WriteWarning, TheCutNeverSplitsADoubleByteCharacter) {
  Session session;
  const std::string kanji = test::Sjis("不正");  // two double-byte characters
  ASSERT_EQ(kanji.size(), 4u);
  // 246 bytes, then a character whose second byte would be the 248th.
  MemorySink sink;
  TagWriter out(sink, session);
  out.WriteWarning(std::string(246, 'a') + kanji);
  EXPECT_EQ(sink.data(), "<WAR \"" + std::string(246, 'a') + "\">");
  // 245 bytes and the first character fit whole.
  MemorySink fits;
  TagWriter fitsOut(fits, session);
  fitsOut.WriteWarning(std::string(245, 'a') + kanji);
  EXPECT_EQ(fits.data(), "<WAR \"" + std::string(245, 'a') + kanji.substr(0, 2) + "\">");
  // Second bytes that look like lead bytes are not taken for them.
  std::string pairs;
  for (int i = 0; i < 124; ++i) pairs += "\x81\x81";  // 248 bytes: 124 characters
  MemorySink evenSink;
  TagWriter evenOut(evenSink, session);
  evenOut.WriteWarning(pairs);
  EXPECT_EQ(evenSink.data(), "<WAR \"" + pairs.substr(0, 246) + "\">");
  // Through the printf buffer as well.
  MemorySink fmtSink;
  TagWriter fmtOut(fmtSink, session);
  fmtOut.WriteWarningF("%s%s", std::string(246, 'c').c_str(), kanji.c_str());
  EXPECT_EQ(fmtSink.data(), "<WAR \"" + std::string(246, 'c') + "\">");
}

// The messages are composed without printf for the conversions the warnings
// use; each must come out as printf writes it, and any other conversion
// still goes to printf.
TEST(WriteWarning, ComposedMessagesAreWhatPrintfWrites) {
  Session session;
  auto printf = [](const char* format, auto... args) {
    char buf[256];
    std::snprintf(buf, sizeof buf, format, args...);
    return "<WAR \"" + std::string(buf) + "\">";
  };
  auto written = [&](const char* format, auto... args) {
    MemorySink sink;
    TagWriter out(sink, session);
    out.WriteWarningF(format, args...);
    return sink.data();
  };
  for (int v : {0, 7, -7, 32767, -32768}) {
    EXPECT_EQ(written(lit::kWarnMultipleLineFeed, v), printf(lit::kWarnMultipleLineFeed, v)) << v;
  }
  for (unsigned v : {0x0u, 0xAu, 0xBCu, 0xDEFu, 0xFFFFu}) {
    EXPECT_EQ(written(lit::kWarnInvalidWord, v), printf(lit::kWarnInvalidWord, v)) << v;
  }
  for (double v : {0.0, 12.5, -0.01, 3.0, 9999.99, 123456.78, 1e-7}) {
    EXPECT_EQ(written(lit::kWarnJustifyLeadingLength, v), printf(lit::kWarnJustifyLeadingLength, v)) << v;
  }
  EXPECT_EQ(written("%s%s|%d%%", "ab", "", 5), printf("%s%s|%d%%", "ab", "", 5));
  EXPECT_EQ(written("%3d|%x|%d", 5, 0xABu, 6), printf("%3d|%x|%d", 5, 0xABu, 6));
  // Met after values already composed, printf starts again from the first.
  EXPECT_EQ(written("%d|%s|%5.1f", 5, "x", 2.25), printf("%d|%s|%5.1f", 5, "x", 2.25));
}

// A message is composed in the sink's room when the sink lends enough of it:
// the tag is the same as through the message buffer, cut alike.
TEST(WriteWarning, ComposedInTheRoomAsThroughTheBuffer) {
  Session session;
  const std::string kanji = test::Sjis("不正");
  const std::string a246(246, 'a'), c300(300, 'c');
  auto cases = [&](TagWriter& out) {
    out.WriteWarningF(lit::kWarnInvalidWord, 0xABu);
    out.WriteWarningF("%s%d", c300.c_str(), 42);
    out.WriteWarningF("%s%s", a246.c_str(), kanji.c_str());
    out.WriteWarningF("%d|%s|%5.1f", 5, "x", 2.25);  // through printf
    out.WriteWarningF("%s", "");
  };
  MemorySink buffered;
  TagWriter bufferedOut(buffered, session);
  cases(bufferedOut);
  ASSERT_EQ(buffered.data().substr(0, 6), "<WAR \"");
  // Room for every tag, room too short for the longest one (the tag goes
  // through the buffer), and room that runs out between tags.
  for (size_t room : {4096u, 263u, 300u}) {
    RoomSink sink(room);
    TagWriter out(sink, session);
    cases(out);
    EXPECT_EQ(sink.data(), buffered.data()) << room;
    EXPECT_EQ(session.atLineStart, 1);  // a warning is no text
  }
}

// A message literal read when the program is built gives the tag printf
// would, with room lent by the sink and without.
TEST(WriteWarning, FormatsReadWhenBuiltComposeAsPrintf) {
  Session session;
  auto both = [&](auto write, auto printf) {
    MemorySink buffered;
    TagWriter bufferedOut(buffered, session);
    write(bufferedOut);
    RoomSink roomy(4096);
    TagWriter roomyOut(roomy, session);
    write(roomyOut);
    MemorySink expected;
    TagWriter expectedOut(expected, session);
    printf(expectedOut);
    EXPECT_EQ(buffered.data(), expected.data());
    EXPECT_EQ(roomy.data(), expected.data());
  };
  for (int16_t v : {int16_t{0}, int16_t{7}, int16_t{-7}, int16_t{32767}, int16_t{-32768}}) {
    both([&](TagWriter& o) { o.WriteWarningF<lit::kWarnMultipleLineFeed>(v); },
         [&](TagWriter& o) { o.WriteWarningF(lit::kWarnMultipleLineFeed, v); });
    both([&](TagWriter& o) { o.WriteWarningF<lit::kWarnAutoDeform>(v, int16_t{-1}, v); },
         [&](TagWriter& o) { o.WriteWarningF(lit::kWarnAutoDeform, v, -1, v); });
    // A negative value is written as the unsigned it is taken for.
    both([&](TagWriter& o) { o.WriteWarningF<lit::kWarnInvalidWord>(v); },
         [&](TagWriter& o) { o.WriteWarningF(lit::kWarnInvalidWord, static_cast<unsigned>(v)); });
  }
  for (uint16_t w : {uint16_t{0}, uint16_t{0xA}, uint16_t{0xBC}, uint16_t{0xDEF}, uint16_t{0xFFFF}}) {
    both([&](TagWriter& o) { o.WriteWarningF<lit::kWarnInvalidWord>(w); },
         [&](TagWriter& o) { o.WriteWarningF(lit::kWarnInvalidWord, unsigned{w}); });
  }
  for (double g : {0.0, -0.0, 12.5, -0.01, 3.0, 9999.99, 123456.78, -2147483648.0, 1e-7}) {
    both([&](TagWriter& o) { o.WriteWarningF<lit::kWarnIndentPercent>(g, 3); },
         [&](TagWriter& o) { o.WriteWarningF(lit::kWarnIndentPercent, g, 3); });
    both([&](TagWriter& o) { o.WriteWarningF<lit::kWarnNewIndent>(g, -g); },
         [&](TagWriter& o) { o.WriteWarningF(lit::kWarnNewIndent, g, -g); });
  }
  // The longest: six values.
  both([&](TagWriter& o) { o.WriteWarningF<lit::kWarnPageNumberValues>(-32768, 1, -32768, 32767, 0, -1); },
       [&](TagWriter& o) { o.WriteWarningF(lit::kWarnPageNumberValues, -32768, 1, -32768, 32767, 0, -1); });
  static_assert(WarningFormat<lit::kWarnPageNumberValues>::kConversions == 6);
}

// The tag of a fixed message made of two is the tag of the two composed.
TEST(WriteWarning, FixedTagOfTwoMessagesIsTheirConcatenation) {
  Session session;
  MemorySink sink;
  TagWriter out(sink, session);
  out.WriteWarning(kWarningTag<lit::kWarnModeRagged, lit::kWarnModeForbidden>);
  const std::string fixed = sink.data();
  out.WriteWarningF("%s%s", lit::kWarnModeRagged, lit::kWarnModeForbidden);
  EXPECT_EQ(sink.data(), fixed + fixed);
  EXPECT_EQ(fixed, Sjis("<WAR \"ラギットモード禁止\">"));
}

TEST(OutputSwitch, TogglesAndConsumesTheWord) {
  WordConversion w({0x4521});
  w.c.stream.Keep(0xD075);
  EXPECT_EQ(CmdOutputSwitch(w.c), Flow::kGoOn);
  EXPECT_EQ(w.c.out.outputSuppressed, 1);
  EXPECT_FALSE(w.c.stream.pending());
  EXPECT_EQ(CmdOutputSwitch(w.c), Flow::kGoOn);
  EXPECT_EQ(w.c.out.outputSuppressed, 0);
}

}  // namespace
}  // namespace velkan::test
