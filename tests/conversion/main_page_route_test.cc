// Runs of main-page characters write what their characters write one by one
// through the code conversion, in every class of font, across overlay
// switches and after a one-shot code.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "conversion/character_output.h"
#include "conversion/conversion.h"
#include "engine/pass.h"
#include "support/test_support.h"
#include "tables/code_conversion.h"
#include "tables/table_files.h"

namespace velkan {
namespace {

using test::FontInfoFile;
using test::FontInfoLine;
using test::PairBytes;
using test::TempDir;
using test::WordPairs;

// What the base code file gives code c: every kind of table code, spread
// over the pages.
uint16_t BaseCode(unsigned c) {
  switch (c % 11) {
    case 0: return 0;                                                           // no conversion
    case 1: return 0x2000;                                                      // the geta mark
    case 2: return static_cast<uint16_t>(0xA521 + c % 40);                      // range type 'a'
    case 3: return 0x21A1;                                                      // a code tag
    case 4: return 0xB221;                                                      // a ruby warning
    case 5: return 0x7F21;                                                      // nothing fits
    default: return static_cast<uint16_t>(0x3021 + (c / 11 % 60) * 0x100 + c % 94);  // a kanji
  }
}

// A pass with the tables laid out once for the whole test.
struct TablePass {
  explicit TablePass(const std::filesystem::path& root)
      : tables(root), pass(session, PassSettings{}, tables, source, sink) {
    EXPECT_EQ(tables.fonts.prepareResult, 0) << tables.fonts.prepareFailure.Text();
    EXPECT_FALSE(tables.faults.codes);
  }
  std::string Written(size_t from) const { return sink.data().substr(from); }

  Session session;
  test::LoadedTables tables;
  MemorySource source{""};
  MemorySink sink;
  Pass pass;
  Conversion& conv = pass.conversion();
};

class MainPageRoute : public ::testing::Test {
 protected:
  void SetUp() override {
    test::WriteCodeTables(dir, "root", {}, {});
    WordPairs base, overlay;
    for (unsigned c = 0x8000; c <= 0x9FFF; ++c) base.push_back({static_cast<uint16_t>(c), BaseCode(c)});
    // Overlay 1 (font 5's group) changes every seventh code.
    for (unsigned c = 0x8003; c <= 0x9FFF; c += 7) overlay.push_back({static_cast<uint16_t>(c), 0x4E21});
    dir.Write("root/qdxfiles/conv00.tbl", PairBytes(base));
    dir.Write("root/qdxfiles/conv01.tbl", PairBytes(overlay));
    // Overlay 2 (font 7's group) changes every third code: more cells than
    // the store keeps a record of.
    WordPairs wide;
    for (unsigned c = 0x8001; c <= 0x9FFF; c += 3) wide.push_back({static_cast<uint16_t>(c), 0x4F21});
    dir.Write("root/qdxfiles/conv02.tbl", PairBytes(wide));
    dir.Write("root/qdxfiles/conv021.tbl", PairBytes({{0x0341, 0x2341}}));
    dir.Write("root/qdxfiles/conv022.tbl", "");
    dir.Write("root/qdxfiles/convpi.tbl", "");
    dir.Write("root/qdxfiles/convura.tbl", PairBytes({{0x8001, 0x2477}}));
    dir.Write("root/qdxfiles/fntinf.fil", FontInfoFile({FontInfoLine(2, 5, 0, 1), FontInfoLine(3, 1, 0, 0), FontInfoLine(4, 7, 0, 2),
                                                          FontInfoLine(5, 9, 0, 3)}));
    dir.Write("root/qdxfiles/conv03.tbl", LargeOverlay(0x4E21));
  }

  // Overlay 3 (font 9's group): more records than a job keeps, so that it
  // is read from its file at every switch; every fifth code becomes `value`.
  static std::string LargeOverlay(uint16_t value) {
    WordPairs pairs;
    while (pairs.size() <= kKeptOverlayRecords) {
      for (unsigned c = 0x8002; c <= 0x9FFF; c += 5) pairs.push_back({static_cast<uint16_t>(c), value});
    }
    return PairBytes(pairs);
  }

  // What `codes` write one by one in `font` on the reference pass: before
  // each, a code is converted in another font (with the same overlay, which
  // then stays applied), so that every character goes the whole way through
  // the code conversion.
  std::string OneByOne(const std::vector<uint16_t>& codes, int16_t font, bool oneShotFirst = false) {
    std::string text;
    for (size_t i = 0; i < codes.size(); ++i) {
      ConvertCode(reference->conv.fonts, paths, font == 5 ? 6 : font == 7 ? 8 : font == 9 ? 10 : font == 40 ? 1 : 40,
                  0x8001);
      if (i == 0 && oneShotFirst) reference->conv.chars.oneShotCode = 1;
      uint16_t run[2] = {codes[i], 0};
      size_t before = reference->sink.data().size();
      WriteCharacterRun(reference->conv, run, 0, font);
      text += reference->Written(before);
    }
    return text;
  }

