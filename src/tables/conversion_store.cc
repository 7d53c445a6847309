#include "tables/conversion_store.h"

#include <bit>
#include <cstring>
#include <new>

namespace velkan {

namespace {

// The slot of a table number in its buffer: first buffer for 0, 1, 8-12,
// second buffer for 16-21; -1 for any other number.
constexpr int FirstBufferSlot(int table) {
  switch (table) {
    case 0: return 0;
    case 1: return 1;
    case 8: case 9: case 10: case 11: case 12: return table - 6;
    default: return -1;
  }
}

int SecondBufferSlot(int table) { return table >= 16 && table <= 21 ? table - 16 : -1; }

std::shared_ptr<uint16_t[]> ZeroedBuffer() {
  return std::shared_ptr<uint16_t[]>(new (std::nothrow) uint16_t[kBufferWords]());
}

// The table numbers whose places lie in the first (second) buffer, as bits.
constexpr uint32_t kFirstBufferTables = 1u << 0 | 1u << 1 | 0x1Fu << 8;
constexpr uint32_t kSecondBufferTables = 0x3Fu << 16;

// Where the undo list starts in the second buffer.
constexpr int kUndoStart = 6 * kTableWords;

}  // namespace

void ConversionStore::MapTables() {
  for (unsigned t = 0; t < kTableNumbers; ++t) {
    int first = FirstBufferSlot(static_cast<int>(t));
    int second = SecondBufferSlot(static_cast<int>(t));
    uint16_t* place = nullptr;
    if (first >= 0 && first_) place = first_.get() + first * kTableWords;
    if (second >= 0 && second_) place = second_.get() + second * kTableWords;
    tables_[t] = place;
  }
}

void ConversionStore::ShareBuffersOf(const ConversionStore& base) {
  first_ = base.first_;
  second_ = base.second_;
  firstShared_ = first_ != nullptr;
  secondShared_ = second_ != nullptr;
  shared_ = firstShared_ || secondShared_;
  undoWords_ = base.undoWords_;
  version_ = base.version_;
  sharedVersion_ = base.version_;
  ++mapsVersion_;
  mainPagesAllChanged_ = base.mainPagesAllChanged_;
  mainPageCellCount_ = base.mainPageCellCount_;
  std::memcpy(mainPageCells_, base.mainPageCells_, sizeof(uint16_t) * static_cast<size_t>(mainPageCellCount_));
  // The base's tables point where MapTables would point them over the same
  // buffers (every change of a buffer maps them again).
  std::memcpy(tables_, base.tables_, sizeof tables_);
}

void ConversionStore::TakePrivate(int which) {
  std::shared_ptr<uint16_t[]>& buffer = which == 0 ? first_ : second_;
  std::shared_ptr<uint16_t[]>& own = private_[which];
  std::shared_ptr<uint16_t[]>& origin = privateOrigin_[which];
  const uint32_t slotTables = which == 0 ? kFirstBufferTables : kSecondBufferTables;
  // Held elsewhere too (kept code tables, or the tables as they stand): its
  // words must stay as they are.
  if (own && own.use_count() > 1) own.reset();
  if (!own) {
    own.reset(new (std::nothrow) uint16_t[kBufferWords]);
    origin.reset();
  }
  if (own && origin == buffer && privateOriginVersion_[which] == sharedVersion_) {
    // Still what `buffer` holds but for the tables written since.
    const uint16_t* from = buffer.get();
    uint16_t* to = own.get();
    for (uint32_t bits = writtenTables_ & slotTables; bits != 0; bits &= bits - 1) {
      const int table = std::countr_zero(bits);
      const int slot = which == 0 ? FirstBufferSlot(table) : SecondBufferSlot(table);
      std::memcpy(to + slot * kTableWords, from + slot * kTableWords, kTableWords * sizeof(uint16_t));
    }
    if (which == 1 && undoWritten_ > 0) {
      std::memcpy(to + kUndoStart, from + kUndoStart, static_cast<size_t>(undoWritten_) * sizeof(uint16_t));
    }
  } else if (own) {
    std::memcpy(own.get(), buffer.get(), kBufferWords * sizeof(uint16_t));
    origin = buffer;
    privateOriginVersion_[which] = sharedVersion_;
  }
  writtenTables_ &= ~slotTables;
  if (which == 1) undoWritten_ = 0;
  buffer = own;
}

void ConversionStore::Unshare(int table) {
  const bool any = FirstBufferSlot(table) < 0 && SecondBufferSlot(table) < 0;
  if (firstShared_ && (any || FirstBufferSlot(table) >= 0)) {
    TakePrivate(0);
    firstShared_ = false;
  }
  if (secondShared_ && (any || SecondBufferSlot(table) >= 0)) {
    TakePrivate(1);
    secondShared_ = false;
  }
  shared_ = firstShared_ || secondShared_;
  MapTables();
}

bool ConversionStore::AllocateFirst() {
  ++version_;
  firstShared_ = false;
  shared_ = secondShared_;
  mainPagesAllChanged_ = true;
  first_ = ZeroedBuffer();
  MapTables();
  return first_ != nullptr;
}

bool ConversionStore::AllocateSecond() {
  ++version_;
  ++mapsVersion_;
  secondShared_ = false;
  shared_ = firstShared_;
  mainPagesAllChanged_ = true;
  second_ = ZeroedBuffer();
  undoWords_ = 0;
  MapTables();
  return second_ != nullptr;
}

void ConversionStore::Release() {
  ++version_;
  ++mapsVersion_;
  firstShared_ = secondShared_ = shared_ = false;
  mainPagesAllChanged_ = true;
  first_.reset();
  second_.reset();
  for (int which = 0; which < 2; ++which) {
    private_[which].reset();
    privateOrigin_[which].reset();
  }
  undoWords_ = 0;
  MapTables();
}

bool ConversionStore::RecordUndo(uint16_t key, uint16_t previous) {
  if (secondShared_) Unshare(kRubyTable);
  if (!second_ || undoWords_ + 2 > kUndoWords) return false;
  uint16_t* list = second_.get() + 6 * kTableWords;
  list[undoWords_] = key;
  list[undoWords_ + 1] = previous;
  undoWords_ += 2;
  NoteUndoWritten(undoWords_);
  return true;
}

void ConversionStore::WriteRecordingUndo(const uint16_t* words, size_t count) {
  size_t i = 0;
  // While a buffer is shared, the first writes copy it for this store.
  for (; shared_ && i + 1 < count; i += 2) {
    const uint16_t key = words[i];
    const int table = key >> 12;
    const int index = key & 0xFFF;
    if (key != 0 && Addresses(table, index) && RecordUndo(key, Read(table, index))) Write(table, index, words[i + 1]);
  }
  if (!second_) return;
  uint16_t* const list = second_.get() + 6 * kTableWords;
  int undo = undoWords_;
  uint64_t version = version_;
  uint32_t written = writtenTables_;
  for (; i + 1 < count; i += 2) {
    const uint16_t key = words[i];
    uint16_t* const table = tables_[key >> 12];
    if (key == 0 || table == nullptr) continue;
    if (undo + 2 > kUndoWords) break;
    uint16_t* const p = table + (key & 0xFFF);
    list[undo] = key;
    list[undo + 1] = *p;
    undo += 2;
    *p = words[i + 1];
    written |= 1u << (key >> 12);
    ++version;
    if ((key >> 13) == 4) NoteMainPageCell(key >> 12, key & 0xFFF);
  }
  undoWords_ = undo;
  version_ = version;
  writtenTables_ = written;
  NoteUndoWritten(undo);
}

void ConversionStore::Undo() {
  ++version_;
  if (second_) {
    const uint16_t* list = second_.get() + 6 * kTableWords;
    for (int i = undoWords_ - 2; i >= 0; i -= 2) Write(list[i] >> 12, list[i] & 0xFFF, list[i + 1]);
  }
  undoWords_ = 0;
}

bool ConversionStore::KeepCodeTables(KeptCodeTables& kept) {
  if (!first_ || !second_) return false;
  kept.first = first_;
  firstShared_ = true;
  shared_ = true;
  const uint16_t* list = second_.get() + 6 * kTableWords;
  kept.undo.assign(list, list + undoWords_);
  return true;
}

bool ConversionStore::RestoreCodeTables(const KeptCodeTables& kept) {
  if (!kept.first || !second_ || kept.undo.size() > static_cast<size_t>(kUndoWords)) return false;
  if (secondShared_) {
    Unshare(kRubyTable);
    if (!second_) return false;
  }
  uint16_t* const list = second_.get() + 6 * kTableWords;
  // The cells the tables left and those put back differ in: the main-page
  // keys (tables 8 and 9) of both lists.
  const size_t left = static_cast<size_t>(undoWords_);
  if (mainPageCellCount_ + (left + kept.undo.size()) / 2 > static_cast<size_t>(kMainPageCellsKept)) {
    mainPagesAllChanged_ = true;
  }
  if (!mainPagesAllChanged_) {
    uint16_t* cells = mainPageCells_ + mainPageCellCount_;
    auto note = [&cells](const uint16_t* keys, size_t words) {
      for (size_t i = 0; i < words; i += 2) {
        const unsigned key = keys[i];
        if ((key >> 13) == 4) *cells++ = static_cast<uint16_t>(key - 0x8000);
      }
    };
    note(list, left);
    note(kept.undo.data(), kept.undo.size());
    mainPageCellCount_ = static_cast<int>(cells - mainPageCells_);
  }
  ++version_;
  first_ = kept.first;
  firstShared_ = true;
  shared_ = true;
  if (!kept.undo.empty()) std::memcpy(list, kept.undo.data(), kept.undo.size() * sizeof(uint16_t));
  undoWords_ = static_cast<int>(kept.undo.size());
  NoteUndoWritten(undoWords_);
  // The first buffer's tables pointed at again, as MapTables would, spelled
  // out for an overlay switch.
  static_assert(FirstBufferSlot(0) == 0 && FirstBufferSlot(1) == 1 && FirstBufferSlot(8) == 2 &&
                FirstBufferSlot(12) == 6 && FirstBufferSlot(13) < 0 && FirstBufferSlot(7) < 0);
  uint16_t* const first = first_.get();
  tables_[0] = first;
  tables_[1] = first + kTableWords;
  for (int t = 8; t <= 12; ++t) tables_[t] = first + (t - 6) * kTableWords;
  return true;
}

}  // namespace velkan
