// The real module loader over LoadLibraryExW, GetProcAddress and FreeLibrary.
#pragma once
#include "platform/modules.h"

namespace ov::platform::win32 {

class Win32Modules final : public Modules {
 public:
  ErrorCode LoadModule(const std::wstring& path, std::uint32_t flags, ModuleHandle* module) override;
  EntryPoint FindSymbol(ModuleHandle module, const std::string& name) override;
  ErrorCode ReleaseModule(ModuleHandle module) override;
};

}  // namespace ov::platform::win32
