// Restart of a Windows service together with the services that depend on it and are running.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/platform.h"
#include "platform/services.h"
#include "services/service_handle.h"

namespace ov::services {

// What the restart asks of every handle it opens, the target's and each dependent's:
// SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS | SERVICE_START | SERVICE_STOP.
inline constexpr std::uint32_t kRestartAccess =
    platform::kServiceQueryStatus | platform::kServiceEnumerateDependents |
    platform::kServiceStart | platform::kServiceStop;

// Called once the restarted service has been started again, before its dependents are;
// context is passed through unchanged and the result is ignored.
using OnServiceStarted = std::uint32_t (*)(platform::ScHandle service, std::uint32_t context);

// Why a restart failed, as text and as data. The text is the message of the first failure
// and, when the restart could not bring everything back, a line "Still stopped: A, B" naming,
// in start order, every service it had stopped that is still not running.
class ServiceRestartError : public std::runtime_error {
 public:
  ServiceRestartError(const std::string& firstFailure, std::vector<std::wstring> stillStopped);
  const std::string& FirstFailure() const { return m_firstFailure; }
  const std::vector<std::wstring>& StillStopped() const { return m_stillStopped; }

 private:
  std::string m_firstFailure;
  std::vector<std::wstring> m_stillStopped;
};

// Stops the running dependents (each once, every one before the services it depends on),
// stops and starts the service, calls the hook and starts the dependents again in the
// opposite order. Each stop waits up to stopTimeoutMs for the stopped state; 0 sends the
// request and does not wait. A dependent that is pending or paused stops nothing at all.
// After a failure every service this call stopped is started again; the ServiceRestartError
// then names those still down. Every handle is closed.
void RestartServiceAndRunningDependents(platform::ServiceControl& scm, platform::Clock& clock,
                                        const std::wstring& serviceName,
                                        std::uint32_t stopTimeoutMs,
                                        OnServiceStarted onServiceStarted = nullptr,
                                        std::uint32_t hookContext = 0);
// The same with the concepts taken from the process's platform (services and clock).
void RestartServiceAndRunningDependents(const platform::Platform& platform,
                                        const std::wstring& serviceName,
                                        std::uint32_t stopTimeoutMs,
                                        OnServiceStarted onServiceStarted = nullptr,
                                        std::uint32_t hookContext = 0);
// The same on handles the caller opened and keeps; serviceName is what a failure calls it.
void RestartServiceAndRunningDependents(platform::ServiceControl& scm, platform::Clock& clock,
                                        platform::ScHandle manager, platform::ScHandle service,
                                        const std::wstring& serviceName,
                                        std::uint32_t stopTimeoutMs,
                                        OnServiceStarted onServiceStarted = nullptr,
                                        std::uint32_t hookContext = 0);

// The running dependents of service, direct and indirect, each once and in stop order
// whatever order and repetitions the enumerations return, opened with access. A failed
// enumeration adds nothing; a dependent that cannot be opened stays in the list with an
// empty handle. Raises nothing of its own.
DependentServiceList GetRunningDependentServices(platform::ServiceControl& scm,
                                                 platform::ScHandle manager,
                                                 platform::ScHandle service,
                                                 std::uint32_t access);

// Sends the stop request and, unless stopTimeoutMs is 0, waits for the stopped state,
// polling at the service's wait hint, but at least every 100 ms and at most every 10 ms.
// A service that is not active (1062) is already where the stop would take it.
void StopServiceHelper(platform::ServiceControl& scm, platform::Clock& clock,
                       platform::ScHandle service, std::uint32_t stopTimeoutMs);

// Sends the start request; does not wait for the running state. A service that is already
// running (1056) is where the start would take it.
void StartServiceHelper(platform::ServiceControl& scm, platform::ScHandle service);

}  // namespace ov::services
