// The module concept: loading a library at run time and finding its entry points.
#pragma once
#include <cstdint>
#include <string>

#include "platform/errors.h"

namespace ov::platform {

// A loaded module; kNoModule for none.
using ModuleHandle = std::uintptr_t;
inline constexpr ModuleHandle kNoModule = 0;

// An entry point as found; the caller casts it to the type the export has. A pointer to a
// function of no arguments converts to any other function pointer type without warnings.
using EntryPoint = void (*)();

// LoadLibraryExW's search flags, bit for bit as in libloaderapi.h. With a path, DllLoadDir
// (which needs an absolute path) lets the library's own imports come from its folder; with
// a bare name, ApplicationDir and System32 are the only folders searched. Flags 0 leave the
// search to the process's default, which on Windows includes the current directory and
// PATH unless the process restricted it.
inline constexpr std::uint32_t kLoadSearchDllLoadDir = 0x100;
inline constexpr std::uint32_t kLoadSearchApplicationDir = 0x200;
inline constexpr std::uint32_t kLoadSearchSystem32 = 0x800;

// Method names avoid LoadLibrary and FreeModule, which <windows.h> defines as macros.
class Modules {
 public:
  virtual ~Modules() = default;
  // LoadLibraryExW(path, no file handle, flags). A path without a directory is looked up as
  // flags say. kSuccess with *module set, or the error code (kErrorModNotFound when there is
  // no such file, kErrorBadExeFormat when it is not a loadable module, kErrorInvalidParameter
  // for kLoadSearchDllLoadDir with a relative path).
  virtual ErrorCode LoadModule(const std::wstring& path, std::uint32_t flags, ModuleHandle* module) = 0;
  // GetProcAddress by export name: null when the module lacks it.
  virtual EntryPoint FindSymbol(ModuleHandle module, const std::string& name) = 0;
  // FreeLibrary.
  virtual ErrorCode ReleaseModule(ModuleHandle module) = 0;
};

}  // namespace ov::platform
