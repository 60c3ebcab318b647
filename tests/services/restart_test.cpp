// The restart against the sim SCM: dependents, order, waits, failures and what they leave.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "services/service_restart.h"
#include "tests/support/sim_machine.h"

using namespace ov::platform;
using namespace ov::platform::sim;
using namespace ov::services;

namespace {

using Names = std::vector<std::wstring>;
using Config = SimServiceControl::ServiceConfig;
using Edges = std::vector<std::pair<std::wstring, std::wstring>>;  // dependent, dependency
using Failures = std::map<std::pair<ScOp, std::wstring>, ErrorCode>;

Config Stopping(std::uint64_t latencyMs, std::uint32_t waitHintMs, bool hangs = false) {
  Config config;
  config.stopLatencyMs = latencyMs;
  config.stopWaitHintMs = waitHintMs;
  config.hangsOnStop = hangs;
  return config;
}

// A sim machine whose SCM answers enumerations as Windows does, or with direct dependents only.
struct Machine : ov::test::SimMachine {
  explicit Machine(bool direct = false) { services.SetDirectEnumeration(direct); }
  void Add(const std::wstring& name, Config config = {}) {
    services.AddService(name, config);
    names.insert(name);
  }
  void Add(const Edges& edges) {
    for (const auto& [dependent, dependency] : edges) {
      for (const std::wstring& name : {dependency, dependent})
        if (!names.contains(name)) Add(name);
      services.AddDependency(dependent, dependency);
    }
  }
  // Every call of the operation on the service fails with the code, without effect.
  void Fail(Failures failures) {
    services.SetFailureHook([failures](ScOp op, const std::wstring& name) {
      const auto it = failures.find({op, name});
      return it == failures.end() ? kSuccess : it->second;
    });
  }
  // The exception text, or "" when the restart succeeded. Either way every handle is closed.
  std::string Run(const std::wstring& name, std::uint32_t timeoutMs = 60000, OnServiceStarted hook = nullptr) {
    std::string error;
    try {
      RestartServiceAndRunningDependents(services, clock, name, timeoutMs, hook, 7);
    } catch (const ServiceRestartError& e) {
      error = e.what();
    }
    EXPECT_EQ(services.OpenHandleCount(), 0u);
    return error;
  }
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
      Machine m(direct);
      m.Add(L"S1");
      m.Add(c.edges);
      if (!c.enumeration.empty()) m.services.SetEnumeration(L"S1", c.enumeration);
      EXPECT_EQ(m.Run(L"S1"), "");
      EXPECT_EQ(m.services.Events(), c.events);
      // A second request would be refused unseen (1062, 1056), so the requests are counted.
      EXPECT_EQ(m.services.Calls(ScOp::Control), m.names.size());
      EXPECT_EQ(m.services.Calls(ScOp::Start), m.names.size());
      for (const std::wstring& name : m.names) EXPECT_EQ(m.services.State(name), kServiceRunning);
    }
  }
}

TEST(RestartTest, PendingOrPausedDependentStopsNothing) {
  for (const bool direct : {false, true}) {
    for (std::uint32_t state : {kServiceStartPending, kServiceStopPending, kServiceContinuePending,
                                kServicePausePending, kServicePaused}) {
      Machine m(direct);
      m.Add({{L"Running", L"S1"}, {L"Unsettled", L"S1"}});
      m.services.SetState(L"Unsettled", state);
      EXPECT_EQ(m.Run(L"S1"), "Could not stop the service.  Error: 1051");
      EXPECT_EQ(m.services.Events(), Names{});
      EXPECT_EQ(m.services.State(L"Unsettled"), state);
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
       "Timed out attempting to stop service.  Error: 997\nStill stopped: Slow", {L"stop Slow"}, 299},
      // No call failed: the code is the thread's last error.
      {"stop that never ends", {}, L"Hung", "Timed out attempting to stop service.  Error: 997\nStill stopped: Hung",
       {L"stop Hung"}},
      {"time-out 0 sends the stop and does not wait", {}, L"Slow", "", {L"stop Slow"}, 0},
      // A failed enumeration is no error: the list is empty, and Windows then refuses the
      // stop of a service whose dependents still run.
      {"enumeration fails", {{{ScOp::EnumDependents, L"S1"}, 5}}, L"S1",
       "Could not stop the service.  Error: 1051", {}},
  };
  for (const bool direct : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << c.label << (direct ? ", direct" : ", Windows"));
      Machine m(direct);
      m.Add({{L"A", L"S1"}, {L"B", L"S1"}, {L"C", L"S1"}});
      m.Add(L"Slow", Stopping(301, 1000));
      m.Add(L"Hung", Stopping(0, 5000, true));
      Config stopped;
      stopped.state = kServiceStopped;
      m.Add(L"Stopped", stopped);
      m.services.SetLastErrorForTest(997);
      m.Fail(c.failures);
      EXPECT_EQ(m.Run(c.target, c.timeoutMs), c.error);
      EXPECT_EQ(m.services.Events(), c.events);
    }
  }
}

