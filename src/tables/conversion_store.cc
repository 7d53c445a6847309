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

bool ConversionStore::AllocateFirst() {
  first_ = ZeroedBuffer();
  return first_ != nullptr;
}

bool ConversionStore::AllocateSecond() {
  second_ = ZeroedBuffer();
  undoWords_ = 0;
  return second_ != nullptr;
}

void ConversionStore::Release() {
  first_.reset();
  second_.reset();
  undoWords_ = 0;
}

const uint16_t* ConversionStore::Table(int table) const {
  if (int s = FirstBufferSlot(table); s >= 0) return first_ ? first_.get() + s * kTableWords : nullptr;
  if (int s = SecondBufferSlot(table); s >= 0) return second_ ? second_.get() + s * kTableWords : nullptr;
  return nullptr;
}

uint16_t* ConversionStore::MutableTable(int table) { return const_cast<uint16_t*>(Table(table)); }

uint16_t* ConversionStore::Slot(int table, int index) const {
  if (index < 0 || index >= kTableWords) return nullptr;
  const uint16_t* t = Table(table);
  return t ? const_cast<uint16_t*>(t) + index : nullptr;
}

uint16_t ConversionStore::Read(int table, int index) const {
  const uint16_t* p = Slot(table, index);
  return p ? *p : 0;
}

void ConversionStore::Write(int table, int index, uint16_t value) {
  if (uint16_t* p = Slot(table, index)) *p = value;
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
  if (second_) {
    const uint16_t* list = second_.get() + 6 * kTableWords;
    for (int i = undoWords_ - 2; i >= 0; i -= 2) Write(list[i] >> 12, list[i] & 0xFFF, list[i + 1]);
  }
  undoWords_ = 0;
}

}  // namespace velkan
