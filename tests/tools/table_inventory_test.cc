// The account of a table root: every table the converter looks for, found,
// missing or malformed, with the overlay files the font information names.
#include "tools/table_inventory.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/test_support.h"
#include "tools/table_formats.h"

namespace velkan {
namespace {

using test::TempDir;

const TableReport* Find(const std::vector<TableReport>& reports, const std::string& name) {
  for (const TableReport& r : reports) {
    if (r.table.name == name) return &r;
  }
  return nullptr;
}

TEST(TableInventory, TheBundledRootHasEveryTable) {
  TablePaths paths(VELKAN_SAMPLE_ROOT, std::nullopt);
  std::vector<TableReport> reports = CheckTableRoot(paths);
  ASSERT_EQ(reports.size(), 32u) << "20 code tables, 3 text-job tables, 6 font tables, 1 overlay, pitch, pi font";
  for (const TableReport& r : reports) {
    EXPECT_EQ(r.state, TableState::kFound) << r.table.name << " at " << r.path;
    for (const TableFinding& f : r.findings) {
      EXPECT_EQ(f.level, FindingLevel::kNote) << r.table.name << ": " << f.text;
    }
  }
  const TableReport* overlay = Find(reports, "\\qdxfiles\\conv01.tbl");
  ASSERT_NE(overlay, nullptr) << "the font information names overlay 1";
  EXPECT_EQ(overlay->table.format, TableFormat::kCodes);
}

TEST(TableInventory, AnEmptyRootMissesEverythingAndSaysWhatThatCosts) {
  TempDir root;
  std::vector<TableReport> reports = CheckTableRoot(TablePaths(root.path(), std::nullopt));
  ASSERT_EQ(reports.size(), 31u) << "no font information, so no overlay is looked for";
  for (const TableReport& r : reports) {
    EXPECT_EQ(r.state, TableState::kMissing) << r.table.name;
    EXPECT_FALSE(r.table.missingCost.empty()) << r.table.name;
    EXPECT_TRUE(r.summary.empty());
  }
  EXPECT_EQ(reports.front().table.name, "\\QDXFILES\\SJIS_HNW.TBL");
  EXPECT_NE(reports.front().table.missingCost.find("the 17 pair tables after it"), std::string::npos);
  EXPECT_EQ(Find(reports, "\\qdxfiles\\pifont.fil")->table.missingCost,
            "every pass ends before converting anything: the job fails");
}

TEST(TableInventory, BrokenTablesAreMalformedAndFontTablesLieUnderMtbl) {
  TempDir root, fonts;
  root.Write("qdxfiles/sjis_hnw.tbl", "\x01");  // no whole header word
  root.Write("qdxfiles/pifont.fil", std::string(1000, '\0'));
  std::string line(127, ' ');
  line.replace(0, 6, "  1  1");
  line.replace(125, 2, "07");
  fonts.Write("qdxfiles/fntinf.fil", "title\r\n" + line + "\r\n");
  root.Write("qdxfiles/conv07.tbl", "");
  std::vector<TableReport> reports = CheckTableRoot(TablePaths(root.path(), fonts.path().string()));

  const TableReport* hnw = Find(reports, "\\QDXFILES\\SJIS_HNW.TBL");
  EXPECT_EQ(hnw->state, TableState::kMalformed);
  EXPECT_EQ(hnw->path, root.path() / "qdxfiles" / "sjis_hnw.tbl");
  const TableReport* info = Find(reports, "\\qdxfiles\\fntinf.fil");
  EXPECT_EQ(info->state, TableState::kFound);
  EXPECT_EQ(info->path, fonts.path() / "qdxfiles" / "fntinf.fil");
  // The overlay file has a fixed path: under the root, not under MTBL.
  const TableReport* overlay = Find(reports, "\\qdxfiles\\conv07.tbl");
  ASSERT_NE(overlay, nullptr);
  EXPECT_EQ(overlay->state, TableState::kFound);
  EXPECT_EQ(overlay->summary, "0 records");
  EXPECT_EQ(Find(reports, "\\qdxfiles\\pifont.fil")->state, TableState::kFound);
  EXPECT_EQ(Find(reports, "\\qdxfiles\\conv00.tbl")->state, TableState::kMissing);

  // A directory where a table should be is no table.
  TempDir odd;
  std::filesystem::create_directories(odd.path() / "qdxfiles" / "nmcnv.tbl");
  EXPECT_EQ(Find(CheckTableRoot(TablePaths(odd.path(), std::nullopt)), "\\qdxfiles\\nmcnv.tbl")->state,
            TableState::kMissing);
}

}  // namespace
}  // namespace velkan
