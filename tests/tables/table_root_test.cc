#include "tables/table_root.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace velkan {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

TEST(TableRootTest, ComponentsMatchWithoutRegardToCaseWhenTheExactNameIsAbsent) {
  TempDir root;
  root.Write("qdxfiles/sjis_zan.tbl", "x");
  root.Write("qdxfiles/PIFONT.FIL", "y");
  TablePaths paths(root.path(), std::nullopt);
  EXPECT_EQ(paths.Fixed("\\QDXFILES\\SJIS_ZAN.TBL"), root.path() / "qdxfiles" / "sjis_zan.tbl");
  EXPECT_EQ(paths.Fixed("\\qdxfiles\\pifont.fil"), root.path() / "qdxfiles" / "PIFONT.FIL");
}

TEST(TableRootTest, ExactNameWinsOverOtherCasesAndTheSmallestVariantOverTheRest) {
  TempDir root;
  root.Write("QDXFILES/udf2.tbl", "a");
  root.Write("qdxfiles/udf2.tbl", "b");
  root.Write("qdxfiles/UDF2.TBL", "c");
  TablePaths paths(root.path(), std::nullopt);
  EXPECT_EQ(paths.Fixed("\\qdxfiles\\udf2.tbl"), root.path() / "qdxfiles" / "udf2.tbl");
  EXPECT_EQ(paths.Fixed("\\QDXFILES\\udf2.tbl"), root.path() / "QDXFILES" / "udf2.tbl");
  // Without an exact name, the smallest of several case variants.
  root.Write("qdxfiles/Nmcnv.tbl", "a");
  root.Write("qdxfiles/NMCNV.TBL", "b");
  EXPECT_EQ(paths.Fixed("\\qdxfiles\\nmcnv.TBL"), root.path() / "qdxfiles" / "NMCNV.TBL");
}

TEST(TableRootTest, MissingComponentsKeepTheCaseAsWritten) {
  TempDir root;
  fs::create_directories(root.path() / "QdxFiles");
  TablePaths paths(root.path(), std::nullopt);
  // The folder matches; the new file keeps the name the system writes.
  EXPECT_EQ(paths.Fixed("\\QDXFILES\\udf2.fle"), root.path() / "QdxFiles" / "udf2.fle");
  TempDir empty;
  TablePaths none(empty.path(), std::nullopt);
  EXPECT_EQ(none.Fixed("\\QDXFILES\\udf2.fle"), empty.path() / "QDXFILES" / "udf2.fle");
}

TEST(TableRootTest, PrefixedNamesLieUnderMtblWhenItIsSet) {
  TempDir root;
  TempDir fonts;
  fonts.Write("QDXFILES/FNTINF.FIL", "f");
  TablePaths withMtbl(root.path(), fonts.path().string());
  EXPECT_EQ(withMtbl.Prefixed("\\qdxfiles\\fntinf.fil"), fonts.path() / "QDXFILES" / "FNTINF.FIL");
  // Fixed names stay under the root even when MTBL is set.
  EXPECT_EQ(withMtbl.Fixed("\\qdxfiles\\conv05.tbl"), root.path() / "qdxfiles" / "conv05.tbl");
  // A trailing separator on MTBL gives no second one.
  TablePaths slash(root.path(), fonts.path().string() + "/");
  EXPECT_EQ(slash.Prefixed("\\qdxfiles\\fntinf.fil").lexically_normal(),
            (fonts.path() / "QDXFILES" / "FNTINF.FIL").lexically_normal());
}

TEST(TableRootTest, PrefixedNamesLieUnderTheRootWhenMtblIsUnsetOrEmpty) {
  TempDir root;
  root.Write("qdxfiles/pitfile.fil", "p");
  TablePaths unset(root.path(), std::nullopt);
  EXPECT_EQ(unset.Prefixed("\\QDXFILES\\pitfile.fil"), root.path() / "qdxfiles" / "pitfile.fil");
  TablePaths empty(root.path(), std::string());
  EXPECT_FALSE(empty.mtbl().has_value());
  EXPECT_EQ(empty.Prefixed("\\QDXFILES\\pitfile.fil"), root.path() / "qdxfiles" / "pitfile.fil");
}

}  // namespace
}  // namespace velkan
