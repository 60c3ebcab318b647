// What must hold for the sim SCM and the real one alike: codes, states, wait hints, and the
// single-service restart. Natively it runs on the sim; under Wine on Windows' own calls
// with OvTestService.exe registered for real.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>

#include "services/service_restart.h"
#include "tests/services/service_world.h"

using namespace ov::platform;
using namespace ov::services;
using ov::test::ServiceWorld;

namespace {

using Names = std::vector<std::wstring>;

class ServiceContractTest : public ::testing::Test {
 protected:
  void SetUp() override {
    world = ov::test::MakeServiceWorld();
    ScHandle raw = kNoScHandle;
    ASSERT_EQ(Scm().OpenManager(kServicesActiveDatabase, kScManagerConnect, &raw), kSuccess);
    manager = ServiceHandle(Scm(), raw);
  }
  void TearDown() override {
    manager.Reset();
    world.reset();
  }

  ServiceControl& Scm() { return world->Scm(); }
  ServiceHandle Open(const std::wstring& name, std::uint32_t access, ErrorCode* error = nullptr) {
    ScHandle raw = kNoScHandle;
    const ErrorCode e = Scm().OpenServiceByName(manager.Get(), name, access, &raw);
    if (error != nullptr) *error = e;
    return ServiceHandle(Scm(), raw);
  }
  std::string Run(const std::wstring& name, std::uint32_t timeoutMs) {
    try {
      RestartServiceAndRunningDependents(Scm(), world->Clock(), name, timeoutMs);
      return "";
    } catch (const std::runtime_error& e) {
      return e.what();
    }
  }

