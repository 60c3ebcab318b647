// The restart against the sim SCM: dependents, order, waits, failures, handles, trace lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/sim_clock.h"
#include "platform/sim/sim_services.h"
#include "services/service_restart.h"
#include "trace/ov_trace.h"

using namespace ov::platform;
using namespace ov::platform::sim;
using namespace ov::services;

namespace {

using Names = std::vector<std::wstring>;
using Config = SimServiceControl::ServiceConfig;

Config StoppedService() {
  Config config;
  config.state = kServiceStopped;
  return config;
}
Config SlowStop(std::uint64_t latencyMs, std::uint32_t waitHintMs) {
  Config config;
  config.stopLatencyMs = latencyMs;
  config.stopWaitHintMs = waitHintMs;
  return config;
}
Config HungStop(std::uint32_t waitHintMs) {
  Config config;
  config.stopWaitHintMs = waitHintMs;
  config.hangsOnStop = true;
  return config;
}
Config Rights(std::uint32_t granted) {
  Config config;
  config.grantedAccess = granted;
  return config;
}

// Every line the restart traces, with its source and the writer level it arrived at.
class CapturingWriter final : public Divude::IWriter {
 public:
  struct Line {
    std::uint32_t level;
    std::string source;
    std::string message;
  };
  void write(std::uint32_t level, const std::string& source, std::int32_t,
             const std::string& message) override {
    lines.push_back({level, source, message});
  }
  std::vector<Line> lines;
};

class RestartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writer = std::make_shared<CapturingWriter>();
    ov::trace::InstallSharedTraceWriter(writer);
    ov::trace::TraceSwitch = true;
    scm.SetDirectEnumeration(true);
  }
  void TearDown() override {
    ov::trace::TraceSwitch = false;
    ov::trace::InstallSharedTraceWriter(nullptr);
    // Whatever happened, the restart closed everything it opened.
    EXPECT_EQ(scm.OpenHandleCount(), 0u);
  }

  void Add(const std::wstring& name, Config config = {}) { scm.AddService(name, config); }
  // A chain: each name depends on the one before it.
  void Chain(const Names& names) {
    for (std::size_t i = 0; i < names.size(); ++i) {
      Add(names[i]);
      if (i > 0) scm.AddDependency(names[i], names[i - 1]);
    }
  }

  // The exception text, or "" when the restart succeeded.
  std::string Run(SimServiceControl& on, const std::wstring& name, std::uint32_t timeoutMs = 60000,
                  OnServiceStarted hook = nullptr, std::uint32_t context = 0) {
    try {
      RestartServiceAndRunningDependents(on, clock, name, timeoutMs, hook, context);
      return "";
    } catch (const std::runtime_error& e) {
      return e.what();
    }
  }
  std::string Run(const std::wstring& name, std::uint32_t timeoutMs = 60000,
                  OnServiceStarted hook = nullptr, std::uint32_t context = 0) {
    return Run(scm, name, timeoutMs, hook, context);
  }

  // The list the restart would work on, by service name ("" for an empty handle).
  static Names ListOf(SimServiceControl& on, const std::wstring& name) {
    ScHandle manager = kNoScHandle;
    ScHandle service = kNoScHandle;
    EXPECT_EQ(on.OpenManager(kServicesActiveDatabase, kScManagerConnect, &manager), kSuccess);
    EXPECT_EQ(on.OpenServiceByName(manager, name, kRestartAccess, &service), kSuccess);
    Names names;
    {
      const DependentServiceList list = GetRunningDependentServices(on, manager, service, kRestartAccess);
      for (const ServiceHandle& handle : list) names.push_back(on.NameOf(handle.Get()));
    }
    on.CloseHandle(service);
    on.CloseHandle(manager);
    return names;
  }
  Names ListOf(const std::wstring& name) { return ListOf(scm, name); }

  std::vector<std::string> Messages() const {
    std::vector<std::string> messages;
    for (const auto& line : writer->lines) messages.push_back(line.message);
    return messages;
  }
  bool Traced(const std::string& message) const {
    for (const auto& line : writer->lines) {
      if (line.message == message) return true;
    }
    return false;
  }

  SimClock clock;
  SimServiceControl scm{clock};
  std::shared_ptr<CapturingWriter> writer;
};

