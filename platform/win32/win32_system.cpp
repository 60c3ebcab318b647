// System facts from kernel32 and the shell.
#include <windows.h>
#include <shlobj.h>

#include "platform/win32/win32_platform.h"

namespace ov::platform::win32 {

bool Win32SystemInfo::QueryWow64Process(bool* wow64) {
  // Looked up at run time: the function is missing on the oldest Windows the tool supports.
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  HMODULE kernel = GetModuleHandleW(L"kernel32");
  if (kernel == nullptr) return false;
  auto fn = reinterpret_cast<IsWow64ProcessFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")));
  if (fn == nullptr) return false;
  BOOL result = FALSE;
  if (!fn(GetCurrentProcess(), &result)) return false;
  *wow64 = result != FALSE;
  return true;
}

std::wstring Win32SystemInfo::CommonAppDataFolder() {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) {
    return std::wstring();
  }
  return path;
}

bool Win32SystemInfo::FindInSystemDirectory(const std::wstring& name, const std::wstring& extension) {
  wchar_t systemDirectory[MAX_PATH] = {};
  if (GetSystemDirectoryW(systemDirectory, MAX_PATH) == 0) return false;
  wchar_t found[MAX_PATH] = {};
  return SearchPathW(systemDirectory, name.c_str(), extension.c_str(), MAX_PATH, found, nullptr) != 0;
}

bool Win32SystemInfo::IsProcessElevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  const BOOL read = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
  CloseHandle(token);
  return read && elevation.TokenIsElevated != 0;
}

}  // namespace ov::platform::win32
