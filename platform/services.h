// The Service Control Manager concept: open, enumerate dependents, stop, query, start, close.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/errors.h"

namespace ov::platform {

// An open manager or service handle; 0 is no handle, as a null SC_HANDLE.
using ScHandle = std::uintptr_t;
inline constexpr ScHandle kNoScHandle = 0;

// The active service database, SERVICES_ACTIVE_DATABASEW.
inline constexpr wchar_t kServicesActiveDatabase[] = L"ServicesActive";

// Access rights, bit for bit as in winsvc.h.
inline constexpr std::uint32_t kScManagerConnect = 0x0001;
inline constexpr std::uint32_t kServiceQueryConfig = 0x0001;
inline constexpr std::uint32_t kServiceQueryStatus = 0x0004;
inline constexpr std::uint32_t kServiceEnumerateDependents = 0x0008;
inline constexpr std::uint32_t kServiceStart = 0x0010;
inline constexpr std::uint32_t kServiceStop = 0x0020;
inline constexpr std::uint32_t kServicePauseContinue = 0x0040;

// Current states (dwCurrentState).
inline constexpr std::uint32_t kServiceStopped = 1;
inline constexpr std::uint32_t kServiceStartPending = 2;
inline constexpr std::uint32_t kServiceStopPending = 3;
inline constexpr std::uint32_t kServiceRunning = 4;
inline constexpr std::uint32_t kServiceContinuePending = 5;
inline constexpr std::uint32_t kServicePausePending = 6;
inline constexpr std::uint32_t kServicePaused = 7;

// State filters of EnumDependentServicesW.
inline constexpr std::uint32_t kServiceActive = 1;
inline constexpr std::uint32_t kServiceInactive = 2;
inline constexpr std::uint32_t kServiceStateAll = 3;

// Controls of ControlService.
inline constexpr std::uint32_t kServiceControlStop = 1;
inline constexpr std::uint32_t kServiceControlPause = 2;
inline constexpr std::uint32_t kServiceControlContinue = 3;
inline constexpr std::uint32_t kServiceControlInterrogate = 4;

// SERVICE_STATUS_PROCESS; ControlService's SERVICE_STATUS is its first seven fields.
struct ServiceStatus {
  std::uint32_t serviceType = 0;
  std::uint32_t currentState = 0;
  std::uint32_t controlsAccepted = 0;
  std::uint32_t win32ExitCode = 0;
  std::uint32_t serviceSpecificExitCode = 0;
  std::uint32_t checkPoint = 0;
  std::uint32_t waitHint = 0;
  std::uint32_t processId = 0;
  std::uint32_t serviceFlags = 0;
};

// One ENUM_SERVICE_STATUSW entry, with its strings copied out of the caller's buffer.
struct DependentService {
  std::wstring serviceName;
  std::wstring displayName;
  ServiceStatus status;  // processId and serviceFlags stay 0
};

// Method names avoid the API's macro names (OpenService, StartService, ...), which
// <windows.h> renames to their W forms in one translation unit and not in the others.
class ServiceControl {
 public:
  virtual ~ServiceControl() = default;

  // OpenSCManagerW on the local machine.
  virtual ErrorCode OpenManager(const std::wstring& database, std::uint32_t access,
                                ScHandle* result) = 0;
  // OpenServiceW: kErrorServiceDoesNotExist (1060) for an unknown name, kErrorAccessDenied
  // when the rights asked for are not granted.
  virtual ErrorCode OpenServiceByName(ScHandle manager, const std::wstring& name,
                                      std::uint32_t access, ScHandle* result) = 0;
  // EnumDependentServicesW into a buffer of bufferBytes bytes. When the entries do not fit:
  // kErrorMoreData with *bytesNeeded set to the size that holds them all, and no entries.
  // The buffer's size, not the number of entries, is what the caller controls, because that
  // is what the real call's contract is written in.
  virtual ErrorCode EnumDependents(ScHandle service, std::uint32_t stateFilter,
                                   std::uint32_t bufferBytes,
                                   std::vector<DependentService>* entries,
                                   std::uint32_t* bytesNeeded) = 0;
  // ControlService; *status receives the SERVICE_STATUS part when the call succeeds.
  virtual ErrorCode Control(ScHandle service, std::uint32_t control, ServiceStatus* status) = 0;
  // QueryServiceStatusEx at SC_STATUS_PROCESS_INFO.
  virtual ErrorCode QueryStatus(ScHandle service, ServiceStatus* status) = 0;
  // StartServiceW without arguments.
  virtual ErrorCode Start(ScHandle service) = 0;
  // CloseServiceHandle, for manager and service handles alike.
  virtual ErrorCode CloseHandle(ScHandle handle) = 0;
  // The calling thread's last-error value (GetLastError). The stop wait reports it when it
  // gives up, although no call has failed at that moment.
  virtual ErrorCode LastError() = 0;
};

}  // namespace ov::platform
