// The tracing model against the sim registry: load repairs, views, save values and marks.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "model/ov_client_tracing.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_system.h"
#include "platform/sim/sim_ui.h"

using namespace ov::platform;
using namespace ov::platform::sim;

namespace {

const std::wstring kShared = L"SOFTWARE\\Veltrane\\Desktop Client\\Shared Engine";
const std::wstring kPopup = L"SOFTWARE\\Veltrane\\Desktop Client\\Popup Manager";
const std::wstring kMessage = L"SOFTWARE\\Veltrane\\Desktop Client\\Message Client";
const std::wstring kHooks = L"SOFTWARE\\Veltrane\\OvSpoolerHooks\\Tracing";
const std::wstring kDesktop = L"Software\\Veltrane\\Desktop Client";

class ModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = std::filesystem::temp_directory_path() /
            ("ovmodel-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(m_dir);
    std::filesystem::create_directories(m_dir / "C");
    files = std::make_unique<SimFileSystem>(m_dir.string());
    platform.registry = &registry;
    platform.system = &system;
    platform.files = files.get();
    platform.ui = &ui;
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }

  std::uint32_t Dword(const std::wstring& key, const std::wstring& name) {
    std::uint32_t v = 0xDEADBEEF;
    EXPECT_TRUE(registry.GetDword(key, name, &v)) << "no DWORD " << std::string(name.begin(), name.end());
    return v;
  }
  std::wstring String(const std::wstring& key, const std::wstring& name) {
    std::wstring s = L"<missing>";
    registry.GetString(key, name, &s);
    return s;
  }
  void WriteFile(const std::wstring& winPath, std::size_t bytes) {
    std::filesystem::create_directories(std::filesystem::path(files->ToHostPath(winPath)).parent_path());
    std::ofstream(files->ToHostPath(winPath), std::ios::binary) << std::string(bytes, 'x');
  }

  std::filesystem::path m_dir;
  SimRegistry registry;
  SimSystemInfo system;
  SimUserInteraction ui;
  std::unique_ptr<SimFileSystem> files;
  Platform platform;
};