  std::unique_ptr<ServiceWorld> world;
  ServiceHandle manager;
};

TEST_F(ServiceContractTest, OpeningReportsWindowsCodes) {
  ErrorCode e = kSuccess;
  EXPECT_TRUE(Open(L"OvNoSuchService", kServiceQueryStatus, &e).Empty());
  EXPECT_EQ(e, kErrorServiceDoesNotExist);
  EXPECT_TRUE(Open(L"", kServiceQueryStatus, &e).Empty());
  EXPECT_EQ(e, 123u);  // ERROR_INVALID_NAME

  ScHandle raw = kNoScHandle;
  EXPECT_EQ(Scm().OpenManager(L"NoSuchDatabase", kScManagerConnect, &raw), 123u);  // ERROR_INVALID_NAME
  EXPECT_EQ(raw, kNoScHandle);
}

TEST_F(ServiceContractTest, StopAndStartFollowTheServiceState) {
  world->Install(L"OvContractA", 0, true);
  ServiceHandle service = Open(L"OvContractA", kRestartAccess);
  ASSERT_FALSE(service.Empty());

  EXPECT_EQ(Scm().Start(service.Get()), kErrorServiceAlreadyRunning);
  ServiceStatus status;
  ASSERT_EQ(Scm().Control(service.Get(), kServiceControlStop, &status), kSuccess);
  ASSERT_TRUE(world->WaitForState(L"OvContractA", kServiceStopped, 10000));
  EXPECT_EQ(Scm().Control(service.Get(), kServiceControlStop, &status), kErrorServiceNotActive);
  ASSERT_EQ(Scm().Start(service.Get()), kSuccess);
  EXPECT_TRUE(world->WaitForState(L"OvContractA", kServiceRunning, 10000));
  ASSERT_EQ(Scm().QueryStatus(service.Get(), &status), kSuccess);
  EXPECT_EQ(status.currentState, kServiceRunning);
}

TEST_F(ServiceContractTest, RightsOfTheHandleAreEnforced) {
  world->Install(L"OvContractB", 0, true);
  ServiceHandle queryOnly = Open(L"OvContractB", kServiceQueryStatus);
  ASSERT_FALSE(queryOnly.Empty());
  ServiceStatus status;
  EXPECT_EQ(Scm().Control(queryOnly.Get(), kServiceControlStop, &status), kErrorAccessDenied);
  ServiceHandle stopOnly = Open(L"OvContractB", kServiceStop);
  EXPECT_EQ(Scm().QueryStatus(stopOnly.Get(), &status), kErrorAccessDenied);
  ASSERT_EQ(Scm().Control(stopOnly.Get(), kServiceControlStop, &status), kSuccess);
  ASSERT_TRUE(world->WaitForState(L"OvContractB", kServiceStopped, 10000));
  EXPECT_EQ(Scm().Start(queryOnly.Get()), kErrorAccessDenied);
}

TEST_F(ServiceContractTest, SlowStopIsPendingWithItsWaitHint) {
  world->Install(L"OvContractC", 1000, true);
  ServiceHandle service = Open(L"OvContractC", kRestartAccess);
  ServiceStatus status;
  ASSERT_EQ(Scm().Control(service.Get(), kServiceControlStop, &status), kSuccess);
  EXPECT_EQ(status.currentState, kServiceStopPending);
  EXPECT_EQ(status.waitHint, 1000u);
  ASSERT_EQ(Scm().QueryStatus(service.Get(), &status), kSuccess);
  EXPECT_EQ(status.currentState, kServiceStopPending);
  EXPECT_GT(status.waitHint, 0u);
  EXPECT_LE(status.waitHint, 1000u);
  EXPECT_EQ(Scm().Start(service.Get()), kErrorServiceAlreadyRunning);
  EXPECT_EQ(Scm().Control(service.Get(), kServiceControlStop, &status), kErrorServiceCannotAcceptCtrl);
  EXPECT_TRUE(world->WaitForState(L"OvContractC", kServiceStopped, 10000));
}

TEST_F(ServiceContractTest, ServiceWithoutDependentsEnumeratesNone) {
  world->Install(L"OvContractD", 0, true);
  ServiceHandle service = Open(L"OvContractD", kRestartAccess);
  std::vector<DependentService> entries(1);
  std::uint32_t needed = 0;
  EXPECT_EQ(Scm().EnumDependents(service.Get(), kServiceActive, 1024, &entries, &needed), kSuccess);
  EXPECT_TRUE(entries.empty());
  EXPECT_TRUE(GetRunningDependentServices(Scm(), manager.Get(), service.Get(), kRestartAccess).Empty());
}

TEST_F(ServiceContractTest, RestartStopsThenStartsTheService) {
  world->Install(L"OvRestartA", 0, true);
  EXPECT_EQ(Run(L"OvRestartA", 60000), "");
  EXPECT_TRUE(world->WaitForState(L"OvRestartA", kServiceRunning, 10000));
  EXPECT_EQ(world->Events(), (Names{L"stop OvRestartA", L"start OvRestartA"}));
}

TEST_F(ServiceContractTest, RestartWaitsForASlowStop) {
  constexpr std::uint32_t kStopMs = 1500;
  world->Install(L"OvRestartSlow", kStopMs, true);
  const std::uint64_t before = world->Clock().TickCount64();
  // Had the start come before the stop completed, it would have failed with 1056.
  EXPECT_EQ(Run(L"OvRestartSlow", 60000), "");
  const std::uint64_t took = world->Clock().TickCount64() - before;
  std::printf("[ measure  ] restart of a service whose stop takes %u ms: %llu ms (%s clock)\n",
              kStopMs, static_cast<unsigned long long>(took), world->IsReal() ? "real" : "sim");
  EXPECT_GE(took, kStopMs);
  EXPECT_TRUE(world->WaitForState(L"OvRestartSlow", kServiceRunning, 10000));
  EXPECT_EQ(world->Events(), (Names{L"stop OvRestartSlow", L"start OvRestartSlow"}));

  // The same two steps on their own: how much of the restart is the wait for the stop.
  ServiceHandle service = Open(L"OvRestartSlow", kRestartAccess);
  const std::uint64_t stopAt = world->Clock().TickCount64();
  StopServiceHelper(Scm(), world->Clock(), service.Get(), 60000);
  const std::uint64_t startAt = world->Clock().TickCount64();
  const std::uint64_t stoppedAt = world->LatestEventTick();
  StartServiceHelper(Scm(), service.Get());
  const std::uint64_t doneAt = world->Clock().TickCount64();
  std::printf("[ measure  ] the two steps again on their own: stop and wait %llu ms, start %llu ms\n",
              static_cast<unsigned long long>(startAt - stopAt),
              static_cast<unsigned long long>(doneAt - startAt));
  if (stoppedAt != 0) {
    std::printf("[ measure  ] the wait noticed the stop %lld ms after the service reported it\n",
                static_cast<long long>(startAt) - static_cast<long long>(stoppedAt));
  }
  EXPECT_GE(startAt - stopAt, kStopMs);
  EXPECT_TRUE(world->WaitForState(L"OvRestartSlow", kServiceRunning, 10000));
}

TEST_F(ServiceContractTest, StopThatTakesTooLongTimesOut) {
  world->Install(L"OvRestartHung", 3000, true);
  const std::uint64_t before = world->Clock().TickCount64();
  const std::string error = Run(L"OvRestartHung", 500);
  const std::uint64_t took = world->Clock().TickCount64() - before;
  EXPECT_TRUE(std::regex_match(error, std::regex("Timed out attempting to stop service\\.  Error: [0-9]+")))
      << error;
  std::printf("[ measure  ] time-out of 500 ms gave up after %llu ms: \"%s\"\n",
              static_cast<unsigned long long>(took), error.c_str());
  EXPECT_GT(took, 500u);
  // It was never asked to start again.
  EXPECT_TRUE(world->WaitForState(L"OvRestartHung", kServiceStopped, 10000));
  EXPECT_EQ(world->Events(), (Names{L"stop OvRestartHung"}));
}

TEST_F(ServiceContractTest, StoppedOrUnknownServicesAreReportedWithTheirCodes) {
  world->Install(L"OvRestartStopped", 0, false);
  EXPECT_EQ(Run(L"OvRestartStopped", 60000), "Could not stop the service.  Error: 1062");
  EXPECT_EQ(Run(L"OvNoSuchService", 60000), "Could not open service.  Error: 1060\n");
  EXPECT_TRUE(world->Events().empty());
}

}  // namespace
