// The text pre-pass as a word source: what it makes of texts at the edges
// that a whole job does not show (block boundaries, the very end of the
// text, read errors), and PrepareTextInput.
#include "tables/text_pre_pass.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "io/byte_order.h"
#include "support/test_support.h"
#include "tables/code_tables.h"
#include "tables/text_words.h"

namespace velkan {
namespace {

using test::LittleEndianWords;
using test::Sjis;
using test::TempDir;

// Hands out a text a few bytes at a time, and fails after `failAfter` bytes
// when that is not negative.
class TrickleSource final : public ByteSource {
 public:
  TrickleSource(std::string data, size_t chunk, long failAfter = -1)
      : data_(std::move(data)), chunk_(chunk), failAfter_(failAfter) {}
  long Read(uint8_t* buf, size_t n) override {
    if (failAfter_ >= 0 && pos_ >= static_cast<size_t>(failAfter_)) return -1;
    size_t take = std::min({n, chunk_, data_.size() - pos_});
    if (failAfter_ >= 0) take = std::min(take, static_cast<size_t>(failAfter_) - pos_);
    std::copy_n(data_.data() + pos_, take, buf);
    pos_ += take;
    return static_cast<long>(take);
  }

 private:
  std::string data_;
  size_t chunk_;
  long failAfter_;
  size_t pos_ = 0;
};

class TextPrePassTest : public ::testing::Test {
 protected:
  TextPrePassTest() {
    t_.forwardMap.assign(0x4000, 0);
    for (size_t i = 0; i < kBlockTableCount; ++i) t_.blocks[i].Reset(BlockTableCapacity(static_cast<BlockTableId>(i)));
    e_.pairs.assign(kMaxEscapePairs, EscapePair{});

    Forward(Code("漢"), 0x45B0);
    t_.modeCharacters[0] = Code("①");
    t_.modeCharacters[4] = Code("⑤");
    t_.modeCharacters[16] = Code("⑩");
    t_.modeCharacters[3] = Code("④");
    t_.commandGlyphs[0x09] = Code("＃");
    t_.commandGlyphs[0x20] = Code("＋");
    t_.commandGlyphs[0x23] = Code("－");
    t_.IndexCharacters();
    for (char c : std::string("12abz")) t_.singleByteMap[static_cast<uint8_t>(c)] = Code(FullWidth(c));
    Block(BlockTableId::kKma1, {Code("１"), 0x46A1});
    Block(BlockTableId::kKma2, {Code("２"), 0x46B2});
    Block(BlockTableId::kHnw, {Code("ａ"), 0x45E1, Code("ｂ"), 0x45E2, Code("ｚ"), 0x45FA});
    Block(BlockTableId::kRub, {Code("ａ"), 0x4BA1});
    t_.replacements.AddLine("abc=45A8,45A9");
    Escapes({"%0000 0", "$9001 !", "$0009 !HX", "@9002 [", "@9001 ]", "@4000 [M0]", "@D023 [M1]",
             "&8E9A 45A5"});
  }

  static std::string FullWidth(char c) {
    switch (c) {
      case '1': return "１";
      case '2': return "２";
      case 'a': return "ａ";
      case 'b': return "ｂ";
      default: return "ｚ";
    }
  }
  // The Shift-JIS code of one double-byte character.
  static uint16_t Code(const std::string& utf8) {
    std::string s = Sjis(utf8);
    return LoadBigEndian16(s.data());
  }
  void Forward(uint16_t sjis, uint16_t code) {
    size_t i = sjis >= 0xE000 ? 0x2000u + (sjis - 0xE000u) : sjis - 0x8000u;
    t_.forwardMap[i] = code;
  }
  void Block(BlockTableId id, const std::vector<uint16_t>& words) {
    t_.blocks[static_cast<size_t>(id)].Reset(BlockTableCapacity(id));
    t_.blocks[static_cast<size_t>(id)].Fill(LittleEndianWords(words));
  }
  void Escapes(const std::vector<std::string>& lines) {
    size_t pairs = 0, markers = 0;
    for (const std::string& line : lines) ApplyEscapeDefinitionLine(e_, line, pairs, markers);
  }

