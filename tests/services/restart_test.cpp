// The restart against the sim SCM: dependents, order, waits, failures, handles.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/sim_clock.h"
#include "platform/sim/sim_services.h"
#include "services/service_restart.h"

using namespace ov::platform;
using namespace ov::platform::sim;
using namespace ov::services;

namespace {

using Names = std::vector<std::wstring>;
using Config = SimServiceControl::ServiceConfig;
using Edges = std::vector<std::pair<std::wstring, std::wstring>>;  // dependent, dependency

Config With(const std::function<void(Config&)>& set) {
  Config config;
  set(config);
  return config;
}
Config Stopping(std::uint64_t latencyMs, std::uint32_t waitHintMs) {
  return With([&](Config& cfg) { cfg.stopLatencyMs = latencyMs; cfg.stopWaitHintMs = waitHintMs; });
}

// A sim SCM on its own clock. Whatever happened, the restart closed every handle it opened.
struct World {
  explicit World(std::uint64_t startTick = 0) : clock(startTick) { scm.SetDirectEnumeration(true); }
  ~World() { EXPECT_EQ(scm.OpenHandleCount(), 0u); }

  void Add(const std::wstring& name, Config config = {}) {
    scm.AddService(name, config);
    names.insert(name);
  }
  void Add(const Edges& edges) {
    for (const auto& [dependent, dependency] : edges) {
      for (const std::wstring& name : {dependency, dependent})
        if (!names.contains(name)) Add(name);
      scm.AddDependency(dependent, dependency);
    }
  }
  // The exception text, or "" when the restart succeeded.
  std::string Run(const std::wstring& name, std::uint32_t timeoutMs = 60000,
                  OnServiceStarted hook = nullptr, std::uint32_t context = 0) {
    try {
      RestartServiceAndRunningDependents(scm, clock, name, timeoutMs, hook, context);
      return "";
    } catch (const std::runtime_error& e) {
      return e.what();
    }
  }
  // The list the restart works on, by service name.
  Names ListOf(const std::wstring& name) {
    ScHandle raw = kNoScHandle;
    EXPECT_EQ(scm.OpenManager(kServicesActiveDatabase, kScManagerConnect, &raw), kSuccess);
    const ServiceHandle manager(scm, raw);
    EXPECT_EQ(scm.OpenServiceByName(manager.Get(), name, kRestartAccess, &raw), kSuccess);
    const ServiceHandle service(scm, raw);
    Names list;
    for (const ServiceHandle& h : GetRunningDependentServices(scm, manager.Get(), service.Get(), kRestartAccess))
      list.push_back(scm.NameOf(h.Get()));
    return list;
  }

