// What must hold for the sim SCM and the real one alike: codes, states, wait hints, and the
// single-service restart. Natively it runs on the sim; under Wine on Windows' own calls
// with OvTestService.exe registered for real, and on Wine's own print spooler.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>

#include "services/service_restart.h"
#include "tests/services/service_world.h"

using namespace ov::platform;
using namespace ov::services;

namespace {

using Names = std::vector<std::wstring>;

class ServiceContractTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ScHandle raw = kNoScHandle;
    ASSERT_EQ(Scm().OpenManager(kServicesActiveDatabase, kScManagerConnect, &raw), kSuccess);
    manager = ServiceHandle(Scm(), raw);
  }

  ServiceControl& Scm() { return world->Scm(); }
  ServiceHandle Open(const std::wstring& name, std::uint32_t access) {
    ScHandle raw = kNoScHandle;
    EXPECT_EQ(Scm().OpenServiceByName(manager.Get(), name, access, &raw), kSuccess);
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

  std::unique_ptr<ov::test::ServiceWorld> world = ov::test::MakeServiceWorld();
  ServiceHandle manager;  // closed before the world ends
};

TEST_F(ServiceContractTest, ScmAnswersWithWindowsCodesStatesAndWaitHints) {
  ScHandle raw = kNoScHandle;
  EXPECT_EQ(Scm().OpenServiceByName(manager.Get(), L"", kServiceQueryStatus, &raw), 123u);  // ERROR_INVALID_NAME
  world->Install(L"OvContract", 1000, true);
  const ServiceHandle service = Open(L"OvContract", kRestartAccess);
  const ServiceHandle queryOnly = Open(L"OvContract", kServiceQueryStatus);
  ServiceStatus status;
  EXPECT_EQ(Scm().Control(queryOnly.Get(), kServiceControlStop, &status), kErrorAccessDenied);
  EXPECT_EQ(Scm().Start(service.Get()), kErrorServiceAlreadyRunning);
  ASSERT_EQ(Scm().Control(service.Get(), kServiceControlStop, &status), kSuccess);
  EXPECT_EQ(status.currentState, kServiceStopPending);
  EXPECT_EQ(status.waitHint, 1000u);
  ASSERT_EQ(Scm().QueryStatus(service.Get(), &status), kSuccess);
  EXPECT_EQ(status.currentState, kServiceStopPending);
  EXPECT_EQ(Scm().Start(service.Get()), kErrorServiceAlreadyRunning);
  EXPECT_EQ(Scm().Control(service.Get(), kServiceControlStop, &status), kErrorServiceCannotAcceptCtrl);
  ASSERT_TRUE(world->WaitForState(L"OvContract", kServiceStopped, 10000));
  EXPECT_EQ(Scm().Control(service.Get(), kServiceControlStop, &status), kErrorServiceNotActive);
  EXPECT_EQ(Scm().Start(queryOnly.Get()), kErrorAccessDenied);
  ASSERT_EQ(Scm().Start(service.Get()), kSuccess);
  EXPECT_TRUE(world->WaitForState(L"OvContract", kServiceRunning, 10000));
}

TEST_F(ServiceContractTest, RestartWaitsForASlowStopBeforeTheStart) {
  constexpr std::uint32_t kStopMs = 1500;
  world->Install(L"OvRestartSlow", kStopMs, true);
  const ServiceHandle service = Open(L"OvRestartSlow", kRestartAccess);
  EXPECT_TRUE(GetRunningDependentServices(Scm(), manager.Get(), service.Get(), kRestartAccess).Empty());
  const std::uint64_t before = world->Clock().TickCount64();
  // Had the start come before the stop completed, it would have failed with 1056.
  EXPECT_EQ(Run(L"OvRestartSlow", 60000), "");
  const std::uint64_t took = world->Clock().TickCount64() - before;
  std::printf("[ measure  ] restart of a service whose stop takes %u ms: %llu ms\n", kStopMs,
              static_cast<unsigned long long>(took));
  EXPECT_GE(took, kStopMs);
  EXPECT_TRUE(world->WaitForState(L"OvRestartSlow", kServiceRunning, 10000));
  EXPECT_EQ(world->Events(), (Names{L"stop OvRestartSlow", L"start OvRestartSlow"}));
}

TEST_F(ServiceContractTest, RestartsOfHungStoppedAndUnknownServicesReportWhatTheyLeft) {
  world->Install(L"OvRestartHung", 3000, true);
  world->Install(L"OvRestartStopped", 0, false);
  const std::uint64_t before = world->Clock().TickCount64();
  const std::string error = Run(L"OvRestartHung", 500);
  EXPECT_GT(world->Clock().TickCount64() - before, 500u);
  // Asked to start again while still stopping, it answers 1056 and is named as down.
  EXPECT_TRUE(std::regex_match(
      error, std::regex("Timed out attempting to stop service\\.  Error: [0-9]+\nStill stopped: OvRestartHung")))
      << error;
  EXPECT_TRUE(world->WaitForState(L"OvRestartHung", kServiceStopped, 10000));
  // Stopping a stopped service answers 1062: it is already where the stop would take it.
  EXPECT_EQ(Run(L"OvRestartStopped", 60000), "");
  EXPECT_EQ(Run(L"OvNoSuchService", 60000), "Could not open service.  Error: 1060\n");
  EXPECT_TRUE(world->WaitForState(L"OvRestartStopped", kServiceRunning, 10000));
  EXPECT_EQ(world->Events(), (Names{L"stop OvRestartHung", L"start OvRestartStopped"}));
}

#ifdef _WIN32
TEST_F(ServiceContractTest, RestartOfWinesOwnSpoolerLeavesItRunning) {
  const ServiceHandle spooler = Open(L"Spooler", kServiceStart);
  Scm().Start(spooler.Get());  // Wine installs it on demand and stopped
  ASSERT_TRUE(world->WaitForState(L"Spooler", kServiceRunning, 10000));
  EXPECT_EQ(Run(L"Spooler", 60000), "");
  EXPECT_TRUE(world->WaitForState(L"Spooler", kServiceRunning, 10000));
}
#endif

}  // namespace
