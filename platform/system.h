// System facts the model asks for: WOW64, the common application-data folder, system DLLs.
#pragma once
#include <string>

namespace ov::platform {

class SystemInfo {
 public:
  virtual ~SystemInfo() = default;
  // IsWow64Process looked up by name in "kernel32" at run time. Returns false when the
  // function is missing or fails; otherwise true with *wow64 set to its answer.
  virtual bool QueryWow64Process(bool* wow64) = 0;
  // SHGetFolderPathW(CSIDL_COMMON_APPDATA, current path); empty when it fails.
  virtual std::wstring CommonAppDataFolder() = 0;
  // SearchPathW in the system directory only, for name + extension.
  virtual bool FindInSystemDirectory(const std::wstring& name, const std::wstring& extension) = 0;
  // The process token's TokenElevation: true when the process runs with its administrator
  // rights in force; false when not, or when the token cannot be read.
  virtual bool IsProcessElevated() = 0;
};

}  // namespace ov::platform
