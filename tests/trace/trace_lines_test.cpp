// What trace statements and function scopes hand to the writer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/trace/recording_writer.h"
#include "trace/ov_trace.h"

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

}  // namespace
}  // namespace ov::trace
