// The restart against the sim SCM: dependents, order, waits, failures and what they leave.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
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
using Failures = std::map<std::pair<ScOp, std::wstring>, ErrorCode>;

Config With(const std::function<void(Config&)>& set) {
  Config config;
  set(config);
  return config;
}
Config Stopping(std::uint64_t latencyMs, std::uint32_t waitHintMs) {
  return With([&](Config& cfg) { cfg.stopLatencyMs = latencyMs; cfg.stopWaitHintMs = waitHintMs; });
}

// A sim SCM on its own clock, answering enumerations as Windows does or with direct
// dependents only. Whatever happened, the restart closed every handle it opened.
struct World {
  explicit World(bool direct = false, std::uint64_t startTick = 0) : clock(startTick) {
    scm.SetDirectEnumeration(direct);
  }
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
  // Every call of the operation on the service fails with the code, without effect.
  void Fail(Failures failures) {
    scm.SetFailureHook([failures](ScOp op, const std::wstring& name) {
      const auto it = failures.find({op, name});
      return it == failures.end() ? kSuccess : it->second;
    });
  }
  // The exception text, or "" when the restart succeeded.
  std::string Run(const std::wstring& name, std::uint32_t timeoutMs = 60000,
                  OnServiceStarted hook = nullptr, std::uint32_t context = 0) {
    try {
      RestartServiceAndRunningDependents(scm, clock, name, timeoutMs, hook, context);
      return "";
    } catch (const ServiceRestartError& e) {
      return e.what();
    }
  }

  SimClock clock;
  SimServiceControl scm{clock};
  std::set<std::wstring> names;
};

TEST(RestartTest, EachDependentStopsOnceBeforeWhatItNeedsAndStartsInTheOppositeOrder) {
  struct Case {
    const char* label;
    Edges edges;
    Names enumeration;  // S1's fixed answer; none when empty
    Names events;
  };
  const Edges chain = {{L"S2", L"S1"}, {L"S3", L"S2"}};
  const Names chainEvents = {L"stop S3", L"stop S2", L"stop S1", L"start S1", L"start S2", L"start S3"};
  const std::vector<Case> cases = {
      {"no dependents", {}, {}, {L"stop S1", L"start S1"}},
      {"chain three deep", chain, {}, chainEvents},
      {"repeated and in start order", chain, {L"S2", L"S3", L"S2", L"S3"}, chainEvents},
      {"diamond",
       {{L"A", L"S1"}, {L"B", L"S1"}, {L"C", L"A"}, {L"C", L"B"}},
       {},
       {L"stop C", L"stop A", L"stop B", L"stop S1", L"start S1", L"start B", L"start A", L"start C"}},
  };
  for (const bool direct : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << c.label << (direct ? ", direct" : ", Windows"));
      World w(direct);
      w.Add(L"S1");
      w.Add(c.edges);
      if (!c.enumeration.empty()) w.scm.SetEnumeration(L"S1", c.enumeration);
      EXPECT_EQ(w.Run(L"S1"), "");
      EXPECT_EQ(w.scm.Events(), c.events);
      // A second request would be refused unseen (1062, 1056), so the requests are counted.
      EXPECT_EQ(w.scm.Calls(ScOp::Control), w.names.size());
      EXPECT_EQ(w.scm.Calls(ScOp::Start), w.names.size());
      for (const std::wstring& name : w.names) EXPECT_EQ(w.scm.State(name), kServiceRunning);
    }
  }
}

TEST(RestartTest, PendingOrPausedDependentStopsNothing) {
  for (const bool direct : {false, true}) {
    for (std::uint32_t state : {kServiceStartPending, kServiceStopPending, kServiceContinuePending,
                                kServicePausePending, kServicePaused}) {
      World w(direct);
      w.Add({{L"Running", L"S1"}, {L"Unsettled", L"S1"}});
      w.scm.SetState(L"Unsettled", state);
      EXPECT_EQ(w.Run(L"S1"), "Could not stop the service.  Error: 1051");
      EXPECT_EQ(w.scm.Events(), Names{});
      EXPECT_EQ(w.scm.State(L"Unsettled"), state);
    }
  }
}

