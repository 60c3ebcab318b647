// The service world under Wine: OvTestService.exe registered in the real Service Control
// Manager of the throwaway prefix, and the real clock.
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_services.h"
#include "tests/services/service_world.h"

#ifndef OV_TEST_SERVICE_EXE
#error "OV_TEST_SERVICE_EXE must name OvTestService.exe"
#endif

namespace ov::test {
namespace {

class WineWorld final : public ServiceWorld {
 public:
  WineWorld() {
    m_manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    wchar_t temp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH, temp);
    m_log = std::wstring(temp) + L"ov_services_" + std::to_wstring(::GetCurrentProcessId()) + L".log";
    ::DeleteFileW(m_log.c_str());
  }
  ~WineWorld() override {
    for (const std::wstring& name : m_installed) Remove(name);
    if (m_manager != nullptr) ::CloseServiceHandle(m_manager);
    ::DeleteFileW(m_log.c_str());
  }

  platform::ServiceControl& Scm() override { return m_scm; }
  platform::Clock& Clock() override { return m_clock; }

  void Install(const std::wstring& name, std::uint32_t stopDelayMs, bool running) override {
    Remove(name);  // a service left behind by an interrupted run
    std::wstring exe = L"Z:" OV_TEST_SERVICE_EXE;  // Wine maps the host's root to Z:
    for (wchar_t& c : exe) c = c == L'/' ? L'\\' : c;
    const std::wstring command = L"\"" + exe + L"\" --name " + name + L" --log \"" + m_log +
                                 L"\" --stop-delay " + std::to_wstring(stopDelayMs);
    SC_HANDLE service = ::CreateServiceW(m_manager, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                         SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                         SERVICE_ERROR_IGNORE, command.c_str(), nullptr, nullptr,
                                         nullptr, nullptr, nullptr);
    if (service == nullptr) return;  // the tests then fail on opening it, with the code
    m_installed.push_back(name);
    if (running) {
      ::StartServiceW(service, 0, nullptr);
      WaitForState(name, SERVICE_RUNNING, 15000);
    }
    ::CloseServiceHandle(service);
    ClearEvents();
  }

  std::vector<std::wstring> Events() override {
    std::vector<std::wstring> lines = ReadLog();
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(std::min(m_skip, lines.size())));
    return lines;
  }
  void ClearEvents() override { m_skip = ReadLog().size(); }

 private:
  // Complete lines of the service's log, without their tick.
  std::vector<std::wstring> ReadLog() const {
    std::vector<std::wstring> lines;
    std::ifstream in(std::filesystem::path(m_log), std::ios::binary);
    for (std::string line; std::getline(in, line) && !in.eof();) {
      line.erase(std::min(line.find_first_of("\t\r"), line.size()));
      lines.emplace_back(line.begin(), line.end());
    }
    return lines;
  }

  void Remove(const std::wstring& name) {
    SC_HANDLE service = ::OpenServiceW(m_manager, name.c_str(), SERVICE_ALL_ACCESS);
    if (service == nullptr) return;
    SERVICE_STATUS status{};
    if (::ControlService(service, SERVICE_CONTROL_STOP, &status) ||
        ::GetLastError() != ERROR_SERVICE_NOT_ACTIVE) {
      WaitForState(name, SERVICE_STOPPED, 15000);
    }
    ::DeleteService(service);
    ::CloseServiceHandle(service);
  }

  SC_HANDLE m_manager = nullptr;
  std::wstring m_log;
  std::size_t m_skip = 0;
  std::vector<std::wstring> m_installed;
  platform::win32::Win32ServiceControl m_scm;
  platform::win32::Win32Clock m_clock;
};

}  // namespace

std::unique_ptr<ServiceWorld> MakeServiceWorld() { return std::make_unique<WineWorld>(); }

}  // namespace ov::test
