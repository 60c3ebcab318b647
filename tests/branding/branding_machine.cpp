// The tier-independent part of the test machine.
#include "tests/branding/branding_machine.h"

#include "branding/ov_registry.h"

namespace branding_test {

using namespace ov::platform;

void Machine::SetSupportFileLocation(const std::wstring& folder, std::uint32_t type) {
  RegKey key = kNoKey;
  if (Registry().CreateKey(kHKeyLocalMachine, ov::branding::kBrandingRegistryKey, kKeyWrite, &key) !=
      kSuccess) {
    return;
  }
  const std::vector<std::uint8_t> data = ToRegistryText(folder);
  Registry().SetValue(key, ov::branding::kSupportFileLocationValue, type, data.data(),
                      static_cast<std::uint32_t>(data.size()));
  Registry().CloseKey(key);
}

void Machine::RemoveSupportFileLocation() {
  RegKey key = kNoKey;
  if (Registry().OpenKey(kHKeyLocalMachine, ov::branding::kBrandingRegistryKey, kKeyWrite, &key) !=
      kSuccess) {
    return;
  }
  Registry().DeleteValue(key, ov::branding::kSupportFileLocationValue);
  Registry().CloseKey(key);
}

}  // namespace branding_test
