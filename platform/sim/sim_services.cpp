// The in-memory Service Control Manager.
#include "platform/sim/sim_services.h"

#include <algorithm>
#include <cwctype>
#include <limits>
#include <stdexcept>

namespace ov::platform::sim {
namespace {

constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();
constexpr std::uint32_t kServiceInterrogate = 0x0080;
constexpr std::uint32_t kServiceWin32OwnProcess = 0x10;
constexpr std::uint32_t kAcceptStop = 0x1;
constexpr std::uint32_t kAcceptPauseContinue = 0x2;

bool Stopped(std::uint32_t state) { return state == kServiceStopped; }

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

}  // namespace

SimServiceControl::SimServiceControl(SimClock& clock) : m_clock(clock) {}
SimServiceControl::~SimServiceControl() = default;

std::wstring SimServiceControl::Fold(const std::wstring& name) {
  std::wstring folded = name;
  for (wchar_t& c : folded) c = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c)));
  return folded;
}

SimServiceControl::Service* SimServiceControl::Find(const std::wstring& name) {
  auto it = m_services.find(Fold(name));
  return it == m_services.end() ? nullptr : &it->second;
}

const SimServiceControl::Service* SimServiceControl::Find(const std::wstring& name) const {
  auto it = m_services.find(Fold(name));
  return it == m_services.end() ? nullptr : &it->second;
}

// Set-up mistakes are the test's own fault, so they throw rather than return a code.
SimServiceControl::Service& SimServiceControl::Get(const std::wstring& name) {
  Service* service = Find(name);
  if (service == nullptr) throw std::invalid_argument("no such simulated service: " + Narrow(name));
  return *service;
}

void SimServiceControl::AddService(const std::wstring& name, ServiceConfig config) {
  if (name.empty() || Find(name) != nullptr) {
    throw std::invalid_argument("simulated service name empty or taken: " + Narrow(name));
  }
  Service service;
  service.name = name;
  service.state = config.state;
  service.config = std::move(config);
  if (service.config.displayName.empty()) service.config.displayName = name;
  service.dueAt = kNever;
  if (!Stopped(service.state)) service.processId = m_nextProcessId++;
  m_services.emplace(Fold(name), std::move(service));
}

bool SimServiceControl::DependsOn(const std::wstring& dependent,
                                  const std::wstring& dependency) const {
  if (dependent == dependency) return true;
  const Service* service = Find(dependent);
  if (service == nullptr) return false;
  return std::any_of(service->dependencies.begin(), service->dependencies.end(),
                     [&](const std::wstring& d) { return DependsOn(d, dependency); });
}

void SimServiceControl::AddDependency(const std::wstring& dependent,
                                      const std::wstring& dependency) {
  Service& upper = Get(dependent);
  Service& lower = Get(dependency);
  const std::wstring upperKey = Fold(dependent);
  const std::wstring lowerKey = Fold(dependency);
  if (DependsOn(lowerKey, upperKey)) {
    throw std::invalid_argument("dependency cycle: " + Narrow(dependent) + " <- " + Narrow(dependency));
  }
  upper.dependencies.push_back(lowerKey);
  lower.dependents.push_back(upperKey);
}

void SimServiceControl::SetEnumeration(const std::wstring& service,
                                       std::vector<std::wstring> dependents) {
  Service& target = Get(service);
  for (std::wstring& name : dependents) {
    Get(name);
    name = Fold(name);
  }
  target.enumeration = std::move(dependents);
}

void SimServiceControl::SetState(const std::wstring& name, std::uint32_t state) {
  Service& service = Get(name);
  service.state = state;
  service.dueAt = kNever;
  service.processId = Stopped(state) ? 0 : (service.processId != 0 ? service.processId : m_nextProcessId++);
}

void SimServiceControl::SetCost(ScOp op, std::uint64_t milliseconds) { m_costs[op] = milliseconds; }

std::uint32_t SimServiceControl::State(const std::wstring& name) {
  Settle();
  return Get(name).state;
}

std::wstring SimServiceControl::NameOf(ScHandle handle) const {
  auto it = m_handles.find(handle);
  if (it == m_handles.end() || it->second.manager) return {};
  const Service* service = Find(it->second.service);
  return service == nullptr ? std::wstring() : service->name;
}

std::size_t SimServiceControl::Calls(ScOp op) const {
  auto it = m_calls.find(op);
  return it == m_calls.end() ? 0 : it->second;
}

// Pending states end when their time has come; a hung stop never does.
void SimServiceControl::Settle() {
  const std::uint64_t now = m_clock.TickCount64();
  for (auto& [key, service] : m_services) {
    if (service.dueAt == kNever || service.dueAt > now) continue;
    if (service.state == kServiceStopPending) {
      service.state = kServiceStopped;
      service.processId = 0;
    } else if (service.state == kServiceStartPending) {
      service.state = kServiceRunning;
    }
    service.checkPoint = 0;
    service.dueAt = kNever;
  }
}