TEST(RestartTest, FailureStartsAgainWhatWasStoppedAndNamesWhatIsStillDown) {
  // S1 with dependents A, B and C: they stop in that order, then S1; S1 starts, then C, B, A.
  struct Case {
    const char* label;
    Failures failures;
    std::wstring target;
    std::string error;
    Names events;
    std::uint32_t timeoutMs = 60000;
  };
  const std::vector<Case> cases = {
      {"manager refused", {{{ScOp::OpenManager, L""}, 5}}, L"S1",
       "Could not open service control manager.  Error: 5", {}},
      {"target already stopped", {}, L"Stopped", "", {L"start Stopped"}},
      // The empty handle stays in the list; its stop fails once A has gone down.
      {"dependent cannot be opened", {{{ScOp::OpenService, L"B"}, 5}}, L"S1",
       "Could not stop the service.  Error: 6", {L"stop A", L"start A"}},
      {"dependent refuses the stop, another the start again",
       {{{ScOp::Control, L"C"}, 1061}, {{ScOp::Start, L"A"}, 5}}, L"S1",
       "Could not stop the service.  Error: 1061\nStill stopped: A", {L"stop A", L"stop B", L"start B"}},
      {"start failures in the middle", {{{ScOp::Start, L"B"}, 1053}, {{ScOp::Start, L"A"}, 5}}, L"S1",
       "Could not start service.  Error: 1053\nStill stopped: B, A",
       {L"stop A", L"stop B", L"stop C", L"stop S1", L"start S1", L"start C"}},
      // Windows starts S1 on the way to C, so S1 is not reported as down.
      {"service refuses the start", {{{ScOp::Start, L"S1"}, 1053}}, L"S1",
       "Could not start service.  Error: 1053",
       {L"stop A", L"stop B", L"stop C", L"stop S1", L"start S1", L"start C", L"start B", L"start A"}},
      // B went down before its status could not be read; a service whose state is unknown is named.
      {"status of a dependent cannot be read", {{{ScOp::Query, L"B"}, 6}}, L"S1",
       "Could not query the status of the service.  Error: 6\nStill stopped: B",
       {L"stop A", L"stop B", L"start B", L"start A"}},
      // Slow stops at 301 ms and is looked at every 100 ms: a time-out means strictly exceeded.
      // A wait that gave up leaves the service on its way down: starting it answers 1056.
      {"stop just within the time-out", {}, L"Slow", "", {L"stop Slow", L"start Slow"}, 300},
      {"stop just past the time-out", {}, L"Slow",
       "Timed out attempting to stop service.  Error: 0\nStill stopped: Slow", {L"stop Slow"}, 299},
      {"time-out 0 sends the stop and does not wait", {}, L"Slow", "", {L"stop Slow"}, 0},
      // A failed enumeration is no error: the list is empty, and Windows then refuses the
      // stop of a service whose dependents still run.
      {"enumeration fails", {{{ScOp::EnumDependents, L"S1"}, 5}}, L"S1",
       "Could not stop the service.  Error: 1051", {}},
  };
  for (const bool direct : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << c.label << (direct ? ", direct" : ", Windows"));
      World w(direct);
      w.Add({{L"A", L"S1"}, {L"B", L"S1"}, {L"C", L"S1"}});
      w.Add(L"Slow", Stopping(301, 1000));
      w.Add(L"Stopped", With([](Config& cfg) { cfg.state = kServiceStopped; }));
      w.Fail(c.failures);
      EXPECT_EQ(w.Run(c.target, c.timeoutMs), c.error);
      EXPECT_EQ(w.scm.Events(), c.events);
    }
  }
}

TEST(RestartTest, StopThatNeverEndsTimesOutWithTheThreadsLastError) {
  World w;
  w.Add(L"S1", With([](Config& cfg) { cfg.stopWaitHintMs = 5000; cfg.hangsOnStop = true; }));
  w.scm.SetLastErrorForTest(997);
  EXPECT_EQ(w.Run(L"S1"), "Timed out attempting to stop service.  Error: 997\nStill stopped: S1");
  // The first look past 60000 ms is the one that gives up: 600 polls of 100 ms, then one.
  EXPECT_EQ(w.clock.TickCount64(), 60100u);
  EXPECT_EQ(w.clock.Sleeps(), std::vector<std::uint32_t>(601, 100));
  EXPECT_EQ(w.scm.Events(), (Names{L"stop S1"}));
  EXPECT_EQ(w.scm.State(L"S1"), kServiceStopPending);
}

TEST(RestartTest, WaitHintZeroStillSleepsBetweenPolls) {
  World w;
  w.Add(L"S1", Stopping(1000, 0));
  w.scm.SetCost(ScOp::Query, 1);  // so that a wait that spins still ends
  EXPECT_EQ(w.Run(L"S1"), "");
  EXPECT_EQ(w.scm.Calls(ScOp::Query), 92u);  // at 1, 12, ..., 1002 ms
  EXPECT_EQ(w.clock.Sleeps(), std::vector<std::uint32_t>(91, 10));
}

TEST(RestartTest, RestartReturnsWithinTheStopTimePlusOnePollAndOneQuery) {
  struct Case {
    std::uint64_t stopMs;
    std::uint32_t waitHintMs;
    std::uint64_t queryCostMs;
  };
  const std::vector<Case> cases = {
      {1, 100, 0},    {99, 100, 0},  {100, 100, 0}, {101, 100, 0},  {250, 5000, 0},
      {1234, 200, 3}, {1500, 1500, 1}, {59999, 60000, 7}, {250, 30, 2}, {77, 0, 1}, {33, 4, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.stopMs << " ms, hint " << c.waitHintMs << ", query " << c.queryCostMs);
    World w(false, 1000);
    w.Add(L"S1", Stopping(c.stopMs, c.waitHintMs));
    w.scm.SetCost(ScOp::Query, c.queryCostMs);
    EXPECT_EQ(w.Run(L"S1"), "");
    const std::uint64_t took = w.clock.TickCount64() - 1000;
    EXPECT_GE(took, c.stopMs);
    EXPECT_LE(took, c.stopMs + std::clamp<std::uint64_t>(c.waitHintMs, 10, 100) + c.queryCostMs);
    EXPECT_EQ(w.scm.State(L"S1"), kServiceRunning);
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
  Names stops;
  for (int i = 0; i < 100; ++i) {
    const std::wstring name = L"Dependent_With_A_Long_Service_Name_" + std::to_wstring(100 + i);
    w.Add({{name, L"S1"}});
    stops.push_back(L"stop " + name);
  }
  // Three answers of "more data" that name no size, then Windows' own, which needs over 8 KB.
  int refusals = 0;
  w.scm.SetFailureHook([&](ScOp op, const std::wstring& service) -> ErrorCode {
    return op == ScOp::EnumDependents && service == L"S1" && ++refusals <= 3 ? kErrorMoreData : kSuccess;
  });
  EXPECT_EQ(w.Run(L"S1"), "");
  EXPECT_EQ(Names(w.scm.Events().begin(), w.scm.Events().begin() + 100), stops);
}

}  // namespace
