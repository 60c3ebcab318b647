// UTF-16LE registry data to and from wide strings, the same on every platform.
#include "platform/registry.h"

namespace ov::platform {

std::vector<std::uint8_t> ToRegistryText(const std::wstring& text) {
  std::vector<std::uint8_t> out;
  out.reserve((text.size() + 1) * 2);
  const auto put = [&out](std::uint32_t unit) {
    out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    out.push_back(static_cast<std::uint8_t>((unit >> 8) & 0xFF));
  };
  for (wchar_t wc : text) {
    const auto c = static_cast<std::uint32_t>(wc);
    if (c > 0xFFFF) {
      put(0xD800 + ((c - 0x10000) >> 10));
      put(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      put(c);
    }
  }
  put(0);
  return out;
}

std::wstring FromRegistryUnits(const std::uint8_t* data, std::size_t bytes) {
  std::wstring out;
  if (data == nullptr) return out;
  for (std::size_t i = 0; i + 1 < bytes; i += 2) {
    std::uint32_t unit = data[i] | (static_cast<std::uint32_t>(data[i + 1]) << 8);
    if (sizeof(wchar_t) == 4 && unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes) {
      const std::uint32_t low = data[i + 2] | (static_cast<std::uint32_t>(data[i + 3]) << 8);
      if (low >= 0xDC00 && low < 0xE000) {
        unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    out.push_back(static_cast<wchar_t>(unit));
  }
  return out;
}

std::wstring FromRegistryText(const std::uint8_t* data, std::size_t bytes) {
  std::wstring out = FromRegistryUnits(data, bytes);
  const auto zero = out.find(L'\0');
  if (zero != std::wstring::npos) out.resize(zero);
  return out;
}

}  // namespace ov::platform
