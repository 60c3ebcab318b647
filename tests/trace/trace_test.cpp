// What trace statements and function scopes hand to the writer, and the buffer and UTF-8
// conversions beneath them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/recording_writer.h"
#include "trace/ov_io_buffer.h"
#include "trace/ov_text_convert.h"
#include "trace/ov_trace.h"

#if defined(__SANITIZE_ADDRESS__)
// The buffer's failure path needs an allocation that fails instead of aborting the program.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
#endif

namespace ov::trace {
namespace {

using testing::InstalledRecorder;
using Strings = std::vector<std::string>;

TEST(TraceLevels, LevelMapsToWriterLevelEmitReturnsToZeroAndClearsTextBelowTheMinimum) {
  const std::int32_t levels[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 100, -1, INT32_MIN};
  const std::uint32_t writerLevels[] = {1, 1, 3, 3, 4, 4, 5, 6, 7, 7, 7, 7};
  InstalledRecorder recorder(true, INT32_MIN);
  OvTrace trace(true);
  for (std::int32_t level : levels) trace.SetLevel(level) << L"x" << EndLine << L"after" << EndLine;
  ASSERT_EQ(recorder.Lines().size(), 2 * std::size(levels));
  for (std::size_t i = 0; i < std::size(levels); ++i) {
    EXPECT_EQ(recorder.Lines()[2 * i].level, writerLevels[i]) << "statement level " << levels[i];
    EXPECT_EQ(recorder.Lines()[2 * i + 1].level, 1u);
  }
  recorder.Lines().clear();
  TraceMinimumLevel = 3;
  trace.SetLevel(5) << L"collected while enabled, ";
  trace.SetLevel(1) << L"ignored";  // now below the minimum
  trace.Emit();
  trace.SetLevel(4) << L"next line" << EndLine;
  EXPECT_EQ(recorder.Messages(), Strings{"next line"});
}

TEST(TraceStatement, WritesOnlyWhenSwitchStatementAndWriterAgreeAndFormatsAsUtf8) {
  {
    InstalledRecorder recorder(false);
    OvTrace trace(true);
    trace << L"while off";
    TraceSwitch = true;
    trace.Emit();
    trace << L"while on" << EndLine;
    { OvTraceFunction scope(L"Disabled", kReturnNone, nullptr, false); OvTrace(false) << L"x" << EndLine; }
    EXPECT_EQ(recorder.Messages(), Strings{"while on"});
  }
  TraceSwitch = true;
  OvTrace early(true);
  early << L"lost" << EndLine;  // no writer yet: silent for good
  InstalledRecorder recorder;
  early << L"still lost" << EndLine;
  {
    OvTrace trace(true);
    trace << L"caf\u00E9 \U0001D11E " << "na\xC3\xAFve " << -42 << L" " << 4000000000ul << L" " << true << EndLine;
    trace << EndLine << L"" << EndLine << std::hex << 255 << static_cast<const wchar_t*>(nullptr)
          << static_cast<const char*>(nullptr) << std::string(" b") << EndLine << L"unfinished";
  }
  EXPECT_EQ(recorder.Messages(),
            (Strings{"caf\xC3\xA9 \xF0\x9D\x84\x9E na\xC3\xAFve -42 4000000000 1", "ff b", "unfinished"}));
}

template <typename T>
std::vector<unsigned char> Bytes(T value) {
  std::vector<unsigned char> bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

TEST(TraceFunction, EnterAndExitLinesPerReturnKind) {
  const std::string with = " function exit with return value: ", plain = " function exit.";
  const struct {
    std::int32_t kind;
    std::vector<unsigned char> value;  // bytes of the return value; empty: no pointer
    std::string exitLine;
  } cases[] = {
      {kReturnBoolAlpha, Bytes(false), with + "false"},
      {kReturnBoolNumeric, Bytes(true), with + "1"},
      {kReturnSuccessFail, Bytes<std::int32_t>(0x100), with + "'Fail'"},  // first byte 0
      {kReturnSuccessFail, Bytes<std::int32_t>(1), with + "'Success'"},
      {kReturnLong, Bytes<long>(-5), with + "-5"},
      {kReturnULong, Bytes<unsigned long>(4000000000ul), with + "4000000000"},
      {kReturnULongHex, Bytes<unsigned long>(0xBEEFul), with + "beef"},
      {kReturnFloat, Bytes(1.5f), with + "1.5"},
      {kReturnDouble, Bytes(1e20), with + "1e+20"},
      {kReturnInt32Alt, Bytes<std::int32_t>(INT32_MIN), with + "-2147483648"},
      {kReturnUInt32, Bytes<std::uint32_t>(4000000000u), with + "4000000000"},
      {kReturnNone, Bytes<std::int32_t>(7), plain},
      {12, Bytes<std::int32_t>(7), plain},
      {kReturnSuccessFail, {}, plain},
  };
  for (const auto& c : cases) {
    InstalledRecorder recorder;
    {
      std::vector<unsigned char> value(c.value.size());  // read at exit, not at entry
      OvTraceFunction scope(L"Restart\u00E9", c.kind, value.empty() ? nullptr : value.data(), true);
      scope << std::hex << std::boolalpha << std::scientific;  // flags left on the stream
      std::copy(c.value.begin(), c.value.end(), value.begin());
    }
    EXPECT_EQ(recorder.Messages(), (Strings{" function enter.", c.exitLine})) << "kind " << c.kind;
    EXPECT_EQ(recorder.Lines().back().source, "Restart\xC3\xA9");
    EXPECT_EQ(recorder.Lines().back().level, 1u);
  }
}

TEST(TraceExceptions, ExceptionLines) {
  InstalledRecorder recorder;
  {
    OvTraceFunction scope(L"Fn", kReturnNone, nullptr, true);
    EXPECT_EQ(scope.SetStdException(std::runtime_error("caf\xC3\xA9 failed"), "dir/file.cpp", 42), 42);
  }
  {
    OvTrace trace(true);
    trace << L"pending";  // discarded
    EXPECT_EQ(trace.SetUnknownException("a.cpp", 7), 7);
    trace.SetStdException(std::logic_error("bad"), L"b.cpp", 2);  // the std exception wins
  }
  OvTrace(true).SetUnknownException(L"w\u00E9.cpp", 9);
  EXPECT_EQ(recorder.Messages(),
            (Strings{" function enter.", " exception detected. Check next message...",
                     "std::exception caught. What: 'caf\xC3\xA9 failed'. File: 'dir/file.cpp",
                     "std::exception caught. What: 'bad'. File: 'b.cpp",
                     "unknown exception caught. File: 'w\xC3\xA9.cpp"}));
  for (std::size_t i = 1; i < 5; ++i) EXPECT_EQ(recorder.Lines()[i].level, 5u);
  EXPECT_TRUE(recorder.Lines()[2].line == 42 && recorder.Lines()[2].source == "Fn");
}

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
