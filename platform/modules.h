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

inline constexpr ErrorCode kErrorModNotFound = 126;
inline constexpr ErrorCode kErrorProcNotFound = 127;
inline constexpr ErrorCode kErrorBadExeFormat = 193;

// Method names avoid LoadLibrary and FreeModule, which <windows.h> defines as macros.
class Modules {
 public:
  virtual ~Modules() = default;
  // LoadLibraryExW(path, no file handle, flags). A path without a directory is left to the
  // system's library search. kSuccess with *module set, or the error code (kErrorModNotFound
  // when there is no such file, kErrorBadExeFormat when it is not a loadable module).
  virtual ErrorCode LoadModule(const std::wstring& path, std::uint32_t flags, ModuleHandle* module) = 0;
  // GetProcAddress by export name: null when the module lacks it.
  virtual EntryPoint FindSymbol(ModuleHandle module, const std::string& name) = 0;
  // FreeLibrary.
  virtual ErrorCode ReleaseModule(ModuleHandle module) = 0;
};

}  // namespace ov::platform