// The poll sleeps the wait hint, but at least 10 and at most 100 ms, and the restart returns
// within the stop time plus one poll and one query.
TEST(RestartTest, StopWaitPollsAtTheWaitHintWithinItsBounds) {
  struct Case {
    std::uint64_t stopMs;
    std::uint32_t waitHintMs;
    std::uint64_t queryCostMs;  // so that a wait that spins still ends
  };
  const std::vector<Case> cases = {{1, 100, 0},    {99, 100, 0},    {100, 100, 0},     {101, 100, 0},
                                   {250, 5000, 0}, {1234, 200, 3},  {1500, 1500, 1},   {59999, 60000, 7},
                                   {250, 30, 2},   {77, 0, 1},      {1000, 0, 1},      {33, 4, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.stopMs << " ms, hint " << c.waitHintMs << ", query " << c.queryCostMs);
    Machine m;
    m.clock.Advance(1000);
    m.Add(L"S1", Stopping(c.stopMs, c.waitHintMs));
    m.services.SetCost(ScOp::Query, c.queryCostMs);
    EXPECT_EQ(m.Run(L"S1"), "");
    const std::uint64_t took = m.clock.TickCount64() - 1000, poll = std::clamp<std::uint32_t>(c.waitHintMs, 10, 100);
    EXPECT_GE(took, c.stopMs);
    EXPECT_LE(took, c.stopMs + poll + c.queryCostMs);
    EXPECT_EQ(m.clock.Sleeps(), std::vector<std::uint32_t>(m.clock.Sleeps().size(), poll));
    EXPECT_EQ(m.services.State(L"S1"), kServiceRunning);
  }
}

Machine* g_hooked = nullptr;
Names g_seenByHook;

TEST(RestartTest, HookRunsWithTheServiceAndContextAfterItsStartBeforeTheDependents) {
  Machine m;
  m.Add({{L"S2", L"S1"}});
  g_hooked = &m;
  EXPECT_EQ(m.Run(L"S1", 60000, [](ScHandle service, std::uint32_t context) -> std::uint32_t {
              g_seenByHook = g_hooked->services.Events();
              g_seenByHook.push_back(g_hooked->services.NameOf(service) + L" " + std::to_wstring(context));
              return 12345;  // ignored
            }),
            "");
  EXPECT_EQ(g_seenByHook, (Names{L"stop S2", L"stop S1", L"start S1", L"S1 7"}));
  EXPECT_EQ(m.services.Events().back(), L"start S2");
}

TEST(RestartTest, EnumerationBufferGrowsUntilTheAnswerFits) {
  Machine m;
  Names stops;
  for (int i = 0; i < 100; ++i) {
    const std::wstring name = L"Dependent_With_A_Long_Service_Name_" + std::to_wstring(100 + i);
    m.Add({{name, L"S1"}});
    stops.push_back(L"stop " + name);
  }
  // Three answers of "more data" that name no size, then Windows' own, which needs over 8 KB.
  int refusals = 0;
  m.services.SetFailureHook([&](ScOp op, const std::wstring& service) -> ErrorCode {
    return op == ScOp::EnumDependents && service == L"S1" && ++refusals <= 3 ? kErrorMoreData : kSuccess;
  });
  EXPECT_EQ(m.Run(L"S1"), "");
  EXPECT_EQ(Names(m.services.Events().begin(), m.services.Events().begin() + 100), stops);
}

}  // namespace
