// SPDX-License-Identifier: Apache-2.0
#include "varnel/testing/failing_allocator.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace varnel::testing {
namespace {

std::atomic<long> Countdown{-1};     // allocations left before failing; -1: never
std::atomic<bool> Sustained{false};  // once failing, every later allocation fails too
std::atomic<bool> Failed{false};     // an allocation has failed since the last arming

void* Allocate(std::size_t Size) {
  const long Left = Countdown.load(std::memory_order_relaxed);
  if (Left >= 0) {
    if (Left == 0) {
      if (!Sustained.load(std::memory_order_relaxed)) Countdown.store(-1, std::memory_order_relaxed);
      Failed.store(true, std::memory_order_relaxed);
      throw std::bad_alloc();
    }
    Countdown.store(Left - 1, std::memory_order_relaxed);
  }
  if (void* p = std::malloc(Size == 0 ? 1 : Size)) return p;
  throw std::bad_alloc();
}

}  // namespace

void FailAllocationAfter(long After, bool Always) {
  Sustained = Always;
  Failed = false;
  Countdown = After;
}

bool StopFailingAllocations() {
  Countdown = -1;
  Sustained = false;
  return Failed.load();
}

}  // namespace varnel::testing

void* operator new(std::size_t Size) { return varnel::testing::Allocate(Size); }
void* operator new[](std::size_t Size) { return varnel::testing::Allocate(Size); }
void* operator new(std::size_t Size, const std::nothrow_t&) noexcept { return std::malloc(Size == 0 ? 1 : Size); }
void* operator new[](std::size_t Size, const std::nothrow_t&) noexcept { return std::malloc(Size == 0 ? 1 : Size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
