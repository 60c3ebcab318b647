// Owners of Service Control Manager handles: one handle, and an ordered list of them.
#pragma once
#include <cstddef>
#include <vector>

#include "platform/services.h"

namespace ov::services {

// Owns one manager or service handle and closes it when destroyed. Empty when it holds no
// handle, which is also what a failed open leaves behind. Moving empties the source, so a
// handle is closed exactly once whichever way it travels.
class ServiceHandle {
 public:
  ServiceHandle() = default;
  ServiceHandle(platform::ServiceControl& scm, platform::ScHandle handle)
      : m_scm(&scm), m_handle(handle) {}
  ServiceHandle(ServiceHandle&& other) noexcept;
  ServiceHandle& operator=(ServiceHandle&& other) noexcept;
  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;
  ~ServiceHandle() { Reset(); }

  platform::ScHandle Get() const { return m_handle; }
  bool Empty() const { return m_handle == platform::kNoScHandle; }
  // Closes the handle now, leaving this empty.
  void Reset() noexcept;

 private:
  platform::ServiceControl* m_scm = nullptr;
  platform::ScHandle m_handle = platform::kNoScHandle;
};

// Running dependents in the order they were found: each one directly followed by its own
// running dependents. Stopping walks it backwards and starting forwards, so the deepest
// services stop first and start last. Owns its handles; empty entries are kept, because a
// dependent that could not be opened must still make its stop fail.
class DependentServiceList {
 public:
  DependentServiceList() = default;
  DependentServiceList(DependentServiceList&&) noexcept = default;
  DependentServiceList& operator=(DependentServiceList&&) noexcept = default;
  DependentServiceList(const DependentServiceList&) = delete;
  DependentServiceList& operator=(const DependentServiceList&) = delete;
  ~DependentServiceList() = default;

  void Append(ServiceHandle handle) { m_handles.push_back(std::move(handle)); }
  // Moves every handle of other, in order, to the end of this list.
  void Append(DependentServiceList&& other);

  std::size_t Size() const { return m_handles.size(); }
  bool Empty() const { return m_handles.empty(); }
  const ServiceHandle& operator[](std::size_t index) const { return m_handles[index]; }
  auto begin() const { return m_handles.begin(); }
  auto end() const { return m_handles.end(); }

 private:
  std::vector<ServiceHandle> m_handles;
};

}  // namespace ov::services
