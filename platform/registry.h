// The registry concept: the Reg* operations the product uses, with Windows' codes and rules.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/errors.h"

namespace ov::platform {

// An open key. The predefined roots have the values Windows gives them.
using RegKey = std::uintptr_t;
inline constexpr RegKey kHKeyLocalMachine = 0x80000002u;
inline constexpr RegKey kNoKey = 0;

// Access rights and view flags, bit for bit as in winnt.h.
inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kKeySetValue = 0x0002;
inline constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
inline constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;
inline constexpr std::uint32_t kKeyNotify = 0x0010;
inline constexpr std::uint32_t kKeyWow64_64Key = 0x0100;
inline constexpr std::uint32_t kKeyWow64_32Key = 0x0200;
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyWrite = 0x20006;

// Value types as in winnt.h.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegQword = 11;

class Registry {
 public:
  virtual ~Registry() = default;

  // RegOpenKeyExW: kErrorFileNotFound when the key does not exist, other codes otherwise.
  virtual ErrorCode OpenKey(RegKey parent, const std::wstring& subKey, std::uint32_t access,
                            RegKey* result) = 0;
  // RegCreateKeyExW (non-volatile, no class, no security attributes): opens the key,
  // creating it and every missing intermediate key.
  virtual ErrorCode CreateKey(RegKey parent, const std::wstring& subKey, std::uint32_t access,
                              RegKey* result) = 0;
  // RegQueryValueExW. With data null, reports type and size only. With a buffer shorter than
  // the value: kErrorMoreData and *size set to the size needed. type may be null.
  virtual ErrorCode QueryValue(RegKey key, const std::wstring& name, std::uint32_t* type,
                               std::uint8_t* data, std::uint32_t* size) = 0;
  // RegSetValueExW: fails with kErrorAccessDenied, changing nothing, without KEY_SET_VALUE.
  virtual ErrorCode SetValue(RegKey key, const std::wstring& name, std::uint32_t type,
                             const std::uint8_t* data, std::uint32_t size) = 0;
  virtual ErrorCode DeleteValue(RegKey key, const std::wstring& name) = 0;
  // RegEnumValueW without data: the index-th value's name and type. A name that needs more
  // than nameBufferChars characters (its terminating zero included) gives kErrorMoreData;
  // past the last value kErrorNoMoreItems.
  virtual ErrorCode EnumValue(RegKey key, std::uint32_t index, std::uint32_t nameBufferChars,
                              std::wstring* name, std::uint32_t* type) = 0;
  // RegEnumKeyW: the index-th sub-key's name, with the same buffer rule.
  virtual ErrorCode EnumKey(RegKey key, std::uint32_t index, std::uint32_t nameBufferChars,
                            std::wstring* name) = 0;
  virtual ErrorCode CloseKey(RegKey key) = 0;
  // RegConnectRegistryW: a named machine's predefined root.
  virtual ErrorCode ConnectRegistry(const std::wstring& machine, RegKey root, RegKey* result) = 0;
};

// Registry text is UTF-16LE on every platform; wchar_t is 16 bits on Windows and 32 on Linux.
// REG_SZ data as RegSetValueExW expects it: the characters and a terminating zero.
std::vector<std::uint8_t> ToRegistryText(const std::wstring& text);
// The text of REG_SZ data up to its first zero character or the end of the data.
std::wstring FromRegistryText(const std::uint8_t* data, std::size_t bytes);
// Every UTF-16 unit of the data, zeros included (multi-strings).
std::wstring FromRegistryUnits(const std::uint8_t* data, std::size_t bytes);

// Closes a key on every path out of a scope.
class ScopedRegKey {
 public:
  ScopedRegKey() = default;
  ScopedRegKey(Registry& registry, RegKey key) : m_registry(&registry), m_key(key) {}
  ScopedRegKey(const ScopedRegKey&) = delete;
  ScopedRegKey& operator=(const ScopedRegKey&) = delete;
  ~ScopedRegKey() { Reset(); }
  void Reset() {
    if (m_registry != nullptr && m_key != kNoKey) m_registry->CloseKey(m_key);
    m_key = kNoKey;
  }
  RegKey Get() const { return m_key; }
  explicit operator bool() const { return m_key != kNoKey; }

 private:
  Registry* m_registry = nullptr;
  RegKey m_key = kNoKey;
};

}  // namespace ov::platform
