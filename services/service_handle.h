// Owners of Service Control Manager handles: one handle, and an ordered list of them.
#pragma once
#include <cstddef>
#include <string>
#include <utility>
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

// The running dependents of a service in the order they must stop: every service before the
// services it depends on. Starting walks it backwards. Owns its handles and keeps each
// service's name for the report of a failed restart; empty handles are kept, because a
// dependent that could not be opened must still make its stop fail.
class DependentServiceList {
 public:
  DependentServiceList() = default;
  DependentServiceList(DependentServiceList&&) noexcept = default;
  DependentServiceList& operator=(DependentServiceList&&) noexcept = default;
  DependentServiceList(const DependentServiceList&) = delete;
  DependentServiceList& operator=(const DependentServiceList&) = delete;
  ~DependentServiceList() = default;

  void Append(std::wstring name, ServiceHandle handle) {
    m_names.push_back(std::move(name));
    m_handles.push_back(std::move(handle));
  }
  // A dependent that is pending or paused is not in the list, but Windows will not stop a
  // service while one is active, so the list remembers having met one.
  void MarkUnsettled() { m_unsettled = true; }
  bool Unsettled() const { return m_unsettled; }

  std::size_t Size() const { return m_handles.size(); }
  bool Empty() const { return m_handles.empty(); }
  const ServiceHandle& operator[](std::size_t index) const { return m_handles[index]; }
  const std::wstring& Name(std::size_t index) const { return m_names[index]; }

 private:
  std::vector<std::wstring> m_names;
  std::vector<ServiceHandle> m_handles;
  bool m_unsettled = false;
};

}  // namespace ov::services
