// Module concept over kernel32's loader.
#include <windows.h>

#include "platform/win32/win32_modules.h"

namespace ov::platform::win32 {

ErrorCode Win32Modules::LoadModule(const std::wstring& path, std::uint32_t flags, ModuleHandle* module) {
  HMODULE handle = LoadLibraryExW(path.c_str(), nullptr, flags);
  if (handle == nullptr) {
    *module = kNoModule;
    return static_cast<ErrorCode>(GetLastError());
  }
  *module = reinterpret_cast<ModuleHandle>(handle);
  return kSuccess;
}

EntryPoint Win32Modules::FindSymbol(ModuleHandle module, const std::string& name) {
  if (module == kNoModule) return nullptr;
  return reinterpret_cast<EntryPoint>(GetProcAddress(reinterpret_cast<HMODULE>(module), name.c_str()));
}

ErrorCode Win32Modules::ReleaseModule(ModuleHandle module) {
  if (FreeLibrary(reinterpret_cast<HMODULE>(module)) == FALSE) {
    return static_cast<ErrorCode>(GetLastError());
  }
  return kSuccess;
}

}  // namespace ov::platform::win32
