// Registry concept over advapi32's Reg* functions.
#include <windows.h>

#include <vector>

#include "platform/win32/win32_platform.h"

namespace ov::platform::win32 {
namespace {
HKEY ToHkey(RegKey key) { return reinterpret_cast<HKEY>(key); }
RegKey FromHkey(HKEY key) { return reinterpret_cast<RegKey>(key); }
}  // namespace

ErrorCode Win32Registry::OpenKey(RegKey parent, const std::wstring& subKey, std::uint32_t access,
                                 RegKey* result) {
  HKEY key = nullptr;
  const LONG rc = RegOpenKeyExW(ToHkey(parent), subKey.c_str(), 0, access, &key);
  *result = rc == ERROR_SUCCESS ? FromHkey(key) : kNoKey;
  return static_cast<ErrorCode>(rc);
}

ErrorCode Win32Registry::CreateKey(RegKey parent, const std::wstring& subKey, std::uint32_t access,
                                   RegKey* result) {
  HKEY key = nullptr;
  const LONG rc = RegCreateKeyExW(ToHkey(parent), subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  access, nullptr, &key, nullptr);
  *result = rc == ERROR_SUCCESS ? FromHkey(key) : kNoKey;
  return static_cast<ErrorCode>(rc);
}

ErrorCode Win32Registry::QueryValue(RegKey key, const std::wstring& name, std::uint32_t* type,
                                    std::uint8_t* data, std::uint32_t* size) {
  DWORD t = 0;
  DWORD s = size != nullptr ? *size : 0;
  const LONG rc = RegQueryValueExW(ToHkey(key), name.c_str(), nullptr, &t, data,
                                   size != nullptr ? &s : nullptr);
  if (type != nullptr) *type = t;
  if (size != nullptr) *size = s;
  return static_cast<ErrorCode>(rc);
}

ErrorCode Win32Registry::SetValue(RegKey key, const std::wstring& name, std::uint32_t type,
                                  const std::uint8_t* data, std::uint32_t size) {
  return static_cast<ErrorCode>(RegSetValueExW(ToHkey(key), name.c_str(), 0, type, data, size));
}

ErrorCode Win32Registry::DeleteValue(RegKey key, const std::wstring& name) {
  return static_cast<ErrorCode>(RegDeleteValueW(ToHkey(key), name.c_str()));
}

ErrorCode Win32Registry::EnumValue(RegKey key, std::uint32_t index, std::uint32_t nameBufferChars,
                                   std::wstring* name, std::uint32_t* type) {
  std::vector<wchar_t> buffer(nameBufferChars + 1u, L'\0');
  DWORD chars = nameBufferChars;
  DWORD t = 0;
  const LONG rc = RegEnumValueW(ToHkey(key), index, buffer.data(), &chars, nullptr, &t, nullptr, nullptr);
  if (rc == ERROR_SUCCESS) {
    if (name != nullptr) name->assign(buffer.data(), chars);
    if (type != nullptr) *type = t;
  }
  return static_cast<ErrorCode>(rc);
}

ErrorCode Win32Registry::EnumKey(RegKey key, std::uint32_t index, std::uint32_t nameBufferChars,
                                 std::wstring* name) {
  std::vector<wchar_t> buffer(nameBufferChars + 1u, L'\0');
  const LONG rc = RegEnumKeyW(ToHkey(key), index, buffer.data(), nameBufferChars);
  if (rc == ERROR_SUCCESS && name != nullptr) name->assign(buffer.data());
  return static_cast<ErrorCode>(rc);
}

ErrorCode Win32Registry::CloseKey(RegKey key) {
  return static_cast<ErrorCode>(RegCloseKey(ToHkey(key)));
}

ErrorCode Win32Registry::ConnectRegistry(const std::wstring& machine, RegKey root, RegKey* result) {
  HKEY key = nullptr;
  const LONG rc = RegConnectRegistryW(machine.c_str(), ToHkey(root), &key);
  *result = rc == ERROR_SUCCESS ? FromHkey(key) : kNoKey;
  return static_cast<ErrorCode>(rc);
}

}  // namespace ov::platform::win32
