// The font tables of a pass: the conversion store and the files that fill it,
// the per-font overlays with their undo list, the ruby table and the pitch
// file.
//
// Files: the base code file "\qdxfiles\conv00.tbl" and the overlay files
// "\qdxfiles\conv01.tbl" to "conv99.tbl" (fixed paths); "conv021.tbl",
// "conv022.tbl", "convpi.tbl", "fntinf.fil", "convura.tbl" and the pitch file
// (prefixed paths). All but "fntinf.fil" are 16-bit little-endian words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "io/note.h"
#include "tables/conversion_store.h"
#include "tables/font_files.h"
#include "tables/pitch_file.h"
#include "tables/table_file.h"
#include "tables/table_root.h"

namespace velkan {

// Result codes of the loaders.
inline constexpr int16_t kFontTablesAllocFailed = -1;
inline constexpr int16_t kCodeFileMissing = -130;  // base or overlay code file, "convura.tbl"
inline constexpr int16_t kRomanAMissing = -131;
inline constexpr int16_t kRomanBMissing = -132;
inline constexpr int16_t kFontInfoMissing = -133;
inline constexpr int16_t kPiCodesMissing = -134;
inline constexpr int16_t kFontInfoBroken = -143;

// The GetaMark: the code of a character that has no conversion.
inline constexpr uint16_t kGetaMark = 0x222E;

// What the code tables of a pass hold (see FontTables::contentState): the
// base, or the base with a kept overlay applied (its number), or unknown.
inline constexpr int32_t kBaseContent = 0;
inline constexpr int32_t kUnknownContent = -1;

// The class of a font number: its kind decides the shift by range type, its
// variant the roman table (41-56) or the ruby route (51).
struct FontClass {
  int16_t kind = 0;
  int16_t variant = 0;
};

struct FontTables {
  FontTables() = default;
  FontTables(const FontTables&) = delete;
  FontTables& operator=(const FontTables&) = delete;

