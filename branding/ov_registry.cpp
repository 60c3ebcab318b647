// OvRegistry and GetSupportFileLocation.
#include "branding/ov_registry.h"

#include <vector>

#include "platform/clock.h"

namespace ov::branding {

using platform::ErrorCode;
using platform::kNoKey;
using platform::kSuccess;

OvRegistry::OvRegistry(platform::Registry& registry, platform::Clock* clock)
    : m_registry(registry), m_clock(clock) {}

OvRegistry::~OvRegistry() { Close(); }

ErrorCode OvRegistry::Open(platform::RegKey root, const std::wstring& subKey, std::uint32_t options,
                           std::uint32_t access, const wchar_t* machineName) {
  Close();
  if (options != 0) return platform::kErrorInvalidParameter;

  platform::RegKey remote = kNoKey;
  if (machineName != nullptr) {
    // An unreachable machine is not an error here: the local registry answers instead.
    if (m_registry.ConnectRegistry(machineName, root, &remote) != kSuccess) remote = kNoKey;
  }
  const platform::RegKey parent = remote != kNoKey ? remote : root;

  ErrorCode result = m_registry.OpenKey(parent, subKey, access, &m_key);
  if (result == platform::kErrorInvalidHandle) {
    // A handle of the registry that went stale under us (e.g. a remote root being reset)
    // often works a moment later; one retry, no more.
    if (m_clock != nullptr) m_clock->Sleep(10);
    result = m_registry.OpenKey(parent, subKey, access, &m_key);
  }
  if (result != kSuccess) m_key = kNoKey;
  if (remote != kNoKey) m_registry.CloseKey(remote);
  return result;
}

ErrorCode OvRegistry::Close() {
  if (m_key == kNoKey) return kSuccess;
  const ErrorCode result = m_registry.CloseKey(m_key);
  m_key = kNoKey;
  return result;
}

ErrorCode OvRegistry::QueryString(const std::wstring& valueName, std::wstring* text) {
  if (m_key == kNoKey) return platform::kErrorInvalidHandle;
  std::uint32_t type = 0;
  std::uint32_t bytes = 0;
  const ErrorCode measured = m_registry.QueryValue(m_key, valueName, &type, nullptr, &bytes);
  if (measured != kSuccess) return measured;
  if (type != platform::kRegSz) return kSuccess;

  // bytes / 2 + 1 UTF-16 units: room for an odd trailing byte and a terminating zero that
  // the stored value may lack.
  std::vector<std::uint8_t> buffer((bytes / 2 + 1) * 2, 0);
  if (m_clock != nullptr) m_clock->Sleep(15);
  std::uint32_t readBytes = bytes;
  const ErrorCode read = m_registry.QueryValue(m_key, valueName, &type, buffer.data(), &readBytes);
  if (read != kSuccess) return read;
  // Terminated at unit bytes / 2 at the latest; the text ends at its first zero.
  *text = platform::FromRegistryText(buffer.data(), (bytes / 2) * 2);
  return kSuccess;
}

std::wstring GetSupportFileLocation(platform::Registry& registry, platform::Clock* clock) {
  std::wstring folder;
  OvRegistry key(registry, clock);
  if (key.Open(platform::kHKeyLocalMachine, kBrandingRegistryKey, 0, platform::kKeyQueryValue) ==
      kSuccess) {
    key.QueryString(kSupportFileLocationValue, &folder);
  }
  if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
  return folder;
}

}  // namespace ov::branding
