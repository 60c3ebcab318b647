// Restart of a Windows service together with its running dependents.
#include "services/service_restart.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <vector>

#include "trace/ov_trace.h"

namespace ov::services {
namespace {

using platform::ErrorCode;
using platform::kSuccess;
using platform::ScHandle;
using trace::EndLine;
using trace::kReturnNone;
using trace::OvTraceFunction;

// The first buffer holds a handful of dependents; Windows says how much more it needs.
constexpr std::uint32_t kFirstEnumBufferBytes = 1024;
// The poll never sleeps longer than this, so a stop is noticed within it.
constexpr std::uint32_t kLongestPollMs = 100;
// The level of the one line that reports a failure.
constexpr std::int32_t kTimeOutTraceLevel = 6;

// The dialog shows these texts as they are, so the code is what support asks for.
[[noreturn]] void Raise(const char* prefix, ErrorCode code, const char* suffix = "") {
  throw std::runtime_error(std::string(prefix) + std::to_string(code) + suffix);
}

// SERVICE_RUNNING is the one documented state whose two low bits are both clear; pending
// and paused dependents are neither stopped nor restarted.
bool IsRunning(std::uint32_t state) { return (state & 3u) == 0; }

}  // namespace

void StartServiceHelper(platform::ServiceControl& scm, ScHandle service) {
  OvTraceFunction trace(L"StartServiceHelper", kReturnNone, nullptr, true);
  if (ErrorCode e = scm.Start(service); e != kSuccess) {
    Raise("Could not start service.  Error: ", e);
  }
}

void StopServiceHelper(platform::ServiceControl& scm, platform::Clock& clock, ScHandle service,
                       std::uint32_t stopTimeoutMs) {
  OvTraceFunction trace(L"StopServiceHelper", kReturnNone, nullptr, true);
  platform::ServiceStatus status;
  if (ErrorCode e = scm.Control(service, platform::kServiceControlStop, &status); e != kSuccess) {
    Raise("Could not stop the service.  Error: ", e);
  }
  if (stopTimeoutMs == 0) return;

  if (ErrorCode e = scm.QueryStatus(service, &status); e != kSuccess) {
    Raise("Could not query the status of the service.  Error: ", e);
  }
  const std::uint64_t startedAt = clock.TickCount64();
  trace << L"Waiting for service to stop..." << EndLine;
  while (status.currentState != platform::kServiceStopped) {
    if (clock.TickCount64() - startedAt > stopTimeoutMs) {
      trace.SetLevel(kTimeOutTraceLevel) << L"Timed out attempting to stop service." << EndLine;
      // No call failed; the code is whatever the thread last recorded, as the message has
      // always carried it.
      Raise("Timed out attempting to stop service.  Error: ", scm.LastError());
    }
    clock.Sleep(std::min(status.waitHint, kLongestPollMs));
    if (ErrorCode e = scm.QueryStatus(service, &status); e != kSuccess) {
      Raise("Could not query the status of the service.  Error: ", e);
    }
  }
  trace << L"Service stopped." << EndLine;
}

DependentServiceList GetRunningDependentServices(platform::ServiceControl& scm, ScHandle manager,
                                                 ScHandle service, std::uint32_t access) {
  OvTraceFunction trace(L"GetRunningDependentServices", kReturnNone, nullptr, true);
  DependentServiceList result;

  std::vector<platform::DependentService> entries;
  std::uint32_t bufferBytes = kFirstEnumBufferBytes;
  for (;;) {
    std::uint32_t bytesNeeded = 0;
    const ErrorCode e =
        scm.EnumDependents(service, platform::kServiceActive, bufferBytes, &entries, &bytesNeeded);
    if (e == kSuccess) break;
    if (e != platform::kErrorMoreData) return result;
    // Dependents can appear between two calls, so the answer may grow again; an answer that
    // does not grow at all would repeat for ever, so the buffer then doubles instead.
    if (bytesNeeded > bufferBytes) {
      bufferBytes = bytesNeeded;
    } else if (bufferBytes <= std::numeric_limits<std::uint32_t>::max() / 2) {
      bufferBytes *= 2;
    } else {
      return result;
    }
  }
  if (entries.empty()) return result;

  trace << static_cast<unsigned long>(entries.size()) << L" dependent services found" << EndLine;
  for (const platform::DependentService& entry : entries) {
    if (!IsRunning(entry.status.currentState)) continue;
    trace << entry.serviceName << L" is running dependent service." << EndLine;
    // Not tested: an empty handle stays in the list, and its stop reports why.
    ScHandle raw = platform::kNoScHandle;
    scm.OpenServiceByName(manager, entry.serviceName, access, &raw);
    ServiceHandle dependent(scm, raw);
    // A service met along two paths is taken once per path: each enumeration is followed
    // as Windows returns it.
    DependentServiceList itsOwn = GetRunningDependentServices(scm, manager, raw, access);
    result.Append(std::move(dependent));
    result.Append(std::move(itsOwn));
  }
  return result;
}

void RestartServiceAndRunningDependents(platform::ServiceControl& scm, platform::Clock& clock,
                                        ScHandle manager, ScHandle service,
                                        std::uint32_t stopTimeoutMs,
                                        OnServiceStarted onServiceStarted,
                                        std::uint32_t hookContext) {
  OvTraceFunction trace(L"RestartServiceAndRunningDependents(ByHandle)", kReturnNone,
                        nullptr, true);
  trace << L"Getting list of dependent services and stopping them first." << EndLine;
  const DependentServiceList dependents =
      GetRunningDependentServices(scm, manager, service, kRestartAccess);
  for (std::size_t i = dependents.Size(); i-- > 0;) {
    StopServiceHelper(scm, clock, dependents[i].Get(), stopTimeoutMs);
  }

  trace << L"Stopping the service." << EndLine;
  StopServiceHelper(scm, clock, service, stopTimeoutMs);
  trace << L"Starting the service." << EndLine;
  StartServiceHelper(scm, service);

  if (onServiceStarted != nullptr) {
    trace << L"Calling into OnServiceStarted hook." << EndLine;
    onServiceStarted(service, hookContext);
  }

  trace << L"Starting the previously running dependent services." << EndLine;
  for (const ServiceHandle& dependent : dependents) {
    StartServiceHelper(scm, dependent.Get());
  }
}

void RestartServiceAndRunningDependents(platform::ServiceControl& scm, platform::Clock& clock,
                                        const std::wstring& serviceName,
                                        std::uint32_t stopTimeoutMs,
                                        OnServiceStarted onServiceStarted,
                                        std::uint32_t hookContext) {
  OvTraceFunction trace(L"RestartServiceAndRunningDependents(ByName)", kReturnNone,
                        nullptr, true);
  ScHandle raw = platform::kNoScHandle;
  if (ErrorCode e = scm.OpenManager(platform::kServicesActiveDatabase, platform::kScManagerConnect, &raw);
      e != kSuccess) {
    Raise("Could not open service control manager.  Error: ", e);
  }
  // Declared first, so it is closed after the service handle on every path.
  const ServiceHandle manager(scm, raw);

  raw = platform::kNoScHandle;
  if (ErrorCode e = scm.OpenServiceByName(manager.Get(), serviceName, kRestartAccess, &raw);
      e != kSuccess) {
    Raise("Could not open service.  Error: ", e, "\n");
  }
  const ServiceHandle service(scm, raw);

  trace << L"Restarting service named [" << serviceName << L"] and its dependents." << EndLine;
  RestartServiceAndRunningDependents(scm, clock, manager.Get(), service.Get(), stopTimeoutMs,
                                     onServiceStarted, hookContext);
}

void RestartServiceAndRunningDependents(const platform::Platform& platform,
                                        const std::wstring& serviceName,
                                        std::uint32_t stopTimeoutMs,
                                        OnServiceStarted onServiceStarted,
                                        std::uint32_t hookContext) {
  if (platform.services == nullptr || platform.clock == nullptr) {
    throw std::logic_error("RestartServiceAndRunningDependents needs services and a clock");
  }
  RestartServiceAndRunningDependents(*platform.services, *platform.clock, serviceName,
                                     stopTimeoutMs, onServiceStarted, hookContext);
}

}  // namespace ov::services
