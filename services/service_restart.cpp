// Restart of a Windows service together with its running dependents.
#include "services/service_restart.h"

#include <algorithm>
#include <cwctype>
#include <limits>
#include <stdexcept>
#include <utility>
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
// The poll never sleeps longer than this, so a stop is noticed within it, nor shorter than
// the floor, so a service that reports no wait hint does not make the wait spin a core.
constexpr std::uint32_t kLongestPollMs = 100;
constexpr std::uint32_t kShortestPollMs = 10;
// The level of the one line that reports a failure.
constexpr std::int32_t kTimeOutTraceLevel = 6;

// The dialog shows these texts as they are, so the code is what support asks for.
[[noreturn]] void Raise(const char* prefix, ErrorCode code, const char* suffix = "") {
  throw ServiceRestartError(std::string(prefix) + std::to_string(code) + suffix, {});
}

// Service names compare without regard to case, as the SCM compares them.
std::wstring Folded(std::wstring name) {
  for (wchar_t& c : name) c = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c)));
  return name;
}

// Sends the stop and waits; *sent tells whether the service was asked to go down, for a
// wait that fails leaves it on its way there.
void StopAndWait(platform::ServiceControl& scm, platform::Clock& clock, ScHandle service,
                 std::uint32_t stopTimeoutMs, bool* sent) {
  OvTraceFunction trace(L"StopServiceHelper", kReturnNone, nullptr, true);
  platform::ServiceStatus status;
  const ErrorCode refused = scm.Control(service, platform::kServiceControlStop, &status);
  *sent = refused == kSuccess;
  if (refused == platform::kErrorServiceNotActive) return;
  if (refused != kSuccess) Raise("Could not stop the service.  Error: ", refused);
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
    clock.Sleep(std::clamp(status.waitHint, kShortestPollMs, kLongestPollMs));
    if (ErrorCode e = scm.QueryStatus(service, &status); e != kSuccess) {
      Raise("Could not query the status of the service.  Error: ", e);
    }
  }
  trace << L"Service stopped." << EndLine;
}

// Asked of the SCM rather than inferred from the start requests: Windows also starts a
// service on the way to one that needs it, and a stop that timed out may still be under way.
// A service whose state cannot be read is named, so that someone looks at it.
bool IsDown(platform::ServiceControl& scm, ScHandle service) {
  platform::ServiceStatus status;
  return scm.QueryStatus(service, &status) != kSuccess ||
         status.currentState == platform::kServiceStopped ||
         status.currentState == platform::kServiceStopPending;
}

void CollectDependents(platform::ServiceControl& scm, ScHandle manager, ScHandle service,
                       std::uint32_t access, std::vector<std::wstring>* seen,
                       DependentServiceList* result) {
  OvTraceFunction trace(L"GetRunningDependentServices", kReturnNone, nullptr, true);
  std::vector<platform::DependentService> entries;
  std::uint32_t bufferBytes = kFirstEnumBufferBytes;
  for (;;) {
    std::uint32_t bytesNeeded = 0;
    const ErrorCode e =
        scm.EnumDependents(service, platform::kServiceActive, bufferBytes, &entries, &bytesNeeded);
    if (e == kSuccess) break;
    if (e != platform::kErrorMoreData) return;
    // Dependents can appear between two calls, so the answer may grow again; an answer that
    // does not grow at all would repeat for ever, so the buffer then doubles instead.
    if (bytesNeeded > bufferBytes) {
      bufferBytes = bytesNeeded;
    } else if (bufferBytes <= std::numeric_limits<std::uint32_t>::max() / 2) {
      bufferBytes *= 2;
    } else {
      return;
    }
  }
  if (entries.empty()) return;

  trace << static_cast<unsigned long>(entries.size()) << L" dependent services found" << EndLine;
  // Windows lists indirect dependents too, and in stop order; an SCM that lists direct ones
  // only is followed down. Either way a service is taken the first time it is met, after
  // everything its own enumeration names, so the order rests on the dependencies themselves.
  for (const platform::DependentService& entry : entries) {
    const std::uint32_t state = entry.status.currentState;
    if (state == platform::kServiceStopped) continue;
    if (state != platform::kServiceRunning) result->MarkUnsettled();
    std::wstring key = Folded(entry.serviceName);
    if (std::find(seen->begin(), seen->end(), key) != seen->end()) continue;
    seen->push_back(std::move(key));
    if (state == platform::kServiceRunning) {
      trace << entry.serviceName << L" is running dependent service." << EndLine;
    }
    // Not tested: an empty handle stays in the list, and its stop reports why.
    ScHandle raw = platform::kNoScHandle;
    scm.OpenServiceByName(manager, entry.serviceName, access, &raw);
    ServiceHandle dependent(scm, raw);
    if (!dependent.Empty()) CollectDependents(scm, manager, raw, access, seen, result);
    if (state == platform::kServiceRunning) result->Append(entry.serviceName, std::move(dependent));
  }
}

}  // namespace

