// What the product needs of a registry, checked on the sim and on the real one alike.
#include <gtest/gtest.h>

#include <chrono>

#include "platform/registry.h"
#include "tests/platform/contract_platform.h"

using namespace ov::platform;

namespace {

class RegistryContract : public ::testing::Test {
 protected:
  void SetUp() override {
    base = L"SOFTWARE\\OvContract\\" +
           std::to_wstring(std::chrono::steady_clock::now().time_since_epoch().count()) + L"\\" +
           std::wstring(testName.begin(), testName.end());
  }
  RegKey Create(const std::wstring& path, std::uint32_t access = kKeyRead | kKeyWrite) {
    RegKey key = kNoKey;
    EXPECT_EQ(registry->CreateKey(kHKeyLocalMachine, path, access, &key), kSuccess);
    return key;
  }
  void SetString(RegKey key, const std::wstring& name, const std::wstring& text, std::uint32_t type = kRegSz) {
    const auto bytes = ToRegistryText(text);
    ASSERT_EQ(registry->SetValue(key, name, type, bytes.data(), static_cast<std::uint32_t>(bytes.size())), kSuccess);
  }
  std::string testName = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  Registry* registry = contract::Os().registry;
  std::wstring base;
};

TEST_F(RegistryContract, MissingKeysAreNotFoundCreateMakesIntermediatesAndRemoteNeedsAMachine) {
  RegKey key = kNoKey;
  EXPECT_EQ(registry->OpenKey(kHKeyLocalMachine, base + L"\\a\\b", kKeyRead, &key), kErrorFileNotFound);
  key = Create(base + L"\\a\\b");
  ASSERT_NE(key, kNoKey);
  EXPECT_EQ(registry->CloseKey(key), kSuccess);
  ASSERT_EQ(registry->OpenKey(kHKeyLocalMachine, base + L"\\A", kKeyRead, &key), kSuccess);  // case-insensitive
  std::wstring sub;
  EXPECT_EQ(registry->EnumKey(key, 0, 512, &sub), kSuccess);
  EXPECT_EQ(sub, L"b");
  EXPECT_EQ(registry->EnumKey(key, 1, 512, &sub), kErrorNoMoreItems);
  registry->CloseKey(key);
  EXPECT_NE(registry->ConnectRegistry(L"\\\\no-such-machine-ov", kHKeyLocalMachine, &key), kSuccess);
}

TEST_F(RegistryContract, QueryReportsTypeSizeAndMoreData) {
  RegKey key = Create(base);
  SetString(key, L"Text", L"hello");
  const std::uint8_t dword[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  ASSERT_EQ(registry->SetValue(key, L"Num", kRegDword, dword, 4), kSuccess);
  std::uint32_t type = 0, size = 0;
  ASSERT_EQ(registry->QueryValue(key, L"Text", &type, nullptr, &size), kSuccess);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(size, 12u);
  std::uint8_t small[4] = {};
  size = sizeof small;
  EXPECT_EQ(registry->QueryValue(key, L"Text", &type, small, &size), kErrorMoreData);
  EXPECT_EQ(size, 12u);
  std::uint8_t buffer[64] = {};
  size = sizeof buffer;
  ASSERT_EQ(registry->QueryValue(key, L"Text", &type, buffer, &size), kSuccess);
  EXPECT_EQ(FromRegistryText(buffer, size), L"hello");
  size = 4;
  ASSERT_EQ(registry->QueryValue(key, L"Num", &type, small, &size), kSuccess);
  EXPECT_EQ(type, kRegDword);
  EXPECT_EQ(small[3], 0xFF);
  EXPECT_EQ(registry->QueryValue(key, L"Missing", &type, nullptr, &size), kErrorFileNotFound);
  EXPECT_EQ(registry->DeleteValue(key, L"Text"), kSuccess);
  EXPECT_EQ(registry->DeleteValue(key, L"Text"), kErrorFileNotFound);
  registry->CloseKey(key);
}

TEST_F(RegistryContract, ReadOnlyHandleRefusesWritesAndChangesNothing) {
  RegKey writable = Create(base);
  SetString(writable, L"Keep", L"x");
  registry->CloseKey(writable);
  RegKey key = kNoKey;
  ASSERT_EQ(registry->OpenKey(kHKeyLocalMachine, base, kKeyRead, &key), kSuccess);
  const auto bytes = ToRegistryText(L"y");
  EXPECT_EQ(registry->SetValue(key, L"Keep", kRegSz, bytes.data(), 4), kErrorAccessDenied);
  EXPECT_EQ(registry->SetValue(key, L"New", kRegSz, bytes.data(), 4), kErrorAccessDenied);
  EXPECT_EQ(registry->DeleteValue(key, L"Keep"), kErrorAccessDenied);
  std::uint8_t buffer[16] = {};
  std::uint32_t size = sizeof buffer, type = 0;
  ASSERT_EQ(registry->QueryValue(key, L"Keep", &type, buffer, &size), kSuccess);
  EXPECT_EQ(FromRegistryText(buffer, size), L"x");
  EXPECT_EQ(registry->QueryValue(key, L"New", &type, nullptr, &size), kErrorFileNotFound);
  registry->CloseKey(key);
}

TEST_F(RegistryContract, EnumeratesValuesWithNameBufferLimit) {
  RegKey key = Create(base);
  const std::wstring longName(600, L'n');
  SetString(key, L"first", L"1");
  SetString(key, longName, L"2");
  SetString(key, L"", L"default");
  std::wstring name;
  std::uint32_t type = 0;
  int seen = 0, tooLong = 0;
  for (std::uint32_t i = 0;; ++i) {
    const ErrorCode rc = registry->EnumValue(key, i, 512, &name, &type);
    if (rc == kErrorNoMoreItems) break;
    if (rc == kErrorMoreData) {
      ++tooLong;
      continue;
    }
    ASSERT_EQ(rc, kSuccess);
    EXPECT_EQ(type, kRegSz);
    ++seen;
  }
  EXPECT_EQ(seen, 2);
  EXPECT_EQ(tooLong, 1);
  registry->CloseKey(key);
}

TEST_F(RegistryContract, ThirtyTwoBitViewIsSeparateForSoftware) {
  // Run as a 64-bit process (Wine's build and the sim's default): the 32-bit view of
  // SOFTWARE is another tree.
  RegKey key = Create(base, kKeyRead | kKeyWrite | kKeyWow64_32Key);
  SetString(key, L"View", L"32");
  registry->CloseKey(key);
  RegKey native = kNoKey;
  EXPECT_EQ(registry->OpenKey(kHKeyLocalMachine, base, kKeyRead, &native), kErrorFileNotFound);
  std::wstring redirected = base;
  redirected.insert(9, L"Wow6432Node\\");
  ASSERT_EQ(registry->OpenKey(kHKeyLocalMachine, redirected, kKeyRead, &native), kSuccess);
  registry->CloseKey(native);
}

}  // namespace
