// OvRegistry's retry, remote-machine and string rules, and the release of the branding library
// at process exit, against the sim where failures can be injected.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "branding/ov_brands.h"
#include "branding/ov_registry.h"
#include "platform/sim/posix_modules.h"
#include "platform/sim/sim_registry.h"
#include "tests/branding/branding_machine.h"

namespace {

using namespace ov::platform;
using ov::branding::OvRegistry;
using sim::RegOp;
using sim::SimRegistry;

const std::wstring kKey = L"SOFTWARE\\Veltrane\\Common";
const std::wstring kValue = L"Support File Location";

struct OvRegistryTest : ::testing::Test {
  SimRegistry registry;
  branding_test::RecordingClock clock;
};

TEST_F(OvRegistryTest, OpenRetriesOnceAfterInvalidHandle) {
  struct Case {
    int failures;  // opens of the key that answer ERROR_INVALID_HANDLE first
    ErrorCode result;
    int opens;
    std::vector<std::uint32_t> sleeps;
  };
  const Case cases[] = {{0, kSuccess, 1, {}}, {1, kSuccess, 2, {10}}, {2, kErrorInvalidHandle, 2, {10}}};
  registry.PutString(kKey, kValue, L"C:\\Brands");
  for (const Case& c : cases) {
    int opens = 0;
    registry.SetFailureHook([&](RegOp op, const std::wstring&, const std::wstring&) -> ErrorCode {
      if (op != RegOp::Open) return kSuccess;
      return ++opens <= c.failures ? kErrorInvalidHandle : kSuccess;
    });
    clock.sleeps.clear();
    OvRegistry key(registry, &clock);
    EXPECT_EQ(key.Open(kHKeyLocalMachine, kKey, 0, kKeyQueryValue), c.result) << c.failures;
    EXPECT_EQ(opens, c.opens);
    EXPECT_EQ(clock.sleeps, c.sleeps);
    EXPECT_EQ(key.IsOpen(), c.result == kSuccess);
  }
}

TEST_F(OvRegistryTest, OtherOpenFailuresAreNotRetried) {
  registry.RefuseOpen(kKey, kErrorAccessDenied);
  OvRegistry key(registry, &clock);
  EXPECT_EQ(key.Open(kHKeyLocalMachine, kKey, 0, kKeyQueryValue), kErrorAccessDenied);
  EXPECT_EQ(key.Open(kHKeyLocalMachine, L"SOFTWARE\\Missing", 0, kKeyQueryValue), kErrorFileNotFound);
  EXPECT_TRUE(clock.sleeps.empty());
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST_F(OvRegistryTest, RemoteMachineOrLocalFallback) {
  registry.PutString(kKey, kValue, L"local");
  registry.PutString(L"\\\\PRINTSRV\\" + kKey, kValue, L"remote");
  registry.AddRemoteMachine(L"PRINTSRV");
  struct Case {
    const wchar_t* machine;
    std::wstring text;
  };
  const Case cases[] = {{L"PRINTSRV", L"remote"}, {L"\\\\PRINTSRV", L"remote"},
                        {L"UNREACHABLE", L"local"}, {nullptr, L"local"}};
  for (const Case& c : cases) {
    OvRegistry key(registry, &clock);
    ASSERT_EQ(key.Open(kHKeyLocalMachine, kKey, 0, kKeyQueryValue, c.machine), kSuccess);
    EXPECT_EQ(registry.OpenHandleCount(), 1u) << "the remote root is closed at once";
    std::wstring text;
    EXPECT_EQ(key.QueryString(kValue, &text), kSuccess);
    EXPECT_EQ(text, c.text);
  }
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST_F(OvRegistryTest, KeysAreClosedOnReopenCloseAndDestruction) {
  registry.PutString(kKey, kValue, L"x");
  {
    OvRegistry key(registry, &clock);
    EXPECT_EQ(key.Close(), kSuccess);  // nothing open
    ASSERT_EQ(key.Open(kHKeyLocalMachine, kKey, 0, kKeyQueryValue), kSuccess);
    ASSERT_EQ(key.Open(kHKeyLocalMachine, kKey, 0, kKeyQueryValue), kSuccess);
    EXPECT_EQ(registry.OpenHandleCount(), 1u);
    EXPECT_EQ(key.Close(), kSuccess);
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
    ASSERT_EQ(key.Open(kHKeyLocalMachine, kKey, 0, kKeyQueryValue), kSuccess);
    // A failed open still leaves no key behind.
    EXPECT_EQ(key.Open(kHKeyLocalMachine, L"SOFTWARE\\Missing", 0, kKeyQueryValue), kErrorFileNotFound);
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
    std::wstring text = L"kept";
    EXPECT_EQ(key.QueryString(kValue, &text), kErrorInvalidHandle);
    EXPECT_EQ(text, L"kept");
    ASSERT_EQ(key.Open(kHKeyLocalMachine, kKey, 0, kKeyQueryValue), kSuccess);
  }
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST_F(OvRegistryTest, OpenOptionsOtherThanZeroAreRefused) {
  OvRegistry key(registry, &clock);
  registry.AddKey(kKey);
  EXPECT_EQ(key.Open(kHKeyLocalMachine, kKey, 8, kKeyQueryValue), kErrorInvalidParameter);
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

std::vector<std::uint8_t> Utf16(std::initializer_list<std::uint16_t> units, bool oddByte = false) {
  std::vector<std::uint8_t> bytes;
  for (std::uint16_t u : units) {
    bytes.push_back(static_cast<std::uint8_t>(u & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(u >> 8));
  }
  if (oddByte) bytes.push_back('!');
  return bytes;
}

TEST_F(OvRegistryTest, QueryStringRules) {
  struct Case {
    const char* what;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
    ErrorCode result;
    std::wstring text;  // "unchanged" when the output keeps its old value
  };
  const Case cases[] = {
      {"terminated", kRegSz, Utf16({'C', ':', '\\', 'B', 0}), kSuccess, L"C:\\B"},
      {"no terminating zero", kRegSz, Utf16({'a', 'b', 'c'}), kSuccess, L"abc"},
      {"embedded zero", kRegSz, Utf16({'a', 0, 'b', 0}), kSuccess, L"a"},
      {"odd size", kRegSz, Utf16({'a', 'b'}, true), kSuccess, L"ab"},
      {"empty data", kRegSz, {}, kSuccess, L""},
      {"non-ASCII", kRegSz, Utf16({0x00E9, 0x20AC, 0}), kSuccess, L"\u00E9\u20AC"},
      {"expandable string", kRegExpandSz, Utf16({'x', 0}), kSuccess, L"unchanged"},
      {"number", kRegDword, {1, 0, 0, 0}, kSuccess, L"unchanged"},
  };
  for (const Case& c : cases) {
    registry.PutValue(kKey, kValue, c.type, c.data);
    OvRegistry key(registry, &clock);
    ASSERT_EQ(key.Open(kHKeyLocalMachine, kKey, 0, kKeyQueryValue), kSuccess);
    clock.sleeps.clear();
    std::wstring text = L"unchanged";
    EXPECT_EQ(key.QueryString(kValue, &text), c.result) << c.what;
    EXPECT_EQ(text, c.text) << c.what;
    EXPECT_EQ(clock.sleeps, c.type == kRegSz ? std::vector<std::uint32_t>{15} : std::vector<std::uint32_t>{})
        << c.what;
  }
}

TEST_F(OvRegistryTest, QueryStringFailuresLeaveTheOutput) {
  registry.PutString(kKey, kValue, L"C:\\Brands");
  OvRegistry key(registry, &clock);
  ASSERT_EQ(key.Open(kHKeyLocalMachine, kKey, 0, kKeyQueryValue), kSuccess);
  std::wstring text = L"unchanged";
  EXPECT_EQ(key.QueryString(L"Missing", &text), kErrorFileNotFound);
  EXPECT_EQ(text, L"unchanged");

  // The value grows between the measurement and the read.
  int queries = 0;
  registry.SetFailureHook([&](RegOp op, const std::wstring&, const std::wstring&) -> ErrorCode {
    if (op == RegOp::Query && ++queries == 2) registry.PutString(kKey, kValue, L"C:\\A much longer folder");
    return kSuccess;
  });
  EXPECT_EQ(key.QueryString(kValue, &text), kErrorMoreData);
  EXPECT_EQ(text, L"unchanged");

  registry.SetFailureHook([](RegOp op, const std::wstring&, const std::wstring&) -> ErrorCode {
    return op == RegOp::Query ? kErrorAccessDenied : kSuccess;
  });
  EXPECT_EQ(key.QueryString(kValue, &text), kErrorAccessDenied);
  EXPECT_EQ(text, L"unchanged");
}

TEST_F(OvRegistryTest, SupportFileLocationReadsTheProcessView) {
  SimRegistry wow64(true);
  wow64.PutString(kKey, kValue, L"C:\\64-bit view");
  wow64.PutString(L"SOFTWARE\\Wow6432Node\\Veltrane\\Common", kValue, L"C:\\32-bit view");
  EXPECT_EQ(ov::branding::GetSupportFileLocation(wow64, &clock), L"C:\\32-bit view\\");
}

// ---- Release at process exit

// The real loader, telling stderr when it releases a module.
class ReportingModules final : public Modules {
 public:
  explicit ReportingModules(Modules& inner) : m_inner(inner) {}
  ErrorCode LoadModule(const std::wstring& path, std::uint32_t flags, ModuleHandle* module) override {
    return m_inner.LoadModule(path, flags, module);
  }
  EntryPoint FindSymbol(ModuleHandle module, const std::string& name) override {
    return m_inner.FindSymbol(module, name);
  }
  ErrorCode ReleaseModule(ModuleHandle module) override {
    const ErrorCode result = m_inner.ReleaseModule(module);
    std::fprintf(stderr, "released with code %u\n", static_cast<unsigned>(result));
    return result;
  }

 private:
  Modules& m_inner;
};

TEST(BrandingExit, LibraryIsReleasedAtProcessExit) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        static auto machine = branding_test::MakeMachine();
        static ReportingModules modules(*machine->Platform().modules);
        machine->SetSupportFileLocation(machine->FixtureFolder("full"));
        Platform platform = machine->Platform();
        platform.modules = &modules;
        ov::branding::OvBrands::InstallPlatform(platform);
        const bool loaded = std::wstring(ov::branding::OvBrands::getInstance()->GetProductName()) ==
                            L"Veltrane PrintSentry";
        std::fprintf(stderr, loaded ? "loaded\n" : "not loaded\n");
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "loaded\nreleased with code 0\n");
}

}  // namespace
