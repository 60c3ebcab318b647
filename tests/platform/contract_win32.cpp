// Contract fixtures for the real Win32 implementation (run under Wine).
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_fileio.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_services.h"
#include "tests/platform/contract_platform.h"

#ifndef OV_TEST_SERVICE_EXE
#error "OV_TEST_SERVICE_EXE must name OvTestService.exe"
#endif

namespace contract {
namespace {
std::map<int, HANDLE> g_holds;
int g_next = 1;
}  // namespace

ov::platform::Platform& Os() {
  static ov::platform::win32::Win32Registry registry;
  static ov::platform::win32::Win32SystemInfo system;
  static ov::platform::win32::Win32FileSystem files;
  static ov::platform::win32::Win32Clock clock;
  static ov::platform::win32::Win32ServiceControl services;
  static ov::platform::win32::Win32FileIo fileIo;
  static ov::platform::win32::Win32TextFiles textFiles;
  static ov::platform::Platform os{&registry, &system, &files, nullptr, &clock, &services, nullptr, &fileIo, &textFiles};
  return os;
}
std::wstring FreshDirectory(const std::wstring& name) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    (L"ovcontract-" + std::to_wstring(GetCurrentProcessId())) / name;
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  std::filesystem::create_directories(dir, ignored);
  return dir.wstring();
}
void WriteBytes(const std::wstring& path, std::size_t count) {
  std::ofstream(std::filesystem::path(path), std::ios::binary) << std::string(count, 'z');
}
std::string ReadBytes(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  std::string out;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got != 0) out.append(buffer, got);
  CloseHandle(h);
  return out;
}
int HoldOpen(const std::wstring& path, std::uint32_t access, std::uint32_t share) {
  HANDLE h = CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr);
  g_holds[g_next] = h;
  return g_next++;
}
void Release(int token) {
  CloseHandle(g_holds[token]);
  g_holds.erase(token);
}
// Wine 8 cannot make Windows links: CreateSymbolicLinkW succeeds without effect, and setting
// a reparse point gives ERROR_NOT_SUPPORTED. It follows Unix symbolic links in any component
// and shows no reparse point for them, so to a check that trusts attributes they are exactly
// a hidden redirection; only the final path shows them. Wine also starts Unix programs,
// though their process handles cannot be waited for, hence the wait for the link itself.
bool MakeSymlink(const std::wstring& target, const std::wstring& link) {
  using UnixName = char*(CDECL*)(const wchar_t*);
  const auto unixName = reinterpret_cast<UnixName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
  if (unixName == nullptr) {
    const DWORD kind = (GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_DIRECTORY) ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0;
    return CreateSymbolicLinkW(link.c_str(), target.c_str(), kind) && GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  std::wstring command = L"Z:\\bin\\ln -s";
  for (const std::wstring* path : {&target, &link}) {
    char* name = unixName(path->c_str());
    if (name == nullptr) return false;
    command += L" \"" + std::wstring(name, name + strlen(name)) + L"\"";
    HeapFree(GetProcessHeap(), 0, name);
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  for (int i = 0; i < 500 && GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(10);
  return GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES;
}
bool MakeHardLink(const std::wstring& target, const std::wstring& link) {
  return CreateHardLinkW(link.c_str(), target.c_str(), nullptr) != FALSE;
}

bool SwapFolderAfterNextCheck(const std::wstring&, const std::wstring&) { return false; }

namespace {
// The test services in the prefix's real Service Control Manager, each logging its starts and
// stops to one file, and removed again when the program ends.
class TestServices {
 public:
  TestServices() : m_manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)) {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    m_log = std::wstring(temp) + L"ov_services_" + std::to_wstring(GetCurrentProcessId()) + L".log";
    DeleteFileW(m_log.c_str());
  }
  ~TestServices() {
    for (const std::wstring& name : m_installed) Remove(name);
    CloseServiceHandle(m_manager);
    DeleteFileW(m_log.c_str());
  }
  void Install(const std::wstring& name, std::uint32_t stopDelayMs, bool running) {
    Remove(name);  // left behind by an interrupted run
    std::wstring exe = L"Z:" OV_TEST_SERVICE_EXE;  // Wine maps the host's root to Z:
    std::replace(exe.begin(), exe.end(), L'/', L'\\');
    const std::wstring command = L"\"" + exe + L"\" --name " + name + L" --log \"" + m_log + L"\" --stop-delay " +
                                 std::to_wstring(stopDelayMs);
    SC_HANDLE service = CreateServiceW(m_manager, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                       SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, command.c_str(), nullptr, nullptr,
                                       nullptr, nullptr, nullptr);
    if (service == nullptr) return;  // the tests then fail on opening it, with the code
    m_installed.push_back(name);
    if (running && StartServiceW(service, 0, nullptr)) WaitFor(service, SERVICE_RUNNING);
    CloseServiceHandle(service);
    TakeEvents();
  }
  std::vector<std::wstring> TakeEvents() {
    std::vector<std::wstring> lines;
    std::ifstream in(std::filesystem::path(m_log), std::ios::binary);
    for (std::string line; std::getline(in, line) && !in.eof();) {  // complete lines, without their tick
      line.erase(std::min(line.find_first_of("\t\r"), line.size()));
      lines.emplace_back(line.begin(), line.end());
    }
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(std::min(m_taken, lines.size())));
    m_taken += lines.size();
    return lines;
  }

 private:
  static void WaitFor(SC_HANDLE service, DWORD state) {
    SERVICE_STATUS status{};
    for (int i = 0; i < 750 && QueryServiceStatus(service, &status) && status.dwCurrentState != state; ++i) Sleep(20);
  }
  void Remove(const std::wstring& name) {
    SC_HANDLE service = OpenServiceW(m_manager, name.c_str(), SERVICE_ALL_ACCESS);
    if (service == nullptr) return;
    SERVICE_STATUS status{};
    if (ControlService(service, SERVICE_CONTROL_STOP, &status) || GetLastError() != ERROR_SERVICE_NOT_ACTIVE) {
      WaitFor(service, SERVICE_STOPPED);
    }
    DeleteService(service);
    CloseServiceHandle(service);
  }

  SC_HANDLE m_manager;
  std::wstring m_log;
  std::size_t m_taken = 0;
  std::vector<std::wstring> m_installed;
};
TestServices& Services() {
  static TestServices services;
  return services;
}
}  // namespace

void InstallService(const std::wstring& name, std::uint32_t stopDelayMs, bool running) {
  Services().Install(name, stopDelayMs, running);
}
std::vector<std::wstring> TakeServiceEvents() { return Services().TakeEvents(); }

}  // namespace contract
