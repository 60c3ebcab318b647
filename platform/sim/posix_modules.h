// The module concept natively: shared objects through dlopen, under Windows names.
#pragma once
#include "platform/modules.h"

namespace ov::platform::sim {

class SimFileSystem;

// Loads real shared objects, so native tests exercise real modules with real exports. The
// file keeps the Windows name it has in the product: a module called "OvBrands.dll" here is
// a shared object file of that name. A path with a directory is mapped to the host through
// the sim's file system when one is given (otherwise taken as a host path with "\" read as
// "/"); a bare name is left to the system's library search, as on Windows.
class PosixModules final : public Modules {
 public:
  explicit PosixModules(const SimFileSystem* files = nullptr) : m_files(files) {}

  // flags are accepted and ignored: the product passes 0.
  ErrorCode LoadModule(const std::wstring& path, std::uint32_t flags, ModuleHandle* module) override;
  EntryPoint FindSymbol(ModuleHandle module, const std::string& name) override;
  ErrorCode ReleaseModule(ModuleHandle module) override;

  // The host path a Windows path names; for tests that place module files.
  std::string HostPath(const std::wstring& path) const;

 private:
  const SimFileSystem* m_files;
};

}  // namespace ov::platform::sim