  // The words of a text (UTF-8, with raw bytes where written as escapes),
  // handed over `chunk` bytes at a time and read `readSize` bytes at a time.
  // With `setup`, the pre-pass takes it instead of deriving its own.
  std::vector<uint16_t> Words(const std::string& sjisText, size_t chunk = 1 << 20, size_t readSize = 4096,
                              const TextPrePassSetup* setup = nullptr) {
    TrickleSource text(sjisText, chunk);
    TextPrePass pass(text, t_, e_, setup);
    std::string bytes;
    std::vector<uint8_t> buf(readSize);
    for (;;) {
      long n = pass.Read(buf.data(), buf.size());
      EXPECT_GE(n, 0);
      if (n <= 0) break;
      bytes.append(reinterpret_cast<const char*>(buf.data()), static_cast<size_t>(n));
    }
    EXPECT_EQ(0u, bytes.size() % 2);
    std::vector<uint16_t> words;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
      words.push_back(LoadBigEndian16(bytes.data() + i));
    }
    return words;
  }
  std::vector<uint16_t> Words(const char* utf8) { return Words(Sjis(utf8)); }

  PrePassTables t_;
  EscapeDefinitions e_;
};

using WordList = std::vector<uint16_t>;

// Runs of plain characters are taken in bulk in a group and in mode 7 as
// well as in mode 6: each with its own mode's table, and not while a counted
// number goes on, whose "10" only a step tells.
TEST_F(TextPrePassTest, PlainRunsInAGroupAndInModeSevenKeepTheirModes) {
  e_.pairs[1] = EscapePair{Code("｛"), kGroupOpen};
  e_.pairs[2] = EscapePair{Code("｝"), kGroupClose};
  t_.modeCharacters[11] = Code("⑥");
  t_.modeCharacters[12] = Code("⑦");
  t_.IndexCharacters();
  Block(BlockTableId::kRom, {Code("ｚ"), 0x4C01});
  Block(BlockTableId::kIta, {Code("ｚ"), 0x4D01});
  const WordList expected = {kGroupOpen, 0x4C01, 0x4C01, kCircledTen, 0x4C01, kGroupClose,
                             0x4D01, 0x4D01, 0x45E2, 0x45FA};
  EXPECT_EQ(expected, Words("｛zz①10z｝⑦zzb⑥z"));
}

TEST_F(TextPrePassTest, TheWordsDoNotDependOnHowTheTextOrTheWordsAreCutIntoBlocks) {
  // One line with every kind of match; its length (odd) puts the block
  // boundaries at every place within it in a long text.
  const std::string line = Sjis("漢abc[M0]12345①12!HX45a1字\r\nz\n");
  const WordList once = {0x45B0, 0x45A8, 0x45A9, 0x46A1, 0x46B2, 0x45A1, 0x45A5, 0xD009, 0x45FA, 0xD009};
  ASSERT_EQ(once, Words(line));
  const TextPrePassSetup setup = TextPrePass::Derived(t_, e_);
  EXPECT_EQ(once, Words(line, 1 << 20, 4096, &setup));

  std::string text;
  WordList expected;
  for (int i = 0; i < 5000; ++i) {
    text += line;
    expected.insert(expected.end(), once.begin(), once.end());
  }
  EXPECT_EQ(expected, Words(text));
  EXPECT_EQ(expected, Words(text, 1));
  EXPECT_EQ(expected, Words(text, 4093));
  EXPECT_EQ(expected, Words(text, 1 << 20, 1));
  EXPECT_EQ(expected, Words(text, 7, 3));
}

TEST_F(TextPrePassTest, AnyBytesGiveTheSameWordsInAnyBlocksAndAtMostTenAByte) {
  // Random bytes, most of them from the characters that start a match; also
  // read by pre-passes that take what was derived once for the tables.
  const TextPrePassSetup setup = TextPrePass::Derived(t_, e_);
  ASSERT_FALSE(setup.empty());
  const std::string alphabet = Sjis("[]M0!HXabc12①⑩④⑤字漢＃＋－") + std::string("\r\n\x1A\x00\x8A\xFF", 6);
  unsigned seed = 7;
  for (int round = 0; round < 20; ++round) {
    std::string text;
    size_t length = 1 + round * 997;
    for (size_t i = 0; i < length; ++i) {
      seed = seed * 1103515245u + 12345u;
      unsigned r = seed >> 16;
      text += (r & 7) == 0 ? static_cast<char>(r >> 3) : alphabet[(r >> 3) % alphabet.size()];
    }
    WordList whole = Words(text);
    EXPECT_LE(whole.size(), 10 * text.size());
    EXPECT_EQ(whole, Words(text, 1, 3)) << "round " << round;
    EXPECT_EQ(whole, Words(text, 61, 1)) << "round " << round;
    EXPECT_EQ(whole, Words(text, 1 << 20, 4096, &setup)) << "round " << round;
  }
}

TEST_F(TextPrePassTest, MatchesNeverReachPastTheEndOfTheText) {
  // A replacement key cut by the end is read as characters.
  EXPECT_EQ((WordList{0x45E1, 0x45E2}), Words("ab"));
  // Marker 0 takes five bytes behind it, but only those the text has.
  EXPECT_EQ((WordList{0x45E1}), Words("a[M0]12"));
  // A marker without its closing character is no marker.
  EXPECT_EQ((WordList{kNoUsableForm, kNoUsableForm, kNoUsableForm}), Words("[M0"));
  // A hexadecimal code cut by the end is a bad code.
  EXPECT_EQ((WordList{kNoUsableForm}), Words("!HX45"));
  EXPECT_EQ((WordList{kNoUsableForm}), Words("!HX"));
  // A mode name cut by the end is no name.
  EXPECT_EQ((WordList{kNoUsableForm, kNoUsableForm}), Words("!H"));
  // "1" at the end of a counted number is no "10".
  EXPECT_EQ((WordList{0x46A1}), Words("①1"));
  // A CR at the very end is skipped; a lead byte there has no usable form.
  EXPECT_EQ((WordList{0x45B0}), Words(Sjis("漢") + "\r"));
  EXPECT_EQ((WordList{0x45B0, kNoUsableForm}), Words(Sjis("漢") + "\x8A"));
  // A line end followed by an unfinished marker is a line end.
  EXPECT_EQ((WordList{0x45B0, 0xD009, kNoUsableForm, kNoUsableForm, kNoUsableForm}), Words("漢\r\n[M0"));
}

TEST_F(TextPrePassTest, ALineEndAfterAnyLineEndingCodeWritesNothing) {
  EXPECT_EQ((WordList{0x45B0, 0xD009}), Words("漢\r\n"));
  EXPECT_EQ((WordList{0x45B0, 0xD009}), Words("漢＃\r\n"));
  EXPECT_EQ((WordList{0x45B0, 0xD020}), Words("漢＋\r\n"));
  EXPECT_EQ((WordList{0x45B0, 0xD023}), Words("漢－\n"));
  // A marker leaves its code word as the last code.
  EXPECT_EQ((WordList{0x45B0}), Words("漢[M1]\r\n"));
  // So does a hexadecimal code.
  EXPECT_EQ((WordList{0xD009}), Words("!HXD009\r\n"));
  // A mode change leaves the last code as it was.
  EXPECT_EQ((WordList{0x45B0, 0xD009}), Words("漢①\r\n"));
  // Two line ends in a row: the first leaves no last code behind.
  EXPECT_EQ((WordList{0x45B0, 0xD009, 0xD009}), Words("漢\n\r\n"));
}

TEST_F(TextPrePassTest, ALineEndEndsTheCountButKeepsTheMode) {
  EXPECT_EQ((WordList{0x4BA1, 0xD009, 0x4BA1}), Words("⑩a\r\na"));
  EXPECT_EQ((WordList{0x46A1, 0xD009, 0x45E1}), Words("①1\r\na"));
}

TEST_F(TextPrePassTest, AMissInAPositionModeFallsBackToTheCurrentModeEvenMode10) {
  TrickleSource text(Sjis("⑩④b"), 1 << 20);
  TextPrePass pass(text, t_, e_);
  uint8_t buf[16];
  ASSERT_EQ(2, pass.Read(buf, sizeof buf));
  // Not in SJ_KU2_0, nor in SJIS_RUB.TBL: unknown. Mode 10 stays on.
  EXPECT_EQ(kUnknownCharacter, LoadBigEndian16(buf));
  EXPECT_EQ(10, pass.state().mode);
  EXPECT_EQ(1, pass.state().mode10);
  EXPECT_EQ(0, pass.state().countdown);
  EXPECT_EQ(0, pass.state().digitPosition);
}

// One byte may lead a mode escape, a command escape and a replacement key at
// once: a text is searched for each of them behind it, in that order.
TEST_F(TextPrePassTest, AByteThatLeadsSeveralKindsOfNotationIsSearchedForEach) {
  Escapes({"%0000 0", "#9001 !", "#D009 !BR"});
  t_.replacements.AddLine("!Q=45A7");
  EXPECT_EQ((WordList{0x45A8, 0xD009, 0x45A7, 0x45B0}), Words("!HX45A8!BR!Q漢"));
  EXPECT_EQ((WordList{0x45A7, 0x45A8}), Words("!Q!HX45A8"));
}

TEST_F(TextPrePassTest, NulBytesMatchNoEmptyCommandOrModeEntry) {
  // Most command and mode entries are 0; a pair of NUL bytes is a character
  // outside the ranges of mode 6, never a command or mode.
  EXPECT_EQ((WordList{kNoUsableForm, kNoUsableForm}), Words(std::string(4, '\0')));
}

TEST_F(TextPrePassTest, ARefillThatFailsDeliversTheWordsMadeBeforeThenAnError) {
  std::string text;
  for (int i = 0; i < 50000; ++i) text += Sjis("漢");
  TrickleSource source(text, 1000, 70001);
  TextPrePass pass(source, t_, e_);
  std::vector<uint8_t> buf(4096);
  size_t words = 0;
  long n = 0;
  while ((n = pass.Read(buf.data(), buf.size())) > 0) {
    for (long i = 0; i < n; i += 2) EXPECT_EQ(0x45B0, LoadBigEndian16(buf.data() + i));
    words += static_cast<size_t>(n) / 2;
  }
  EXPECT_EQ(-1, n);
  EXPECT_TRUE(pass.readError());
  EXPECT_GT(words, 0u);
  EXPECT_LE(words, 35000u);  // never more than the bytes read before the error
  EXPECT_EQ(-1, pass.Read(buf.data(), buf.size()));
}

TEST_F(TextPrePassTest, TheTextEndsAt0x1A) {
  EXPECT_EQ((WordList{0x45B0}), Words(Sjis("漢") + "\x1A" + Sjis("漢")));
}

// The state a pass finds after each of its reads of a pre-pass's words.
struct WordsRead {
  std::string words;
  long long textRead;
  std::vector<long long> faults;  // line and column of each fault kept
  long long faultCount;
  bool looksLikeUtf8;
  bool operator==(const WordsRead&) const = default;
};

// Reads `words` with the read sizes `sizes` (the last one repeated until
// the words end), noting what the pass finds after each read.
std::vector<WordsRead> ReadWords(TextWords& words, std::vector<size_t> sizes) {
  std::vector<WordsRead> seen;
  for (size_t i = 0;; ++i) {
    const size_t n = sizes[std::min(i, sizes.size() - 1)];
    std::string buf(n, '\0');
    const long got = words.Read(reinterpret_cast<uint8_t*>(buf.data()), n);
    EXPECT_GE(got, 0);
    WordsRead r{buf.substr(0, static_cast<size_t>(std::max(got, 0L))), words.textRead(), {}, words.faultCount(),
                words.looksLikeUtf8()};
    for (const TextEncodingFault& f : words.faults()) r.faults.insert(r.faults.end(), {f.line, f.column});
    seen.push_back(std::move(r));
    if (got <= 0) return seen;
  }
}

// A pass that reads the words of a text as a recorded pass read them finds
// at every read what the pre-pass would have left: the words, how far the
// text was read (progress), its UTF-8 faults (the notes of every job) and
// whether it looked like UTF-8; read otherwise, the words are made again
// from where the record left off. A record is taken only once the words
// ended, and is found again only for the same text memory and encoding.
TEST_F(TextPrePassTest, RecordedWordsAreReadAsThePrePassWouldDeliverThem) {
  // Three blocks of text with bad UTF-8 bytes in the first and the last.
  std::string utf8 = "a\xFF漢\n";
  while (utf8.size() < 150 * 1024) utf8 += "漢１ａ②abz\n";
  utf8 += "\xC3(漢\n";
  const std::string sjis = Sjis("漢①１２ａ\nabc漢");
  TextPrePassSetup setup = TextPrePass::Derived(t_, e_);
  ASSERT_NE(setup.records, nullptr);
  for (const bool asUtf8 : {true, false}) {
    SCOPED_TRACE(asUtf8);
    const std::string& text = asUtf8 ? utf8 : sjis;
    const std::vector<size_t> sizes = {4096, 2, 7, 65536};
    auto live = [&](const std::vector<size_t>& s) {
      MemorySource source(text);
      TextWords words(source, asUtf8, t_, e_, &setup, nullptr);
      return ReadWords(words, s);
    };
    MemorySource recorded(text);
    TextWords recording(recorded, asUtf8, t_, e_, &setup, nullptr);
    const std::vector<WordsRead> made = ReadWords(recording, sizes);
    ASSERT_TRUE(recording.RecordWhole());
    const std::shared_ptr<const PrePassRecord> record = recording.TakeRecord();
    ASSERT_NE(record, nullptr);
    if (asUtf8) {
      EXPECT_GT(made.size(), 4u);
      EXPECT_EQ(made.back().faultCount, 2);
      EXPECT_LT(made[1].textRead, made.back().textRead);  // read in blocks
    }

    // Read as recorded: from the record alone (the text is not read).
    MemorySource unread{std::string_view()};
    TextWords replay(unread, asUtf8, t_, e_, &setup, record);
    EXPECT_EQ(ReadWords(replay, sizes), made);
    EXPECT_TRUE(replay.replayed());
    EXPECT_EQ(replay.TakeRecord(), nullptr);

    // Read otherwise after a few reads: as a pre-pass read that way.
    for (const std::vector<size_t>& other : {std::vector<size_t>{4096, 2, 9}, std::vector<size_t>{100}}) {
      MemorySource source(text);
      TextWords diverted(source, asUtf8, t_, e_, &setup, record);
      EXPECT_EQ(ReadWords(diverted, other), live(other));
      if (asUtf8) {
        EXPECT_FALSE(diverted.replayed());
      }
    }
    // Stopped early: what the pre-pass had found by then.
    MemorySource none{std::string_view()};
    TextWords stopped(none, asUtf8, t_, e_, &setup, record);
    std::string buf(4096, '\0');
    stopped.Read(reinterpret_cast<uint8_t*>(buf.data()), buf.size());
    EXPECT_EQ(stopped.textRead(), made[0].textRead);
    EXPECT_EQ(stopped.faultCount(), made[0].faultCount);
    EXPECT_EQ(stopped.looksLikeUtf8(), made[0].looksLikeUtf8);

    // Kept by the text's memory and encoding.
    auto held = std::make_shared<const std::string>(text);
    setup.records->Keep(held, asUtf8, record);
    EXPECT_EQ(setup.records->Find(held.get(), asUtf8), record);
    EXPECT_EQ(setup.records->Find(held.get(), !asUtf8), nullptr);
    EXPECT_EQ(setup.records->Find(&text, asUtf8), nullptr);
  }
  // A record of another text of the same encoding takes the place of the
  // first; tables derived again keep none.
  auto other = std::make_shared<const std::string>("x");
  setup.records->Keep(other, true, std::make_shared<PrePassRecord>());
  EXPECT_NE(setup.records->Find(other.get(), true), nullptr);
  EXPECT_EQ(TextPrePass::Derived(t_, e_).records->Find(other.get(), true), nullptr);

  // Words never read to their end are no record.
  MemorySource source(utf8);
  TextWords partly(source, true, t_, e_, &setup, nullptr);
  std::string buf(100, '\0');
  partly.Read(reinterpret_cast<uint8_t*>(buf.data()), buf.size());
  EXPECT_FALSE(partly.RecordWhole());
  EXPECT_EQ(partly.TakeRecord(), nullptr);
}

class PrepareTextInputTest : public ::testing::Test {
 protected:
  PrepareTextInputTest() : paths_(dir_.path() / "root", std::nullopt) {}
  void LayOutTables() {
    dir_.Write("root/qdxfiles/SJIS_ZAN.TBL", LittleEndianWords({0x8ABF, 0x45B0}));
    dir_.Write("root/qdxfiles/SJIS_JIS.TBL", LittleEndianWords({0}));
    for (const char* name : kPairTableNames) dir_.Write(std::string("root/qdxfiles/") + name, LittleEndianWords({0, 0, 0}));
    dir_.Write("root/qdxfiles/nmcnv.tbl", "zz=D009,4521\r\n");
  }
  TempDir dir_;
  TablePaths paths_;
};

TEST_F(PrepareTextInputTest, WritesTheWordsOfAWholeText) {
  LayOutTables();
  std::string text = Sjis("漢zz漢");
  MemorySource source(text);
  MemorySink sink;
  std::vector<Note> notes;
  EXPECT_EQ(0, PrepareTextInput(paths_, source, sink, &notes));
  EXPECT_EQ(test::WordBytes({0x45B0, 0xD009, 0x4521, 0x45B0}), sink.data());
  // The escape definitions (both files) are missing: noted, not fatal.
  ASSERT_EQ(2u, notes.size());
  EXPECT_NE(std::string::npos, notes[0].Text().find("escape definitions")) << notes[0].Text();
  EXPECT_NE(std::string::npos, notes[0].Text().find("velkansys.tbl missing")) << notes[0].Text();
  EXPECT_NE(std::string::npos, notes[1].Text().find("velkanuser.tbl missing")) << notes[1].Text();
}

TEST_F(PrepareTextInputTest, AnEmptyTextFails) {
  LayOutTables();
  MemorySource source("");
  MemorySink sink;
  EXPECT_EQ(-1, PrepareTextInput(paths_, source, sink));
  EXPECT_EQ("", sink.data());
}

TEST_F(PrepareTextInputTest, MissingTablesAreNotedAndTheTextIsStillConverted) {
  std::string text = Sjis("漢");
  MemorySource source(text);
  MemorySink sink;
  std::vector<Note> notes;
  EXPECT_EQ(0, PrepareTextInput(paths_, source, sink, &notes));
  EXPECT_EQ(test::WordBytes({kUnknownCharacter}), sink.data());
  ASSERT_FALSE(notes.empty());
  EXPECT_NE(std::string::npos, notes[0].Text().find("SJIS_ZAN.TBL"));
}

TEST_F(PrepareTextInputTest, AFailedWriteFails) {
  class FailingSink final : public ByteSink {
   public:
    bool TakeBytes(const char*, size_t) override { return false; }
  } sink;
  LayOutTables();
  std::string text = Sjis("漢");
  MemorySource source(text);
  EXPECT_EQ(-1, PrepareTextInput(paths_, source, sink));
}

}  // namespace
}  // namespace velkan
