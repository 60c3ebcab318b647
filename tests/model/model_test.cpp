// The tracing model against the sim registry: load repairs, views, save values and marks.
#include <gtest/gtest.h>

#include "model/ov_client_tracing.h"
#include "tests/support/sim_machine.h"

using namespace ov::platform;
using namespace ov::platform::sim;

namespace {

const std::wstring kShared = L"SOFTWARE\\Veltrane\\Desktop Client\\Shared Engine";
const std::wstring kPopup = L"SOFTWARE\\Veltrane\\Desktop Client\\Popup Manager";
const std::wstring kMessage = L"SOFTWARE\\Veltrane\\Desktop Client\\Message Client";
const std::wstring kHooks = L"SOFTWARE\\Veltrane\\OvSpoolerHooks\\Tracing";
const std::wstring kDesktop = L"Software\\Veltrane\\Desktop Client";

class ModelTest : public ::testing::Test, public ov::test::SimMachine {
 protected:
  // The entry with a new level, marked for saving, stored back.
  static void Edit(OvClientTracingList& list, int index, const std::wstring& level) {
    OvClientTracingEntry entry = list.GetEntry(index);
    entry.m_level = level;
    entry.m_modified = 1;
    list.SetEntry(index, entry);
  }
  std::wstring Shown() const { return ui.shown.size() == 1 ? ui.shown[0].caption + L"|" + ui.shown[0].text : L""; }
};

TEST_F(ModelTest, LoadOnEmptyRegistryCreatesKeysWithDefaultsButNotDefaultDir) {
  OvClientTracingList list(platform);
  ASSERT_EQ(list.GetCount(), 4);
  const wchar_t* names[] = {L"Shared Engine Service", L"Popup Manager", L"Message Client", L"Spooler Hooks"};
  for (int i = 0; i < 4; ++i) {
    const auto e = list.GetEntry(i);
    EXPECT_EQ(e.m_name + L"|" + e.m_level, names[i] + std::wstring(L"|0"));
    EXPECT_EQ(e.m_enabled + e.m_modified + e.m_spoolerRestartPending + e.m_sharedEngineRestartPending, 0);
    EXPECT_EQ(Dword(e.m_keyPath, L"Level") + Dword(e.m_keyPath, L"Enable"), 0u);
    EXPECT_EQ(registry.ValueNames(e.m_keyPath).size(), 2u);  // no File, no SeverityFilter: read, never repaired
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
  EXPECT_EQ(list.GetEntry(1).m_level + L"|" + std::to_wstring(list.GetEntry(1).m_enabled), L"0|0");
  EXPECT_EQ(String(kPopup, L"Level") + String(kPopup, L"SeverityFilter"), L"59");  // left in place
  EXPECT_EQ(list.GetEntry(2).m_level + L"|" + std::to_wstring(list.GetEntry(2).m_enabled), L"-1|1");
  EXPECT_EQ(list.GetEntry(3).m_level, L"0");
  EXPECT_EQ(registry.FindValue(kHooks, L"Level")->type, kRegBinary);
  EXPECT_EQ(list.GetDefaultDirectory(), L"\\Mirabo\\Ostrival\\Logs\\Veltrane\\Client");

  registry.RefuseOpen(kPopup, kErrorAccessDenied);  // such entries disappear silently
  registry.RefuseOpen(kHooks, kErrorAccessDenied);
  OvClientTracingList two(platform);
  ASSERT_EQ(two.GetCount(), 2);
  EXPECT_EQ(two.GetEntry(1).m_name, L"Message Client");
  EXPECT_TRUE(ui.shown.empty());
}

TEST_F(ModelTest, SpoolerHooksUseThe64BitViewOnlyUnderWow64) {
  ov::test::SimMachine wow(true);
  wow.registry.PutDword(kHooks, L"Level", 9);  // 64-bit view
  wow.registry.PutDword(L"SOFTWARE\\Wow6432Node\\Veltrane\\OvSpoolerHooks\\Tracing", L"Level", 3);
  wow.registry.PutDword(L"SOFTWARE\\Wow6432Node\\Veltrane\\Desktop Client\\Popup Manager", L"Level", 4);
  wow.system.wow64 = true;
  OvClientTracingList list(wow.platform);
  EXPECT_EQ(list.GetEntry(3).m_use64BitView + 2 * list.GetEntry(0).m_use64BitView, 1);
  EXPECT_EQ(list.GetEntry(3).m_level + list.GetEntry(1).m_level, L"94");
  Edit(list, 3, L"12");
  list.SaveToRegistry();
  EXPECT_EQ(wow.Dword(kHooks, L"SeverityFilter"), 12u);
  EXPECT_EQ(wow.Dword(L"SOFTWARE\\Wow6432Node\\Veltrane\\OvSpoolerHooks\\Tracing", L"SeverityFilter"), 0xDEADBEEF);
  for (auto variant : {std::optional<bool>{}, std::optional<bool>{false}}) {
    wow.system.wow64 = variant;
    EXPECT_EQ(OvClientTracingList(wow.platform).GetEntry(3).m_use64BitView, 0);
  }
  wow.system.wow64 = true;
  wow.system.wow64CallFails = true;
  EXPECT_FALSE(IsRunningUnderWow64(wow.system));
}

TEST_F(ModelTest, SaveWritesExactValuesAndTypesThenOnlyDefaultDir) {
  OvClientTracingList list(platform);
  auto popup = list.GetEntry(1);
  popup.m_level = L"5";
  popup.m_enabled = popup.m_modified = popup.m_spoolerRestartPending = 1;
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

  // A level is stored as the number it starts with, saturating at the 32-bit limits.
  const struct { const wchar_t* text; std::uint32_t stored; } levels[] = {
      {L"abc", 0}, {L" 12x", 12}, {L"-1", 4294967295u}, {L"+7", 7}, {L"99999999999", 2147483647u},
      {L"-99999999999", 2147483648u}, {L"", 0}};
  for (const auto& c : levels) {
    Edit(list, 0, c.text);
    list.SaveToRegistry();
    EXPECT_EQ(Dword(kShared, L"SeverityFilter"), c.stored) << c.stored;
  }
}

TEST_F(ModelTest, TrailingBackslashDoublesInFileAndCaseMattersForTheDirectory) {
  OvClientTracingList list(platform);
  std::wstring dir = list.GetDefaultDirectory();
  EXPECT_FALSE(list.SetDefaultDirectory(dir));
  EXPECT_EQ(list.GetEntry(0).m_modified, 0);
  dir[0] = L'c';
  EXPECT_TRUE(list.SetDefaultDirectory(dir));  // marking every entry: the dialog's tests
  list.SetDefaultDirectory(L"D:\\T\\");
  list.SaveToRegistry();
  EXPECT_EQ(String(kMessage, L"File"), L"D:\\T\\\\MessageClient.log");
}

TEST_F(ModelTest, FailedSaveKeepsTheMarkAndSaysSoOnce) {
  OvClientTracingList list(platform);
  for (int i = 0; i < 4; ++i) Edit(list, i, L"1");
  registry.RemoveKeyTree(kPopup);  // deleted after loading
  registry.SetFailureHook([](RegOp op, const std::wstring& path, const std::wstring& name) {
    return op == RegOp::Set && path == kHooks && name == L"Enable" ? kErrorAccessDenied : kSuccess;
  });
  EXPECT_FALSE(list.SaveToRegistry());
  EXPECT_EQ(Shown(), L"Registry Error|Error saving registry entry");
  std::wstring marks;
  for (int i = 0; i < 4; ++i) marks += std::to_wstring(list.GetEntry(i).m_modified);
  EXPECT_EQ(marks, L"0101");
  EXPECT_EQ(registry.FindValue(kPopup, L"File"), nullptr);
  // Once the fault is gone the next save writes what was missing, silently.
  registry.SetFailureHook(nullptr);
  registry.AddKey(kPopup);
  EXPECT_TRUE(list.SaveToRegistry());
  EXPECT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(Dword(kHooks, L"Enable") + list.GetEntry(1).m_modified + list.GetEntry(3).m_modified, 0u);
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST_F(ModelTest, UnexpectedFailureDuringLoadIsReportedAndKeepsTableValues) {
  registry.PutDword(kPopup, L"Level", 3);
  registry.SetFailureHook([](RegOp op, const std::wstring& path, const std::wstring& name) -> ErrorCode {
    if (op == RegOp::Query && path == kPopup && name == L"Enable") throw std::bad_alloc();
    return kSuccess;
  });
  OvClientTracingList list(platform);
  EXPECT_EQ(Shown(), L"Registry Error|Error reading registry entry");
  ASSERT_EQ(list.GetCount(), 4);
  // The visit in progress and those after it are left as they were.
  EXPECT_EQ(list.GetEntry(0).m_level + L"|" + list.GetEntry(1).m_level + L"|" + list.GetEntry(3).m_level, L"0||");
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST_F(ModelTest, FileSizeTexts) {
  registry.PutString(kDesktop, L"DefaultDir", L"C:\\Logs");
  OvClientTracingList list(platform);
  const std::wstring path = L"C:\\Logs\\OvSharedEngine.log";
  EXPECT_EQ(list.GetFileSizeText(0), L"Doesn't exist");
  // Sparse files stand in for the large ones.
  const struct { std::uintmax_t bytes; const wchar_t* text; } sizes[] = {
      {0, L".0KB"}, {512, L".5KB"}, {1000, L"1.0KB"}, {1023, L"1.0KB"}, {1024, L"1.0KB"}, {12345, L"12.1KB"},
      {1073741824ull, L"1048576.0KB"}, {2147483648ull, L"Error"}, {100, L".1KB"}};
  PutFile(path, "");
  for (const auto& c : sizes) {
    std::filesystem::resize_file(Host(path), c.bytes);
    EXPECT_EQ(list.GetFileSizeText(0), c.text) << c.bytes;
  }
  // A component writing with shared read does not hide the size; one denying reads does.
  int token = files.HoldOpen(path, kGenericWrite, kFileShareRead | kFileShareWrite);
  EXPECT_EQ(list.GetFileSizeText(0), L".1KB");
  files.ReleaseShare(token);
  token = files.HoldOpen(path, kGenericWrite, 0);
  EXPECT_EQ(list.GetFileSizeText(0), L"Doesn't exist");
  files.ReleaseShare(token);
}

}  // namespace