TEST_F(RestartTest, ServiceWithoutDependentsIsStoppedAndStartedAloneWithEveryLineTraced) {
  Add(L"S1");
  Platform platform;
  platform.services = &scm;
  platform.clock = &clock;
  RestartServiceAndRunningDependents(platform, L"S1", 60000);

  EXPECT_EQ(scm.Events(), (Names{L"stop S1", L"start S1"}));
  EXPECT_EQ(scm.State(L"S1"), kServiceRunning);
  const std::string byName = "RestartServiceAndRunningDependents(ByName)";
  const std::string byHandle = "RestartServiceAndRunningDependents(ByHandle)";
  const std::string list = "GetRunningDependentServices";
  const std::string stop = "StopServiceHelper";
  const std::string start = "StartServiceHelper";
  const std::vector<std::pair<std::string, std::string>> expected = {
      {byName, " function enter."},
      {byName, "Restarting service named [S1] and its dependents."},
      {byHandle, " function enter."},
      {byHandle, "Getting list of dependent services and stopping them first."},
      {list, " function enter."},
      {list, " function exit."},
      {byHandle, "Stopping the service."},
      {stop, " function enter."},
      {stop, "Waiting for service to stop..."},
      {stop, "Service stopped."},
      {stop, " function exit."},
      {byHandle, "Starting the service."},
      {start, " function enter."},
      {start, " function exit."},
      {byHandle, "Starting the previously running dependent services."},
      {byHandle, " function exit."},
      {byName, " function exit."},
  };
  ASSERT_EQ(writer->lines.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(writer->lines[i].source, expected[i].first) << i;
    EXPECT_EQ(writer->lines[i].message, expected[i].second) << i;
    EXPECT_EQ(writer->lines[i].level, 1u) << i;
  }
}

TEST_F(RestartTest, ChainStopsDeepestFirstAndStartsInListOrder) {
  Chain({L"S1", L"S2", L"S3"});
  EXPECT_EQ(ListOf(L"S1"), (Names{L"S2", L"S3"}));
  writer->lines.clear();

  EXPECT_EQ(Run(L"S1"), "");
  EXPECT_EQ(scm.Events(), (Names{L"stop S3", L"stop S2", L"stop S1", L"start S1", L"start S2",
                                 L"start S3"}));
  for (const wchar_t* name : {L"S1", L"S2", L"S3"}) EXPECT_EQ(scm.State(name), kServiceRunning);
  EXPECT_TRUE(Traced("1 dependent services found"));
  EXPECT_TRUE(Traced("S2 is running dependent service."));
  EXPECT_TRUE(Traced("S3 is running dependent service."));
}

TEST_F(RestartTest, TreeIsListedDepthFirstEachDependentFollowedByItsOwn) {
  Add(L"S1");
  for (auto [dependent, dependency] : std::vector<std::pair<const wchar_t*, const wchar_t*>>{
           {L"A", L"S1"}, {L"B", L"S1"}, {L"A1", L"A"}, {L"A2", L"A"}, {L"A21", L"A2"}, {L"B1", L"B"}}) {
    Add(dependent);
    scm.AddDependency(dependent, dependency);
  }
  EXPECT_EQ(ListOf(L"S1"), (Names{L"A", L"A1", L"A2", L"A21", L"B", L"B1"}));

  EXPECT_EQ(Run(L"S1"), "");
  EXPECT_EQ(scm.Events(),
            (Names{L"stop B1", L"stop B", L"stop A21", L"stop A2", L"stop A1", L"stop A", L"stop S1",
                   L"start S1", L"start A", L"start A1", L"start A2", L"start A21", L"start B",
                   L"start B1"}));
}

// Windows' own enumeration lists indirect dependents too, so a plain chain of three already
// meets the deepest service twice: once from the top and once below its direct parent.
TEST_F(RestartTest, ServiceMetAlongTwoPathsIsStoppedTwiceAndTheSecondStopFails) {
  const std::vector<std::pair<const char*, std::function<void(SimServiceControl&)>>> setups = {
      {"fixed enumerations",
       [](SimServiceControl& world) {
         world.SetEnumeration(L"S1", {L"S3", L"S2"});
         world.SetEnumeration(L"S2", {L"S3"});
       }},
      {"Windows' transitive enumeration",
       [](SimServiceControl& world) { world.SetDirectEnumeration(false); }},
  };
  for (const auto& [label, setup] : setups) {
    SCOPED_TRACE(label);
    SimServiceControl world(clock);
    world.SetDirectEnumeration(true);
    for (const wchar_t* name : {L"S1", L"S2", L"S3"}) world.AddService(name);
    world.AddDependency(L"S2", L"S1");
    world.AddDependency(L"S3", L"S2");
    setup(world);

    EXPECT_EQ(ListOf(world, L"S1"), (Names{L"S3", L"S2", L"S3"}));
    EXPECT_EQ(Run(world, L"S1"), "Could not stop the service.  Error: 1062");
    EXPECT_EQ(world.Events(), (Names{L"stop S3", L"stop S2"}));
    EXPECT_EQ(world.State(L"S1"), kServiceRunning);
    EXPECT_EQ(world.State(L"S2"), kServiceStopped);
    EXPECT_EQ(world.State(L"S3"), kServiceStopped);
    EXPECT_EQ(world.OpenHandleCount(), 0u);
  }
}

