// A Service Control Manager in memory: services, dependencies, states that change over time.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/services.h"
#include "platform/sim/sim_clock.h"

namespace ov::platform::sim {

// Which operation a failure hook or a cost applies to.
enum class ScOp { OpenManager, OpenService, EnumDependents, Control, Query, Start, Close };

// SERVICE_ALL_ACCESS: what an administrator is granted on a service.
inline constexpr std::uint32_t kServiceAllAccess = 0xF01FF;

// Behaves as the SCM does in everything the restart relies on: per-handle access rights,
// the codes for stopping a stopped service (1062), starting a running one (1056), stopping
// one whose dependents run (1051), an unknown name (1060); stops and starts that take time
// on the SimClock and report a wait hint meanwhile; and Windows' own enumeration of
// dependents (every direct and indirect one, in reverse start order) unless a test fixes
// the answer. Every change of state happens when an operation looks at the clock, so a test
// that never calls in sees no change.
class SimServiceControl final : public ServiceControl {
 public:
  explicit SimServiceControl(SimClock& clock);
  ~SimServiceControl() override;

  ErrorCode OpenManager(const std::wstring& database, std::uint32_t access,
                        ScHandle* result) override;
  ErrorCode OpenServiceByName(ScHandle manager, const std::wstring& name, std::uint32_t access,
                              ScHandle* result) override;
  ErrorCode EnumDependents(ScHandle service, std::uint32_t stateFilter,
                           std::uint32_t bufferBytes, std::vector<DependentService>* entries,
                           std::uint32_t* bytesNeeded) override;
  ErrorCode Control(ScHandle service, std::uint32_t control, ServiceStatus* status) override;
  ErrorCode QueryStatus(ScHandle service, ServiceStatus* status) override;
  ErrorCode Start(ScHandle service) override;
  ErrorCode CloseHandle(ScHandle handle) override;
  ErrorCode LastError() override { return m_lastError; }

  // ---- Test set-up.
  struct ServiceConfig {
    std::wstring displayName;                  // empty: the service name
    std::uint32_t state = kServiceRunning;     // any of the seven states
    std::uint64_t stopLatencyMs = 0;           // from the stop request to STOPPED; 0: at once
    std::uint32_t stopWaitHintMs = 0;          // reported while stop-pending
    bool hangsOnStop = false;                  // stays stop-pending for ever
    std::uint64_t startLatencyMs = 0;          // from the start request to RUNNING
    std::uint32_t startWaitHintMs = 0;         // reported while start-pending
    std::uint32_t grantedAccess = kServiceAllAccess;  // more than this gives kErrorAccessDenied
  };
  void AddService(const std::wstring& name, ServiceConfig config);
  void AddService(const std::wstring& name) { AddService(name, ServiceConfig{}); }
  // dependent cannot run unless dependency runs. Cycles are refused, as by the real SCM.
  void AddDependency(const std::wstring& dependent, const std::wstring& dependency);
  // EnumDependentServicesW on service answers with exactly these services, in this order
  // (still filtered by state), instead of Windows' own answer.
  void SetEnumeration(const std::wstring& service, std::vector<std::wstring> dependents);
  // Every service without a fixed answer lists its direct dependents only, in the order
  // they were added, instead of Windows' transitive answer.
  void SetDirectEnumeration(bool direct) { m_directEnumeration = direct; }
  void SetState(const std::wstring& name, std::uint32_t state);
  void SetLastErrorForTest(ErrorCode code) { m_lastError = code; }

  // Milliseconds that each call of the operation takes (a round trip to services.exe).
  void SetCost(ScOp op, std::uint64_t milliseconds);
  // Called at the start of every operation with the name of the service concerned (empty
  // for the manager or an unknown handle); a non-zero result fails the call with that code
  // and no effect. The hook may change the set-up, e.g. add a dependent between two calls.
  using FailureHook = std::function<ErrorCode(ScOp op, const std::wstring& service)>;
  void SetFailureHook(FailureHook hook) { m_hook = std::move(hook); }

  // ---- Inspection. States are brought up to date with the clock first.
  std::uint32_t State(const std::wstring& name);
  std::size_t OpenHandleCount() const { return m_handles.size(); }
  // The service a handle was opened for; empty for a manager or unknown handle.
  std::wstring NameOf(ScHandle handle) const;
  // Accepted requests in order: "stop NAME" and "start NAME" (a dependency that a start
  // brings up first appears before it).
  const std::vector<std::wstring>& Events() const { return m_events; }
  void ClearEvents() { m_events.clear(); }
  std::size_t Calls(ScOp op) const;
  // The buffer size of every EnumDependents call, in order.
  const std::vector<std::uint32_t>& EnumBufferSizes() const { return m_enumBufferSizes; }

  // Bytes an ENUM_SERVICE_STATUSW entry takes in this build, before its two strings.
  static constexpr std::uint32_t kEnumEntryBytes =
      static_cast<std::uint32_t>((2 * sizeof(void*) + 7 * 4 + sizeof(void*) - 1) /
                                 sizeof(void*) * sizeof(void*));

 private:
  struct Service {
    std::wstring name;  // as registered
    ServiceConfig config;
    std::uint32_t state = kServiceStopped;
    std::uint64_t dueAt = 0;  // when a pending state ends
    std::uint32_t checkPoint = 0;
    std::uint32_t processId = 0;
    std::vector<std::wstring> dependencies;  // folded names
    std::vector<std::wstring> dependents;    // folded names, in the order added
    std::optional<std::vector<std::wstring>> enumeration;  // folded names
  };
  struct Handle {
    bool manager = false;
    std::wstring service;  // folded
    std::uint32_t access = 0;
  };

  static std::wstring Fold(const std::wstring& name);
  Service* Find(const std::wstring& name);
  const Service* Find(const std::wstring& name) const;
  Service& Get(const std::wstring& name);
  // Charges the cost, settles states, asks the hook; non-zero: fail with that code.
  ErrorCode Begin(ScOp op, const std::wstring& service);
  ErrorCode Fail(ErrorCode code);
  void Settle();
  ErrorCode ServiceOf(ScHandle handle, std::uint32_t right, Service** service);
  bool DependsOn(const std::wstring& dependent, const std::wstring& dependency) const;
  void WindowsOrder(const Service& service, std::vector<std::wstring>* order,
                    std::vector<std::wstring>* seen) const;
  ErrorCode BringUp(Service& service);
  ServiceStatus StatusOf(const Service& service) const;

  SimClock& m_clock;
  std::map<std::wstring, Service> m_services;  // by folded name
  std::map<ScHandle, Handle> m_handles;
  std::map<ScOp, std::uint64_t> m_costs;
  std::map<ScOp, std::size_t> m_calls;
  FailureHook m_hook;
  std::vector<std::wstring> m_events;
  std::vector<std::uint32_t> m_enumBufferSizes;
  bool m_directEnumeration = false;
  ErrorCode m_lastError = kSuccess;
  ScHandle m_nextHandle = 0x5C000;
  std::uint32_t m_nextProcessId = 1000;
};

}  // namespace ov::platform::sim
