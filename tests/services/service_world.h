// A place where test services can be installed: the sim natively, the real SCM under Wine.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/services.h"

namespace ov::test {

// The tests that must hold for the sim and for Windows alike are written against this, so
// the sim cannot drift away from what the real Service Control Manager does.
class ServiceWorld {
 public:
  virtual ~ServiceWorld() = default;

  virtual platform::ServiceControl& Scm() = 0;
  virtual platform::Clock& Clock() = 0;

  // A service that honours a stop after stopDelayMs, reporting that as its wait hint;
  // running or stopped when this returns. Removed again when the world ends.
  virtual void Install(const std::wstring& name, std::uint32_t stopDelayMs, bool running) = 0;
  // Waits (really, or on the sim's clock) until the service reaches the state; false when
  // it has not within timeoutMs.
  virtual bool WaitForState(const std::wstring& name, std::uint32_t state,
                            std::uint32_t timeoutMs) = 0;
  // "start NAME" / "stop NAME" for every start and stop since the last ClearEvents, in order.
  virtual std::vector<std::wstring> Events() = 0;
  virtual void ClearEvents() = 0;
  // The clock's time of the latest event, when the world knows it (the real service records
  // it); 0 otherwise.
  virtual std::uint64_t LatestEventTick() = 0;
  // Services that are not ours can still be left in the state a test needs.
  virtual bool IsReal() const = 0;
};

std::unique_ptr<ServiceWorld> MakeServiceWorld();

}  // namespace ov::test
