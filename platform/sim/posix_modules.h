// The module concept natively: shared objects through dlopen, under Windows names.
#pragma once
#include <string>
#include <vector>

#include "platform/modules.h"

namespace ov::platform::sim {

class SimFileSystem;

// Loads real shared objects, so native tests exercise real modules with real exports. The
// file keeps the Windows name it has in the product: a module called "OvBrands.dll" here is
// a shared object file of that name. A path with a directory is mapped to the host through
// the sim's file system when one is given (otherwise taken as a host path with "\" read as
// "/"). A bare name is looked up as LoadLibraryExW looks it up: with search flags in the
// application folder and System32 as they say, with flags 0 in the application folder,
// System32 and the current directory (PATH is not modelled: the sim has no environment).
// Without a file system a bare name is left to the host's library search.
class PosixModules final : public Modules {
 public:
  explicit PosixModules(const SimFileSystem* files = nullptr) : m_files(files) {}

  ErrorCode LoadModule(const std::wstring& path, std::uint32_t flags, ModuleHandle* module) override;
  EntryPoint FindSymbol(ModuleHandle module, const std::string& name) override;
  ErrorCode ReleaseModule(ModuleHandle module) override;

  // The host path a Windows path names; for tests that place module files.
  std::string HostPath(const std::wstring& path) const;

  std::wstring applicationDirectory = L"C:\\Program Files\\Veltrane\\Client";
  std::wstring systemDirectory = L"C:\\Windows\\System32";
  // Every LoadModule call, in order, so tests can see what was asked for.
  struct Load {
    std::wstring path;
    std::uint32_t flags;
    bool operator==(const Load&) const = default;
  };
  std::vector<Load> loads;

 private:
  const SimFileSystem* m_files;
};

}  // namespace ov::platform::sim
