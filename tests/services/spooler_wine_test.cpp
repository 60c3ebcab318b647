// The restart of Wine's own print spooler, through the real Service Control Manager.
#include <gtest/gtest.h>

#include <cstdio>

#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_services.h"
#include "services/service_restart.h"

using namespace ov::platform;
using namespace ov::services;

namespace {

std::uint32_t SpoolerState(ServiceControl& scm, ScHandle manager) {
  ScHandle raw = kNoScHandle;
  if (scm.OpenServiceByName(manager, L"Spooler", kServiceQueryStatus, &raw) != kSuccess) return 0;
  ServiceHandle spooler(scm, raw);
  ServiceStatus status;
  return scm.QueryStatus(spooler.Get(), &status) == kSuccess ? status.currentState : 0;
}

bool WaitForSpooler(ServiceControl& scm, Clock& clock, ScHandle manager, std::uint32_t state) {
  for (int i = 0; i < 1000; ++i) {
    if (SpoolerState(scm, manager) == state) return true;
    clock.Sleep(10);
  }
  return false;
}

TEST(SpoolerTest, RestartOfTheSpoolerLeavesItRunning) {
  win32::Win32ServiceControl scm;
  win32::Win32Clock clock;
  ScHandle raw = kNoScHandle;
  ASSERT_EQ(scm.OpenManager(kServicesActiveDatabase, kScManagerConnect, &raw), kSuccess);
  const ServiceHandle manager(scm, raw);

  // Wine installs it on demand and stopped; a restart needs it running.
  if (SpoolerState(scm, manager.Get()) == kServiceStopped) {
    ASSERT_EQ(scm.OpenServiceByName(manager.Get(), L"Spooler", kServiceStart, &raw), kSuccess);
    const ServiceHandle spooler(scm, raw);
    ASSERT_EQ(scm.Start(spooler.Get()), kSuccess);
  }
  ASSERT_TRUE(WaitForSpooler(scm, clock, manager.Get(), kServiceRunning));

  const std::uint64_t before = clock.TickCount64();
  RestartServiceAndRunningDependents(scm, clock, L"Spooler", 60000);
  std::printf("[ measure  ] restart of Spooler: %llu ms\n",
              static_cast<unsigned long long>(clock.TickCount64() - before));
  EXPECT_TRUE(WaitForSpooler(scm, clock, manager.Get(), kServiceRunning));
}

}  // namespace
