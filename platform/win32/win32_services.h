// The real Service Control Manager of the local machine.
#pragma once
#include "platform/services.h"

namespace ov::platform::win32 {

class Win32ServiceControl final : public ServiceControl {
 public:
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
  ErrorCode LastError() override;
};

}  // namespace ov::platform::win32
