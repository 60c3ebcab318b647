// PosixModules: dlopen, dlsym and dlclose behind Windows' codes.
#include "platform/sim/posix_modules.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "platform/sim/sim_files.h"

namespace ov::platform::sim {
namespace {
bool HasDirectory(const std::wstring& path) {
  return path.find_first_of(L"\\/:") != std::wstring::npos;
}
}  // namespace

std::string PosixModules::HostPath(const std::wstring& path) const {
  if (!HasDirectory(path)) return WideToHost(path);
  if (m_files != nullptr) return m_files->ToHostPath(path);
  std::string host = WideToHost(path);
  for (char& c : host) {
    if (c == '\\') c = '/';
  }
  return host;
}

ErrorCode PosixModules::LoadModule(const std::wstring& path, std::uint32_t flags, ModuleHandle* module) {
  *module = kNoModule;
  loads.push_back({path, flags});
  if (path.empty()) return kErrorModNotFound;
  std::string host = HostPath(path);
  const bool direct = HasDirectory(path);
  if (direct && (flags & kLoadSearchDllLoadDir) != 0 && !(path.size() > 2 && path[1] == L':' && path[2] == L'\\')) {
    return kErrorInvalidParameter;  // the library's folder must be known absolutely
  }
  if (!direct && m_files != nullptr) {
    std::vector<std::wstring> folders;
    if (flags == 0 || (flags & kLoadSearchApplicationDir) != 0) folders.push_back(applicationDirectory);
    if (flags == 0 || (flags & kLoadSearchSystem32) != 0) folders.push_back(systemDirectory);
    if (flags == 0) folders.push_back(L".");
    host.clear();
    for (const std::wstring& folder : folders) {
      const std::string candidate = m_files->ToHostPath(folder + L"\\" + path);
      if (::access(candidate.c_str(), F_OK) == 0) {
        host = candidate;
        break;
      }
    }
    if (host.empty()) return kErrorModNotFound;
  }
  if (direct && ::access(host.c_str(), F_OK) != 0) return kErrorModNotFound;
  void* handle = ::dlopen(host.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return direct ? kErrorBadExeFormat : kErrorModNotFound;
  *module = reinterpret_cast<ModuleHandle>(handle);
  return kSuccess;
}

EntryPoint PosixModules::FindSymbol(ModuleHandle module, const std::string& name) {
  if (module == kNoModule) return nullptr;
  void* symbol = ::dlsym(reinterpret_cast<void*>(module), name.c_str());
  EntryPoint entry = nullptr;
  static_assert(sizeof entry == sizeof symbol);
  std::memcpy(&entry, &symbol, sizeof entry);
  return entry;
}

ErrorCode PosixModules::ReleaseModule(ModuleHandle module) {
  if (module == kNoModule || ::dlclose(reinterpret_cast<void*>(module)) != 0) return kErrorInvalidHandle;
  return kSuccess;
}

}  // namespace ov::platform::sim