ErrorCode SimServiceControl::Begin(ScOp op, const std::wstring& service) {
  ++m_calls[op];
  auto cost = m_costs.find(op);
  if (cost != m_costs.end()) m_clock.Advance(cost->second);
  Settle();
  if (m_hook) {
    const ErrorCode injected = m_hook(op, service);
    Settle();
    if (injected != kSuccess) return Fail(injected);
  }
  return kSuccess;
}

ErrorCode SimServiceControl::Fail(ErrorCode code) {
  m_lastError = code;
  return code;
}

ErrorCode SimServiceControl::ServiceOf(ScHandle handle, std::uint32_t right, Service** service) {
  auto it = m_handles.find(handle);
  if (it == m_handles.end() || it->second.manager) return Fail(kErrorInvalidHandle);
  if ((it->second.access & right) != right) return Fail(kErrorAccessDenied);
  *service = Find(it->second.service);
  // Services are never removed from the sim, so a known handle always finds its service.
  return *service == nullptr ? Fail(kErrorInvalidHandle) : kSuccess;
}

ServiceStatus SimServiceControl::StatusOf(const Service& service) const {
  ServiceStatus status;
  status.serviceType = kServiceWin32OwnProcess;
  status.currentState = service.state;
  if (service.state == kServiceRunning || service.state == kServicePaused) {
    status.controlsAccepted = kAcceptStop | kAcceptPauseContinue;
  }
  status.checkPoint = service.checkPoint;
  if (service.state == kServiceStopPending) status.waitHint = service.config.stopWaitHintMs;
  if (service.state == kServiceStartPending) status.waitHint = service.config.startWaitHintMs;
  status.processId = service.processId;
  return status;
}

ErrorCode SimServiceControl::OpenManager(const std::wstring& database, std::uint32_t,
                                         ScHandle* result) {
  *result = kNoScHandle;
  if (ErrorCode e = Begin(ScOp::OpenManager, {}); e != kSuccess) return e;
  // The failed-services database is documented but never exists; any other name is not one.
  if (!database.empty() && Fold(database) != Fold(kServicesActiveDatabase)) {
    return Fail(Fold(database) == L"servicesfailed" ? kErrorDatabaseDoesNotExist : kErrorInvalidName);
  }
  const ScHandle handle = m_nextHandle;
  m_nextHandle += 4;
  m_handles[handle] = Handle{true, {}, kScManagerConnect};
  *result = handle;
  return kSuccess;
}

ErrorCode SimServiceControl::OpenServiceByName(ScHandle manager, const std::wstring& name,
                                               std::uint32_t access, ScHandle* result) {
  *result = kNoScHandle;
  const Service* known = Find(name);
  if (ErrorCode e = Begin(ScOp::OpenService, known != nullptr ? known->name : name); e != kSuccess) {
    return e;
  }
  auto it = m_handles.find(manager);
  if (it == m_handles.end() || !it->second.manager) return Fail(kErrorInvalidHandle);
  if (name.empty()) return Fail(kErrorInvalidName);
  const Service* service = Find(name);
  if (service == nullptr) return Fail(kErrorServiceDoesNotExist);
  if ((access & ~service->config.grantedAccess) != 0) return Fail(kErrorAccessDenied);
  const ScHandle handle = m_nextHandle;
  m_nextHandle += 4;
  m_handles[handle] = Handle{false, Fold(name), access};
  *result = handle;
  return kSuccess;
}

// Windows lists every service that needs this one, directly or through others, each once,
// in reverse start order: a service comes after everything that depends on it.
void SimServiceControl::WindowsOrder(const Service& service, std::vector<std::wstring>* order,
                                     std::vector<std::wstring>* seen) const {
  for (const std::wstring& key : service.dependents) {
    if (std::find(seen->begin(), seen->end(), key) != seen->end()) continue;
    seen->push_back(key);
    WindowsOrder(*Find(key), order, seen);
    order->push_back(key);
  }
}

ErrorCode SimServiceControl::EnumDependents(ScHandle handle, std::uint32_t stateFilter,
                                            std::uint32_t bufferBytes,
                                            std::vector<DependentService>* entries,
                                            std::uint32_t* bytesNeeded) {
  entries->clear();
  *bytesNeeded = 0;
  m_enumBufferSizes.push_back(bufferBytes);
  if (ErrorCode e = Begin(ScOp::EnumDependents, NameOf(handle)); e != kSuccess) return e;
  Service* service = nullptr;
  if (ErrorCode e = ServiceOf(handle, kServiceEnumerateDependents, &service); e != kSuccess) return e;
  if (stateFilter < kServiceActive || stateFilter > kServiceStateAll) {
    return Fail(kErrorInvalidParameter);
  }

  std::vector<std::wstring> order;
  if (service->enumeration) {
    order = *service->enumeration;
  } else if (m_directEnumeration) {
    order = service->dependents;
  } else {
    std::vector<std::wstring> seen;
    WindowsOrder(*service, &order, &seen);
  }

  std::vector<DependentService> found;
  std::uint64_t needed = 0;
  for (const std::wstring& key : order) {
    const Service& dependent = *Find(key);
    const bool stopped = Stopped(dependent.state);
    if (stopped ? (stateFilter & kServiceInactive) == 0 : (stateFilter & kServiceActive) == 0) {
      continue;
    }
    DependentService entry;
    entry.serviceName = dependent.name;
    entry.displayName = dependent.config.displayName;
    entry.status = StatusOf(dependent);
    entry.status.processId = 0;
    entry.status.serviceFlags = 0;
    needed += kEnumEntryBytes + 2 * (entry.serviceName.size() + 1) + 2 * (entry.displayName.size() + 1);
    found.push_back(std::move(entry));
  }
  if (needed > bufferBytes) {
    *bytesNeeded = static_cast<std::uint32_t>(needed);
    return Fail(kErrorMoreData);
  }
  *entries = std::move(found);
  return kSuccess;
}

