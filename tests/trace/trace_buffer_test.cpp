// OvIOBuffer's capacity rule and the UTF-8 conversions built on it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "trace/ov_io_buffer.h"
#include "trace/ov_text_convert.h"

#if defined(__SANITIZE_ADDRESS__)
// The failure path needs an allocation that fails instead of aborting the program.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
#endif

namespace ov::trace {
namespace {

struct Step {
  std::size_t resizeTo;
  std::size_t capacity;
  bool reallocates;
};

void RunSteps(OvIOBuffer& buffer, const std::vector<Step>& steps) {
  for (const Step& step : steps) {
    const std::uint8_t* before = buffer.Data();
    ASSERT_EQ(buffer.Resize(step.resizeTo), kIOBufferOk) << step.resizeTo;
    EXPECT_EQ(buffer.Size(), step.resizeTo);
    EXPECT_EQ(buffer.Capacity(), step.capacity) << "after Resize(" << step.resizeTo << ")";
    EXPECT_EQ(buffer.Data() != before, step.reallocates) << "after Resize(" << step.resizeTo << ")";
  }
}

TEST(IOBufferResize, DoublesFromTheInitialCapacityAndHalvesBackToIt) {
  OvIOBuffer buffer(4096, 16777216);
  EXPECT_EQ(buffer.Data(), nullptr);
  RunSteps(buffer, {{16384, 16384, true},
                    {100, 4096, true},
                    {3000, 4096, false},
                    {4097, 8192, true},
                    {5000, 8192, false},  // not more than twice the request: kept
                    {4000, 4096, true},   // more than twice: halved
                    {4097, 8192, true},
                    {0, 4096, true}});
}

TEST(IOBufferResize, FirstResizeAllocatesAtLeastTheInitialCapacity) {
  OvIOBuffer zero(4096, 16777216);
  RunSteps(zero, {{0, 4096, true}});
  OvIOBuffer small(4096, 16777216);
  RunSteps(small, {{10, 4096, true}});
}

TEST(IOBufferResize, BeyondTheQuantumGrowsInWholeQuanta) {
  OvIOBuffer buffer(16, 64);
  RunSteps(buffer, {{100, 128, true},
                    {120, 128, false},  // same number of quanta, fits
                    {129, 192, true},
                    {65, 128, true},    // fits, but two quanta are wanted and three held
                    {40, 64, true},     // halves from 128 while above 80 and above 16
                    {16, 32, true}});
}

TEST(IOBufferResize, ZeroInitialCapacityCountsAsOneAndQuantumNeverBelowIt) {
  OvIOBuffer buffer(0, 0);
  RunSteps(buffer, {{5, 5, true}});
  OvIOBuffer wide(64, 8);  // quantum raised to 64
  RunSteps(wide, {{65, 128, true}});
}

TEST(IOBufferResize, KeepsContentsAcrossGrowthAndShrinking) {
  OvIOBuffer buffer(8, 1 << 20);
  ASSERT_EQ(buffer.Resize(8), kIOBufferOk);
  std::memcpy(buffer.Data(), "abcdefgh", 8);
  ASSERT_EQ(buffer.Resize(1000), kIOBufferOk);
  EXPECT_EQ(std::memcmp(buffer.Data(), "abcdefgh", 8), 0);
  ASSERT_EQ(buffer.Resize(3), kIOBufferOk);
  EXPECT_EQ(buffer.Capacity(), 8u);
  EXPECT_EQ(std::memcmp(buffer.Data(), "abc", 3), 0);
}

TEST(IOBufferResize, FailedAllocationChangesNothing) {
  OvIOBuffer buffer(4096, 16777216);
  ASSERT_EQ(buffer.Resize(10), kIOBufferOk);
  std::memcpy(buffer.Data(), "0123456789", 10);
  std::uint8_t* before = buffer.Data();
  const std::size_t huge = std::numeric_limits<std::size_t>::max() / 2;
  EXPECT_EQ(buffer.Resize(huge), kIOBufferNoMemory);
  EXPECT_EQ(buffer.Resize(std::numeric_limits<std::size_t>::max()), kIOBufferNoMemory);
  EXPECT_EQ(buffer.Size(), 10u);
  EXPECT_EQ(buffer.Capacity(), 4096u);
  EXPECT_EQ(buffer.Data(), before);
  EXPECT_EQ(std::memcmp(buffer.Data(), "0123456789", 10), 0);
}

TEST(TextConvert, WellFormedTextRoundTrips) {
  struct Case {
    const char* utf8;
    const wchar_t* wide;
  };
  const Case cases[] = {
      {"", L""},
      {"Spooler", L"Spooler"},
      {"caf\xC3\xA9", L"caf\u00E9"},
      {"\xE2\x82\xAC 5", L"\u20AC 5"},
      {"\xEF\xBF\xBF", L"\uFFFF"},
      {"\xF0\x9D\x84\x9E clef", L"\U0001D11E clef"},
      {"\xF4\x8F\xBF\xBF", L"\U0010FFFF"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8ToWide(c.utf8), c.wide) << c.utf8;
    EXPECT_EQ(WideToUtf8(c.wide), c.utf8) << c.utf8;
  }
}

TEST(TextConvert, MalformedUtf8BecomesReplacementCharacters) {
  struct Case {
    std::string utf8;
    std::wstring wide;
  };
  const Case cases[] = {
      {"\xC3", L"\uFFFD"},                             // truncated at the end
      {"a\xFF" "b", L"a\uFFFDb"},                      // never valid
      {"\xC3(", L"\uFFFD("},                           // lead byte without its trail
      {"\xC0\xAF", L"\uFFFD\uFFFD"},                   // overlong
      {"\xE0\x80\xAF", L"\uFFFD\uFFFD\uFFFD"},         // overlong, three bytes
      {"\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"},         // encoded surrogate
      {"\xF4\x90\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
      {"\xE2\x82" "x", L"\uFFFDx"},                    // truncated in the middle
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8ToWide(c.utf8.c_str()), c.wide);
}

TEST(TextConvert, LoneSurrogateBecomesReplacementCharacter) {
  const wchar_t text[] = {L'a', static_cast<wchar_t>(0xD800), L'b', 0};
  EXPECT_EQ(WideToUtf8(text), "a\xEF\xBF\xBD" "b");
  const wchar_t trailing[] = {static_cast<wchar_t>(0xDC00), 0};
  EXPECT_EQ(WideToUtf8(trailing), "\xEF\xBF\xBD");
}

TEST(TextConvert, NullGivesEmptyAndCountedTextKeepsZeros) {
  EXPECT_EQ(Utf8ToWide(nullptr), L"");
  EXPECT_EQ(WideToUtf8(nullptr), "");
  EXPECT_EQ(Utf8ToWide("a\0b", 3), std::wstring(L"a\0b", 3));
  EXPECT_EQ(WideToUtf8(L"a\0b", 3), std::string("a\0b", 3));
}

TEST(TextConvert, LongTextGrowsTheBuffer) {
  std::string utf8;
  std::wstring wide;
  for (int i = 0; i < 20000; ++i) {
    utf8 += "\xE2\x82\xAC";
    wide += L'\u20AC';
  }
  EXPECT_EQ(Utf8ToWide(utf8.c_str()), wide);
  EXPECT_EQ(WideToUtf8(wide.c_str()), utf8);
  std::wstring result;
  EXPECT_EQ(ConvertUtf8ToWide(utf8.data(), utf8.size(), &result), kConvertOk);
  EXPECT_EQ(result.size(), wide.size());
}

}  // namespace
}  // namespace ov::trace
