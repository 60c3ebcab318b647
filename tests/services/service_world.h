// A place where test services can be installed: the sim natively, the real SCM under Wine.
// The tests that must hold for both are written against it, so the sim cannot drift away
// from what the real Service Control Manager does.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/services.h"
#include "services/service_handle.h"

namespace ov::test {

class ServiceWorld {
 public:
  virtual ~ServiceWorld() = default;
  virtual platform::ServiceControl& Scm() = 0;
  virtual platform::Clock& Clock() = 0;
  // A service that honours a stop after stopDelayMs, reporting that as its wait hint;
  // running or stopped when this returns. Removed again when the world ends.
  virtual void Install(const std::wstring& name, std::uint32_t stopDelayMs, bool running) = 0;
  // "start NAME" / "stop NAME" for every start and stop since the last ClearEvents, in order.
  virtual std::vector<std::wstring> Events() = 0;
  virtual void ClearEvents() = 0;

  // False when the service has not reached the state within timeoutMs on the world's clock.
  bool WaitForState(const std::wstring& name, std::uint32_t state, std::uint32_t timeoutMs) {
    platform::ScHandle raw = platform::kNoScHandle;
    Scm().OpenManager(platform::kServicesActiveDatabase, platform::kScManagerConnect, &raw);
    const services::ServiceHandle manager(Scm(), std::exchange(raw, platform::kNoScHandle));
    Scm().OpenServiceByName(manager.Get(), name, platform::kServiceQueryStatus, &raw);
    const services::ServiceHandle service(Scm(), raw);
    for (const std::uint64_t end = Clock().TickCount64() + timeoutMs;; Clock().Sleep(10)) {
      platform::ServiceStatus status;
      if (Scm().QueryStatus(service.Get(), &status) == 0 && status.currentState == state) return true;
      if (Clock().TickCount64() >= end) return false;
    }
  }
};

std::unique_ptr<ServiceWorld> MakeServiceWorld();

}  // namespace ov::test
