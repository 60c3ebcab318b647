// Branding against real branding libraries: the sim natively, the real registry and loader
// under Wine; OvRegistry's rules natively, where the sim can inject failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "branding/branding_placeholders.h"
#include "branding/ov_brands.h"
#include "branding/ov_registry.h"
#include "tests/support/recording_writer.h"
#if defined(_WIN32)
#include <windows.h>

#include "app/app_platform.h"
#else
#include <filesystem>

#include "tests/support/sim_machine.h"
#endif

namespace {

using namespace ov::platform;
using ov::branding::OvBrands;

const std::wstring kKey = ov::branding::kBrandingRegistryKey, kValue = ov::branding::kSupportFileLocationValue;
const std::wstring kFull[] = {L"Veltrane PrintSentry", L"Veltrane Systems", L"+44 20 7946 0321", L"0800 046 0321",
                              L"Veltrane PrintSentry Print Management Suite",
                              L"https://www.printsentry.example/support"};

// The registry and loader of the tier: the process's own under Wine, the simulated machine's
// natively. The branding libraries are built from the demo source ("full", "nulls",
// "emptyreports", "partial"), one folder each beside the program; natively they are copied
// into the sim's file system.
#if defined(_WIN32)
struct Tier {
  Platform& os = ov::app::ProcessPlatform();
  std::wstring FixtureFolder(const std::string& variant) {
    wchar_t exe[MAX_PATH] = {};
    const std::wstring path(exe, GetModuleFileNameW(nullptr, exe, MAX_PATH));
    return path.substr(0, path.find_last_of(L'\\')) + L"\\fixtures\\" + std::wstring(variant.begin(), variant.end());
  }
};
#else
namespace fs = std::filesystem;
struct Tier : ov::test::SimMachine {
  Platform& os = platform;
  std::wstring FixtureFolder(const std::string& variant) {
    const std::wstring folder = L"C:\\Program Files\\Veltrane\\" + sim::HostToWide(variant);
    fs::create_directories(Host(folder));
    fs::copy_file(fs::read_symlink("/proc/self/exe").parent_path() / "fixtures" / variant / "OvBrands.dll",
                  Host(folder + L"\\OvBrands.dll"), fs::copy_options::overwrite_existing);
    return folder;
  }
};
#endif

class BrandingTest : public ::testing::Test {
 protected:
  void SetUp() override { OvBrands::InstallPlatform(tier.os); }
  void TearDown() override {
    OvBrands::ResetForTesting();
    OvBrands::InstallPlatform({});
    SetSupportFileLocation(nullptr);
  }
  // "Support File Location" through the registry concept; null removes it.
  void SetSupportFileLocation(const wchar_t* folder, std::uint32_t type = kRegSz) {
    RegKey key = kNoKey;
    if (registry.CreateKey(kHKeyLocalMachine, kKey, kKeyWrite, &key) != kSuccess) return;
    if (folder == nullptr) {
      registry.DeleteValue(key, kValue);
    } else {
      const std::vector<std::uint8_t> data = ToRegistryText(folder);
      registry.SetValue(key, kValue, type, data.data(), static_cast<std::uint32_t>(data.size()));
    }
    registry.CloseKey(key);
  }
  // "" for no library.
  void UseLibrary(const std::string& variant) {
    OvBrands::ResetForTesting();
    SetSupportFileLocation(variant.empty() ? nullptr : tier.FixtureFolder(variant).c_str());
  }
  long Count(const std::string& line) {
    const std::vector<std::string> messages = recorder.Messages();
    return std::count(messages.begin(), messages.end(), line);
  }

