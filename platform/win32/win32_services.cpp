// The Service Control Manager through advapi32.
#include "platform/win32/win32_services.h"

#include <windows.h>

#include <memory>
#include <new>

namespace ov::platform::win32 {
namespace {

SC_HANDLE Sc(ScHandle handle) { return reinterpret_cast<SC_HANDLE>(handle); }
ScHandle Sc(SC_HANDLE handle) { return reinterpret_cast<ScHandle>(handle); }

// SERVICE_STATUS and SERVICE_STATUS_PROCESS share these fields.
template <typename Status>
void Copy(const Status& from, ServiceStatus* to) {
  *to = ServiceStatus{};
  to->serviceType = from.dwServiceType;
  to->currentState = from.dwCurrentState;
  to->controlsAccepted = from.dwControlsAccepted;
  to->win32ExitCode = from.dwWin32ExitCode;
  to->serviceSpecificExitCode = from.dwServiceSpecificExitCode;
  to->checkPoint = from.dwCheckPoint;
  to->waitHint = from.dwWaitHint;
}

}  // namespace

ErrorCode Win32ServiceControl::OpenManager(const std::wstring& database, std::uint32_t access,
                                           ScHandle* result) {
  SC_HANDLE manager =
      ::OpenSCManagerW(nullptr, database.empty() ? nullptr : database.c_str(), access);
  *result = Sc(manager);
  return manager == nullptr ? ::GetLastError() : kSuccess;
}

ErrorCode Win32ServiceControl::OpenServiceByName(ScHandle manager, const std::wstring& name,
                                                 std::uint32_t access, ScHandle* result) {
  SC_HANDLE service = ::OpenServiceW(Sc(manager), name.c_str(), access);
  *result = Sc(service);
  return service == nullptr ? ::GetLastError() : kSuccess;
}

ErrorCode Win32ServiceControl::EnumDependents(ScHandle service, std::uint32_t stateFilter,
                                              std::uint32_t bufferBytes,
                                              std::vector<DependentService>* entries,
                                              std::uint32_t* bytesNeeded) {
  entries->clear();
  *bytesNeeded = 0;
  // The entries point into the same block, at strings that follow them; allocating in
  // ENUM_SERVICE_STATUSW units keeps the array aligned.
  const std::size_t units = (bufferBytes + sizeof(ENUM_SERVICE_STATUSW) - 1) / sizeof(ENUM_SERVICE_STATUSW);
  std::unique_ptr<ENUM_SERVICE_STATUSW[]> buffer(new (std::nothrow) ENUM_SERVICE_STATUSW[units == 0 ? 1 : units]);
  if (!buffer) return kErrorNotEnoughMemory;
  DWORD needed = 0;
  DWORD count = 0;
  if (!::EnumDependentServicesW(Sc(service), stateFilter, bufferBytes == 0 ? nullptr : buffer.get(),
                                bufferBytes, &needed, &count)) {
    const ErrorCode error = ::GetLastError();
    if (error == kErrorMoreData) *bytesNeeded = needed;
    return error;
  }
  entries->reserve(count);
  for (DWORD i = 0; i < count; ++i) {
    const ENUM_SERVICE_STATUSW& from = buffer[i];
    DependentService entry;
    if (from.lpServiceName != nullptr) entry.serviceName = from.lpServiceName;
    if (from.lpDisplayName != nullptr) entry.displayName = from.lpDisplayName;
    Copy(from.ServiceStatus, &entry.status);
    entries->push_back(std::move(entry));
  }
  return kSuccess;
}

ErrorCode Win32ServiceControl::Control(ScHandle service, std::uint32_t control,
                                       ServiceStatus* status) {
  SERVICE_STATUS raw{};
  if (!::ControlService(Sc(service), control, &raw)) return ::GetLastError();
  Copy(raw, status);
  return kSuccess;
}

ErrorCode Win32ServiceControl::QueryStatus(ScHandle service, ServiceStatus* status) {
  SERVICE_STATUS_PROCESS raw{};
  DWORD needed = 0;
  if (!::QueryServiceStatusEx(Sc(service), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&raw),
                              sizeof(raw), &needed)) {
    return ::GetLastError();
  }
  Copy(raw, status);
  status->processId = raw.dwProcessId;
  status->serviceFlags = raw.dwServiceFlags;
  return kSuccess;
}

ErrorCode Win32ServiceControl::Start(ScHandle service) {
  return ::StartServiceW(Sc(service), 0, nullptr) ? kSuccess : ::GetLastError();
}

ErrorCode Win32ServiceControl::CloseHandle(ScHandle handle) {
  return ::CloseServiceHandle(Sc(handle)) ? kSuccess : ::GetLastError();
}

ErrorCode Win32ServiceControl::LastError() { return ::GetLastError(); }

}  // namespace ov::platform::win32