  SimClock clock;
  SimServiceControl scm{clock};
  std::set<std::wstring> names;
};

TEST(RestartTest, DependentsStopDeepestFirstAndStartInListOrderAroundTheService) {
  struct Case {
    Edges edges;
    Names list;
    Names events;
  };
  const std::vector<Case> cases = {
      {{}, {}, {L"stop S1", L"start S1"}},
      {{{L"S2", L"S1"}, {L"S3", L"S2"}},
       {L"S2", L"S3"},
       {L"stop S3", L"stop S2", L"stop S1", L"start S1", L"start S2", L"start S3"}},
      // A tree: each dependent is followed by its own.
      {{{L"A", L"S1"}, {L"B", L"S1"}, {L"A1", L"A"}, {L"A2", L"A"}, {L"A21", L"A2"}, {L"B1", L"B"}},
       {L"A", L"A1", L"A2", L"A21", L"B", L"B1"},
       {L"stop B1", L"stop B", L"stop A21", L"stop A2", L"stop A1", L"stop A", L"stop S1", L"start S1",
        L"start A", L"start A1", L"start A2", L"start A21", L"start B", L"start B1"}},
  };
  for (const Case& c : cases) {
    World w;
    w.Add(L"S1");
    w.Add(c.edges);
    EXPECT_EQ(w.ListOf(L"S1"), c.list);
    EXPECT_EQ(w.Run(L"S1"), "");
    EXPECT_EQ(w.scm.Events(), c.events);
    for (const std::wstring& name : w.names) EXPECT_EQ(w.scm.State(name), kServiceRunning);
  }
}

// Windows' own enumeration lists indirect dependents too, so a plain chain of three already
// meets the deepest service twice: once from the top and once below its direct parent.
TEST(RestartTest, ServiceMetAlongTwoPathsIsStoppedTwiceAndTheSecondStopFails) {
  const std::vector<std::function<void(SimServiceControl&)>> setups = {
      [](SimServiceControl& scm) {
        scm.SetEnumeration(L"S1", {L"S3", L"S2"});
        scm.SetEnumeration(L"S2", {L"S3"});
      },
      [](SimServiceControl& scm) { scm.SetDirectEnumeration(false); },
  };
  for (const auto& setup : setups) {
    World w;
    w.Add({{L"S2", L"S1"}, {L"S3", L"S2"}});
    setup(w.scm);
    EXPECT_EQ(w.ListOf(L"S1"), (Names{L"S3", L"S2", L"S3"}));
    EXPECT_EQ(w.Run(L"S1"), "Could not stop the service.  Error: 1062");
    EXPECT_EQ(w.scm.Events(), (Names{L"stop S3", L"stop S2"}));
    EXPECT_EQ((std::vector{w.scm.State(L"S1"), w.scm.State(L"S2"), w.scm.State(L"S3")}),
              (std::vector{kServiceRunning, kServiceStopped, kServiceStopped}));
  }
}

TEST(RestartTest, PausedAndPendingDependentsAreLeftAlone) {
  World w;
  w.Add({{L"Running", L"S1"}});
  const std::vector<std::uint32_t> others = {kServiceStartPending, kServiceStopPending,
                                             kServiceContinuePending, kServicePausePending, kServicePaused};
  for (std::uint32_t state : others) {
    w.Add({{L"D" + std::to_wstring(state), L"S1"}});
    w.scm.SetState(L"D" + std::to_wstring(state), state);
  }
  EXPECT_EQ(w.ListOf(L"S1"), (Names{L"Running"}));
  // Windows will not stop a service while any dependent is active, paused ones included.
  EXPECT_EQ(w.Run(L"S1"), "Could not stop the service.  Error: 1051");
  EXPECT_EQ(w.scm.Events(), (Names{L"stop Running"}));
  for (std::uint32_t state : others) EXPECT_EQ(w.scm.State(L"D" + std::to_wstring(state)), state);
}

TEST(RestartTest, TimeOutZeroSendsTheStopWithoutWaiting) {
  World w;
  w.Add(L"Quick", Stopping(0, 100));
  w.Add(L"Slow", Stopping(500, 100));
  EXPECT_EQ(w.Run(L"Quick", 0), "");
  EXPECT_EQ(w.Run(L"Slow", 0), "Could not start service.  Error: 1056");
  EXPECT_EQ(w.scm.Calls(ScOp::Query), 0u);
  EXPECT_TRUE(w.clock.Sleeps().empty());
  EXPECT_EQ(w.clock.TickCount64(), 0u);
}

TEST(RestartTest, WaitHintZeroPollsWithoutSleeping) {
  World w;
  w.Add(L"S1", Stopping(50, 0));
  w.scm.SetCost(ScOp::Query, 1);
  EXPECT_EQ(w.Run(L"S1"), "");
  ASSERT_FALSE(w.clock.Sleeps().empty());
  EXPECT_EQ(w.clock.Sleeps(), std::vector<std::uint32_t>(w.clock.Sleeps().size(), 0));
  EXPECT_EQ(w.scm.Calls(ScOp::Query), 50u);  // one look per millisecond until the stop at 50
}

TEST(RestartTest, StopThatNeverEndsTimesOutWithTheThreadsLastError) {
  World w;
  w.Add(L"S1", With([](Config& cfg) { cfg.stopWaitHintMs = 5000; cfg.hangsOnStop = true; }));
  w.scm.SetLastErrorForTest(997);
  EXPECT_EQ(w.Run(L"S1"), "Timed out attempting to stop service.  Error: 997");
  // The first look past 60000 ms is the one that gives up: 600 polls of 100 ms, then one.
  EXPECT_EQ(w.clock.TickCount64(), 60100u);
  EXPECT_EQ(w.clock.Sleeps(), std::vector<std::uint32_t>(601, 100));
  EXPECT_EQ(w.scm.Events(), (Names{L"stop S1"}));
  EXPECT_EQ(w.scm.State(L"S1"), kServiceStopPending);
}

TEST(RestartTest, RestartReturnsWithinTheStopTimePlusOnePollAndOneQuery) {
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
    SCOPED_TRACE(::testing::Message() << c.stopMs << " ms, hint " << c.waitHintMs << ", query " << c.queryCostMs);
    World w(1000);
    w.Add(L"S1", Stopping(c.stopMs, c.waitHintMs));
    w.scm.SetCost(ScOp::Query, c.queryCostMs);
    EXPECT_EQ(w.Run(L"S1"), "");
    const std::uint64_t took = w.clock.TickCount64() - 1000;
    EXPECT_GE(took, c.stopMs);
    EXPECT_LE(took, c.stopMs + std::min<std::uint64_t>(c.waitHintMs, 100) + c.queryCostMs);
    EXPECT_EQ(w.scm.State(L"S1"), kServiceRunning);
  }
}