ErrorCode SimServiceControl::Control(ScHandle handle, std::uint32_t control, ServiceStatus* status) {
  if (ErrorCode e = Begin(ScOp::Control, NameOf(handle)); e != kSuccess) return e;
  std::uint32_t right = kServiceStop;
  if (control == kServiceControlPause || control == kServiceControlContinue) right = kServicePauseContinue;
  if (control == kServiceControlInterrogate) right = kServiceInterrogate;
  Service* service = nullptr;
  if (ErrorCode e = ServiceOf(handle, right, &service); e != kSuccess) return e;
  const std::uint32_t state = service->state;
  const bool pending = state == kServiceStartPending || state == kServiceStopPending;

  switch (control) {
    case kServiceControlStop: {
      for (const std::wstring& key : service->dependents) {
        if (!Stopped(Find(key)->state)) return Fail(kErrorDependentServicesRunning);
      }
      if (Stopped(state)) return Fail(kErrorServiceNotActive);
      if (pending) return Fail(kErrorServiceCannotAcceptCtrl);
      m_events.push_back(L"stop " + service->name);
      if (service->config.stopLatencyMs == 0 && !service->config.hangsOnStop) {
        service->state = kServiceStopped;
        service->processId = 0;
        service->dueAt = kNever;
      } else {
        service->state = kServiceStopPending;
        service->checkPoint = 1;
        service->dueAt = service->config.hangsOnStop
                             ? kNever
                             : m_clock.TickCount64() + service->config.stopLatencyMs;
      }
      break;
    }
    case kServiceControlPause:
    case kServiceControlContinue:
      if (Stopped(state)) return Fail(kErrorServiceNotActive);
      if (pending) return Fail(kErrorServiceCannotAcceptCtrl);
      service->state = control == kServiceControlPause ? kServicePaused : kServiceRunning;
      break;
    case kServiceControlInterrogate:
      if (Stopped(state)) return Fail(kErrorServiceNotActive);
      break;
    default:
      return Fail(kErrorInvalidServiceControl);
  }
  *status = StatusOf(*service);
  status->processId = 0;
  status->serviceFlags = 0;
  return kSuccess;
}

ErrorCode SimServiceControl::QueryStatus(ScHandle handle, ServiceStatus* status) {
  if (ErrorCode e = Begin(ScOp::Query, NameOf(handle)); e != kSuccess) return e;
  Service* service = nullptr;
  if (ErrorCode e = ServiceOf(handle, kServiceQueryStatus, &service); e != kSuccess) return e;
  // A pending service reports progress on every look, as a real one bumps its check point.
  if (service->state == kServiceStopPending || service->state == kServiceStartPending) {
    ++service->checkPoint;
  }
  *status = StatusOf(*service);
  return kSuccess;
}

// The SCM brings up whatever a service depends on before the service itself.
ErrorCode SimServiceControl::BringUp(Service& service) {
  for (const std::wstring& key : service.dependencies) {
    Service& dependency = *Find(key);
    if (Stopped(dependency.state) && BringUp(dependency) != kSuccess) {
      return kErrorServiceDependencyFail;
    }
  }
  m_events.push_back(L"start " + service.name);
  service.processId = m_nextProcessId++;
  if (service.config.startLatencyMs == 0) {
    service.state = kServiceRunning;
    service.dueAt = kNever;
  } else {
    service.state = kServiceStartPending;
    service.checkPoint = 1;
    service.dueAt = m_clock.TickCount64() + service.config.startLatencyMs;
  }
  return kSuccess;
}

ErrorCode SimServiceControl::Start(ScHandle handle) {
  if (ErrorCode e = Begin(ScOp::Start, NameOf(handle)); e != kSuccess) return e;
  Service* service = nullptr;
  if (ErrorCode e = ServiceOf(handle, kServiceStart, &service); e != kSuccess) return e;
  if (!Stopped(service->state)) return Fail(kErrorServiceAlreadyRunning);
  if (ErrorCode e = BringUp(*service); e != kSuccess) return Fail(e);
  return kSuccess;
}

ErrorCode SimServiceControl::CloseHandle(ScHandle handle) {
  if (ErrorCode e = Begin(ScOp::Close, NameOf(handle)); e != kSuccess) return e;
  if (m_handles.erase(handle) == 0) return Fail(kErrorInvalidHandle);
  return kSuccess;
}

}  // namespace ov::platform::sim