ServiceRestartError::ServiceRestartError(const std::string& firstFailure,
                                         std::vector<std::wstring> stillStopped)
    : std::runtime_error([&] {
        std::string text = firstFailure;
        for (std::size_t i = 0; i < stillStopped.size(); ++i) {
          text += i == 0 ? "\nStill stopped: " : ", ";
          // The message is 8-bit; service names are ASCII in practice, the data keeps them whole.
          for (wchar_t c : stillStopped[i]) text += c < 0x80 ? static_cast<char>(c) : '?';
        }
        return text;
      }()),
      m_firstFailure(firstFailure),
      m_stillStopped(std::move(stillStopped)) {}

void StartServiceHelper(platform::ServiceControl& scm, ScHandle service) {
  OvTraceFunction trace(L"StartServiceHelper", kReturnNone, nullptr, true);
  if (ErrorCode e = scm.Start(service); e != kSuccess && e != platform::kErrorServiceAlreadyRunning) {
    Raise("Could not start service.  Error: ", e);
  }
}

void StopServiceHelper(platform::ServiceControl& scm, platform::Clock& clock, ScHandle service,
                       std::uint32_t stopTimeoutMs) {
  bool sent = false;
  StopAndWait(scm, clock, service, stopTimeoutMs, &sent);
}

DependentServiceList GetRunningDependentServices(platform::ServiceControl& scm, ScHandle manager,
                                                 ScHandle service, std::uint32_t access) {
  DependentServiceList result;
  std::vector<std::wstring> seen;
  CollectDependents(scm, manager, service, access, &seen, &result);
  return result;
}

void RestartServiceAndRunningDependents(platform::ServiceControl& scm, platform::Clock& clock,
                                        ScHandle manager, ScHandle service,
                                        const std::wstring& serviceName,
                                        std::uint32_t stopTimeoutMs,
                                        OnServiceStarted onServiceStarted,
                                        std::uint32_t hookContext) {
  OvTraceFunction trace(L"RestartServiceAndRunningDependents(ByHandle)", kReturnNone,
                        nullptr, true);
  trace << L"Getting list of dependent services and stopping them first." << EndLine;
  const DependentServiceList dependents =
      GetRunningDependentServices(scm, manager, service, kRestartAccess);
  // Windows refuses the service's own stop while a dependent is pending or paused; finding
  // that out after the running ones went down would leave them down, so nothing is stopped.
  if (dependents.Unsettled()) {
    Raise("Could not stop the service.  Error: ", platform::kErrorDependentServicesRunning);
  }

  std::string failure;
  std::size_t stopped = 0;  // dependents sent down, a prefix of the list
  bool sent = false;        // by the stop under way
  bool serviceStopped = false;
  try {
    for (; stopped < dependents.Size(); ++stopped) {
      StopAndWait(scm, clock, dependents[stopped].Get(), stopTimeoutMs, &sent);
    }
    trace << L"Stopping the service." << EndLine;
    StopAndWait(scm, clock, service, stopTimeoutMs, &serviceStopped);
  } catch (const std::runtime_error& e) {
    failure = e.what();
    // A wait that failed leaves its service on the way down: it is started again as well.
    if (stopped < dependents.Size() && sent) ++stopped;
  }

  // From here on nothing ends early: whatever was stopped is started again, in start order.
  std::vector<std::pair<ScHandle, std::wstring>> started;
  auto startAgain = [&](ScHandle handle, const std::wstring& name) {
    started.emplace_back(handle, name);
    try {
      StartServiceHelper(scm, handle);
      return true;
    } catch (const std::runtime_error& e) {
      if (failure.empty()) failure = e.what();
      return false;
    }
  };
  if (failure.empty()) {
    trace << L"Starting the service." << EndLine;
    if (startAgain(service, serviceName) && onServiceStarted != nullptr) {
      trace << L"Calling into OnServiceStarted hook." << EndLine;
      onServiceStarted(service, hookContext);
    }
    trace << L"Starting the previously running dependent services." << EndLine;
  } else {
    trace << L"Starting again what this restart stopped." << EndLine;
    if (serviceStopped) startAgain(service, serviceName);
  }
  for (std::size_t i = stopped; i-- > 0;) startAgain(dependents[i].Get(), dependents.Name(i));
  if (failure.empty()) return;

  std::vector<std::wstring> stillStopped;
  for (const auto& [handle, name] : started) {
    if (IsDown(scm, handle)) stillStopped.push_back(name);
  }
  throw ServiceRestartError(failure, std::move(stillStopped));
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
  RestartServiceAndRunningDependents(scm, clock, manager.Get(), service.Get(), serviceName,
                                     stopTimeoutMs, onServiceStarted, hookContext);
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