TEST_F(RestartTest, PausedAndPendingDependentsAreLeftAlone) {
  Add(L"S1");
  const std::vector<std::pair<const wchar_t*, std::uint32_t>> others = {
      {L"StartPending", kServiceStartPending}, {L"StopPending", kServiceStopPending},
      {L"ContinuePending", kServiceContinuePending}, {L"PausePending", kServicePausePending},
      {L"Paused", kServicePaused}};
  Add(L"Running");
  scm.AddDependency(L"Running", L"S1");
  for (auto [name, state] : others) {
    Add(name);
    scm.AddDependency(name, L"S1");
    scm.SetState(name, state);
  }
  EXPECT_EQ(ListOf(L"S1"), (Names{L"Running"}));
  EXPECT_TRUE(Traced("6 dependent services found"));

  // Windows will not stop a service while any dependent is active, paused ones included.
  EXPECT_EQ(Run(L"S1"), "Could not stop the service.  Error: 1051");
  EXPECT_EQ(scm.Events(), (Names{L"stop Running"}));
  for (auto [name, state] : others) EXPECT_EQ(scm.State(name), state) << std::string(name, name + 3);
}

TEST_F(RestartTest, AlreadyStoppedServiceIsNotStarted) {
  Add(L"S1", StoppedService());
  EXPECT_EQ(Run(L"S1"), "Could not stop the service.  Error: 1062");
  EXPECT_TRUE(scm.Events().empty());
  EXPECT_EQ(scm.State(L"S1"), kServiceStopped);
}

TEST_F(RestartTest, TimeOutZeroSendsTheStopWithoutWaiting) {
  struct Case {
    std::uint64_t stopLatencyMs;
    std::string error;
  };
  for (const Case& c : {Case{0, ""}, Case{500, "Could not start service.  Error: 1056"}}) {
    SCOPED_TRACE(c.stopLatencyMs);
    const std::wstring name = L"S" + std::to_wstring(c.stopLatencyMs);
    Add(name, SlowStop(c.stopLatencyMs, 100));
    EXPECT_EQ(Run(name, 0), c.error);
  }
  EXPECT_EQ(scm.Calls(ScOp::Query), 0u);
  EXPECT_TRUE(clock.Sleeps().empty());
  EXPECT_EQ(clock.TickCount64(), 0u);
  EXPECT_FALSE(Traced("Waiting for service to stop..."));
}

TEST_F(RestartTest, WaitHintZeroPollsWithoutSleeping) {
  Add(L"S1", SlowStop(50, 0));
  scm.SetCost(ScOp::Query, 1);
  EXPECT_EQ(Run(L"S1"), "");
  ASSERT_FALSE(clock.Sleeps().empty());
  for (std::uint32_t sleep : clock.Sleeps()) EXPECT_EQ(sleep, 0u);
  EXPECT_EQ(scm.Calls(ScOp::Query), 50u);  // one look per millisecond until the stop at 50
}

TEST_F(RestartTest, StopThatNeverEndsTimesOutWithTheThreadsLastError) {
  Add(L"S1", HungStop(5000));
  scm.SetLastErrorForTest(997);
  EXPECT_EQ(Run(L"S1"), "Timed out attempting to stop service.  Error: 997");

  // The first look past 60000 ms is the one that gives up: 600 polls of 100 ms, then one.
  EXPECT_EQ(clock.TickCount64(), 60100u);
  EXPECT_EQ(clock.Sleeps(), std::vector<std::uint32_t>(601, 100));
  EXPECT_EQ(scm.Events(), (Names{L"stop S1"}));
  EXPECT_EQ(scm.State(L"S1"), kServiceStopPending);
  bool found = false;
  for (const auto& line : writer->lines) {
    if (line.message == "Timed out attempting to stop service.") {
      found = true;
      EXPECT_EQ(line.source, "StopServiceHelper");
      EXPECT_EQ(line.level, 5u);  // statement level 6
    }
  }
  EXPECT_TRUE(found);
  EXPECT_FALSE(Traced("Service stopped."));
}

