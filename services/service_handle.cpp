// Owners of Service Control Manager handles.
#include "services/service_handle.h"

#include <utility>

namespace ov::services {

ServiceHandle::ServiceHandle(ServiceHandle&& other) noexcept
    : m_scm(std::exchange(other.m_scm, nullptr)),
      m_handle(std::exchange(other.m_handle, platform::kNoScHandle)) {}

ServiceHandle& ServiceHandle::operator=(ServiceHandle&& other) noexcept {
  if (this != &other) {
    Reset();
    m_scm = std::exchange(other.m_scm, nullptr);
    m_handle = std::exchange(other.m_handle, platform::kNoScHandle);
  }
  return *this;
}

void ServiceHandle::Reset() noexcept {
  // Nothing useful can be done about a failed close; the handle is gone either way.
  if (m_scm != nullptr && m_handle != platform::kNoScHandle) m_scm->CloseHandle(m_handle);
  m_handle = platform::kNoScHandle;
}

}  // namespace ov::services
