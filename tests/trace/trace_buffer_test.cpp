// OvIOBuffer's capacity rule and the UTF-8 conversions built on it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <string>

#include "trace/ov_io_buffer.h"
#include "trace/ov_text_convert.h"

#if defined(__SANITIZE_ADDRESS__)
// The failure path needs an allocation that fails instead of aborting the program.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
#endif

namespace ov::trace {
namespace {

TEST(IOBufferResize, CapacityFollowsTheRequestAndKeepsTheContents) {
  struct Step {
    std::size_t resizeTo, capacity;
    bool reallocates;
  };
  const auto run = [](std::size_t initial, std::size_t quantum, std::initializer_list<Step> steps) {
    OvIOBuffer buffer(initial, quantum);
    for (const Step& s : steps) {
      const std::uint8_t* before = buffer.Data();
      const bool held = buffer.Size() >= 3;
      ASSERT_EQ(buffer.Resize(s.resizeTo), kIOBufferOk) << s.resizeTo;
      EXPECT_EQ(buffer.Size(), s.resizeTo);
      EXPECT_EQ(buffer.Capacity(), s.capacity) << "after Resize(" << s.resizeTo << ")";
      EXPECT_EQ(buffer.Data() != before, s.reallocates) << "after Resize(" << s.resizeTo << ")";
      EXPECT_TRUE(!held || s.resizeTo < 3 || std::memcmp(buffer.Data(), "abc", 3) == 0);
      if (s.resizeTo >= 3) std::memcpy(buffer.Data(), "abc", 3);
    }
  };
  run(4096, 16777216, {{16384, 16384, true}, {100, 4096, true}, {4097, 8192, true},
                       {5000, 8192, false},  // not more than twice the request: kept
                       {0, 4096, true}, {4097, 8192, true}, {4000, 4096, true}});  // halved
  run(16, 64, {{100, 128, true}, {120, 128, false}, {129, 192, true},  // whole quanta
               {65, 128, true}, {40, 64, true}, {16, 32, true}});
}

TEST(IOBufferResize, FailedAllocationChangesNothing) {
  OvIOBuffer buffer(4096, 16777216);
  ASSERT_EQ(buffer.Resize(10), kIOBufferOk);
  std::memcpy(buffer.Data(), "0123456789", 10);
  const std::uint8_t* before = buffer.Data();
  EXPECT_EQ(buffer.Resize(std::numeric_limits<std::size_t>::max() / 2), kIOBufferNoMemory);
  EXPECT_EQ(buffer.Resize(std::numeric_limits<std::size_t>::max()), kIOBufferNoMemory);
  EXPECT_TRUE(buffer.Size() == 10 && buffer.Capacity() == 4096 && buffer.Data() == before);
  EXPECT_EQ(std::memcmp(buffer.Data(), "0123456789", 10), 0);
}

TEST(TextConvert, MalformedTextBecomesReplacementCharacters) {
  // Never valid, lead byte without its trail, overlong, encoded surrogate, beyond U+10FFFF, truncated.
  EXPECT_EQ(Utf8ToWide("a\xFF" "b\xC3(\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80\xE2\x82"),
            L"a\uFFFDb\uFFFD(" + std::wstring(10, L'\uFFFD'));
  const wchar_t lone[] = {L'a', static_cast<wchar_t>(0xD800), L'b', 0};
  EXPECT_EQ(WideToUtf8(lone), "a\xEF\xBF\xBD" "b");
}

}  // namespace
}  // namespace ov::trace
