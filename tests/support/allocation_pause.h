// A pause in one thread's allocations, for the tests of code that must not
// allocate at some point (a thread a signal handler waits for may not wait
// for the allocator's lock): the test program's operator new, in all its
// forms but the aligned ones, passes here before it allocates.
#pragma once

#include <atomic>
#include <chrono>

namespace velkan::test {

// Holds one allocation of the thread that armed it, until Release is called
// or its patience runs out.
class AllocationPause {
 public:
  explicit AllocationPause(std::chrono::milliseconds patience) : patience_(patience) {}
  // Disarms the thread that armed it, if that is the calling one.
  ~AllocationPause();
  AllocationPause(const AllocationPause&) = delete;
  AllocationPause& operator=(const AllocationPause&) = delete;

  // The calling thread's `nth` allocation from now on (1: the next) is held.
  // A new array or a placement with std::nothrow may count as two.
  void Arm(int nth);
  // The calling thread's allocations are no longer counted.
  void Disarm();
  // Whether the allocation is being held (or was).
  bool reached() const { return reached_.load(); }
  // Lets the allocation go on.
  void Release() { released_.store(true); }
  // Whether the allocation went on for want of a Release in time.
  bool timedOut() const { return timedOut_.load(); }

  // Called by operator new on the armed thread when its turn comes.
  void Hold();

 private:
  std::chrono::milliseconds patience_;
  std::atomic<bool> reached_{false};
  std::atomic<bool> released_{false};
  std::atomic<bool> timedOut_{false};
};

}  // namespace velkan::test
