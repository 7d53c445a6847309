// Every table file a conversion looks for under a table root, and the state
// each is in: the account `velkan tables check` gives.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tables/table_root.h"
#include "tools/table_checks.h"
#include "tools/table_formats.h"

namespace velkan {

// A table the converter opens.
struct TableLookup {
  std::string name;         // as the converter names it: "\QDXFILES\SJIS_HNW.TBL"
  bool prefixed = false;    // looked for under MTBL when it is set
  TableFormat format = TableFormat::kText;
  std::string missingCost;  // what a conversion loses without it (UTF-8, one line, in the user's language)
};

// The tables in the order of their kind: the code tables, the escape
// definitions and replacements of text jobs, the font tables with the overlay
// files that the font information file names (read through `paths`, when it
// is there), the pitch file and the pi-font file.
std::vector<TableLookup> TablesLookedFor(const TablePaths& paths);

enum class TableState { kFound, kMissing, kMalformed };

struct TableReport {
  TableLookup table;
  std::filesystem::path path;  // where it was looked for
  TableState state = TableState::kMissing;
  std::string summary;                 // what a found table holds
  std::vector<TableFinding> findings;  // its problems and notes
};

// Looks for every table of TablesLookedFor and checks those found. A table
// with a finding of level kMalformed, or one that cannot be read whole, is
// malformed.
std::vector<TableReport> CheckTableRoot(const TablePaths& paths);

}  // namespace velkan
