// What must hold for the sim SCM and the real one alike: codes, states, wait hints, and the
// single-service restart. Under Wine with OvTestService.exe registered for real, and on
// Wine's own print spooler (Wine has no dependents: those are proven on the sim only).
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>

#include "services/service_restart.h"
#include "tests/platform/contract_platform.h"

using namespace ov::platform;
using namespace ov::services;

namespace {

using Names = std::vector<std::wstring>;

class ServiceContract : public ::testing::Test {
 protected:
  void SetUp() override {
    ScHandle raw = kNoScHandle;
    ASSERT_EQ(scm.OpenManager(kServicesActiveDatabase, kScManagerConnect, &raw), kSuccess);
    manager = ServiceHandle(scm, raw);
    contract::TakeServiceEvents();
  }
  ServiceHandle Open(const std::wstring& name, std::uint32_t access) {
    ScHandle raw = kNoScHandle;
    EXPECT_EQ(scm.OpenServiceByName(manager.Get(), name, access, &raw), kSuccess);
    return ServiceHandle(scm, raw);
  }
  // False when the service has not reached the state within 10 s on the implementation's clock.
  bool Reaches(const std::wstring& name, std::uint32_t state) {
    const ServiceHandle service = Open(name, kServiceQueryStatus);
    ServiceStatus status;
    for (const std::uint64_t end = clock.TickCount64() + 10000; clock.TickCount64() < end; clock.Sleep(10)) {
      if (scm.QueryStatus(service.Get(), &status) == kSuccess && status.currentState == state) return true;
    }
    return false;
  }
  std::string Restart(const std::wstring& name, std::uint32_t timeoutMs) {
    try {
      RestartServiceAndRunningDependents(scm, clock, name, timeoutMs);
      return "";
    } catch (const std::runtime_error& e) {
      return e.what();
    }
  }

  ServiceControl& scm = *contract::Os().services;
  Clock& clock = *contract::Os().clock;
  ServiceHandle manager;
};

TEST_F(ServiceContract, ScmAnswersWithWindowsCodesStatesAndWaitHints) {
  ScHandle raw = kNoScHandle;
  EXPECT_EQ(scm.OpenServiceByName(manager.Get(), L"", kServiceQueryStatus, &raw), 123u);  // ERROR_INVALID_NAME
  contract::InstallService(L"OvContract", 1000, true);
  const ServiceHandle service = Open(L"OvContract", kRestartAccess);
  const ServiceHandle queryOnly = Open(L"OvContract", kServiceQueryStatus);
  ServiceStatus status;
  EXPECT_EQ(scm.Control(queryOnly.Get(), kServiceControlStop, &status), kErrorAccessDenied);
  EXPECT_EQ(scm.Start(service.Get()), kErrorServiceAlreadyRunning);
  ASSERT_EQ(scm.Control(service.Get(), kServiceControlStop, &status), kSuccess);
  EXPECT_EQ(status.currentState, kServiceStopPending);
  EXPECT_EQ(status.waitHint, 1000u);
  EXPECT_EQ(scm.Start(service.Get()), kErrorServiceAlreadyRunning);
  EXPECT_EQ(scm.Control(service.Get(), kServiceControlStop, &status), kErrorServiceCannotAcceptCtrl);
  ASSERT_TRUE(Reaches(L"OvContract", kServiceStopped));
  EXPECT_EQ(scm.Control(service.Get(), kServiceControlStop, &status), kErrorServiceNotActive);
  EXPECT_EQ(scm.Start(queryOnly.Get()), kErrorAccessDenied);
  ASSERT_EQ(scm.Start(service.Get()), kSuccess);
  EXPECT_TRUE(Reaches(L"OvContract", kServiceRunning));
}

// A slow stop is waited for (a start before it ended would answer 1056); a stopped service is
// where a stop would take it (1062) and is started; a hung one is named as still down.
TEST_F(ServiceContract, RestartWaitsForStopsAndReportsWhatItLeft) {
  contract::InstallService(L"OvRestartSlow", 1500, true);
  contract::InstallService(L"OvRestartStopped", 0, false);
  contract::InstallService(L"OvRestartHung", 3000, true);
  std::uint64_t before = clock.TickCount64();
  EXPECT_EQ(Restart(L"OvRestartSlow", 60000), "");
  const std::uint64_t took = clock.TickCount64() - before;
  std::printf("[ measure  ] restart of a service whose stop takes 1500 ms: %llu ms\n", static_cast<unsigned long long>(took));
  EXPECT_GE(took, 1500u);
  EXPECT_EQ(Restart(L"OvRestartStopped", 60000), "");
  before = clock.TickCount64();
  const std::string hung = Restart(L"OvRestartHung", 500);
  EXPECT_GT(clock.TickCount64() - before, 500u);
  EXPECT_TRUE(std::regex_match(hung, std::regex("Timed out attempting to stop service\\.  Error: [0-9]+\n"
                                                "Still stopped: OvRestartHung"))) << hung;
  EXPECT_EQ(Restart(L"OvNoSuchService", 60000), "Could not open service.  Error: 1060\n");
  for (const wchar_t* name : {L"OvRestartSlow", L"OvRestartStopped"}) EXPECT_TRUE(Reaches(name, kServiceRunning));
  EXPECT_TRUE(Reaches(L"OvRestartHung", kServiceStopped));
  EXPECT_EQ(contract::TakeServiceEvents(), (Names{L"stop OvRestartSlow", L"start OvRestartSlow",
                                                  L"start OvRestartStopped", L"stop OvRestartHung"}));
}

}  // namespace