TEST_F(RestartTest, TimeOutMeansStrictlyExceeded) {
  struct Case {
    std::uint32_t timeoutMs;
    std::string error;
  };
  // The stop completes at 301 ms; the poll looks at 0, 100, 200, 300 and 400 ms.
  for (const Case& c : {Case{300, ""}, Case{299, "Timed out attempting to stop service.  Error: 0"}}) {
    SCOPED_TRACE(c.timeoutMs);
    const std::wstring name = L"S" + std::to_wstring(c.timeoutMs);
    Add(name, SlowStop(301, 1000));
    EXPECT_EQ(Run(name, c.timeoutMs), c.error);
  }
}

TEST_F(RestartTest, RestartReturnsWithinTheStopTimePlusOnePollAndOneQuery) {
  struct Case {
    std::uint64_t stopMs;
    std::uint32_t waitHintMs;
    std::uint64_t queryCostMs;
  };
  const std::vector<Case> cases = {
      {1, 100, 0},    {99, 100, 0},  {100, 100, 0}, {101, 100, 0},  {250, 5000, 0},
      {1234, 200, 3}, {1500, 1500, 1}, {59999, 60000, 7}, {250, 30, 2}, {77, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "stop " << c.stopMs << " ms, hint " << c.waitHintMs
                                      << " ms, query " << c.queryCostMs << " ms");
    SimClock caseClock(1000);
    SimServiceControl caseScm(caseClock);
    caseScm.AddService(L"S1", SlowStop(c.stopMs, c.waitHintMs));
    caseScm.SetCost(ScOp::Query, c.queryCostMs);
    const std::uint64_t before = caseClock.TickCount64();
    RestartServiceAndRunningDependents(caseScm, caseClock, L"S1", 60000);
    const std::uint64_t took = caseClock.TickCount64() - before;
    EXPECT_GE(took, c.stopMs);
    EXPECT_LE(took, c.stopMs + std::min<std::uint64_t>(c.waitHintMs, 100) + c.queryCostMs);
    EXPECT_EQ(caseScm.State(L"S1"), kServiceRunning);
  }
}

