// Tables lent to many passes: loaded once and shared read-only, each pass's
// changes its own, and loaded again once their files change.
#include "tables/table_lender.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "support/test_support.h"
#include "tables/code_conversion.h"
#include "tables/font_tables.h"
#include "tables/pitch_file.h"

namespace velkan {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// Every entry of the store's 22 tables.
std::vector<uint16_t> StoreEntries(const ConversionStore& store) {
  std::vector<uint16_t> entries;
  for (int t = 0; t < 22; ++t) {
    for (int i = 0; i < kTableWords; ++i) entries.push_back(store.Read(t, i));
  }
  return entries;
}

class TableLenderTest : public ::testing::Test {
 protected:
  TableLenderTest() : root(dir.path() / "root") { fs::copy(VELKAN_SAMPLE_ROOT, root, fs::copy_options::recursive); }
  TempDir dir;
  fs::path root;
};

TEST_F(TableLenderTest, PassesShareWhatTheyReadAndKeepWhatTheyChange) {
  TableLender lender(TablePaths(root, std::nullopt), std::chrono::hours(1));
  LentTables a = lender.Lend(false);
  LentTables b = lender.Lend(false);
  EXPECT_EQ(lender.loads(), 1);
  EXPECT_EQ(&a->codes, &b->codes);
  EXPECT_EQ(&a->pi, &b->pi);
  EXPECT_EQ(a->own(), nullptr);

  // Lent tables are what a pass loading them itself has.
  test::LoadedTables fresh(root);
  EXPECT_EQ(StoreEntries(a->fonts.store), StoreEntries(fresh.fonts.store));
  EXPECT_EQ(a->pi.width, fresh.pi.width);
  EXPECT_EQ(a->fonts.prepareResult, 0);
  EXPECT_EQ(a->fonts.pitch.openResult(), kPitchOpened);
  EXPECT_EQ(b->fonts.pitch.openResult(), kPitchOpened);

  // Font 5's group has an overlay: selecting it changes a's store and
  // route, not b's nor those lent later.
  const std::vector<uint16_t> base = StoreEntries(b->fonts.store);
  SelectFont(a->fonts, a->paths, 1);
  const uint16_t* baseRoute = OpenMainPageRoute(a->fonts, 1).wire;
  SelectFont(a->fonts, a->paths, 5);
  MainPageRoute overlaid = OpenMainPageRoute(a->fonts, 5);
  ASSERT_TRUE(overlaid.open());
  EXPECT_NE(StoreEntries(a->fonts.store), base);
  EXPECT_NE(overlaid.wire, baseRoute);
  EXPECT_EQ(StoreEntries(b->fonts.store), base);
  EXPECT_EQ(StoreEntries(lender.Lend(false)->fonts.store), base);
  SelectFont(b->fonts, b->paths, 1);
  EXPECT_EQ(OpenMainPageRoute(b->fonts, 1).wire, baseRoute);

  // A text job's tables are loaded once more, with the pre-pass's.
  lender.Lend(true);
  lender.Lend(true);
  EXPECT_EQ(lender.loads(), 2);
}

TEST_F(TableLenderTest, TablesGivenBackAreLentAgainAsFreshOnes) {
  TableLender lender(TablePaths(root, std::nullopt), std::chrono::hours(1));
  LentTables fresh = lender.Lend(false);
  const std::vector<uint16_t> base = StoreEntries(fresh->fonts.store);
  SelectFont(fresh->fonts, fresh->paths, 1);
  const uint16_t* baseRoute = OpenMainPageRoute(fresh->fonts, 1).wire;
  const int16_t baseWidth = PitchWidth(fresh->fonts.pitch, 1, 0xC341);

  // A pass that switched to an overlay and read widths gives its tables back.
  LentTables used = lender.Lend(false);
  PassTables* const usedAt = used.get();
  SelectFont(used->fonts, used->paths, 5);
  ASSERT_TRUE(OpenMainPageRoute(used->fonts, 5).open());
  ASSERT_NE(StoreEntries(used->fonts.store), base);
  PitchWidth(used->fonts.pitch, 5, 0xC341);
  used.reset();

  LentTables again = lender.Lend(false);
  EXPECT_EQ(again.get(), usedAt);
  EXPECT_EQ(lender.loads(), 1);
  EXPECT_EQ(StoreEntries(again->fonts.store), base);
  EXPECT_EQ(again->fonts.appliedOverlay, 0);
  EXPECT_EQ(again->fonts.lastFont, 0);
  EXPECT_TRUE(again->fonts.notes.empty());
  EXPECT_EQ(again->fonts.pitch.openResult(), kPitchOpened);
  SelectFont(again->fonts, again->paths, 1);
  EXPECT_EQ(OpenMainPageRoute(again->fonts, 1).wire, baseRoute);
  EXPECT_EQ(PitchWidth(again->fonts.pitch, 1, 0xC341), baseWidth);

  // Tables lent before the files changed are not lent again.
  again.reset();
  dir.Write("root/qdxfiles/conv07.tbl", "");
  TableLender changing(TablePaths(root, std::nullopt), std::chrono::seconds(0));
  LentTables old = changing.Lend(false);
  dir.Write("root/qdxfiles/conv08.tbl", "");
  LentTables other = changing.Lend(false);
  EXPECT_EQ(changing.loads(), 2);
  old.reset();
  LentTables later = changing.Lend(false);
  EXPECT_TRUE(later->SharesReadTablesOf(*other));
}

// Every entry of the main-page route's table as it stands, opened for `font`.
std::vector<uint16_t> RouteOf(PassTables& t, int16_t font) {
  SelectFont(t.fonts, t.paths, font);
  const MainPageRoute route = OpenMainPageRoute(t.fonts, font);
  if (!route.open()) return {};
  return std::vector<uint16_t>(route.wire, route.wire + 0x10000);
}

// A pass that writes a main-page cell of its own (`cell` of table 8, unless
// negative) and converts in font 1, in font 5, whose group has an overlay, and in a ruby
// font, in turns, so that both buffers, the undo list and the route tables
// take its changes: what it finds of the store and the route as it goes.
std::vector<std::vector<uint16_t>> OverlayPass(PassTables& t, int cell) {
  std::vector<std::vector<uint16_t>> seen;
  if (cell >= 0) t.fonts.store.Write(8, cell, 0x3021);
  seen.push_back(StoreEntries(t.fonts.store));
  for (int16_t font : {1, 5, 1, 801, 5, 1, 5}) {
    if (font == 801) ConvertCode(t.fonts, t.paths, font, 0x8222);
    else seen.push_back(RouteOf(t, font));
  }
  seen.push_back(StoreEntries(t.fonts.store));
  seen.push_back({static_cast<uint16_t>(t.fonts.store.undoPairs())});
  return seen;
}

TEST_F(TableLenderTest, TablesGivenBackAfterAnOverlayConvertAsFreshOnes) {
  // Passes of the overlays alone, or that also write a cell, after either.
  for (auto [cell, next] : {std::pair{-1, -1}, {-1, 0x422}, {0x421, 0x422}, {0x421, -1}}) {
    TableLender lender(TablePaths(root, std::nullopt), std::chrono::hours(1));
    LentTables used = lender.Lend(false);
    PassTables* const usedAt = used.get();
    const std::vector<std::vector<uint16_t>> first = OverlayPass(*used, cell);
    ASSERT_FALSE(first[2].empty());  // font 5 takes the route
    used.reset();

    // The next pass in them converts as one in fresh tables.
    LentTables again = lender.Lend(false);
    ASSERT_EQ(again.get(), usedAt);
    LentTables fresh = lender.Lend(false);
    ASSERT_NE(fresh.get(), usedAt);
    const std::vector<std::vector<uint16_t>> expected = OverlayPass(*fresh, next);
    if (cell != next) {
      ASSERT_NE(expected, first);
    }
    EXPECT_EQ(OverlayPass(*again, next), expected) << "cells " << cell << ", " << next;
  }
}

// What a pass makes of font 5, whose group has overlay 1, and of the ruby
// table: the entry of table 8 that `key` names once the font is selected,
// the conversion of `ruby` through the ruby table (0 when the table could
// not be read), and the notes of what it could not use.
struct FontFileUse {
  uint16_t overlaid = 0, ruby = 0;
  std::vector<Note> notes;
  bool operator==(const FontFileUse&) const = default;
};
FontFileUse UseFontFiles(PassTables& t, uint16_t key, uint16_t ruby) {
  SelectOverlay(t.fonts, t.paths, 5);
  FontFileUse use{t.fonts.store.Read(key >> 12, key & 0xFFF), ruby, {}};
  if (RubyConvert(t.fonts, t.paths, use.ruby) != 0) use.ruby = 0;
  // Switched away and back, the pass applies what it kept.
  SelectOverlay(t.fonts, t.paths, 1);
  SelectOverlay(t.fonts, t.paths, 5);
  EXPECT_EQ(t.fonts.store.Read(key >> 12, key & 0xFFF), use.overlaid);
  use.notes = t.fonts.notes;
  return use;
}

std::ostream& operator<<(std::ostream& out, const FontFileUse& use) {
  out << std::hex << use.overlaid << " " << use.ruby << std::dec;
  for (const Note& note : use.notes) out << "; " << note;
  return out;
}

// Writes a table file of (key, value) word pairs, a later modification time
// than the file had (a file system's clock may not tell two writes apart).
void WritePairs(const TempDir& dir, const std::string& relative,
                std::initializer_list<std::pair<uint16_t, uint16_t>> pairs) {
  const fs::path path = dir.path() / relative;
  const bool existed = fs::exists(path);
  const auto before = existed ? fs::last_write_time(path) : fs::file_time_type();
  std::string bytes;
  for (auto [key, value] : pairs) {
    for (uint16_t word : {key, value}) bytes += {static_cast<char>(word & 0xFF), static_cast<char>(word >> 8)};
  }
  dir.Write(relative, bytes);
  if (existed) fs::last_write_time(path, before + std::chrono::seconds(2));
}

TEST_F(TableLenderTest, OverlayAndRubyFilesAreReadOnceForThePassesLentTheSameTables) {
  const fs::path overlay = root / "qdxfiles" / "conv01.tbl", ruby = root / "qdxfiles" / "convura.tbl";
  WritePairs(dir, "root/qdxfiles/conv01.tbl", {{0x8971, 0x5422}});
  WritePairs(dir, "root/qdxfiles/convura.tbl", {{0x8221, 0x2421}});
  TableLender lender(TablePaths(root, std::nullopt), std::chrono::seconds(0));

  // Every pass lent the same tables converts as one reading the files
  // itself, and the files are read once for all of them.
  test::LoadedTables fresh(root);
  const FontFileUse expected = UseFontFiles(fresh, 0x8971, 0x8221);
  ASSERT_EQ(expected, (FontFileUse{0x5422, 0x2421, {}}));
  LentTables a = lender.Lend(false);
  EXPECT_EQ(UseFontFiles(*a, 0x8971, 0x8221), expected);
  LentTables b = lender.Lend(false);
  EXPECT_EQ(UseFontFiles(*b, 0x8971, 0x8221), expected);
  a.reset();
  EXPECT_EQ(UseFontFiles(*lender.Lend(false), 0x8971, 0x8221), expected);
  EXPECT_EQ(lender.loads(), 1);
  ASSERT_NE(b->fonts.files, nullptr);
  EXPECT_EQ(b->fonts.files->reads(), 2);

  // Files replaced are read again for the passes lent after that; a pass
  // lent before keeps what it read.
  WritePairs(dir, "root/qdxfiles/conv01.tbl", {{0x8971, 0x5423}});
  WritePairs(dir, "root/qdxfiles/convura.tbl", {{0x8221, 0x2422}});
  LentTables c = lender.Lend(false);
  EXPECT_EQ(lender.loads(), 2);
  EXPECT_EQ(UseFontFiles(*c, 0x8971, 0x8221), (FontFileUse{0x5423, 0x2422, {}}));
  EXPECT_EQ(UseFontFiles(*b, 0x8971, 0x8221), expected);

  // Files gone: every pass tells it, as one reading the files itself.
  fs::remove(overlay);
  fs::remove(ruby);
  test::LoadedTables without(root);
  const FontFileUse missing = UseFontFiles(without, 0x8971, 0x8221);
  ASSERT_EQ(missing.notes.size(), 2u);
  for (int pass = 0; pass < 2; ++pass) EXPECT_EQ(UseFontFiles(*lender.Lend(false), 0x8971, 0x8221), missing);
  EXPECT_EQ(lender.loads(), 3);
}

TEST_F(TableLenderTest, ChangedTableFilesAreLoadedAgainForLaterPasses) {
  TableLender lender(TablePaths(root, std::nullopt), std::chrono::seconds(0));
  LentTables before = lender.Lend(false);
  lender.Lend(false);
  EXPECT_EQ(lender.loads(), 1);

  const fs::path pifont = root / "qdxfiles" / "pifont.fil";
  const uint8_t width = before->pi.width[7];
  std::string bytes = test::Slurp(pifont);
  bytes[7] = static_cast<char>(width + 1);
  dir.Write("root/qdxfiles/pifont.fil", bytes);
  fs::last_write_time(pifont, fs::last_write_time(pifont) + std::chrono::seconds(2));
  LentTables after = lender.Lend(false);
  EXPECT_EQ(lender.loads(), 2);
  EXPECT_EQ(after->pi.width[7], width + 1);
  EXPECT_EQ(before->pi.width[7], width);  // a pass keeps the tables it was lent

  // So does the pitch file, whose widths are lent from memory.
  const fs::path pitfile = root / "qdxfiles" / "pitfile.fil";
  ASSERT_TRUE(after->fonts.pitch.whole());
  bytes = test::Slurp(pitfile);
  const int16_t font = 1;
  const size_t at = (static_cast<uint8_t>(bytes.at(2 + font)) + 3) * 256 + 0x41;
  ASSERT_LT(at, bytes.size());
  const int16_t pitchWidth = PitchWidth(after->fonts.pitch, font, 0xC341);
  bytes[at] = static_cast<char>(pitchWidth + 1);
  dir.Write("root/qdxfiles/pitfile.fil", bytes);
  fs::last_write_time(pitfile, fs::last_write_time(pitfile) + std::chrono::seconds(2));
  LentTables newPitch = lender.Lend(false);
  EXPECT_EQ(lender.loads(), 3);
  EXPECT_EQ(PitchWidth(newPitch->fonts.pitch, font, 0xC341), pitchWidth + 1);
  EXPECT_EQ(PitchWidth(after->fonts.pitch, font, 0xC341), pitchWidth);

  // A new file in the tables folder counts as a change too.
  dir.Write("root/qdxfiles/conv07.tbl", "");
  lender.Lend(false);
  EXPECT_EQ(lender.loads(), 4);
}

}  // namespace
}  // namespace velkan
