// The inputs of a batch read ahead of the jobs that convert them.
//
// One thread (the batch's calling thread) opens and reads the next small
// inputs whole while the workers convert, so that a worker finds its job's
// input in memory and spends its time converting. Only an input that opens
// as a job would open it first (its last name no link, a regular file) and
// is small is read ahead; anything else (a large input, a link, a FIFO, a
// missing or unreadable file, a read that fails) is left to its job, which
// opens it at its own turn as a job of its own would, so that what fails is
// reported at that job exactly as it is without reading ahead. The inputs
// held read stay within a number of jobs and of bytes. Once an input was read,
// the job's output may be opened ahead too (its temporary file made), by a
// function the caller gives.
//
// A job never waits for the reader: one that comes to its input while it is
// being read opens it itself, and what the reader read is dropped. So that
// this seldom happens, the reader can leave the next inputs after the last
// one taken to their jobs (the lead), which open them as usual: a reader
// slower than the jobs then falls back to reading every other input or so.
// The lead grows each time it did happen, as the reader is then too close
// behind the jobs for its reads to end in time.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velkan {

class OutputFile;

struct ReadAheadLimits {
  size_t jobs = 16;            // inputs read and not yet taken
  size_t bytes = 2 << 20;      // their bytes together, which the last input read may pass
  size_t largest = 256 << 10;  // an input larger than this is left to its job
  // Inputs right after the last one taken that the reader leaves to their
  // jobs rather than read, since a job that came to an input being read
  // would open it again: as many as jobs take inputs at once, to begin
  // with; each time a job comes to an input being read all the same, one
  // more (up to `jobs`). With 0 the reader reads every input it comes to
  // before its job.
  size_t lead = 0;
};

// An input read whole: its bytes, as a regular file held them when read.
// The storage (`capacity` bytes) is written by the read alone, never
// cleared first.
class ReadBytes {
 public:
  ReadBytes(std::unique_ptr<char[]> data, size_t size, size_t capacity)
      : data_(std::move(data)), size_(size), capacity_(capacity) {}
  ReadBytes(const ReadBytes&) = delete;
  ReadBytes& operator=(const ReadBytes&) = delete;
  std::string_view view() const { return {data_.get(), size_}; }
  size_t size() const { return size_; }

 private:
  friend class InputReadAhead;  // reads another input into the storage
  std::unique_ptr<char[]> data_;
  size_t size_;
  size_t capacity_;
};
using ReadInput = std::unique_ptr<ReadBytes>;

// What a job finds prepared: its input read, or null; its output opened, or
// null (the job opens what it finds null).
struct ReadAhead {
  ReadInput input;
  std::unique_ptr<OutputFile> output;
};

class InputReadAhead {
 public:
  // For the inputs `inputs` (not copied: kept by the caller while this
  // lives), taken by their jobs in about the order given. A file whose device
  // and inode are in `never` (files the jobs themselves write) is left to its
  // job.
  // `openOutput(i)`, when given, opens the output of input `i` once the
  // input was read, or gives null.
  InputReadAhead(const std::vector<const std::string*>& inputs, ReadAheadLimits limits = {},
                 std::vector<std::pair<dev_t, ino_t>> never = {},
                 std::function<std::unique_ptr<OutputFile>(size_t)> openOutput = {});
  ~InputReadAhead();
  InputReadAhead(const InputReadAhead&) = delete;
  InputReadAhead& operator=(const InputReadAhead&) = delete;

  // For the reading thread: reads the next input no job has taken, skipping
  // those within the lead of the last one taken, when the inputs held leave
  // room for it. False when there was nothing to do: no room (the reader may
  // then wait until Take says to wake it) or no input left.
  bool ReadNext();

  // Whether ReadNext would read now: an input is left and there is room.
  // When there is no room, the next Take that leaves room says to wake the
  // reader.
  bool Wants();

  // For the job of input `i`: what was prepared for it (see ReadAhead);
  // nothing when the job is to open its input itself, as it is when input
  // `i` is being read (never waited for: what is read of it is dropped).
  // Input `i` is never read ahead after this. `wake` is set
  // when the reader found no room and now has room for half the jobs again:
  // the caller wakes it.
  // `spent`, an input an earlier Take gave that its job is done with, is
  // given back: the reader reads later inputs into its storage, so that the
  // storage is made and freed by the reader's thread alone (memory freed on
  // another thread than the one that had it waits for that thread's
  // allocations).
  ReadAhead Take(size_t i, bool& wake, ReadInput spent = nullptr);

  // Inputs held read and their bytes, now.
  size_t held() const;
  size_t heldBytes() const;

 private:
  enum class State : unsigned char { kWaiting, kReading, kRead, kTaken };
  struct Slot {
    State state = State::kWaiting;
    ReadAhead prepared;
  };
  // The input `path` read whole, or null (see above); into the storage of
  // `spare` when it has room.
  ReadInput Read(const std::string& path, ReadInput spare) const;
  // Moves `next_` past the inputs taken, being read or within the lead of
  // the last one taken; whether one is left to read. Called with `mutex_`
  // held.
  bool SkipToNext();

  const std::vector<const std::string*> inputs_;
  const ReadAheadLimits limits_;
  const std::vector<std::pair<dev_t, ino_t>> never_;
  const std::function<std::unique_ptr<OutputFile>(size_t)> openOutput_;
  mutable std::mutex mutex_;
  std::vector<Slot> slots_;
  size_t next_ = 0;   // the next input to read, unless taken
  size_t taken_ = 0;  // one past the last input taken so far
  size_t lead_ = 0;   // the lead now (see ReadAheadLimits::lead)
  size_t held_ = 0;
  size_t heldBytes_ = 0;
  bool starved_ = false;  // the reader found no room
  // Inputs given back, whose storage the reader reads into again: room for
  // `limits_.jobs` made at the start, and no more than `limits_.bytes` of
  // storage kept.
  std::vector<ReadInput> spares_;
  size_t spareBytes_ = 0;
};

}  // namespace velkan