  ConversionStore store;
  PitchFile pitch;
  // The overlay file applied to the code tables (0 = none).
  uint16_t appliedOverlay = 0;
  // The overlay files and the ruby table as read for every pass lent the
  // same tables (see ShareFontTables), which a pass takes from here instead
  // of reading them; none for tables of a pass of their own, which reads
  // them itself.
  std::shared_ptr<FontFileCache> files;
  // The records of overlay files read since PrepareFontTables (key and value
  // words in turn), by overlay number: an overlay selected again is applied
  // from here rather than read again, since a job whose fonts of different
  // overlays take turns would otherwise read a file at every switch. Up to
  // kKeptOverlays files of at most kKeptOverlayRecords records are kept; a
  // further or larger file is read again at every switch (from `files`,
  // when it keeps it).
  struct KeptOverlay {
    uint16_t number = 0;
    std::shared_ptr<const FontFile> file;
  };
  std::vector<KeptOverlay> keptOverlays;
  // The overlay files looked for since PrepareFontTables, by overlay number:
  // where the file is (without `files`, its name is matched against the
  // folder only once a pass), whether it was ever opened, whether it could
  // not be opened when it was first needed (it is then not looked for again
  // in the pass), and whether a note told of a fault.
  struct OverlayFile {
    uint16_t number = 0;
    std::filesystem::path path;
    bool found = false;
    bool unusable = false;
    bool noted = false;
  };
  std::vector<OverlayFile> overlayFiles;
  // Whether "convura.tbl" could not be opened in this pass (it is not looked
  // for again).
  bool rubyUnusable = false;
  // What the pass could not use after PrepareFontTables (an overlay file or
  // "convura.tbl"), a line each, for the person.
  std::vector<Note> notes;
  // The font of the previous code conversion, whose overlay was selected
  // last (0 = none yet).
  int16_t lastFont = 0;
  // The font kind of the last classification; a font number outside every
  // class keeps it.
  int16_t fontKind = 0;
  // The class of `classifiedFont`, valid while `classified` is set.
  FontClass fontClass;
  int16_t classifiedFont = 0;
  bool classified = false;
  // What SelectFont found for a font number whose class is its own (not a
  // kind kept from the font before), so that fonts taking turns skip the
  // maps and the ranges: the overlay its group names (or none to select,
  // for a group of 1000 or over), its class, and whether the class takes
  // the main-page route. An entry holds while the store's mapsVersion() is
  // `maps`; one slot a font number modulo kKeptFonts, font 0 never kept.
  struct KeptFont {
    int16_t font = 0;
    bool noOverlay = false;
    bool routes = false;
    uint16_t overlay = 0;
    FontClass fontClass;
    uint64_t maps = 0;
  };
  static constexpr size_t kKeptFonts = 64;
  KeptFont keptFonts[kKeptFonts] = {};
  KeptFont& KeptFontSlot(int16_t font) { return keptFonts[static_cast<uint16_t>(font) % kKeptFonts]; }
  bool rubyLoaded = false;
  // What the code tables hold as of store version `contentVersion`: the
  // base (kBaseContent), the kept overlay of that number applied on the
  // base, or kUnknownContent (an overlay read from its file without being
  // kept). The base is what the tables held when the pass started, or when
  // SelectOverlay last found them changed by anything but itself; an
  // overlay undone leaves the base. Past `contentVersion` the content is
  // unknown.
  int32_t contentState = kBaseContent;
  uint64_t contentVersion = 0;
  // The Shift_JIS character each main-page code 0x8000-0x9FFF becomes
  // through the code tables (0 where that takes more than the tables: no
  // Shift_JIS form, a range type of the code's own, a row formula, a
  // combined number), as of the store's main-page tables before the changes
  // it still records. Kept by the main-page route of the code conversion,
  // for all 65536 codes (0 beyond the main pages), code and character both
  // in wire order (see WireOrder in code_conversion.h), so that a word of
  // the code stream is looked up and its character written with one load
  // and one store each. `mainPageWire` points at the table in use: one of
  // this pass's own `ownWires` (entry `wireInUse`), or `sharedWire` (-1),
  // derived once from the store's tables as loaded and shared by every pass
  // lent the same tables (see ShareFontTables) until a change of the main
  // pages makes this pass derive a table of its own.
  const uint16_t* mainPageWire = nullptr;
  std::shared_ptr<const std::vector<uint16_t>> sharedWire;
  // Each table beside the content it was derived for (a contentState;
  // kUnknownContent for none), so that fonts whose overlays take turns find
  // the table of each overlay again instead of deriving its cells at every
  // switch. At most kDerivedWires own tables are kept; past that, the table
  // in use is brought up to date in place.
  static constexpr size_t kDerivedWires = 4;
  // A table copied from the shared one notes the main-page cells derived
  // into it since (`copiedCells`, each 0x0000-0x1FFF, possibly repeated),
  // while `copiedFrom` is that shared table: the next copy from it, in this
  // pass or a later one, puts back those cells alone. At most
  // kCopiedCellsKept are noted; past that the table is copied whole again.
  static constexpr size_t kCopiedCellsKept = 4096;
  struct DerivedWire {
    int32_t state = kUnknownContent;
    std::vector<uint16_t> wire;
    std::shared_ptr<const std::vector<uint16_t>> copiedFrom;
    std::vector<uint16_t> copiedCells;
  };
  std::vector<DerivedWire> ownWires;
  int wireInUse = -1;
  int32_t sharedWireState = kUnknownContent;
  // The code tables as they stood when they held the base or a kept
  // overlay (a contentState each, never kUnknownContent), so that a switch
  // to that content puts them back (ConversionStore::RestoreCodeTables)
  // instead of undoing an overlay and writing another's records. At most
  // kKeptContents, each sharing a buffer of 64 KiB with the store until the
  // store writes to it; dropped with the derived tables' contents when the
  // tables changed by anything but SelectOverlay.
  struct KeptContent {
    int32_t state = kUnknownContent;
    ConversionStore::KeptCodeTables tables;
  };
  static constexpr size_t kKeptContents = 4;
  std::vector<KeptContent> keptContents;
  // The font the main-page route was last opened for (0: none), as of store
  // version `routeVersion`; it stays open for that font until a conversion
  // selects another font or classifies the font again. OpenMainPageRoute
  // keeps these.
  int16_t routeFont = 0;
  uint64_t routeVersion = 0;
  // The store version as of which `mainPageWire` was last brought up to
  // date (kNoWireVersion: none): a route opened for another font while
  // nothing changed (fonts of one overlay taking turns) takes the table as
  // it is.
  static constexpr uint64_t kNoWireVersion = UINT64_MAX;
  uint64_t wireVersion = kNoWireVersion;
  // The result of the last PrepareFontTables and, when it failed, the text
  // that tells the user why.
  int16_t prepareResult = 0;
  Note prepareFailure;
};

// How a code file's keys address the store.
enum class CodeFileKind {
  kCodes,   // key >> 12 is the table number, key & 0xFFF the index
  kRomanA,  // key & 0xFFF indexes roman table A
  kRomanB,  // key & 0xFFF indexes roman table B
};

// The overlays a job keeps once read (see FontTables::keptOverlays): at most
// 16 x 8192 records, 512 KiB.
inline constexpr size_t kKeptOverlays = 16;
inline constexpr size_t kKeptOverlayRecords = 8192;

// Loads a code file: (key, value) word pairs read in blocks of 1024 bytes up
// to the end of the file (at most kMaxFontFileRecords pairs); pairs with key
// 0 and a trailing partial pair are skipped. A directory or FIFO where the
// file should be counts as missing. With `recordUndo` the previous value of each entry changed is
// recorded first; once the undo list is full, further pairs are not applied,
// so an undo always restores the base. Returns 0, or `missing` when the file
// cannot be opened. `why` (if given) says what went wrong, if anything
// (DescribeTableFileStatus: a read that failed part of the way returns 0).
int16_t LoadCodeFile(ConversionStore& store, const std::filesystem::path& path, CodeFileKind kind,
                     bool recordUndo, int16_t missing, Note* why = nullptr);

// Loads "convpi.tbl": records (n, first, second) read in blocks of 600 bytes
// (at most kMaxFontFileRecords records); PiTable entries 2n and 2n+1 take
// first and second. Records with n of 2048
// or over are skipped. Returns 0 or kPiCodesMissing (with `why`, if given,
// saying why).
int16_t LoadPiCodes(ConversionStore& store, const std::filesystem::path& path, Note* why = nullptr);

// Loads "fntinf.fil" into FontMap and OverlayMap. The first line is skipped;
// a line is used when its first byte is not above '9' and its column 113 is
// a blank. Numbers are read as C's "%3d%3d" reads them: group g and font f
// at the start (f of an odd/even font pair, 1-39 or 301-400, sets both
// fonts), a further font at column 110 unless it is a blank, and for g below
// 1000 the overlay number "%2d" at column 125 (0 when blank or absent). Lines
// are read in pieces of at most 255 bytes; a CR before the LF is not part of
// the line. Returns 0, kFontInfoMissing, or kFontInfoBroken when the file is
// empty, a read fails or it runs past kMaxTableFileBytes (the lines read so
// far stay); `why` (if given) says which.
int16_t LoadFontInfo(ConversionStore& store, const std::filesystem::path& path, Note* why = nullptr);

// Loads "convura.tbl" (up to 8192 bytes) into RubyTable. Returns 0 or
// kCodeFileMissing (with `why`, if given, saying why).
int16_t LoadRubyTable(ConversionStore& store, const std::filesystem::path& path, Note* why = nullptr);

// Allocates the store and loads, stopping at the first failure: the base
// code file, "conv021.tbl", "conv022.tbl", "convpi.tbl", "fntinf.fil"; then
// no overlay is applied. Returns 0, kFontTablesAllocFailed or the failing
// loader's code, also kept in `prepareResult`. The pitch file is not touched.
int16_t PrepareFontTables(FontTables& tables, const TablePaths& paths);

// Starts `tables` as a pass's own from `base`, tables prepared
// (PrepareFontTables) and not used by any pass since: as PrepareFontTables
// would leave them, with the store's buffers and the main-page route's table
// shared with `base` until this pass changes them (see
// ConversionStore::ShareBuffersOf), and base's font files (`files`) read
// for it. The pitch file is not touched. `base` must not change while any
// pass shares it.
void ShareFontTables(FontTables& tables, const FontTables& base);

// Frees the store, marks RubyTable unloaded and closes the pitch file (the
// notes stay until the next PrepareFontTables).
void ReleaseFontTables(FontTables& tables);

// The overlay that `font`'s group names in OverlayMap; false, leaving
// `overlay`, when the group (FontMap) is 1000 or over: SelectOverlay then
// changes nothing.
bool OverlayOfFont(const ConversionStore& store, int16_t font, uint16_t& overlay);

// Applies the overlay of `font`'s group: restores the entries the applied
// overlay changed, then loads the new overlay file (none for overlay 0). Does
// nothing when the font's group is 1000 or over or the overlay is already
// applied. The file is read through `files` when the tables have them. A
// missing overlay file leaves the base restored and no overlay applied; a
// file that could not be opened when first needed is not looked for again
// in the pass. A file that cannot be opened or read whole adds a line to
// `notes` (once a file).
void SelectOverlay(FontTables& tables, const TablePaths& paths, int16_t font);

// Converts a ruby code through RubyTable, loading "convura.tbl" on first use
// (through `files` when the tables have them).
// Returns 0 with `code` replaced by its conversion (kGetaMark when absent),
// or kCodeFileMissing with `code` unchanged when the file cannot be opened;
// that is noted in `notes` and the file is not looked for again in the pass.
int16_t RubyConvert(FontTables& tables, const TablePaths& paths, uint16_t& code);

// The value RubyTable gives for a code (kGetaMark when absent): eight moves
// of 512 down to 4 pairs from pair 512, then at most ten single steps, so the
// first 1543 pairs of a sorted table are found and later ones never.
uint16_t SearchRubyTable(const ConversionStore& store, uint16_t code);

}  // namespace velkan
