#include "tables/pass_tables.h"

#include "tables/pitch_file.h"
#include "tables/text_pre_pass.h"

namespace velkan {

void LoadPassTables(PassTables& tables, bool textInput) {
  PassTableFaults& faults = tables.faults;
  faults = PassTableFaults{};
  if (textInput) LoadTextInputTables(tables.prePass, tables.prePassEscapes, tables.paths, &faults.textInput);
  TableFault fault;
  if (OpenPitchFile(tables.fonts.pitch, tables.paths, &fault) != kPitchOpened) faults.pitch = fault;
  if (LoadPiFontFile(tables.pi, tables.paths, &fault) != 0) faults.piFont = fault;
  PrepareFontTables(tables.fonts, tables.paths);
  if (LoadCodeTables(tables.codes, tables.paths, &fault) != 0) faults.codes = fault;
  LoadEscapeDefinitions(tables.escapes, tables.paths, &faults.escapes);
}

}  // namespace velkan