TEST_F(RestartTest, FailureEndsTheSequenceAndNothingIsRolledBack) {
  // S1 with dependents A and B; the stop walk takes B, then A, then S1.
  struct Case {
    const char* label;
    std::function<void(SimServiceControl&)> setup;
    std::wstring target;
    std::string error;
    Names events;
    std::uint32_t rightsOnA = kServiceAllAccess;
  };
  auto failOn = [](ScOp op, std::wstring service, ErrorCode code, int nth = 1) {
    return [=](SimServiceControl& world) {
      auto seen = std::make_shared<int>(0);
      world.SetFailureHook([=](ScOp o, const std::wstring& name) -> ErrorCode {
        return o == op && name == service && ++*seen == nth ? code : kSuccess;
      });
    };
  };
  auto nothing = [](SimServiceControl&) {};
  const std::vector<Case> cases = {
      {"manager refused", failOn(ScOp::OpenManager, L"", 5), L"S1",
       "Could not open service control manager.  Error: 5", {}},
      {"unknown service", nothing, L"Nope", "Could not open service.  Error: 1060\n", {}},
      {"service refuses our rights", nothing, L"Locked", "Could not open service.  Error: 5\n", {}},
      // The empty handle stays in the list; its stop fails after B's has gone through.
      {"dependent cannot be opened", nothing, L"S1", "Could not stop the service.  Error: 6",
       {L"stop B"}, kServiceQueryStatus},
      {"dependent refuses the stop", failOn(ScOp::Control, L"A", 1061), L"S1",
       "Could not stop the service.  Error: 1061", {L"stop B"}},
      {"first status query fails", failOn(ScOp::Query, L"S1", 6), L"S1",
       "Could not query the status of the service.  Error: 6", {L"stop B", L"stop A", L"stop S1"}},
      {"later status query fails", failOn(ScOp::Query, L"Slow", 6, 3), L"Slow",
       "Could not query the status of the service.  Error: 6", {L"stop Slow"}},
      {"service refuses the start", failOn(ScOp::Start, L"S1", 1053), L"S1",
       "Could not start service.  Error: 1053", {L"stop B", L"stop A", L"stop S1"}},
      {"dependent refuses the start", failOn(ScOp::Start, L"A", 1053), L"S1",
       "Could not start service.  Error: 1053", {L"stop B", L"stop A", L"stop S1", L"start S1"}},
      // A failed enumeration is no error: the list is empty, and Windows then refuses the
      // stop of a service whose dependents still run.
      {"enumeration fails", failOn(ScOp::EnumDependents, L"S1", 5), L"S1",
       "Could not stop the service.  Error: 1051", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    SimServiceControl world(clock);
    world.SetDirectEnumeration(true);
    world.AddService(L"S1");
    world.AddService(L"A", Rights(c.rightsOnA));
    world.AddService(L"B");
    world.AddDependency(L"A", L"S1");
    world.AddDependency(L"B", L"S1");
    world.AddService(L"Locked", Rights(kServiceQueryStatus));
    world.AddService(L"Slow", SlowStop(1000, 100));
    c.setup(world);

    EXPECT_EQ(Run(world, c.target), c.error);
    EXPECT_EQ(world.Events(), c.events);
    EXPECT_EQ(world.OpenHandleCount(), 0u);
  }
}

Names g_eventsSeenByHook;
std::wstring g_serviceSeenByHook;
std::uint32_t g_contextSeenByHook = 0;
SimServiceControl* g_hookScm = nullptr;

std::uint32_t RecordingHook(ScHandle service, std::uint32_t context) {
  g_eventsSeenByHook = g_hookScm->Events();
  g_serviceSeenByHook = g_hookScm->NameOf(service);
  g_contextSeenByHook = context;
  return 12345;  // ignored
}

TEST_F(RestartTest, HookRunsWithTheServiceAndContextAfterItsStartBeforeTheDependents) {
  Chain({L"S1", L"S2"});
  g_hookScm = &scm;
  EXPECT_EQ(Run(L"S1", 60000, RecordingHook, 0xC0FFEEu), "");
  EXPECT_EQ(g_eventsSeenByHook, (Names{L"stop S2", L"stop S1", L"start S1"}));
  EXPECT_EQ(g_serviceSeenByHook, L"S1");
  EXPECT_EQ(g_contextSeenByHook, 0xC0FFEEu);
  EXPECT_EQ(scm.Events().back(), L"start S2");
  const auto messages = Messages();
  const auto hookLine = std::find(messages.begin(), messages.end(), "Calling into OnServiceStarted hook.");
  const auto dependentsLine =
      std::find(messages.begin(), messages.end(), "Starting the previously running dependent services.");
  ASSERT_NE(hookLine, messages.end());
  EXPECT_LT(hookLine, dependentsLine);
}

TEST_F(RestartTest, EnumerationBufferGrowsToWhatWindowsAsksFor) {
  Add(L"S1");
  Names expected;
  for (int i = 0; i < 30; ++i) {
    const std::wstring name = L"Dependent_With_A_Long_Service_Name_" + std::to_wstring(100 + i);
    Add(name);
    scm.AddDependency(name, L"S1");
    expected.push_back(name);
  }
  EXPECT_EQ(ListOf(L"S1"), expected);
  const auto& sizes = scm.EnumBufferSizes();
  ASSERT_GE(sizes.size(), 2u);
  EXPECT_EQ(sizes[0], 1024u);
  EXPECT_GT(sizes[1], 1024u);

  // A dependent that appears between two calls makes the answer grow once more.
  scm.AddService(L"Late");
  int calls = 0;
  scm.SetFailureHook([&](ScOp op, const std::wstring& service) -> ErrorCode {
    if (op == ScOp::EnumDependents && service == L"S1" && ++calls == 2) scm.AddDependency(L"Late", L"S1");
    return kSuccess;
  });
  const std::size_t before = scm.EnumBufferSizes().size();
  expected.push_back(L"Late");
  EXPECT_EQ(ListOf(L"S1"), expected);
  const std::vector<std::uint32_t> grown(scm.EnumBufferSizes().begin() + static_cast<std::ptrdiff_t>(before),
                                         scm.EnumBufferSizes().begin() + static_cast<std::ptrdiff_t>(before) + 3);
  EXPECT_EQ(grown[0], 1024u);
  EXPECT_GT(grown[2], grown[1]);

  // An answer of "more data" that names no larger size must not repeat for ever.
  int refusals = 0;
  scm.SetFailureHook([&](ScOp op, const std::wstring& service) -> ErrorCode {
    return op == ScOp::EnumDependents && service == L"S1" && ++refusals <= 3 ? kErrorMoreData : kSuccess;
  });
  const std::size_t mark = scm.EnumBufferSizes().size();
  EXPECT_EQ(ListOf(L"S1"), expected);
  EXPECT_EQ(scm.EnumBufferSizes()[mark + 1], 2048u);
  EXPECT_EQ(scm.EnumBufferSizes()[mark + 3], 8192u);
}

}  // namespace
