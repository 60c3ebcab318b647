// With the switch off, trace statements and scopes format and allocate nothing per line.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>

#include "tests/trace/recording_writer.h"
#include "trace/ov_trace.h"

namespace {
std::atomic<long> g_allocations{0};

void* Allocate(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace ov::trace {
namespace {

using testing::InstalledRecorder;

const std::wstring& ServiceName() {
  static const std::wstring name = L"OvSharedEngine, a name longer than any short-string buffer";
  return name;
}

// The lines the product writes: every kind of insertion, a raised level, an ended line.
void WriteLines(OvTrace& trace) {
  trace << L"OvBrands::GetProductName" << EndLine;
  trace << L"Stopping " << ServiceName() << L", wait " << 60000 << L" ms, state " << 3ul
        << L" dependents " << true << " utf8 caf\xC3\xA9" << ServiceName() << EndLine;
  trace.SetLevel(6) << L"failed with " << 1062u << EndLine;
}

void TraceLikeTheProduct() {
  std::int32_t result = 0;
  OvTraceFunction scope(L"Fn", kReturnInt32, &result, true);
  OvTrace trace(true);
  WriteLines(trace);
  WriteLines(scope);
  result = 1;
}

long AllocationsOf(void (*body)()) {
  ServiceName();
  const long before = g_allocations.load();
  body();
  return g_allocations.load() - before;
}

TEST(TraceQuiet, SwitchOffLinesAllocateNothing) {
  InstalledRecorder recorder(false);  // a writer that would see any line that slipped through
  EXPECT_EQ(AllocationsOf([] {
              for (int i = 0; i < 100; ++i) {
                OvTrace trace(true);
                WriteLines(trace);
              }
            }),
            0);
  EXPECT_TRUE(recorder.Lines().empty());
}

TEST(TraceQuiet, ProductStateAllocatesNothing) {
  // Off, minimum 0, no writer: what the shipped tool runs with. (With a writer installed a
  // scope also prepares its source name, once per scope, even while the switch is off.)
  EXPECT_EQ(AllocationsOf([] {
              for (int i = 0; i < 100; ++i) TraceLikeTheProduct();
            }),
            0);
}

TEST(TraceQuiet, ScopeStoresOnlyItsFunctionName) {
  const long nameCopy = AllocationsOf([] { std::wstring copy(L"RestartServiceAndRunningDependents"); });
  const long scope = AllocationsOf([] {
    OvTraceFunction function(L"RestartServiceAndRunningDependents", kReturnNone, nullptr, true);
    function << L"line" << EndLine;
  });
  EXPECT_GT(nameCopy, 0);
  EXPECT_EQ(scope, nameCopy);
}

TEST(TraceQuiet, CounterSeesTheAllocationsOfAnEnabledLine) {
  // The counter is live: the same statements with the switch on do allocate.
  InstalledRecorder recorder(true);
  EXPECT_GT(AllocationsOf(TraceLikeTheProduct), 0);
  EXPECT_FALSE(recorder.Lines().empty());
}

}  // namespace
}  // namespace ov::trace
