#include "tables/conversion_store.h"

#include <new>

namespace velkan {

namespace {

// The slot of a table number in its buffer: first buffer for 0, 1, 8-12,
// second buffer for 16-21; -1 for any other number.
int FirstBufferSlot(int table) {
  switch (table) {
    case 0: return 0;
    case 1: return 1;
    case 8: case 9: case 10: case 11: case 12: return table - 6;
    default: return -1;
  }
}

int SecondBufferSlot(int table) { return table >= 16 && table <= 21 ? table - 16 : -1; }

std::unique_ptr<uint16_t[]> ZeroedBuffer() {
  return std::unique_ptr<uint16_t[]>(new (std::nothrow) uint16_t[kBufferWords]());
}

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

bool ConversionStore::AllocateFirst() {
  ++version_;
  mainPagesAllChanged_ = true;
  first_ = ZeroedBuffer();
  MapTables();
  return first_ != nullptr;
}

bool ConversionStore::AllocateSecond() {
  ++version_;
  mainPagesAllChanged_ = true;
  second_ = ZeroedBuffer();
  undoWords_ = 0;
  MapTables();
  return second_ != nullptr;
}

void ConversionStore::Release() {
  ++version_;
  mainPagesAllChanged_ = true;
  first_.reset();
  second_.reset();
  undoWords_ = 0;
  MapTables();
}

bool ConversionStore::RecordUndo(uint16_t key, uint16_t previous) {
  if (!second_ || undoWords_ + 2 > kUndoWords) return false;
  uint16_t* list = second_.get() + 6 * kTableWords;
  list[undoWords_] = key;
  list[undoWords_ + 1] = previous;
  undoWords_ += 2;
  return true;
}

void ConversionStore::Undo() {
  ++version_;
  if (second_) {
    const uint16_t* list = second_.get() + 6 * kTableWords;
    for (int i = undoWords_ - 2; i >= 0; i -= 2) Write(list[i] >> 12, list[i] & 0xFFF, list[i + 1]);
  }
  undoWords_ = 0;
}

}  // namespace velkan
