// What trace statements and function scopes hand to the writer.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/trace/recording_writer.h"
#include "trace/ov_trace.h"

namespace ov::trace {
namespace {

using testing::InstalledRecorder;
using Strings = std::vector<std::string>;

TEST(TraceLevels, StatementLevelMapsToWriterLevel) {
  struct Case {
    std::int32_t level;
    std::uint32_t writerLevel;
  };
  const Case cases[] = {{0, 1}, {1, 1}, {2, 3}, {3, 3}, {4, 4}, {5, 4}, {6, 5},
                        {7, 6}, {8, 7}, {100, 7}, {-1, 7}, {INT32_MIN, 7}};
  InstalledRecorder recorder(true, INT32_MIN);
  OvTrace trace(true);
  for (const Case& c : cases) trace.SetLevel(c.level) << L"x" << EndLine;
  ASSERT_EQ(recorder.Lines().size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(recorder.Lines()[i].level, cases[i].writerLevel) << "statement level " << cases[i].level;
  }
}

TEST(TraceLevels, EmitReturnsToLevelZero) {
  InstalledRecorder recorder;
  OvTrace trace(true);
  trace.SetLevel(7) << L"high" << EndLine;
  trace << L"plain" << EndLine;
  ASSERT_EQ(recorder.Lines().size(), 2u);
  EXPECT_EQ(recorder.Lines()[1].level, 1u);
}

TEST(TraceLevels, BelowMinimumWritesNothingAndEmitStillClearsTheText) {
  InstalledRecorder recorder(true, 3);
  OvTrace trace(true);
  trace.SetLevel(5) << L"collected while enabled, ";
  trace.SetLevel(1);  // now below the minimum
  trace << L"ignored";
  trace.Emit();
  EXPECT_TRUE(recorder.Lines().empty());
  trace.SetLevel(4) << L"next line" << EndLine;
  EXPECT_EQ(recorder.Messages(), Strings{"next line"});
}

TEST(TraceStatement, InsertionsFormatThroughTheStream) {
  InstalledRecorder recorder;
  OvTrace trace(true);
  trace << L"wide " << "na\xC3\xAFve " << -42 << L" " << 4000000000ul << L" " << true << EndLine;
  trace << std::hex << 255 << L" " << std::boolalpha << false << EndLine;
  // Flags stay on the statement's stream from line to line, as on any stream.
  trace << std::wstring(L"service ") << std::string("Spooler") << L" code " << 1062u << EndLine;
  const wchar_t* nullWide = nullptr;
  const char* nullUtf8 = nullptr;
  trace << L"a" << nullWide << nullUtf8 << L"b" << EndLine;
  EXPECT_EQ(recorder.Messages(),
            (Strings{"wide na\xC3\xAFve -42 4000000000 1", "ff false", "service Spooler code 426", "ab"}));
}

TEST(TraceStatement, WideTextReachesTheWriterAsUtf8) {
  InstalledRecorder recorder;
  OvTrace trace(true);
  trace << L"caf\u00E9 \u20AC \U0001D11E" << EndLine;
  EXPECT_EQ(recorder.Messages(), Strings{"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9D\x84\x9E"});
}

TEST(TraceStatement, EmptyLineIsNotWritten) {
  InstalledRecorder recorder;
  OvTrace trace(true);
  trace << EndLine << L"" << EndLine;
  EXPECT_TRUE(recorder.Lines().empty());
}

TEST(TraceStatement, DestructionEmitsWhatIsStillCollected) {
  InstalledRecorder recorder;
  { OvTrace(true) << L"unfinished"; }
  EXPECT_EQ(recorder.Messages(), Strings{"unfinished"});
}

TEST(TraceStatement, PlainStatementHasNoSourceName) {
  InstalledRecorder recorder;
  OvTrace(true) << L"x" << EndLine;
  ASSERT_EQ(recorder.Lines().size(), 1u);
  EXPECT_EQ(recorder.Lines()[0].source, "");
  EXPECT_EQ(recorder.Lines()[0].line, 0);
}

TEST(TraceSilence, NothingReachesAWriterUnlessSwitchStatementAndWriterAllAgree) {
  {
    InstalledRecorder recorder(false);
    { OvTraceFunction scope(L"Off", kReturnNone, nullptr, true); OvTrace(true) << L"x" << EndLine; }
    EXPECT_TRUE(recorder.Lines().empty());
  }
  {
    InstalledRecorder recorder;
    { OvTraceFunction scope(L"Disabled", kReturnNone, nullptr, false); OvTrace(false) << L"x" << EndLine; }
    EXPECT_TRUE(recorder.Lines().empty());
  }
}

TEST(TraceSilence, TextWrittenWhileOffIsNotLeftBehind) {
  InstalledRecorder recorder(false);
  OvTrace trace(true);
  trace << L"while off";
  TraceSwitch = true;
  trace.Emit();
  trace << L"while on" << EndLine;
  EXPECT_EQ(recorder.Messages(), Strings{"while on"});
}

TEST(TraceSilence, StatementThatFoundNoWriterStaysSilentForGood) {
  TraceSwitch = true;
  OvTrace early(true);
  early << L"lost" << EndLine;  // no writer yet
  InstalledRecorder recorder;
  early << L"still lost" << EndLine;
  OvTrace late(true);
  late << L"written" << EndLine;
  EXPECT_EQ(recorder.Messages(), Strings{"written"});
}

TEST(TraceSilence, StatementKeepsTheWriterShareItTookFirst) {
  InstalledRecorder first;
  OvTrace trace(true);
  trace << L"one" << EndLine;
  auto second = std::make_shared<testing::RecordingWriter>();
  InstallSharedTraceWriter(second);
  trace << L"two" << EndLine;
  EXPECT_EQ(first.Messages(), (Strings{"one", "two"}));
  EXPECT_TRUE(second->lines.empty());
}

struct KindCase {
  std::int32_t kind;
  std::vector<unsigned char> value;  // bytes of the return value; empty: no pointer
  std::string exitLine;
};

template <typename T>
std::vector<unsigned char> Bytes(T value) {
  std::vector<unsigned char> bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

TEST(TraceFunction, EnterAndExitLinesPerReturnKind) {
  const std::string with = " function exit with return value: ";
  const KindCase cases[] = {
      {kReturnBoolAlpha, Bytes(true), with + "true"},
      {kReturnBoolAlpha, Bytes(false), with + "false"},
      {kReturnBoolNumeric, Bytes(true), with + "1"},
      {kReturnBoolNumeric, Bytes(false), with + "0"},
      {kReturnSuccessFail, Bytes<std::int32_t>(0x100), with + "'Fail'"},  // first byte 0
      {kReturnSuccessFail, Bytes<std::int32_t>(1), with + "'Success'"},
      {kReturnLong, Bytes<long>(-5), with + "-5"},
      {kReturnULong, Bytes<unsigned long>(4000000000ul), with + "4000000000"},
      {kReturnULongHex, Bytes<unsigned long>(0xBEEFul), with + "beef"},
      {kReturnFloat, Bytes(1.5f), with + "1.5"},
      {kReturnDouble, Bytes(0.1), with + "0.1"},
      {kReturnDouble, Bytes(1e20), with + "1e+20"},
      {kReturnNone, Bytes<std::int32_t>(7), " function exit."},
      {kReturnInt32, Bytes<std::int32_t>(-7), with + "-7"},
      {kReturnInt32Alt, Bytes<std::int32_t>(INT32_MIN), with + "-2147483648"},
      {kReturnUInt32, Bytes<std::uint32_t>(4000000000u), with + "4000000000"},
      {12, Bytes<std::int32_t>(7), " function exit."},
      {-1, Bytes<std::int32_t>(7), " function exit."},
      {kReturnInt32, {}, " function exit."},  // a kind with a value but no pointer to it
      {kReturnSuccessFail, {}, " function exit."},
  };
  for (const KindCase& c : cases) {
    InstalledRecorder recorder;
    {
      OvTraceFunction scope(L"Restart\u00E9", c.kind, c.value.empty() ? nullptr : c.value.data(), true);
    }
    ASSERT_EQ(recorder.Lines().size(), 2u) << "kind " << c.kind;
    EXPECT_EQ(recorder.Lines()[0].message, " function enter.");
    EXPECT_EQ(recorder.Lines()[1].message, c.exitLine) << "kind " << c.kind;
    for (const auto& line : recorder.Lines()) {
      EXPECT_EQ(line.source, "Restart\xC3\xA9");
      EXPECT_EQ(line.level, 1u);
    }
  }
}

TEST(TraceFunction, ExitValueIgnoresFlagsLeftOnTheStream) {
  InstalledRecorder recorder;
  const long value = 255;
  {
    OvTraceFunction scope(L"F", kReturnLong, &value, true);
    scope << std::hex << std::boolalpha << 16 << EndLine;
  }
  EXPECT_EQ(recorder.Messages(),
            (Strings{" function enter.", "10", " function exit with return value: 255"}));
}

TEST(TraceFunction, ReadsTheReturnValueAtExit) {
  InstalledRecorder recorder;
  {
    std::int32_t result = 0;
    OvTraceFunction scope(L"F", kReturnInt32, &result, true);
    result = 1062;
  }
  EXPECT_EQ(recorder.Messages().back(), " function exit with return value: 1062");
}

TEST(TraceExceptions, StdExceptionInAScope) {
  InstalledRecorder recorder;
  {
    OvTraceFunction scope(L"Fn", kReturnNone, nullptr, true);
    try {
      throw std::runtime_error("caf\xC3\xA9 failed");
    } catch (const std::exception& e) {
      EXPECT_EQ(scope.SetStdException(e, "dir/file.cpp", 42), 42);
    }
  }
  ASSERT_EQ(recorder.Lines().size(), 3u);
  EXPECT_EQ(recorder.Lines()[1].message, " exception detected. Check next message...");
  EXPECT_EQ(recorder.Lines()[2].message,
            "std::exception caught. What: 'caf\xC3\xA9 failed'. File: 'dir/file.cpp");
  for (std::size_t i = 1; i < 3; ++i) {
    EXPECT_EQ(recorder.Lines()[i].level, 5u);
    EXPECT_EQ(recorder.Lines()[i].line, 42);
    EXPECT_EQ(recorder.Lines()[i].source, "Fn");
  }
}

TEST(TraceExceptions, UnknownExceptionDiscardsPendingText) {
  InstalledRecorder recorder;
  {
    OvTrace trace(true);
    trace << L"pending";
    EXPECT_EQ(trace.SetUnknownException(L"w\u00E9.cpp", 7), 7);
  }
  ASSERT_EQ(recorder.Lines().size(), 1u);
  EXPECT_EQ(recorder.Lines()[0].message, "unknown exception caught. File: 'w\xC3\xA9.cpp");
  EXPECT_EQ(recorder.Lines()[0].level, 5u);
  EXPECT_EQ(recorder.Lines()[0].line, 7);
}

TEST(TraceExceptions, StdExceptionWinsOverUnknownAndWideFileNamesWork) {
  InstalledRecorder recorder;
  {
    OvTrace trace(true);
    trace.SetUnknownException("a.cpp", 1);
    trace.SetStdException(std::logic_error("bad"), L"b.cpp", 2);
  }
  EXPECT_EQ(recorder.Messages(), Strings{"std::exception caught. What: 'bad'. File: 'b.cpp"});
}

TEST(TraceExceptions, ExceptionLineRespectsTheMinimumLevel) {
  InstalledRecorder recorder(true, 7);
  {
    OvTrace trace(true);
    trace.SetUnknownException("a.cpp", 1);
  }
  EXPECT_TRUE(recorder.Lines().empty());
}

}  // namespace
}  // namespace ov::trace
