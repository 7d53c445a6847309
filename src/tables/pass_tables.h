// The tables a pass reads, loaded as one value by one function.
//
// They fall in two parts. What a pass only reads (the code tables, the escape
// definitions, the pi-font widths and, for a text job, the text pre-pass's
// tables) does not change while it converts: one loaded value is lent to
// every pass of a batch at once (ReadTables, shared). What a pass changes as
// it converts is its own: the font tables, whose conversion store takes the
// overlay of the font in use (and its undo list), which read the overlay
// files and "convura.tbl" as fonts need them and keep what they read, and
// which keep the main-page route derived from the store; and the pitch file,
// an open file with a cache of its blocks. A pass leaves its font tables
// changed: the next pass needs them prepared again (PrepareFontTables, as
// LoadPassTables does), or started again from tables loaded for lending
// (see the lending constructor below).
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "io/note.h"
#include "tables/code_tables.h"
#include "tables/escape_definitions.h"
#include "tables/font_tables.h"
#include "tables/pi_font.h"
#include "tables/pre_pass_tables.h"
#include "tables/table_file.h"
#include "tables/table_root.h"
#include "tables/text_pre_pass.h"

namespace velkan {

// What LoadPassTables could not load, each table as its loader tells it.
struct PassTableFaults {
  // The text pre-pass's tables (a text job only), a line each as
  // LoadTextInputTables words them.
  std::vector<Note> textInput;
  std::optional<TableFault> pitch;   // no roman widths
  std::optional<TableFault> piFont;  // the pi-font file: no pass can run
  // The font tables: FontTables::prepareResult and prepareFailure.
  std::optional<TableFault> codes;   // the first code table that stopped the load
  std::vector<TableFault> escapes;   // each escape definition file that failed
};

// What a pass only reads.
struct ReadTables {
  CodeTables codes;
  EscapeDefinitions escapes;
  PiWidths pi;
  // The text pre-pass's tables, loaded for a text job only.
  PrePassTables prePass;
  EscapeDefinitions prePassEscapes;
  // What every pre-pass over those two derives first (TextPrePass::Derived).
  TextPrePassSetup prePassSetup;
};

class PassTables {
 public:
  // The tables of the root (and MTBL) `paths` names; nothing is loaded yet.
  explicit PassTables(TablePaths paths);
  // The tables of one pass lent from `loaded` (loaded by LoadPassTables and
  // made ready for lending by PrepareForLending): the read-only tables are
  // loaded's own, shared; the font tables start as loaded's were prepared,
  // sharing their buffers until this pass changes them; the pitch file's
  // widths are loaded's, read whole (one that could not be read whole is
  // opened again, and one that cannot be opened now is a fault of this pass);
  // the faults are loaded's. `loaded` must not change while tables lent
  // from it are in use; it may lend to any number of passes at once.
  struct Lend {};
  PassTables(const PassTables& loaded, Lend);
  // Starts these tables, lent from `loaded` for an earlier pass, again for
  // another: afterwards they are what the lending constructor makes of
  // `loaded`, whatever the earlier pass changed.
  void RestartFrom(const PassTables& loaded);
  // Whether these are `loaded` itself or tables lent from it.
  bool SharesReadTablesOf(const PassTables& loaded) const { return read_ == loaded.read_; }
  PassTables(const PassTables&) = delete;
  PassTables& operator=(const PassTables&) = delete;

 private:
  // The read-only tables; `own_` only when they are this value's own (set
  // while `read_` is made, so declared before it).
  ReadTables* own_ = nullptr;
  std::shared_ptr<const ReadTables> read_;
  // Where the tables lie, shared with the tables lent from these.
  std::shared_ptr<const TablePaths> paths_;

 public:
  // Where the tables lie: a pass reads overlay files and "convura.tbl"
  // through them as fonts need them.
  const TablePaths& paths;

  // --- Only read while a pass runs ---
  const CodeTables& codes;
  const EscapeDefinitions& escapes;
  const PiWidths& pi;
  const PrePassTables& prePass;
  const EscapeDefinitions& prePassEscapes;
  const TextPrePassSetup& prePassSetup;
  // The read-only tables to load or change, when they are this value's own;
  // nullptr when they are lent.
  ReadTables* own() { return own_; }

  // --- Changed by the pass that reads them ---
  FontTables fonts;  // with the pitch file
  // The pitch file as LoadPassTables found it.
  std::filesystem::path pitchPath;

  PassTableFaults faults;
};

// Loads every table of a pass from `tables.paths`, in the order a pass has
// always read them: with `textInput` the text pre-pass's tables
// (LoadTextInputTables, with what a pre-pass derives from them), then the
// pitch file, the pi-font file, the font tables (PrepareFontTables), the
// code tables and the escape definitions.
// Every table is attempted; what could not be loaded is in `tables.faults`
// (and the font tables' own result), and the tables keep what their loaders
// leave them as.
void LoadPassTables(PassTables& tables, bool textInput = false);

// Makes loaded tables ready to lend (see PassTables' lending constructor):
// derives the main-page route's table once, for every pass lent them, gives
// them a FontFileCache, through which the passes lent them read each
// overlay file and the ruby table once for all, and reads the pitch file
// whole into memory, closing it (see PitchFile::ReadWhole; each pass opens
// one that cannot be read for itself). The tables are not to be used by a
// pass themselves afterwards.
void PrepareForLending(PassTables& tables);

}  // namespace velkan
