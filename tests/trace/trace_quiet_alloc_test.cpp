// With the switch off, trace statements and scopes format and allocate nothing per line.
// Replaces the global operator new, in every form, to count allocations.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>

#include "tests/support/recording_writer.h"
#include "trace/ov_trace.h"

static std::atomic<long> g_allocations{0};

void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& n) noexcept { return operator new(size, n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace ov::trace {
namespace {

// The lines the product writes: every kind of insertion, a raised level, an ended line, in a
// statement and in a scope.
void TraceLikeTheProduct() {
  static const std::wstring service = L"OvSharedEngine, a name longer than any short-string buffer";
  std::int32_t result = 0;
  OvTraceFunction scope(L"Fn", kReturnInt32, &result, true);
  OvTrace trace(true);
  for (OvTrace* t : {static_cast<OvTrace*>(&scope), &trace}) {
    *t << L"Stopping " << service << L", wait " << 60000 << L" ms, state " << 3ul << L" dependents " << true
       << " utf8 caf\xC3\xA9" << EndLine;
    t->SetLevel(6) << L"failed with " << 1062u << EndLine;
  }
  result = 1;
}

long AllocationsOf(void (*body)()) {
  body();  // first use of the statics
  const long before = g_allocations.load();
  for (int i = 0; i < 100; ++i) body();
  return g_allocations.load() - before;
}

TEST(TraceQuiet, SwitchOffAllocatesNothing) {
  // Off, minimum 0, no writer: what the shipped tool runs with.
  EXPECT_EQ(AllocationsOf(TraceLikeTheProduct), 0);
  // A writer that would see any line slipping through; each scope now prepares its source name.
  testing::InstalledRecorder recorder(false);
  EXPECT_LE(AllocationsOf(TraceLikeTheProduct), 100);
  EXPECT_TRUE(recorder.Lines().empty());
  // The counter is live: the same lines with the switch on do allocate.
  TraceSwitch = true;
  EXPECT_GT(AllocationsOf(TraceLikeTheProduct), 100);
  EXPECT_FALSE(recorder.Lines().empty());
}

}  // namespace
}  // namespace ov::trace
