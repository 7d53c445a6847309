#include "support/allocation_pause.h"

#include <dlfcn.h>

#include <cstddef>
#include <cstdlib>
#include <new>
#include <thread>
#include <type_traits>

namespace velkan::test {
namespace {

// The pause armed on this thread and how many allocations are left before
// the one it holds.
thread_local AllocationPause* armed = nullptr;
thread_local int left = 0;

}  // namespace

AllocationPause::~AllocationPause() {
  if (armed == this) armed = nullptr;
}

void AllocationPause::Arm(int nth) {
  left = nth;
  armed = this;
}

void AllocationPause::Disarm() {
  if (armed == this) armed = nullptr;
}

void AllocationPause::Hold() {
  reached_.store(true);
  const auto until = std::chrono::steady_clock::now() + patience_;
  while (!released_.load()) {
    if (std::chrono::steady_clock::now() > until) {
      timedOut_.store(true);
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

namespace {

// Counts an allocation of this thread against its pause.
void Allocating() {
  AllocationPause* pause = armed;
  if (pause == nullptr || --left > 0) return;
  armed = nullptr;
  pause->Hold();
}

// The definition operator new would have without this file's (the C++
// library's, or a sanitizer's, which keeps its checks of the pairs of new
// and delete).
template <typename F>
F Next(const char* symbol) {
  void* f = ::dlsym(RTLD_NEXT, symbol);
  if (f == nullptr) std::abort();
  return reinterpret_cast<F>(f);
}

// The names below are those of the Itanium C++ ABI for a 64-bit size_t.
static_assert(std::is_same_v<std::size_t, unsigned long>);
using Plain = void* (*)(std::size_t);
using NoThrow = void* (*)(std::size_t, const std::nothrow_t&) noexcept;

}  // namespace
}  // namespace velkan::test

void* operator new(std::size_t n) {
  velkan::test::Allocating();
  static const auto next = velkan::test::Next<velkan::test::Plain>("_Znwm");
  return next(n);
}

void* operator new[](std::size_t n) {
  velkan::test::Allocating();
  static const auto next = velkan::test::Next<velkan::test::Plain>("_Znam");
  return next(n);
}

void* operator new(std::size_t n, const std::nothrow_t& t) noexcept {
  velkan::test::Allocating();
  static const auto next = velkan::test::Next<velkan::test::NoThrow>("_ZnwmRKSt9nothrow_t");
  return next(n, t);
}

void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept {
  velkan::test::Allocating();
  static const auto next = velkan::test::Next<velkan::test::NoThrow>("_ZnamRKSt9nothrow_t");
  return next(n, t);
}