  ov::trace::testing::InstalledRecorder recorder;
  Tier tier;
  Registry& registry = *tier.os.registry;
};

TEST_F(BrandingTest, GettersAnswerPerLibrary) {
  const std::wstring n = L"(null)", reports = L"Reports Manager", url = ov::branding::kDefaultUrl;
  const std::wstring u[] = {L"Unknown Product", L"Unknown Company", L"Unknown Contact Number",
                            L"Unknown Toll free contact number", L"Unknown long name"};
  const struct {
    std::string variant;
    std::vector<std::wstring> values;  // the getters in the order asked below, null as "(null)"
  } cases[] = {
      {"", {u[0], u[1], u[2], u[3], u[4], url, reports, n, n}},
      {"full", {kFull[0], kFull[1], kFull[2], kFull[3], kFull[4], kFull[5], L"PrintSentry Reports", L"Print Trail", n}},
      {"nulls", {n, n, n, n, n, n, reports, n, n}},
      {"emptyreports", {kFull[0], kFull[1], kFull[2], kFull[3], kFull[4], kFull[5], reports, L"Print Trail", n}},
      {"partial", {u[0], L"<<_CompanyName_>> and <<_ProductName_>> Labs", u[2], u[3], L"<<_CompanyName_>> Enterprise",
                   url, reports, n, n}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("library '" + c.variant + "'");
    UseLibrary(c.variant);
    OvBrands& b = *OvBrands::getInstance();
    std::vector<std::wstring> values;
    for (const wchar_t* value : {b.GetProductName(), b.getCompanyNameForDisplay(), b.getContactNumber(),
                                 b.getContactNumberTollFree(), b.GetLongName(), b.GetURL(), b.GetReportsManagerName(),
                                 b.getTitleFromResource(11, 0), b.getTitleFromResource(12, 0)}) {
      values.push_back(value == nullptr ? n : value);
    }
    EXPECT_EQ(values, c.values);
  }
}

TEST_F(BrandingTest, ReplacesPlaceholdersInTokenOrder) {
  const struct {
    std::string variant;
    std::wstring text, expected;
  } cases[] = {
      {"", L"<<_ProductName_>> Client Tracing <<_TrailPrinting_>>",
       L"Unknown Product Client Tracing <<_TrailPrinting_>>"},
      {"full",
       L"<<_CompanyName_>>|<<_ProductName_>>|<<_LongName_>>|<<_UrlName_>>|<<_ContactNumber_>>|"
       L"<<_ContactNumberTollFree_>>|<<_ReportsManagerName_>>|<<_TrailPrinting_>>|<<_ProductName_>>",
       kFull[1] + L"|" + kFull[0] + L"|" + kFull[4] + L"|" + kFull[5] + L"|" + kFull[2] + L"|" + kFull[3] +
           L"|PrintSentry Reports|Print Trail|" + kFull[0]},
      // Matched exactly, case included; a broken token is left alone.
      {"full", L"<<_productname_>> <<_ProductName_> <<_ProductName_>>",
       L"<<_productname_>> <<_ProductName_> " + kFull[0]},
      {"full", L"Client tracing <<_Unknown_>> <<_ProductName", L"Client tracing <<_Unknown_>> <<_ProductName"},
      {"nulls", L"<<_ProductName_>> Client Tracing", L"<<_ProductName_>> Client Tracing"},
      {"emptyreports", L"By <<_ReportsManagerName_>>", L"By Reports Manager"},
      // A token inside a value for an earlier token is replaced; inside a value for a later
      // token, or for the same token, it is not.
      {"partial", L"<<_CompanyName_>> / <<_LongName_>>",
       L"<<_CompanyName_>> and Unknown Product Labs / <<_CompanyName_>> Enterprise"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("library '" + c.variant + "'");
    UseLibrary(c.variant);
    std::wstring text = c.text;
    ov::branding::ReplaceBrandingPlaceholders(text);
    EXPECT_EQ(text, c.expected);
  }
  // Loaded only for a token that occurs; each value asked for once per call.
  EXPECT_EQ(Count("LoadLibrary OvBrands.dll"), 5);
  EXPECT_EQ(Count("OvBrands::GetProductName"), 5);
}

TEST_F(BrandingTest, LibraryIsLoadedOnceFromTheRegSzFolder) {
  const std::wstring folder = tier.FixtureFolder("full");
  const struct {
    std::wstring recorded;
    std::uint32_t type;
    std::wstring location, product;
  } cases[] = {{folder, kRegSz, folder + L"\\", kFull[0]},
               {folder + L"\\", kRegSz, folder + L"\\", kFull[0]},
               {folder, kRegExpandSz, L"", L"Unknown Product"},
               {L"", kRegSz, L"", L"Unknown Product"},
               {folder + L"\\missing", kRegSz, folder + L"\\missing\\", L"Unknown Product"}};
  for (const auto& c : cases) {
    OvBrands::ResetForTesting();
    SetSupportFileLocation(c.recorded.c_str(), c.type);
    EXPECT_EQ(ov::branding::GetSupportFileLocation(registry, tier.os.clock), c.location);
    EXPECT_EQ(OvBrands::getInstance()->GetProductName(), c.product);
  }
  SetSupportFileLocation(folder.c_str());  // after a failed load: not retried
  EXPECT_STREQ(OvBrands::getInstance()->GetProductName(), L"Unknown Product");
  EXPECT_EQ(Count("LoadLibrary failed for DLL: OvBrands.dll"), 3);
}

#if !defined(_WIN32)
using ov::branding::OvRegistry;
using sim::RegOp;

TEST_F(BrandingTest, OnlyAnInvalidHandleIsRetriedOnce) {
  const struct {
    ErrorCode failure;
    int failures;  // opens of the key that answer `failure` first
    ErrorCode result;
    std::vector<std::uint32_t> sleeps;  // one per retry
  } cases[] = {{kErrorInvalidHandle, 0, kSuccess, {}},
               {kErrorInvalidHandle, 1, kSuccess, {10}},
               {kErrorInvalidHandle, 2, kErrorInvalidHandle, {10}},
               {kErrorAccessDenied, 1, kErrorAccessDenied, {}}};
  tier.registry.PutString(kKey, kValue, L"C:\\Brands");
  for (const auto& c : cases) {
    int opens = 0;
    tier.registry.SetFailureHook([&](RegOp op, const std::wstring&, const std::wstring&) -> ErrorCode {
      return op == RegOp::Open && ++opens <= c.failures ? c.failure : kSuccess;
    });
    tier.clock.ClearSleeps();
    {
      OvRegistry key(tier.registry, &tier.clock);
      EXPECT_EQ(key.Open(kHKeyLocalMachine, kKey, 0, kKeyQueryValue), c.result) << c.failures;
      EXPECT_EQ(static_cast<std::size_t>(opens), 1 + c.sleeps.size());
      EXPECT_EQ(tier.clock.Sleeps(), c.sleeps);
    }
    EXPECT_EQ(tier.registry.OpenHandleCount(), 0u);
  }
}

std::vector<std::uint8_t> Utf16(std::initializer_list<std::uint16_t> units) {
  std::vector<std::uint8_t> bytes;
  for (std::uint16_t u : units) bytes.insert(bytes.end(), {std::uint8_t(u & 0xFF), std::uint8_t(u >> 8)});
  return bytes;
}

TEST_F(BrandingTest, QueryStringReadsOnlyRegSzAndLeavesTheOutputOnFailure) {
  const struct {
    std::uint32_t type;
    std::vector<std::uint8_t> data;
    std::wstring text;  // "unchanged" when the output keeps its old value
  } cases[] = {
      {kRegSz, Utf16({'C', ':', 0x20AC, 0}), L"C:\u20AC"},
      {kRegSz, Utf16({'a', 'b', 'c'}), L"abc"},  // no terminating zero
      {kRegSz, Utf16({'a', 0, 'b', 0}), L"a"},
      {kRegSz, {'a', 0, 'b', 0, '!'}, L"ab"},  // odd size
      {kRegSz, {}, L""},
      {kRegExpandSz, Utf16({'x', 0}), L"unchanged"},
      {kRegDword, {1, 0, 0, 0}, L"unchanged"},
  };
  for (const auto& c : cases) {
    tier.registry.PutValue(kKey, kValue, c.type, c.data);
    OvRegistry key(tier.registry, &tier.clock);
    ASSERT_EQ(key.Open(kHKeyLocalMachine, kKey, 0, kKeyQueryValue), kSuccess);
    tier.clock.ClearSleeps();
    std::wstring text = L"unchanged";
    EXPECT_EQ(key.QueryString(kValue, &text), kSuccess);
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(tier.clock.Sleeps(), c.type == kRegSz ? std::vector<std::uint32_t>{15} : std::vector<std::uint32_t>{});
  }
  OvRegistry key(tier.registry, &tier.clock);
  ASSERT_EQ(key.Open(kHKeyLocalMachine, kKey, 0, kKeyQueryValue), kSuccess);
  tier.registry.PutString(kKey, kValue, L"C:\\Brands");
  int queries = 0;  // the value grows between the measurement and the read
  tier.registry.SetFailureHook([&](RegOp op, const std::wstring&, const std::wstring&) -> ErrorCode {
    if (op == RegOp::Query && ++queries == 2) tier.registry.PutString(kKey, kValue, L"C:\\A much longer folder");
    return kSuccess;
  });
  std::wstring text = L"unchanged";
  EXPECT_EQ(key.QueryString(kValue, &text), kErrorMoreData);
  EXPECT_EQ(text, L"unchanged");
}

TEST_F(BrandingTest, SupportFileLocationReadsTheProcessView) {
  sim::SimRegistry wow64(true);
  wow64.PutString(kKey, kValue, L"C:\\64-bit view");
  wow64.PutString(L"SOFTWARE\\Wow6432Node\\Veltrane\\Common", kValue, L"C:\\32-bit view");
  EXPECT_EQ(ov::branding::GetSupportFileLocation(wow64, &tier.clock), L"C:\\32-bit view\\");
}

// The loader's request for each recorded folder, against a library planted in the current
// directory and a relative value that would reach a real library from there.
TEST_F(BrandingTest, LoadsOnlyFromAnAbsoluteRecordedFolderOrTheApplicationsOwn) {
  using Load = sim::PosixModules::Load;
  const std::wstring folder = tier.FixtureFolder("full"), dll = L"OvBrands.dll";
  const std::uint32_t inFolder = kLoadSearchDllLoadDir | kLoadSearchSystem32,
                      bare = kLoadSearchApplicationDir | kLoadSearchSystem32;
  ASSERT_EQ(tier.files.SetWorkingDirectory(L"C:\\Program Files"), kSuccess);
  fs::copy_file(tier.Host(folder + L"\\" + dll), tier.Host(L"C:\\Program Files\\" + dll));
  const struct {
    const wchar_t* recorded;
    Load load;
    std::wstring product;
  } cases[] = {{folder.c_str(), {folder + L"\\" + dll, inFolder}, kFull[0]},
               {nullptr, {dll, bare}, L"Unknown Product"},
               {L"Veltrane\\full", {dll, bare}, L"Unknown Product"},
               {L"\\Program Files\\Veltrane\\full", {dll, bare}, L"Unknown Product"},
               {L"C:Veltrane\\full", {dll, bare}, L"Unknown Product"},
               {L"\\\\server\\share\\full", {dll, bare}, L"Unknown Product"}};
  for (const auto& c : cases) {
    UseLibrary("");
    SetSupportFileLocation(c.recorded);
    EXPECT_EQ(OvBrands::getInstance()->GetProductName(), c.product);
    EXPECT_EQ(tier.modules.loads.back(), c.load);
  }
  EXPECT_EQ(Count("Support File Location is not an absolute local folder: Veltrane\\full\\"), 1);
  EXPECT_EQ(Count("LoadLibrary failed for DLL: OvBrands.dll"), 5);
  // The bare name finds the library in the application's folder.
  tier.modules.applicationDirectory = folder;
  UseLibrary("");
  EXPECT_EQ(OvBrands::getInstance()->GetProductName(), kFull[0]);
}

#else

// Under Wine, as on Windows, a bare name is found in the current directory and on PATH by
// the default search: a library planted there is loaded by a plain LoadLibraryExW, but not
// by the branding loader, and by nothing once the shell has restricted the process's search.
// Last in this file: the restriction stays for the rest of the process.
TEST_F(BrandingTest, PlantedLibrariesAreNotLoaded) {
  wchar_t temp[MAX_PATH] = {}, cwd[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  GetCurrentDirectoryW(MAX_PATH, cwd);
  const std::wstring planted = temp + (L"ovplanted-" + std::to_wstring(GetCurrentProcessId())),
                     dll = planted + L"\\OvBrands.dll";
  std::wstring path(32767, L'\0');
  path.resize(GetEnvironmentVariableW(L"PATH", path.data(), static_cast<DWORD>(path.size())));
  CreateDirectoryW(planted.c_str(), nullptr);
  ASSERT_TRUE(CopyFileW((tier.FixtureFolder("full") + L"\\OvBrands.dll").c_str(), dll.c_str(), FALSE));
  for (const bool restricted : {false, true}) {
    if (restricted) ov::app::RestrictLibrarySearch();
    for (const bool onPath : {false, true}) {
      SCOPED_TRACE(std::string(onPath ? "on PATH" : "in the current directory") + (restricted ? ", restricted" : ""));
      ASSERT_TRUE(onPath ? SetEnvironmentVariableW(L"PATH", (planted + L";" + path).c_str())
                         : SetCurrentDirectoryW(planted.c_str()));
      HMODULE plain = LoadLibraryExW(L"OvBrands.dll", nullptr, 0);
      EXPECT_EQ(plain != nullptr, !restricted);
      if (plain != nullptr) FreeLibrary(plain);
      UseLibrary("");
      EXPECT_STREQ(OvBrands::getInstance()->GetProductName(), L"Unknown Product");
      OvBrands::ResetForTesting();
      SetCurrentDirectoryW(cwd);
      SetEnvironmentVariableW(L"PATH", path.c_str());
    }
  }
  DeleteFileW(dll.c_str());
  RemoveDirectoryW(planted.c_str());
}

#endif

}  // namespace
