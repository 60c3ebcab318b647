// Restart of a Windows service together with the services that depend on it and are running.
#pragma once
#include <cstdint>
#include <string>

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

// Stops the running dependents (deepest first), stops and starts the service, calls the hook
// and starts the dependents again. Each stop waits up to stopTimeoutMs for the stopped state;
// 0 sends the request and does not wait. Every failure raises std::runtime_error whose text
// ends in the Windows error code; nothing is rolled back, and every handle is closed.
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
// The same on handles the caller opened and keeps.
void RestartServiceAndRunningDependents(platform::ServiceControl& scm, platform::Clock& clock,
                                        platform::ScHandle manager, platform::ScHandle service,
                                        std::uint32_t stopTimeoutMs,
                                        OnServiceStarted onServiceStarted = nullptr,
                                        std::uint32_t hookContext = 0);

// The running dependents of service, each followed by its own, opened with access. A failed
// enumeration gives an empty list; a dependent that cannot be opened stays in the list with
// an empty handle. Raises nothing of its own.
DependentServiceList GetRunningDependentServices(platform::ServiceControl& scm,
                                                 platform::ScHandle manager,
                                                 platform::ScHandle service,
                                                 std::uint32_t access);

// Sends the stop request and, unless stopTimeoutMs is 0, waits for the stopped state,
// polling at the service's wait hint but at least every 100 ms.
void StopServiceHelper(platform::ServiceControl& scm, platform::Clock& clock,
                       platform::ScHandle service, std::uint32_t stopTimeoutMs);

// Sends the start request; does not wait for the running state.
void StartServiceHelper(platform::ServiceControl& scm, platform::ScHandle service);

}  // namespace ov::services
