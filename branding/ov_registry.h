// OvRegistry, a small registry-key reader, and the branding library's folder.
#pragma once
#include <cstdint>
#include <string>

#include "platform/errors.h"
#include "platform/registry.h"

namespace ov::platform {
class Clock;
}

namespace ov::branding {

// Holds at most one open key and closes it when destroyed. Returns Windows error codes and
// never raises.
class OvRegistry {
 public:
  // clock serves the short waits of Open and QueryString; null skips them.
  OvRegistry(platform::Registry& registry, platform::Clock* clock);
  OvRegistry(const OvRegistry&) = delete;
  OvRegistry& operator=(const OvRegistry&) = delete;
  virtual ~OvRegistry();

  // Opens root\subKey with the given access, on the named machine when machineName is not
  // null (falling back to the local root when the machine cannot be reached). Any key
  // already open is closed first. An open that fails with ERROR_INVALID_HANDLE is retried
  // once after 10 ms. options are RegOpenKeyExW's; only 0 is supported (anything else
  // gives kErrorInvalidParameter), and no caller passes another.
  platform::ErrorCode Open(platform::RegKey root, const std::wstring& subKey, std::uint32_t options,
                           std::uint32_t access, const wchar_t* machineName = nullptr);
  // The code of closing the key, or 0 when none was open.
  platform::ErrorCode Close();
  // Reads a REG_SZ value into *text. A value of another type gives 0 and leaves *text as it
  // was; so does a failed read (with its code). With no key open: kErrorInvalidHandle.
  platform::ErrorCode QueryString(const std::wstring& valueName, std::wstring* text);

  bool IsOpen() const { return m_key != platform::kNoKey; }

 private:
  platform::Registry& m_registry;
  platform::Clock* m_clock;
  platform::RegKey m_key = platform::kNoKey;
};

inline constexpr wchar_t kBrandingRegistryKey[] = L"SOFTWARE\\Veltrane\\Common";
inline constexpr wchar_t kSupportFileLocationValue[] = L"Support File Location";

// The folder recorded as "Support File Location", ending in a backslash; empty when none is
// recorded. Read from the process's own registry view.
std::wstring GetSupportFileLocation(platform::Registry& registry, platform::Clock* clock);

}  // namespace ov::branding
