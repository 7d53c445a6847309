// The conversion store: the code tables of the fonts, held in two buffers.
//
// A table is 4096 words addressed by a table number and a 12-bit index.
// Tables 0, 1 and 8-12 (the code conversion by the top four bits of a code)
// lie in the first buffer, tables 16-21 (roman tables A and B, FontMap,
// OverlayMap, PiTable, RubyTable) in the second, whose remaining 8064 words
// hold the overlay undo list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace velkan {

// Table numbers of the second buffer.
inline constexpr int kRomanTableA = 16;
inline constexpr int kRomanTableB = 17;
inline constexpr int kFontMapTable = 18;
inline constexpr int kOverlayMapTable = 19;
inline constexpr int kPiTable = 20;
inline constexpr int kRubyTable = 21;

inline constexpr int kTableWords = 4096;
// Each buffer is 0xFF00 bytes.
inline constexpr int kBufferWords = 0xFF00 / 2;
// Words of the second buffer behind its six tables: (key, previous value)
// pairs of the overlay undo list.
inline constexpr int kUndoWords = kBufferWords - 6 * kTableWords;
inline constexpr int kUndoPairs = kUndoWords / 2;

class ConversionStore {
 public:
  ConversionStore() = default;
  ConversionStore(const ConversionStore&) = delete;
  ConversionStore& operator=(const ConversionStore&) = delete;

  // Allocates the first (second) buffer zero-filled. False when memory is
  // short; the buffer then stays absent.
  bool AllocateFirst();
  bool AllocateSecond();
  // Frees both buffers and empties the undo list. Reads then give 0 and
  // writes are dropped until the buffers are allocated again.
  void Release();
  bool allocated() const { return first_ != nullptr && second_ != nullptr; }

  // Takes the buffers, undo list and record of changes of `base` without
  // copying them: both stores then read the same buffers, and this one
  // copies a buffer for itself before it first writes to it (a Write, a
  // table handed out for writing, an undo recorded). A store shared again
  // with the same base, unchanged, takes back the buffer it copied for itself
  // before, its tables written since put back from the base, instead of
  // copying the whole buffer anew. `base` must not change while it is
  // shared; any number of stores may share it at once, from any thread.
  void ShareBuffersOf(const ConversionStore& base);

  // The entry of a table. 0 for a table number that addresses nothing, an
  // index outside 0-4095 or an absent buffer.
  uint16_t Read(int table, int index) const {
    const uint16_t* p = Slot(table, index);
    return p ? *p : 0;
  }
  // Sets an entry; dropped where Read would give 0 for want of a place.
  void Write(int table, int index, uint16_t value) {
    if (shared_) Unshare(table);
    if (uint16_t* p = Slot(table, index)) {
      *p = value;
      ++version_;
      writtenTables_ |= 1u << table;
      if ((table & ~1) == 8) NoteMainPageCell(table, index);
      if ((table & ~1) == kFontMapTable) ++mapsVersion_;
    }
  }
  // True when (table, index) addresses an entry.
  bool Addresses(int table, int index) const { return Slot(table, index) != nullptr; }

  // The words of a table (4096), or nullptr when it addresses nothing.
  const uint16_t* Table(int table) const {
    return static_cast<unsigned>(table) < kTableNumbers ? tables_[table] : nullptr;
  }
  // Entries may be changed through the pointer until the next conversion;
  // handing it out counts as a change (see version()).
  uint16_t* MutableTable(int table) {
    if (shared_) Unshare(table);
    ++version_;
    if ((table & ~1) == 8) mainPagesAllChanged_ = true;
    if ((table & ~1) == kFontMapTable) ++mapsVersion_;
    if (static_cast<unsigned>(table) >= kTableNumbers) return nullptr;
    writtenTables_ |= 1u << table;
    return tables_[table];
  }

  // A number that differs from every earlier one once an entry may have
  // changed (a write, an undo, a buffer allocated or freed, a table handed
  // out for writing): what is derived from the tables is current while it
  // stays the same.
  uint64_t version() const { return version_; }
  // The same for FontMap and OverlayMap alone (a write to either of them, a
  // buffer allocated, freed or taken from another store, either handed out
  // for writing): the overlays, which write only the code tables, leave it.
  uint64_t mapsVersion() const { return mapsVersion_; }

  // The cells of the main-page tables 8 and 9 (0x0000-0x1FFF: table 8 then
  // table 9) written since ForgetMainPageChanges, in the order written and
  // possibly repeated; unless mainPagesAllChanged(), when more cells were
  // written than are kept, or the tables may have changed as a whole (a
  // buffer allocated or freed, a table handed out for writing). Lets what
  // is derived from the main pages be brought up to date cell by cell.
  bool mainPagesAllChanged() const { return mainPagesAllChanged_; }
  const uint16_t* mainPageCells() const { return mainPageCells_; }
  int mainPageCellCount() const { return mainPageCellCount_; }
  void ForgetMainPageChanges() {
    mainPagesAllChanged_ = false;
    mainPageCellCount_ = 0;
  }

