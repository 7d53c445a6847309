// The tables a pass reads, loaded as one value by one function.
//
// They fall in two parts. What a pass only reads (the code tables, the escape
// definitions, the pi-font widths and, for a text job, the text pre-pass's
// tables) does not change while it converts: one loaded value could be lent
// to every pass of a batch at once. What a pass changes as it converts is its
// own: the font tables, whose conversion store takes the overlay of the font
// in use (and its undo list), which read the overlay files and "convura.tbl"
// as fonts need them and keep what they read, and which keep the main-page
// route derived from the store; and the pitch file, an open file with a cache
// of its blocks. A pass leaves its font tables changed: the next pass needs
// them prepared again (PrepareFontTables, as LoadPassTables does).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tables/code_tables.h"
#include "tables/escape_definitions.h"
#include "tables/font_tables.h"
#include "tables/pi_font.h"
#include "tables/pre_pass_tables.h"
#include "tables/table_file.h"
#include "tables/table_root.h"

namespace velkan {

// What LoadPassTables could not load, each table as its loader tells it.
struct PassTableFaults {
  // The text pre-pass's tables (a text job only), a line each as
  // LoadTextInputTables words them.
  std::vector<std::string> textInput;
  std::optional<TableFault> pitch;   // no roman widths
  std::optional<TableFault> piFont;  // the pi-font file: no pass can run
  // The font tables: FontTables::prepareResult and prepareFailure.
  std::optional<TableFault> codes;   // the first code table that stopped the load
  std::vector<TableFault> escapes;   // each escape definition file that failed
};

struct PassTables {
  // The tables of the root (and MTBL) `paths` names; nothing is loaded yet.
  explicit PassTables(TablePaths paths) : paths(std::move(paths)) {}
  PassTables(const PassTables&) = delete;
  PassTables& operator=(const PassTables&) = delete;

  // Where the tables lie: a pass reads overlay files and "convura.tbl"
  // through them as fonts need them.
  const TablePaths paths;

  // --- Only read while a pass runs ---
  CodeTables codes;
  EscapeDefinitions escapes;
  PiWidths pi;
  // The text pre-pass's tables, loaded for a text job only.
  PrePassTables prePass;
  EscapeDefinitions prePassEscapes;

  // --- Changed by the pass that reads them ---
  FontTables fonts;  // with the pitch file

  PassTableFaults faults;
};

// Loads every table of a pass from `tables.paths`, in the order a pass has
// always read them: with `textInput` the text pre-pass's tables
// (LoadTextInputTables), then the pitch file, the pi-font file, the font
// tables (PrepareFontTables), the code tables and the escape definitions.
// Every table is attempted; what could not be loaded is in `tables.faults`
// (and the font tables' own result), and the tables keep what their loaders
// leave them as.
void LoadPassTables(PassTables& tables, bool textInput = false);

}  // namespace velkan