TEST(RestartTest, FailureEndsTheSequenceAndNothingIsRolledBack) {
  // S1 with dependents A and B; the stop walk takes B, then A, then S1.
  struct Case {
    const char* label;
    std::function<void(SimServiceControl&)> setup;
    std::wstring target;
    std::string error;
    Names events;
    std::uint32_t timeoutMs = 60000;
  };
  auto failOn = [](ScOp op, std::wstring service, ErrorCode code, int nth = 1) {
    return [=](SimServiceControl& scm) {
      auto seen = std::make_shared<int>(0);
      scm.SetFailureHook([=](ScOp o, const std::wstring& name) -> ErrorCode {
        return o == op && name == service && ++*seen == nth ? code : kSuccess;
      });
    };
  };
  auto nothing = [](SimServiceControl&) {};
  const std::vector<Case> cases = {
      {"manager refused", failOn(ScOp::OpenManager, L"", 5), L"S1",
       "Could not open service control manager.  Error: 5", {}},
      {"target already stopped", nothing, L"Stopped", "Could not stop the service.  Error: 1062", {}},
      // The empty handle stays in the list; its stop fails after the others have gone through.
      {"dependent cannot be opened",
       [](SimServiceControl& scm) {
         scm.AddDependency(L"Locked", L"S1");
         scm.SetEnumeration(L"S1", {L"Locked", L"A", L"B"});
       },
       L"S1", "Could not stop the service.  Error: 6", {L"stop B", L"stop A"}},
      {"dependent refuses the stop", failOn(ScOp::Control, L"A", 1061), L"S1",
       "Could not stop the service.  Error: 1061", {L"stop B"}},
      {"status query fails while waiting", failOn(ScOp::Query, L"Slow", 6, 3), L"Slow",
       "Could not query the status of the service.  Error: 6", {L"stop Slow"}},
      // Slow stops at 301 ms and is looked at every 100 ms: a time-out means strictly exceeded.
      {"stop just within the time-out", nothing, L"Slow", "", {L"stop Slow", L"start Slow"}, 300},
      {"stop just past the time-out", nothing, L"Slow", "Timed out attempting to stop service.  Error: 0",
       {L"stop Slow"}, 299},
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
    World w;
    w.Add({{L"A", L"S1"}, {L"B", L"S1"}});
    w.Add(L"Locked", With([](Config& cfg) { cfg.grantedAccess = kServiceQueryStatus; }));
    w.Add(L"Slow", Stopping(301, 1000));
    w.Add(L"Stopped", With([](Config& cfg) { cfg.state = kServiceStopped; }));
    c.setup(w.scm);
    EXPECT_EQ(w.Run(c.target, c.timeoutMs), c.error);
    EXPECT_EQ(w.scm.Events(), c.events);
  }
}

SimServiceControl* g_hookScm = nullptr;
Names g_seenByHook;

TEST(RestartTest, HookRunsWithTheServiceAndContextAfterItsStartBeforeTheDependents) {
  World w;
  w.Add({{L"S2", L"S1"}});
  g_hookScm = &w.scm;
  const OnServiceStarted hook = [](ScHandle service, std::uint32_t context) -> std::uint32_t {
    g_seenByHook = g_hookScm->Events();
    g_seenByHook.push_back(g_hookScm->NameOf(service) + L" " + std::to_wstring(context));
    return 12345;  // ignored
  };
  EXPECT_EQ(w.Run(L"S1", 60000, hook, 7), "");
  EXPECT_EQ(g_seenByHook, (Names{L"stop S2", L"stop S1", L"start S1", L"S1 7"}));
  EXPECT_EQ(w.scm.Events().back(), L"start S2");
}

TEST(RestartTest, EnumerationBufferGrowsUntilTheAnswerFits) {
  World w;
  Names expected;
  for (int i = 0; i < 100; ++i) {
    expected.push_back(L"Dependent_With_A_Long_Service_Name_" + std::to_wstring(100 + i));
    w.Add({{expected.back(), L"S1"}});
  }
  // Three answers of "more data" that name no size, then Windows' own, which needs over 8 KB.
  int refusals = 0;
  w.scm.SetFailureHook([&](ScOp op, const std::wstring& service) -> ErrorCode {
    return op == ScOp::EnumDependents && service == L"S1" && ++refusals <= 3 ? kErrorMoreData : kSuccess;
  });
  EXPECT_EQ(w.ListOf(L"S1"), expected);
}

}  // namespace
