#include "engine/read_ahead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "io/output_file.h"

namespace velkan {

InputReadAhead::InputReadAhead(const std::vector<const std::string*>& inputs, ReadAheadLimits limits,
                               std::vector<std::pair<dev_t, ino_t>> never,
                               std::function<std::unique_ptr<OutputFile>(size_t)> openOutput)
    : inputs_(inputs),
      limits_(limits),
      never_(std::move(never)),
      openOutput_(std::move(openOutput)),
      slots_(inputs.size()),
      lead_(limits.lead) {
  spares_.reserve(limits_.jobs);
}

// The outputs opened and not taken are discarded with their temporary files.
InputReadAhead::~InputReadAhead() = default;

ReadInput InputReadAhead::Read(const std::string& path, ReadInput spare) const {
  // As a job opens its input first (see OpenPassInput): a name that is no
  // link, without waiting for a FIFO's writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) return nullptr;
  ReadInput bytes;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<unsigned long long>(st.st_size) <= limits_.largest &&
      std::find(never_.begin(), never_.end(), std::pair<dev_t, ino_t>{st.st_dev, st.st_ino}) == never_.end()) {
    // One byte more than the size, so that a read that comes back short with
    // the size ends the file (as FdSource ends it); a file that grew is read
    // on, up to the limit, into storage that grows as it needs.
    size_t got = 0;
    size_t room = static_cast<size_t>(st.st_size) + 1;
    size_t capacity = room;
    std::unique_ptr<char[]> data;
    if (spare != nullptr && spare->capacity_ >= room) {
      capacity = spare->capacity_;
      data = std::move(spare->data_);
    } else {
      spare.reset();
      data = std::make_unique_for_overwrite<char[]>(capacity);
    }
    for (;;) {
      if (got + room > capacity) {
        capacity = std::max(got + room, capacity * 2);
        auto larger = std::make_unique_for_overwrite<char[]>(capacity);
        std::memcpy(larger.get(), data.get(), got);
        data = std::move(larger);
      }
      const ssize_t r = ::read(fd, data.get() + got, room);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) break;  // the job reads it again and reports what fails
      got += static_cast<size_t>(r);
      if (r == 0 || (static_cast<size_t>(r) < room && st.st_size > 0 && got == static_cast<size_t>(st.st_size))) {
        if (spare != nullptr) {
          spare->data_ = std::move(data);
          spare->size_ = got;
          spare->capacity_ = capacity;
          bytes = std::move(spare);
        } else {
          bytes = std::make_unique<ReadBytes>(std::move(data), got, capacity);
        }
        break;
      }
      if (got > limits_.largest) break;  // grew past the limit: its job reads it as it is
      room = std::max<size_t>(room - static_cast<size_t>(r), 4096);
    }
  }
  ::close(fd);
  return bytes;
}

bool InputReadAhead::SkipToNext() {
  // An input within the lead stays waiting: its job opens it. (The jobs
  // take their inputs about in order: one before the last taken is to be
  // taken soon too.)
  const size_t first = lead_ == 0 ? 0 : taken_ + lead_;
  while (next_ < slots_.size() && (slots_[next_].state != State::kWaiting || next_ < first)) ++next_;
  return next_ < slots_.size();
}

bool InputReadAhead::Wants() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!SkipToNext()) return false;
  if (held_ < limits_.jobs && heldBytes_ < limits_.bytes) return true;
  starved_ = true;
  return false;
}

bool InputReadAhead::ReadNext() {
  size_t i;
  ReadInput spare;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!SkipToNext()) return false;
    if (held_ >= limits_.jobs || heldBytes_ >= limits_.bytes) {
      starved_ = true;
      return false;
    }
    i = next_++;
    slots_[i].state = State::kReading;
    if (!spares_.empty()) {
      spare = std::move(spares_.back());
      spares_.pop_back();
      spareBytes_ -= spare->capacity_;
    }
  }
  ReadAhead prepared;
  prepared.input = Read(*inputs_[i], std::move(spare));
  if (prepared.input && openOutput_) prepared.output = openOutput_(i);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Slot& slot = slots_[i];
    if (slot.state == State::kReading && prepared.input) {
      ++held_;
      heldBytes_ += prepared.input->size();
      slot.state = State::kRead;
      slot.prepared = std::move(prepared);
    } else {
      slot.state = State::kTaken;  // its job opens it (or has opened it)
    }
  }
  // What its job took meanwhile is dropped here, outside the lock: its
  // output opened ahead is discarded with its temporary file.
  return true;
}

ReadAhead InputReadAhead::Take(size_t i, bool& wake, ReadInput spent) {
  wake = false;
  std::unique_lock<std::mutex> lock(mutex_);
  // Kept where there is room made for it (else freed here, once the lock is
  // let go).
  if (spent != nullptr && spares_.size() < spares_.capacity() && spareBytes_ + spent->capacity_ <= limits_.bytes) {
    spareBytes_ += spent->capacity_;
    spares_.push_back(std::move(spent));
  }
  if (i >= slots_.size()) return {};
  Slot& slot = slots_[i];
  taken_ = std::max(taken_, i + 1);
  // An input being read is not waited for: its job opens it itself, sooner
  // than the reader would be done and wake it, and what the reader read is
  // dropped.
  const State was = slot.state;
  slot.state = State::kTaken;
  // The reader was too close behind the jobs to read this one in time:
  // from now on it leaves one input more to them (up to the room it has).
  if (was == State::kReading && lead_ != 0 && lead_ < limits_.jobs) ++lead_;
  if (was != State::kRead) return {};
  ReadAhead prepared = std::move(slot.prepared);
  --held_;
  heldBytes_ -= prepared.input->size();
  if (starved_ && held_ <= limits_.jobs / 2 && heldBytes_ <= limits_.bytes / 2) {
    starved_ = false;
    wake = true;
  }
  return prepared;
}

size_t InputReadAhead::held() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return held_;
}

size_t InputReadAhead::heldBytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return heldBytes_;
}

}  // namespace velkan