  // Appends (key, previous value) to the undo list; key = table << 12 | index.
  // False (nothing recorded) when the list is full or the second buffer is
  // absent.
  bool RecordUndo(uint16_t key, uint16_t previous);
  // Applies (key, value) pairs, `count` words from `words` on, as an overlay
  // read with its undo recorded applies them (see LoadCodeFile): for each
  // pair whose key addresses an entry (table key >> 12, index key & 0xFFF),
  // RecordUndo of the key and the entry's value, then Write; keys 0 and
  // those that address nothing are skipped, and once the list is full
  // nothing more is applied.
  void WriteRecordingUndo(const uint16_t* words, size_t count);
  // Writes the recorded values back, last recorded first, so a key recorded
  // twice ends with the value it had before the first record; then empties
  // the list.
  void Undo();
  // The code tables (the first buffer: tables 0, 1 and 8-12) and the undo
  // list as they stood, kept by KeepCodeTables.
  struct KeptCodeTables {
    std::shared_ptr<uint16_t[]> first;
    std::vector<uint16_t> undo;
  };
  // Keeps the code tables and the undo list as they stand in `kept`, without
  // copying the tables: their buffer is shared with `kept` from now on, so
  // that the next change of them copies it first (as ShareBuffersOf). False,
  // keeping nothing, while a buffer is absent.
  bool KeepCodeTables(KeptCodeTables& kept);
  // Puts the code tables and the undo list kept in `kept` back in place of
  // those that stand, without writing an entry (the buffer is shared again):
  // a change (see version()) whose main-page cells are those named by the
  // undo list left and by the one put back. So the tables must differ from
  // what was kept only by what the two lists record: besides the recorded
  // writes and Undo, nothing may have changed them since. False, having done
  // nothing, while a buffer is absent.
  bool RestoreCodeTables(const KeptCodeTables& kept);
  // Pairs recorded since the list was last emptied.
  int undoPairs() const { return undoWords_ / 2; }
  void ClearUndo() { undoWords_ = 0; }

 private:
  static constexpr unsigned kTableNumbers = 22;

  uint16_t* Slot(int table, int index) const {
    if (static_cast<unsigned>(table) >= kTableNumbers || static_cast<unsigned>(index) >= kTableWords) return nullptr;
    uint16_t* t = tables_[table];
    return t ? t + index : nullptr;
  }
  void NoteMainPageCell(int table, int index) {
    if (mainPagesAllChanged_) return;
    if (mainPageCellCount_ == kMainPageCellsKept) {
      mainPagesAllChanged_ = true;
      return;
    }
    mainPageCells_[mainPageCellCount_++] = static_cast<uint16_t>((table - 8) << 12 | index);
  }
  // Points every table number at its place (nullptr where there is none).
  void MapTables();
  // Makes the shared buffer that `table` lies in (both for a number outside
  // either) this store's own (see TakePrivate).
  void Unshare(int table);
  // Buffer `which` (0 first, 1 second), shared, made this store's own: the
  // private buffer of that slot again when nothing else holds it (brought
  // back from what it was last copied from by the tables written since, when
  // that is the buffer shared now), else a new one.
  void TakePrivate(int which);
  // The undo list's words written up to `words` (see undoWritten_).
  void NoteUndoWritten(int words) {
    if (words > undoWritten_) undoWritten_ = words;
  }

  // The place of each table number 0-21, nullptr for numbers without one or
  // an absent buffer.
  uint16_t* tables_[kTableNumbers] = {};
  std::shared_ptr<uint16_t[]> first_;
  std::shared_ptr<uint16_t[]> second_;
  // Whether the first or second buffer is shared with another store (see
  // ShareBuffersOf), and either of them.
  bool firstShared_ = false;
  bool secondShared_ = false;
  bool shared_ = false;
  int undoWords_ = 0;
  uint64_t version_ = 0;
  uint64_t mapsVersion_ = 0;
  // More than an overlay of usual size writes; past that, deriving the
  // whole of both tables costs about as much as going cell by cell.
  static constexpr int kMainPageCellsKept = 2048;
  uint16_t mainPageCells_[kMainPageCellsKept];
  int mainPageCellCount_ = 0;
  bool mainPagesAllChanged_ = true;
  // The private buffer last made this store's own for each slot (first,
  // second) and the shared buffer it was copied from, kept from pass to
  // pass (ShareBuffersOf): when the same buffer is shared again, a write
  // brings the private one back to it by the tables written since, instead
  // of copying the whole buffer anew. `writtenTables_` has bit t set once
  // table t may have been written since its private buffer was copied;
  // `undoWritten_` counts the undo list's words that may have been.
  std::shared_ptr<uint16_t[]> private_[2];
  std::shared_ptr<uint16_t[]> privateOrigin_[2];
  // The version of the store last shared (ShareBuffersOf) as of then, and as
  // of each private buffer's copy: a store shared again after it changed in
  // place is copied whole.
  uint64_t sharedVersion_ = 0;
  uint64_t privateOriginVersion_[2] = {};
  uint32_t writtenTables_ = 0;
  int undoWritten_ = 0;
};

}  // namespace velkan
