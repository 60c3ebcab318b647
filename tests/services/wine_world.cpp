// The service world under Wine: OvTestService.exe registered in the real Service Control
// Manager of the throwaway prefix, and the real clock.
#include <windows.h>

#include <cwchar>
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

// Wine maps the host's root directory to drive Z:.
std::wstring WindowsPath(const char* hostPath) {
  std::wstring path = L"Z:";
  for (const char* p = hostPath; *p != '\0'; ++p) path.push_back(*p == '/' ? L'\\' : static_cast<wchar_t>(*p));
  return path;
}

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
    const std::wstring command = L"\"" + WindowsPath(OV_TEST_SERVICE_EXE) + L"\" --name " + name +
                                 L" --log \"" + m_log + L"\" --stop-delay " +
                                 std::to_wstring(stopDelayMs);
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

  bool WaitForState(const std::wstring& name, std::uint32_t state, std::uint32_t timeoutMs) override {
    SC_HANDLE service = ::OpenServiceW(m_manager, name.c_str(), SERVICE_QUERY_STATUS);
    if (service == nullptr) return false;
    const ULONGLONG start = ::GetTickCount64();
    bool reached = false;
    for (;;) {
      SERVICE_STATUS_PROCESS status{};
      DWORD needed = 0;
      if (::QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                 sizeof(status), &needed) &&
          status.dwCurrentState == state) {
        reached = true;
        break;
      }
      if (::GetTickCount64() - start >= timeoutMs) break;
      ::Sleep(10);
    }
    ::CloseServiceHandle(service);
    return reached;
  }

  std::vector<std::wstring> Events() override {
    std::vector<std::wstring> lines = ReadLog();
    if (m_skip >= lines.size()) return {};
    return std::vector<std::wstring>(lines.begin() + static_cast<std::ptrdiff_t>(m_skip), lines.end());
  }
  void ClearEvents() override { m_skip = ReadLog().size(); }
  std::uint64_t LatestEventTick() override {
    const std::vector<std::wstring> lines = ReadLog(true);
    if (lines.empty()) return 0;
    const std::size_t tab = lines.back().find(L'\t');
    return tab == std::wstring::npos ? 0 : std::wcstoull(lines.back().c_str() + tab + 1, nullptr, 10);
  }
  bool IsReal() const override { return true; }

 private:
  // Lines without their tick unless asked for.
  std::vector<std::wstring> ReadLog(bool withTicks = false) const {
    std::vector<std::wstring> lines;
    HANDLE file = ::CreateFileW(m_log.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return lines;
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (::ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0) bytes.append(chunk, got);
    ::CloseHandle(file);
    std::wstring line;
    for (char c : bytes) {
      if (c == '\r') continue;
      if (c == '\n') {
        if (!withTicks && line.find(L'\t') != std::wstring::npos) line.erase(line.find(L'\t'));
        lines.push_back(line);
        line.clear();
      } else {
        line.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
      }
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
