// System facts of the sim, set by each test.
#pragma once
#include <optional>
#include <set>
#include <string>

#include "platform/system.h"

namespace ov::platform::sim {

class SimSystemInfo final : public SystemInfo {
 public:
  // nullopt: the running Windows lacks IsWow64Process altogether.
  std::optional<bool> wow64 = false;
  bool wow64CallFails = false;
  std::wstring commonAppData = L"C:\\ProgramData";
  std::set<std::wstring> systemDirectoryFiles;  // "name.ext", as SearchPathW would find them
  bool elevated = true;

  bool QueryWow64Process(bool* result) override {
    if (!wow64.has_value() || wow64CallFails) return false;
    *result = *wow64;
    return true;
  }
  std::wstring CommonAppDataFolder() override { return commonAppData; }
  bool FindInSystemDirectory(const std::wstring& name, const std::wstring& extension) override {
    return systemDirectoryFiles.count(name + extension) != 0;
  }
  bool IsProcessElevated() override { return elevated; }
};

}  // namespace ov::platform::sim
