#include "tables/pass_tables.h"

#include "tables/code_conversion.h"
#include "tables/pitch_file.h"
#include "tables/text_pre_pass.h"

namespace velkan {

namespace {

// Opens the pitch file of `t` at t.pitchPath; a failure is a fault.
void OpenPitch(PassTables& t) {
  Note why;
  if (t.fonts.pitch.Open(t.pitchPath, &why) != kPitchOpened) t.faults.pitch = TableFault{t.pitchPath, why};
}

std::shared_ptr<ReadTables> NewReadTables(ReadTables*& own) {
  auto read = std::make_shared<ReadTables>();
  own = read.get();
  return read;
}

}  // namespace

PassTables::PassTables(TablePaths paths)
    : read_(NewReadTables(own_)),
      paths_(std::make_shared<const TablePaths>(std::move(paths))),
      paths(*paths_),
      codes(read_->codes),
      escapes(read_->escapes),
      pi(read_->pi),
      prePass(read_->prePass),
      prePassEscapes(read_->prePassEscapes),
      prePassSetup(read_->prePassSetup) {}

PassTables::PassTables(const PassTables& loaded, Lend)
    : read_(loaded.read_),
      paths_(loaded.paths_),
      paths(*paths_),
      codes(read_->codes),
      escapes(read_->escapes),
      pi(read_->pi),
      prePass(read_->prePass),
      prePassEscapes(read_->prePassEscapes),
      prePassSetup(read_->prePassSetup),
      pitchPath(loaded.pitchPath),
      faults(loaded.faults) {
  ShareFontTables(fonts, loaded.fonts);
  if (loaded.fonts.pitch.whole()) fonts.pitch.Share(loaded.fonts.pitch);
  else if (!faults.pitch) OpenPitch(*this);
}

void PassTables::RestartFrom(const PassTables& loaded) {
  // A pass changes only its font tables and, through a pitch file of its
  // own, the pitch fault: the rest is loaded's already.
  ShareFontTables(fonts, loaded.fonts);
  if (loaded.fonts.pitch.whole()) {
    fonts.pitch.Share(loaded.fonts.pitch);
  } else {
    fonts.pitch.Close();
    faults.pitch = loaded.faults.pitch;
    if (!faults.pitch) OpenPitch(*this);
  }
}

void LoadPassTables(PassTables& tables, bool textInput) {
  ReadTables& read = *tables.own();
  PassTableFaults& faults = tables.faults;
  faults = PassTableFaults{};
  if (textInput) {
    LoadTextInputTables(read.prePass, read.prePassEscapes, tables.paths, &faults.textInput);
    read.prePassSetup = TextPrePass::Derived(read.prePass, read.prePassEscapes);
  }
  TableFault fault;
  tables.pitchPath = PitchFilePath(tables.paths);
  OpenPitch(tables);
  if (LoadPiFontFile(read.pi, tables.paths, &fault) != 0) faults.piFont = fault;
  PrepareFontTables(tables.fonts, tables.paths);
  if (LoadCodeTables(read.codes, tables.paths, &fault) != 0) faults.codes = fault;
  read.codes.MakeRomanBytes();
  LoadEscapeDefinitions(read.escapes, tables.paths, &faults.escapes);
}

void PrepareForLending(PassTables& tables) {
  if (tables.fonts.prepareResult == 0) DeriveSharedMainPageRoute(tables.fonts);
  // The overlay files and the ruby table are read once for every pass lent
  // the tables.
  tables.fonts.files = std::make_shared<FontFileCache>();
  // The pitch file is lent from memory; one that cannot be read whole is
  // opened by each pass for itself.
  tables.fonts.pitch.ReadWhole();
}

}  // namespace velkan