TEST_F(ModelTest, LoadOnEmptyRegistryCreatesKeysWithDefaultsButNotDefaultDir) {
  OvClientTracingList list(platform);
  ASSERT_EQ(list.GetCount(), 4);
  const wchar_t* names[] = {L"Shared Engine Service", L"Popup Manager", L"Message Client", L"Spooler Hooks"};
  for (int i = 0; i < 4; ++i) {
    const auto e = list.GetEntry(i);
    EXPECT_EQ(e.m_name, names[i]);
    EXPECT_EQ(e.m_level, L"0");
    EXPECT_EQ(e.m_enabled, 0);
    EXPECT_EQ(e.m_modified + e.m_spoolerRestartPending + e.m_sharedEngineRestartPending, 0);
    EXPECT_EQ(Dword(e.m_keyPath, L"Level"), 0u);
    EXPECT_EQ(Dword(e.m_keyPath, L"Enable"), 0u);
    EXPECT_EQ(registry.FindValue(e.m_keyPath, L"File"), nullptr);  // file name from the table
    EXPECT_EQ(registry.FindValue(e.m_keyPath, L"SeverityFilter"), nullptr);  // read, never repaired
  }
  EXPECT_TRUE(registry.KeyExists(kDesktop));
  EXPECT_EQ(registry.FindValue(kDesktop, L"DefaultDir"), nullptr);
  EXPECT_EQ(list.GetDefaultDirectory(), L"C:\\ProgramData\\Mirabo\\Ostrival\\Logs\\Veltrane\\Client");
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST_F(ModelTest, ExistingKeysAreReadOnlySoRepairsNeverLandAndSeverityFilterComesFirst) {
  registry.PutDword(kShared, L"SeverityFilter", 8);  // no Level at all
  registry.PutString(kPopup, L"Level", L"5");      // wrong type in an existing key
  registry.PutString(kPopup, L"SeverityFilter", L"9");  // so is this one: Level decides
  registry.PutDword(kPopup, L"Enable", 2);         // only 1 means on
  registry.PutDword(kMessage, L"SeverityFilter", 4294967295u);  // the saved level, over Level
  registry.PutDword(kMessage, L"Level", 3);
  registry.PutDword(kMessage, L"Enable", 1);
  registry.PutValue(kHooks, L"Level", kRegBinary, {1, 2, 3, 4, 5, 6});  // longer than 4 bytes
  system.commonAppData.clear();                    // shell folder unknown
  OvClientTracingList list(platform);
  ASSERT_EQ(list.GetCount(), 4);
  EXPECT_EQ(list.GetEntry(0).m_level, L"8");
  EXPECT_EQ(registry.ValueNames(kShared).size(), 1u);
  EXPECT_EQ(list.GetEntry(1).m_level, L"0");
  EXPECT_EQ(list.GetEntry(1).m_enabled, 0);
  EXPECT_EQ(String(kPopup, L"Level") + String(kPopup, L"SeverityFilter"), L"59");  // left in place
  EXPECT_EQ(list.GetEntry(2).m_level, L"-1");
  EXPECT_EQ(list.GetEntry(2).m_enabled, 1);
  EXPECT_EQ(list.GetEntry(3).m_level, L"0");
  EXPECT_EQ(registry.FindValue(kHooks, L"Level")->type, kRegBinary);
  EXPECT_EQ(list.GetDefaultDirectory(), L"\\Mirabo\\Ostrival\\Logs\\Veltrane\\Client");
}

TEST_F(ModelTest, EntriesWhoseKeysCannotBeOpenedDisappearSilently) {
  registry.RefuseOpen(kPopup, kErrorAccessDenied);
  registry.RefuseOpen(kHooks, kErrorAccessDenied);
  OvClientTracingList list(platform);
  ASSERT_EQ(list.GetCount(), 2);
  EXPECT_EQ(list.GetEntry(0).m_name, L"Shared Engine Service");
  EXPECT_EQ(list.GetEntry(1).m_name, L"Message Client");
  EXPECT_TRUE(ui.shown.empty());
}

TEST_F(ModelTest, SpoolerHooksUseThe64BitViewOnlyUnderWow64) {
  SimRegistry wowRegistry(true);
  platform.registry = &wowRegistry;
  wowRegistry.PutDword(kHooks, L"Level", 9);                     // 64-bit view
  wowRegistry.PutDword(L"SOFTWARE\\Wow6432Node\\Veltrane\\OvSpoolerHooks\\Tracing", L"Level", 3);
  wowRegistry.PutDword(L"SOFTWARE\\Wow6432Node\\Veltrane\\Desktop Client\\Popup Manager", L"Level", 4);
  system.wow64 = true;
  {
    OvClientTracingList list(platform);
    EXPECT_EQ(list.GetEntry(3).m_use64BitView, 1);
    EXPECT_EQ(list.GetEntry(0).m_use64BitView, 0);
    EXPECT_EQ(list.GetEntry(3).m_level, L"9");
    EXPECT_EQ(list.GetEntry(1).m_level, L"4");
    auto e = list.GetEntry(3);
    e.m_level = L"12";
    e.m_modified = 1;
    list.SetEntry(3, e);
    list.SaveToRegistry();
    std::uint32_t v = 0;
    ASSERT_TRUE(wowRegistry.GetDword(kHooks, L"SeverityFilter", &v));
    EXPECT_EQ(v, 12u);
    EXPECT_FALSE(wowRegistry.GetDword(L"SOFTWARE\\Wow6432Node\\Veltrane\\OvSpoolerHooks\\Tracing",
                                      L"SeverityFilter", &v));
  }
  for (auto variant : {std::optional<bool>{}, std::optional<bool>{false}}) {
    system.wow64 = variant;
    OvClientTracingList list(platform);
    EXPECT_EQ(list.GetEntry(3).m_use64BitView, 0);
  }
  system.wow64 = true;
  system.wow64CallFails = true;
  EXPECT_FALSE(IsRunningUnderWow64(system));
}

TEST_F(ModelTest, SaveWritesExactValuesAndTypesThenOnlyDefaultDir) {
  OvClientTracingList list(platform);
  auto popup = list.GetEntry(1);
  popup.m_level = L"5";
  popup.m_enabled = 1;
  popup.m_modified = popup.m_spoolerRestartPending = 1;
  list.SetEntry(1, popup);
  registry.PutDword(kPopup, L"Level", 77);
  list.SaveToRegistry();  // the values themselves: the session under Wine
  const std::wstring file = list.GetDefaultDirectory() + L"\\OvPopupManager.log";
  EXPECT_EQ(String(kPopup, L"File"), file);
  EXPECT_EQ(registry.FindValue(kPopup, L"File")->data.size(), (file.size() + 1u) * 2u);
  EXPECT_EQ(Dword(kPopup, L"Level"), 77u);  // numeric levels are written elsewhere
  EXPECT_EQ(OvClientTracingList(platform).GetEntry(1).m_level, L"5");  // and read back from there
  EXPECT_EQ(registry.FindValue(kShared, L"File"), nullptr);
  EXPECT_EQ(list.GetEntry(1).m_modified, 0);
  EXPECT_EQ(list.GetEntry(1).m_spoolerRestartPending, 1);  // marks survive saves
  EXPECT_TRUE(ui.shown.empty());

  registry.ClearLog();
  list.SaveToRegistry();
  std::wstring sets;  // a second save writes "DefaultDir" alone
  for (const auto& line : registry.Log()) sets += line.rfind(L"Set", 0) == 0 ? line + L";" : L"";
  EXPECT_EQ(sets, L"Set " + kDesktop + L" [DefaultDir];");
}

TEST_F(ModelTest, LevelTextConversion) {
  struct Case { const wchar_t* text; std::uint32_t stored; };
  const Case cases[] = {{L"abc", 0}, {L" 12x", 12}, {L"-1", 4294967295u}, {L"+7", 7},
                        {L"99999999999", 2147483647u}, {L"-99999999999", 2147483648u}, {L"", 0}};
  for (const auto& c : cases) {
    OvClientTracingList list(platform);
    auto e = list.GetEntry(0);
    e.m_level = c.text;
    e.m_modified = 1;
    list.SetEntry(0, e);
    list.SaveToRegistry();
    EXPECT_EQ(Dword(kShared, L"SeverityFilter"), c.stored) << std::string(e.m_level.begin(), e.m_level.end());
  }
}

TEST_F(ModelTest, TrailingBackslashDoublesInFileAndCaseMattersForTheDirectory) {
  OvClientTracingList list(platform);
  const std::wstring dir = list.GetDefaultDirectory();
  EXPECT_FALSE(list.SetDefaultDirectory(dir));
  EXPECT_EQ(list.GetEntry(0).m_modified, 0);
  std::wstring upper = dir;
  upper[0] = L'c';
  EXPECT_TRUE(list.SetDefaultDirectory(upper));  // marking every entry: the dialog's tests
  list.SetDefaultDirectory(L"D:\\T\\");
  list.SaveToRegistry();
  EXPECT_EQ(String(kMessage, L"File"), L"D:\\T\\\\MessageClient.log");
}

TEST_F(ModelTest, FailedSaveKeepsTheMarkAndSaysSoOnce) {
  OvClientTracingList list(platform);
  for (int i = 0; i < 4; ++i) {
    auto e = list.GetEntry(i);
    e.m_modified = 1;
    list.SetEntry(i, e);
  }
  registry.RemoveKeyTree(kPopup);  // deleted after loading
  registry.SetFailureHook([](RegOp op, const std::wstring& path, const std::wstring& name) {
    return op == RegOp::Set && path == kHooks && name == L"Enable" ? kErrorAccessDenied : kSuccess;
  });
  EXPECT_FALSE(list.SaveToRegistry());
  EXPECT_EQ(ui.shown.size() == 1 ? ui.shown[0].caption + L"|" + ui.shown[0].text : L"",
            L"Registry Error|Error saving registry entry");
  EXPECT_EQ(list.GetEntry(0).m_modified, 0);
  EXPECT_EQ(list.GetEntry(1).m_modified, 1);
  EXPECT_EQ(list.GetEntry(2).m_modified, 0);
  EXPECT_EQ(list.GetEntry(3).m_modified, 1);
  EXPECT_EQ(registry.FindValue(kPopup, L"File"), nullptr);
  // Once the fault is gone the next save writes what was missing, silently.
  registry.SetFailureHook(nullptr);
  registry.AddKey(kPopup);
  EXPECT_TRUE(list.SaveToRegistry());
  EXPECT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(Dword(kHooks, L"Enable"), 0u);
  EXPECT_EQ(list.GetEntry(1).m_modified, 0);
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST_F(ModelTest, UnexpectedFailureDuringLoadIsReportedAndKeepsTableValues) {
  registry.PutDword(kPopup, L"Level", 3);
  registry.SetFailureHook([](RegOp op, const std::wstring& path, const std::wstring& name) -> ErrorCode {
    if (op == RegOp::Query && path == kPopup && name == L"Enable") throw std::bad_alloc();
    return kSuccess;
  });
  OvClientTracingList list(platform);
  EXPECT_EQ(ui.shown.size() == 1 ? ui.shown[0].caption + L"|" + ui.shown[0].text : L"",
            L"Registry Error|Error reading registry entry");
  ASSERT_EQ(list.GetCount(), 4);
  EXPECT_EQ(list.GetEntry(0).m_level, L"0");
  EXPECT_EQ(list.GetEntry(1).m_level, L"");  // the visit in progress is left as it was
  EXPECT_EQ(list.GetEntry(3).m_level, L"");
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST_F(ModelTest, FileSizeTexts) {
  registry.PutString(kDesktop, L"DefaultDir", L"C:\\Logs");
  OvClientTracingList list(platform);
  const std::wstring path = L"C:\\Logs\\OvSharedEngine.log";
  EXPECT_EQ(list.GetFileSizeText(0), L"Doesn't exist");
  struct Case { std::size_t bytes; const wchar_t* text; };
  for (const auto& c : {Case{0, L".0KB"}, Case{512, L".5KB"}, Case{1000, L"1.0KB"}, Case{1023, L"1.0KB"},
                        Case{1024, L"1.0KB"}, Case{12345, L"12.1KB"}}) {
    WriteFile(path, c.bytes);
    EXPECT_EQ(list.GetFileSizeText(0), c.text) << c.bytes;
  }
  // Sparse files stand in for the large ones.
  const std::string host = files->ToHostPath(path);
  std::filesystem::resize_file(host, 1073741824ull);
  EXPECT_EQ(list.GetFileSizeText(0), L"1048576.0KB");
  std::filesystem::resize_file(host, 2147483648ull);
  EXPECT_EQ(list.GetFileSizeText(0), L"Error");
  std::filesystem::resize_file(host, 100);
  // A component writing with shared read does not hide the size; one denying reads does.
  int token = files->HoldOpen(path, kGenericWrite, kFileShareRead | kFileShareWrite);
  EXPECT_EQ(list.GetFileSizeText(0), L".1KB");
  files->ReleaseShare(token);
  token = files->HoldOpen(path, kGenericWrite, 0);
  EXPECT_EQ(list.GetFileSizeText(0), L"Doesn't exist");
  files->ReleaseShare(token);
}

}  // namespace
