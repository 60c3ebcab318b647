// Contract fixtures for the real Win32 implementation (run under Wine).
#include <windows.h>

#include <cstring>
#include <map>
#include <string>

#include "platform/win32/win32_fileio.h"
#include "platform/win32/win32_platform.h"
#include "tests/platform/contract_platform.h"

namespace contract {
namespace {
std::map<int, HANDLE> g_holds;
int g_next = 1;
std::wstring TempRoot() {
  wchar_t buffer[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, buffer);
  std::wstring root = buffer;
  root += L"ovcontract-" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(root.c_str(), nullptr);
  return root;
}
void RemoveTree(const std::wstring& dir) {
  WIN32_FIND_DATAW data{};
  HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = dir + L"\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(dir.c_str());
}
}  // namespace

std::unique_ptr<ov::platform::Registry> MakeRegistry() {
  return std::make_unique<ov::platform::win32::Win32Registry>();
}
ov::platform::FileSystem& Files() {
  static ov::platform::win32::Win32FileSystem files;
  return files;
}
std::wstring FreshDirectory(const std::wstring& name) {
  static const std::wstring root = TempRoot();
  const std::wstring dir = root + L"\\" + name;
  RemoveTree(dir);
  CreateDirectoryW(dir.c_str(), nullptr);
  return dir;
}
void WriteBytes(const std::wstring& path, std::size_t count) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  std::string bytes(count, 'z');
  DWORD written = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
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
ov::platform::TextFiles& TextFiles() {
  static ov::platform::win32::Win32TextFiles files;
  return files;
}
ov::platform::FileIo& FileIo() {
  static ov::platform::win32::Win32FileIo io;
  return io;
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

}  // namespace contract
