#include "tools/table_inventory.h"

#include <cstdio>

#include "frontend/messages.h"
#include "tables/code_tables.h"
#include "tables/table_file.h"

namespace velkan {

namespace {

std::string OverlayName(int n) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "\\qdxfiles\\conv%02d.tbl", n);
  return buf;
}

}  // namespace

std::vector<TableLookup> TablesLookedFor(const TablePaths& paths) {
  std::vector<TableLookup> t;
  const size_t pairCount = std::size(kPairTableNames);
  for (size_t i = 0; i < pairCount; ++i) {
    std::string name = kPairTableNames[i];
    const std::string cost =
        i + 1 < pairCount
            ? FillPlaces(_("the code tables stop loading here: a conversion misses it, the %s pair tables after it, "
                           "SJIS_ZAN.TBL and SJIS_JIS.TBL, so characters lose their Shift-JIS and single-byte forms; "
                           "a text job misses it and the pair tables after it"),
                         {std::to_string(pairCount - i - 1)})
            : _("the code tables stop loading here: a conversion misses it, SJIS_ZAN.TBL and SJIS_JIS.TBL, so "
                "characters lose their Shift-JIS and single-byte forms; a text job misses it and the pair tables "
                "after it");
    t.push_back({"\\QDXFILES\\" + name, false, TableFormat::kPairs, cost});
  }
  t.push_back({"\\QDXFILES\\SJIS_ZAN.TBL", false, TableFormat::kZan,
               _("text jobs load no code table at all (every character becomes the unknown mark); "
                 "conversion jobs lose SJIS_JIS.TBL too")});
  t.push_back({"\\QDXFILES\\SJIS_JIS.TBL", false, TableFormat::kHalfWidth,
               _("no single-byte forms: digits and roman letters come out full-width or as code tags; text jobs "
                 "know no single-byte character and load no pair table")});
  t.push_back({"\\qdxfiles\\velkansys.tbl", false, TableFormat::kEscapes,
               _("text jobs have no escapes: no lead characters, named commands and modes, code pairs or markers")});
  t.push_back({"\\qdxfiles\\velkanuser.tbl", false, TableFormat::kEscapes,
               _("every job notes it missing; the system's escape definitions stay in force")});
  t.push_back({"\\qdxfiles\\nmcnv.tbl", false, TableFormat::kReplacements, _("text jobs replace no text sequences")});
  t.push_back({"\\qdxfiles\\conv00.tbl", false, TableFormat::kCodes,
               _("no font table is loaded (conv021.tbl, conv022.tbl, convpi.tbl and fntinf.fil neither): "
                 "characters of the main set come out as code tags or warnings")});
  t.push_back({"\\qdxfiles\\conv021.tbl", true, TableFormat::kRoman,
               _("roman fonts get no codes; conv022.tbl, convpi.tbl and fntinf.fil are not loaded")});
  t.push_back({"\\qdxfiles\\conv022.tbl", true, TableFormat::kRoman,
               _("roman fonts of table B get no codes; convpi.tbl and fntinf.fil are not loaded")});
  t.push_back({"\\qdxfiles\\convpi.tbl", true, TableFormat::kPiCodes,
               _("pi characters get the code 0000; fntinf.fil is not loaded, so no overlay applies")});
  t.push_back({"\\qdxfiles\\fntinf.fil", true, TableFormat::kFontInfo,
               _("no font belongs to a group: overlays never apply")});
  t.push_back({"\\qdxfiles\\convura.tbl", true, TableFormat::kRuby, _("ruby fonts leave their codes unconverted")});
  std::string fontInfo;
  if (ReadTableFile(paths.Prefixed("\\qdxfiles\\fntinf.fil"), fontInfo) == TableFileStatus::kRead) {
    for (int n : OverlaysNamedByFontInfo(fontInfo)) {
      t.push_back({OverlayName(n), false, TableFormat::kCodes,
                   FillPlaces(_("the fonts of the groups with overlay %s keep the base codes"), {std::to_string(n)})});
    }
  }
  t.push_back({"\\QDXFILES\\pitfile.fil", true, TableFormat::kPitch,
               _("roman characters written as code tags get the width 108")});
  t.push_back({"\\qdxfiles\\pifont.fil", false, TableFormat::kPiWidths,
               _("every pass ends before converting anything: the job fails")});
  return t;
}

std::vector<TableReport> CheckTableRoot(const TablePaths& paths) {
  std::vector<TableReport> reports;
  for (TableLookup& table : TablesLookedFor(paths)) {
    TableReport r;
    r.path = table.prefixed ? paths.Prefixed(table.name) : paths.Fixed(table.name);
    std::string bytes;
    int error = 0;
    TableFileStatus status = ReadTableFile(r.path, bytes, kMaxTableFileBytes, &error);
    if (status == TableFileStatus::kCannotOpen) {
      r.state = TableState::kMissing;
      // Something stands there that cannot be used.
      if (error != ENOENT && error != ENOTDIR) {
        r.findings.push_back({FindingLevel::kMalformed,
                              FillPlaces(_("it is there but %s"),
                                         {frontend::RenderNote(DescribeTableFileStatus(status, error))})});
      }
    } else {
      r.state = TableState::kFound;
      r.summary = SummariseTable(table.format, bytes);
      r.findings = CheckTableBytes(table.format, bytes, r.path.filename().string());
      if (status == TableFileStatus::kReadError) {
        r.findings.push_back({FindingLevel::kMalformed, frontend::RenderNote(DescribeTableFileStatus(status, error))});
      }
      for (const TableFinding& f : r.findings) {
        if (f.level == FindingLevel::kMalformed) r.state = TableState::kMalformed;
      }
    }
    r.table = std::move(table);
    reports.push_back(std::move(r));
  }
  return reports;
}

}  // namespace velkan
