#include "tables/font_tables.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "io/message_mark.h"
#include "tables/table_file.h"

namespace velkan {

namespace fs = std::filesystem;

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Opens a regular file as a stream; nullptr for anything else (a directory
// or FIFO where a table should be counts as missing), with `why` (if given)
// saying what stopped it.
File OpenRead(const fs::path& path, Note* why) {
  int error = 0;
  int fd = OpenRegularFile(path, &error);
  if (fd >= 0) {
    File f(::fdopen(fd, "rb"));
    if (f) return f;
    error = errno;
    ::close(fd);
  }
  if (why) *why = DescribeTableFileStatus(TableFileStatus::kCannotOpen, error);
  return nullptr;
}

uint16_t WordAt(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// Reads the file in blocks of `blockBytes` until a block comes back short and
// hands every whole record of `recordBytes` to `use`.
// At most kMaxFontFileRecords records are read: the rest of a larger file is
// ignored.
template <typename Use>
void ForEachRecord(std::FILE* f, size_t blockBytes, size_t recordBytes, Use use) {
  unsigned char block[1024];
  size_t records = 0;
  for (;;) {
    size_t got = std::fread(block, 1, blockBytes, f);
    for (size_t i = 0; i + recordBytes <= got; i += recordBytes) {
      if (records++ == kMaxFontFileRecords) return;
      use(block + i);
    }
    if (got < blockBytes) return;
  }
}

// C's isspace in the "C" locale.
bool IsBlank(char ch) { return ch == ' ' || (ch >= '\t' && ch <= '\r'); }

// Reads a decimal number as scanf's "%<width>d" does: blanks before the
// number are skipped and do not count toward the width; a sign does.
// Advances `pos` past what was read; false when no digit could be read.
bool ScanNumber(const std::string& line, size_t& pos, int width, int& out) {
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  size_t p = pos;
  int used = 0;
  bool negative = false;
  if (p < line.size() && (line[p] == '+' || line[p] == '-')) {
    negative = line[p] == '-';
    ++p;
    ++used;
  }
  int value = 0;
  int digits = 0;
  while (used < width && p < line.size() && line[p] >= '0' && line[p] <= '9') {
    value = value * 10 + (line[p] - '0');
    ++p;
    ++used;
    ++digits;
  }
  if (digits == 0) return false;
  pos = p;
  out = negative ? -value : value;
  return true;
}

// Reads the next piece of a text file as fgets with a 256-byte buffer does:
// up to and including a line feed, at most 255 bytes. The line feed and a CR
// before it are dropped. False at the end of the file or on a read error.
bool ReadPiece(std::FILE* f, std::string& line) {
  line.clear();
  int ch = 0;
  bool any = false;
  while (line.size() < 255 && (ch = std::getc(f)) != EOF) {
    any = true;
    if (ch == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return true;
    }
    line.push_back(static_cast<char>(ch));
  }
  return any;
}

void SetFont(ConversionStore& store, int font, int group) {
  if (font >= 0 && font < kTableWords) store.Write(kFontMapTable, font, static_cast<uint16_t>(group));
}

void UseFontInfoLine(ConversionStore& store, const std::string& line) {
  if (line.empty() || static_cast<unsigned char>(line[0]) > '9') return;
  if (line.size() <= 113 || line[113] != ' ') return;
  size_t pos = 0;
  int group = 0, font = 0;
  if (!ScanNumber(line, pos, 3, group) || !ScanNumber(line, pos, 3, font)) return;
  if ((font >= 1 && font <= 39) || (font >= 301 && font <= 400)) {
    if (font % 2 == 0) --font;
    SetFont(store, font, group);
    SetFont(store, font + 1, group);
  } else {
    SetFont(store, font, group);
  }
  if (line[110] != ' ') {
    size_t at = 110;
    int further = 0;
    if (ScanNumber(line, at, 3, further)) SetFont(store, further, group);
  }
  if (group < 1000) {
    int overlay = 0;
    if (line.size() > 125 && line[125] != ' ') {
      size_t at = 125;
      if (!ScanNumber(line, at, 2, overlay)) overlay = 0;
    }
    if (group >= 0) store.Write(kOverlayMapTable, group, static_cast<uint16_t>(overlay));
  }
}

void StoreCode(ConversionStore& store, CodeFileKind kind, bool recordUndo, uint16_t key, uint16_t value) {
  if (key == 0) return;
  int table = kind == CodeFileKind::kCodes ? key >> 12 : kind == CodeFileKind::kRomanA ? kRomanTableA : kRomanTableB;
  int index = key & 0xFFF;
  if (!store.Addresses(table, index)) return;
  if (recordUndo &&
      !store.RecordUndo(static_cast<uint16_t>(table << 12 | index), store.Read(table, index))) {
    return;
  }
  store.Write(table, index, value);
}

}  // namespace

int16_t LoadCodeFile(ConversionStore& store, const fs::path& path, CodeFileKind kind, bool recordUndo,
                     int16_t missing, Note* why) {
  std::shared_ptr<const FontFile> file = ReadCodeFile(path);
  if (why) *why = file->why;
  if (!file->opened) return missing;
  const std::vector<uint16_t>& words = file->words;
  for (size_t i = 0; i + 1 < words.size(); i += 2) StoreCode(store, kind, recordUndo, words[i], words[i + 1]);
  return 0;
}

int16_t LoadPiCodes(ConversionStore& store, const fs::path& path, Note* why) {
  File f = OpenRead(path, why);
  if (!f) return kPiCodesMissing;
  ForEachRecord(f.get(), 600, 6, [&](const unsigned char* r) {
    uint16_t n = WordAt(r);
    if (n >= 2048) return;
    store.Write(kPiTable, 2 * n, WordAt(r + 2));
    store.Write(kPiTable, 2 * n + 1, WordAt(r + 4));
  });
  return 0;
}

int16_t LoadFontInfo(ConversionStore& store, const fs::path& path, Note* why) {
  File f = OpenRead(path, why);
  if (!f) return kFontInfoMissing;
  auto broken = [&](TableFileStatus status) {
    if (why) *why = DescribeTableFileStatus(status, errno);
    return kFontInfoBroken;
  };
  std::string line;
  if (!ReadPiece(f.get(), line)) {
    if (std::ferror(f.get())) return broken(TableFileStatus::kReadError);
    if (why) *why = Note(N_("is empty"));
    return kFontInfoBroken;
  }
  size_t read = line.size();
  while (ReadPiece(f.get(), line)) {
    // A file larger than any real one ends like a read that failed.
    read += line.size() + 1;
    if (read > kMaxTableFileBytes) return broken(TableFileStatus::kTooLarge);
    UseFontInfoLine(store, line);
  }
  return std::ferror(f.get()) ? broken(TableFileStatus::kReadError) : 0;
}

namespace {

// Puts the ruby table's words read into RubyTable.
void ApplyRubyFile(ConversionStore& store, const FontFile& file) {
  uint16_t* table = store.MutableTable(kRubyTable);
  if (table) std::copy(file.words.begin(), file.words.end(), table);
}

}  // namespace

int16_t LoadRubyTable(ConversionStore& store, const fs::path& path, Note* why) {
  std::shared_ptr<const FontFile> file = ReadRubyFile(path);
  if (!file->opened) {
    if (why) *why = file->why;
    return kCodeFileMissing;
  }
  ApplyRubyFile(store, *file);
  return 0;
}

namespace {

// Forgets what a pass did with the font tables.
void ResetPassState(FontTables& t) {
  t.appliedOverlay = 0;
  t.keptOverlays.clear();
  t.lastFont = 0;
  t.fontKind = 0;
  t.classified = false;
  t.routeFont = 0;
  t.wireVersion = FontTables::kNoWireVersion;
  t.contentState = kBaseContent;
  for (FontTables::DerivedWire& own : t.ownWires) own.state = kUnknownContent;
  t.keptContents.clear();
  t.wireInUse = -1;
  t.sharedWireState = kUnknownContent;
  t.rubyLoaded = false;
  t.rubyUnusable = false;
  t.overlayFiles.clear();
  t.notes.clear();
}

}  // namespace

void ShareFontTables(FontTables& t, const FontTables& base) {
  ResetPassState(t);
  t.store.ShareBuffersOf(base.store);
  t.files = base.files;
  t.sharedWire = base.sharedWire;
  t.mainPageWire = t.sharedWire ? t.sharedWire->data() : nullptr;
  // The pass starts from the base's tables, which its shared route table
  // holds while they did not change since it was derived.
  t.contentVersion = t.store.version();
  if (t.sharedWire && base.sharedWireState == kBaseContent && base.contentVersion == base.store.version()) {
    t.sharedWireState = kBaseContent;
  }
  t.prepareResult = base.prepareResult;
  t.prepareFailure = base.prepareFailure;
}

int16_t PrepareFontTables(FontTables& t, const TablePaths& paths) {
  t.store.ClearUndo();
  ResetPassState(t);
  // Files read for earlier tables may be stale by now.
  t.files.reset();
  t.prepareFailure = Note();
  auto fail = [&t](int16_t code, Note why) {
    t.prepareFailure = std::move(why);
    return t.prepareResult = code;
  };
  if (!t.store.AllocateFirst()) return fail(kFontTablesAllocFailed, std::string("ERROR calloc M2Buf1_adr"));
  if (!t.store.AllocateSecond()) return fail(kFontTablesAllocFailed, std::string("ERROR calloc M2Buf2_adr"));

  Note why;
  fs::path base = paths.Fixed(OverlayFileName(0));
  if (LoadCodeFile(t.store, base, CodeFileKind::kCodes, false, kCodeFileMissing, &why) != 0) {
    return fail(kCodeFileMissing, TableFault{base, why}.Text());
  }
  fs::path romanA = paths.Prefixed("\\qdxfiles\\conv021.tbl");
  if (LoadCodeFile(t.store, romanA, CodeFileKind::kRomanA, false, kRomanAMissing, &why) != 0) {
    return fail(kRomanAMissing, TableFault{romanA, why}.Text());
  }
  fs::path romanB = paths.Prefixed("\\qdxfiles\\conv022.tbl");
  if (LoadCodeFile(t.store, romanB, CodeFileKind::kRomanB, false, kRomanBMissing, &why) != 0) {
    return fail(kRomanBMissing, TableFault{romanB, why}.Text());
  }
  fs::path pi = paths.Prefixed("\\qdxfiles\\convpi.tbl");
  if (LoadPiCodes(t.store, pi, &why) != 0) return fail(kPiCodesMissing, TableFault{pi, why}.Text());
  fs::path info = paths.Prefixed("\\qdxfiles\\fntinf.fil");
  int16_t r = LoadFontInfo(t.store, info, &why);
  if (r != 0) return fail(r, TableFault{info, why}.Text());
  t.contentVersion = t.store.version();
  return t.prepareResult = 0;
}

void ReleaseFontTables(FontTables& t) {
  t.store.Release();
  t.rubyLoaded = false;
  t.appliedOverlay = 0;
  t.keptOverlays.clear();
  t.keptContents.clear();
  t.overlayFiles.clear();
  t.pitch.Close();
}

namespace {

// What the pass knows of an overlay's file.
FontTables::OverlayFile& OverlayFileOf(FontTables& t, uint16_t overlay) {
  for (FontTables::OverlayFile& file : t.overlayFiles) {
    if (file.number == overlay) return file;
  }
  FontTables::OverlayFile& file = t.overlayFiles.emplace_back();
  file.number = overlay;
  return file;
}

// The overlay's file as read for the tables lent, or read now (its place
// found once a pass).
std::shared_ptr<const FontFile> ReadOverlay(FontTables& t, const TablePaths& paths, FontTables::OverlayFile& file) {
  if (t.files) return t.files->Overlay(paths, file.number);
  if (file.path.empty()) file.path = paths.Fixed(OverlayFileName(file.number));
  return ReadCodeFile(file.path);
}

// The code tables hold `state` as of now.
void HoldNow(FontTables& t, int32_t state) {
  t.contentState = state;
  t.contentVersion = t.store.version();
}

// Puts back the code tables kept when they held `state`: false when none
// are kept (or the store could not take them).
bool PutBack(FontTables& t, int32_t state) {
  if (state == kUnknownContent) return false;
  for (const FontTables::KeptContent& kept : t.keptContents) {
    if (kept.state != state) continue;
    if (!t.store.RestoreCodeTables(kept.tables)) return false;
    HoldNow(t, state);
    return true;
  }
  return false;
}

// Keeps the code tables, which hold `state` as of now, while there is room.
void KeepContent(FontTables& t, int32_t state) {
  if (t.keptContents.size() >= FontTables::kKeptContents) return;
  FontTables::KeptContent kept;
  kept.state = state;
  if (t.store.KeepCodeTables(kept.tables)) t.keptContents.push_back(std::move(kept));
}

}  // namespace

bool OverlayOfFont(const ConversionStore& store, int16_t font, uint16_t& overlay) {
  uint16_t group = font >= 0 ? store.Read(kFontMapTable, font) : 0;
  if (group >= 1000) return false;
  overlay = store.Read(kOverlayMapTable, group);
  return true;
}

void SelectOverlay(FontTables& t, const TablePaths& paths, int16_t font) {
  uint16_t overlay = 0;
  if (!OverlayOfFont(t.store, font, overlay) || overlay == t.appliedOverlay) return;
  // Tables changed by anything but the overlays since they were last
  // applied or undone: what was derived for the base and each overlay on
  // it may no longer hold, and the base is what the undo below leaves.
  if (t.store.version() != t.contentVersion) {
    for (FontTables::DerivedWire& own : t.ownWires) own.state = kUnknownContent;
    t.sharedWireState = kUnknownContent;
    t.keptContents.clear();
  }
  t.appliedOverlay = overlay;
  const FontTables::KeptOverlay* kept = nullptr;
  for (const FontTables::KeptOverlay& k : t.keptOverlays) {
    if (overlay != 0 && k.number == overlay) kept = &k;
  }
  // The tables as they were when they last held the base or a kept overlay
  // are put back as they were.
  if (PutBack(t, overlay == 0 ? kBaseContent : kept != nullptr ? overlay : kUnknownContent)) return;
  if (!PutBack(t, kBaseContent)) {
    t.store.Undo();
    HoldNow(t, kBaseContent);
    KeepContent(t, kBaseContent);
  }
  if (overlay == 0) return;
  if (kept != nullptr) {
    t.store.WriteRecordingUndo(kept->file->words.data(), kept->file->words.size());
    HoldNow(t, overlay);
    KeepContent(t, overlay);
    return;
  }
  FontTables::OverlayFile& file = OverlayFileOf(t, overlay);
  // A file that could not be opened when it was first needed is not looked
  // for again in the pass.
  if (file.unusable) {
    t.appliedOverlay = 0;
    return;
  }
  std::shared_ptr<const FontFile> read = ReadOverlay(t, paths, file);
  const bool opened = read->opened;
  if (opened) {
    t.store.WriteRecordingUndo(read->words.data(), read->words.size());
  } else {
    t.appliedOverlay = 0;
    file.unusable = !file.found;
  }
  file.found = file.found || opened;
  if (!read->why.empty() && !file.noted) {
    file.noted = true;
    t.notes.push_back(Note(opened ? N_("overlay table %s %s; the fonts of the groups with overlay %s got only part of it")
                                  : N_("overlay table %s %s; the fonts of the groups with overlay %s keep the base codes"),
                           {ShownPath(read->path), read->why, std::to_string(static_cast<int16_t>(overlay))}));
  }
  // Kept while the file is small enough; one that could not be read to its
  // end is read again next time.
  const bool keep = opened && read->whole && read->words.size() <= 2 * kKeptOverlayRecords &&
                    t.keptOverlays.size() < kKeptOverlays;
  if (keep) t.keptOverlays.push_back({overlay, std::move(read)});
  // Applied as it will be again from what is kept; read again every time,
  // it may hold something else next time.
  HoldNow(t, !opened ? kBaseContent : keep ? overlay : kUnknownContent);
  if (keep) KeepContent(t, overlay);
}

uint16_t SearchRubyTable(const ConversionStore& store, uint16_t code) {
  const uint16_t* table = store.Table(kRubyTable);
  if (table == nullptr) return kGetaMark;
  constexpr int kPairs = kTableWords / 2;
  // Positions before the table read as empty pairs.
  auto key = [table](int p) -> uint16_t { return p >= 0 && p < kPairs ? table[2 * p] : 0; };
  auto found = [&](int p) { return p >= 0 && p < kPairs && key(p) == code; };
  int p = 512;
  for (int step = 512; step >= 4; step /= 2) {
    if (found(p)) return table[2 * p + 1];
    uint16_t k = key(p);
    p += (k == 0 || k > code) ? -step : step;
  }
  uint16_t k = key(p);
  int direction = (k == 0 || k >= code) ? -1 : 1;
  for (int i = 0; i <= 10; ++i) {
    int q = p + direction * i;
    if (q < 0 || q >= kPairs) break;
    if (found(q)) return table[2 * q + 1];
  }
  return kGetaMark;
}

int16_t RubyConvert(FontTables& t, const TablePaths& paths, uint16_t& code) {
  if (!t.rubyLoaded) {
    if (t.rubyUnusable) return kCodeFileMissing;
    std::shared_ptr<const FontFile> file =
        t.files ? t.files->Ruby(paths) : ReadRubyFile(paths.Prefixed("\\qdxfiles\\convura.tbl"));
    if (!file->opened) {
      t.rubyUnusable = true;
      t.notes.push_back(Note(N_("ruby table %s %s; the characters of ruby fonts stay unconverted"),
                             {ShownPath(file->path), file->why}));
      return kCodeFileMissing;
    }
    ApplyRubyFile(t.store, *file);
    t.rubyLoaded = true;
  }
  code = SearchRubyTable(t.store, code);
  return 0;
}

}  // namespace velkan