  // What `codes` write as runs of at most 255 in `font` on the pass under test.
  std::string InRuns(const std::vector<uint16_t>& codes, int16_t font, bool oneShotFirst = false) {
    size_t before = tested->sink.data().size();
    for (size_t at = 0; at < codes.size(); at += 255) {
      std::vector<uint16_t> run(codes.begin() + static_cast<long>(at),
                                codes.begin() + static_cast<long>(std::min(codes.size(), at + 255)));
      run.push_back(0);
      if (at == 0 && oneShotFirst) tested->conv.chars.oneShotCode = 1;
      WriteCharacterRun(tested->conv, run.data(), 0, font);
    }
    return tested->Written(before);
  }

  void Start() {
    reference = std::make_unique<TablePass>(paths.root());
    tested = std::make_unique<TablePass>(paths.root());
  }

  TempDir dir;
  TablePaths paths{dir.path() / "root", std::nullopt};
  std::unique_ptr<TablePass> reference;
  std::unique_ptr<TablePass> tested;
};

std::vector<uint16_t> AllMainPageCodes() {
  std::vector<uint16_t> codes;
  for (unsigned c = 0x8000; c <= 0x9FFF; ++c) codes.push_back(static_cast<uint16_t>(c));
  return codes;
}

TEST_F(MainPageRoute, EveryCodeInEveryClassOfFontAsOneByOne) {
  Start();
  const std::vector<uint16_t> codes = AllMainPageCodes();
  // Kinds 0 and 1, the overlay of font 5 on and off again, the row formulas
  // of 901 and 902, the external rows of 222, a roman and a ruby font, a
  // font outside every class.
  for (int16_t font : {1, 2, 5, 1, 5, 40, 901, 902, 222, 227, 805, 3000}) {
    SCOPED_TRACE(font);
    std::string want = OneByOne(codes, font);
    std::string got = InRuns(codes, font);
    ASSERT_EQ(got.size(), want.size());
    EXPECT_TRUE(got == want);
  }
}

TEST_F(MainPageRoute, FontsOfDifferentOverlaysTakingTurns) {
  Start();
  const std::vector<uint16_t> all = AllMainPageCodes();
  std::vector<uint16_t> few;
  for (unsigned c = 0x8001; c <= 0x9FFF; c += 97) few.push_back(static_cast<uint16_t>(c));
  // Overlay 1 and its undo stay within the store's record of changed cells,
  // overlay 2 goes beyond it; short runs between the switches, and every
  // code after them.
  for (int16_t font : {5, 1, 5, 7, 5, 7, 1, 7, 5}) {
    SCOPED_TRACE(font);
    EXPECT_EQ(InRuns(few, font), OneByOne(few, font));
  }
  for (int16_t font : {5, 7, 1, 7, 5}) {
    SCOPED_TRACE(font);
    std::string want = OneByOne(all, font);
    std::string got = InRuns(all, font);
    ASSERT_EQ(got.size(), want.size());
    EXPECT_TRUE(got == want);
  }
}

TEST_F(MainPageRoute, TablesOfOverlaysTakingTurnsFollowTheirChanges) {
  Start();
  std::vector<uint16_t> codes;
  for (unsigned c = 0x8001; c <= 0x9FFF; c += 31) codes.push_back(static_cast<uint16_t>(c));
  codes.push_back(0x8008);  // a kanji no overlay changes
  auto expectAsOneByOne = [&](std::initializer_list<int16_t> fonts) {
    for (int16_t font : fonts) {
      SCOPED_TRACE(font);
      EXPECT_EQ(InRuns(codes, font), OneByOne(codes, font));
    }
  };
  expectAsOneByOne({5, 1, 9, 5, 1, 9});
  // An overlay read from its file at every switch gives what the file holds now.
  dir.Write("root/qdxfiles/conv03.tbl", LargeOverlay(0x5021));
  expectAsOneByOne({9, 1, 5, 9});
  // A table entry changed while an overlay is applied stays after its undo:
  // the base and every overlay on it show it.
  for (TablePass* side : {tested.get(), reference.get()}) side->conv.fonts.store.Write(8, 8, 0x3022);
  const std::string changed = InRuns({0x8008}, 1);
  EXPECT_EQ(changed, test::Sjis("唖"));
  EXPECT_EQ(changed, OneByOne({0x8008}, 1));
  expectAsOneByOne({5, 1, 9, 5});
}

TEST_F(MainPageRoute, AOneShotCodeBeforeTheRun) {
  Start();
  std::vector<uint16_t> codes = {0x8001, 0x8006, 0x8007, 0x8017, 0x9006};
  for (int16_t font : {1, 5}) {
    SCOPED_TRACE(font);
    EXPECT_EQ(InRuns(codes, font, true), OneByOne(codes, font, true));
  }
}

TEST_F(MainPageRoute, FollowsTheTablesWhenTheyChange) {
  Start();
  std::vector<uint16_t> codes = {0x8007, 0x8006, 0x9006};  // 0x8007: a kanji
  std::string before = InRuns(codes, 1);
  // A table entry changed between runs (as an overlay would) shows at once.
  tested->conv.fonts.store.Write(8, 7, 0x3022);
  reference->conv.fonts.store.Write(8, 7, 0x3022);
  std::string after = InRuns(codes, 1);
  EXPECT_NE(before, after);
  EXPECT_EQ(after, OneByOne(codes, 1));
  EXPECT_EQ(after.substr(0, 2), test::Sjis("唖"));
}

}  // namespace
}  // namespace velkan
