// The real dialog from the real template under Wine, driven through window messages as a
// user would drive it, against Wine's registry, service manager and file system.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/app_platform.h"
#include "app/win32_dialog.h"
#include "platform/win32/win32_platform.h"
#include "ui/ov_client_tracing_dlg.h"
#include "ui/resource_ids.h"

namespace {

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// A Linux path of the build tree as Wine's Z: drive shows it.
std::wstring ZPath(const std::string& linuxPath) {
  std::wstring out = L"Z:";
  for (char c : linuxPath) out.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(c));
  return out;
}

const std::wstring kOutput = ZPath(OV_E2E_OUTPUT_DIR);
const std::wstring kTraces = kOutput + L"\\traces";
const std::wstring kNewTraces = kOutput + L"\\moved\\logs";
const std::wstring kArchive = kOutput + L"\\OvClientLogs-e2e.zip";
const std::wstring kServiceLog = kOutput + L"\\service-events.txt";

// The prompt layer of the test: the real cursor, scripted answers for every question and
// the Save dialog, and a record of what was asked.
class ScriptedPrompts final : public ov::platform::UserInteraction {
 public:
  struct Asked {
    std::wstring text, caption;
    std::uint32_t flags;
  };
  void Script(std::initializer_list<int> answers) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answers.assign(answers.begin(), answers.end());
  }
  std::vector<Asked> TakeAsked() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::exchange(m_asked, {});
  }
  int Unanswered() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_unanswered;
  }
  int ShowMessage(const std::wstring& text, const std::wstring& caption, std::uint32_t flags) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_asked.push_back(Asked{text, caption, flags});
    if (m_answers.empty()) {
      ++m_unanswered;
      return IDCANCEL;
    }
    const int answer = m_answers.front();
    m_answers.pop_front();
    return answer;
  }
  int ShowMessage8(const std::string& text, const std::string& caption, std::uint32_t flags) override {
    return ShowMessage(Widen(text), Widen(caption), flags);
  }
  ov::platform::CursorHandle ShowWaitCursor() override { return m_real.ShowWaitCursor(); }
  void RestoreCursor(ov::platform::CursorHandle previous) override { m_real.RestoreCursor(previous); }
  bool AskSavePath(const ov::platform::SaveDialogRequest& request, std::wstring* path) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_saveRequest = request;
    *path = kArchive;
    return true;
  }
  ov::platform::SaveDialogRequest LastSaveRequest() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_saveRequest;
  }

 private:
  std::mutex m_mutex;
  ov::platform::win32::Win32UserInteraction m_real;
  std::deque<int> m_answers;
  std::vector<Asked> m_asked;
  ov::platform::SaveDialogRequest m_saveRequest;
  int m_unanswered = 0;
};

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
}

LONGLONG FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void RemoveTree(const std::wstring& dir) {
  WIN32_FIND_DATAW data{};
  HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(dir + L"\\" + name);
      } else {
        DeleteFileW((dir + L"\\" + name).c_str());
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(dir.c_str());
}

void SetRegString(const std::wstring& key, const std::wstring& name, const std::wstring& value) {
  RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), name.c_str(), REG_SZ, value.c_str(),
                  static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}
void SetRegDword(const std::wstring& key, const std::wstring& name, DWORD value) {
  RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), name.c_str(), REG_DWORD, &value, sizeof value);
}
std::wstring RegString(const std::wstring& key, const std::wstring& name) {
  wchar_t buffer[1024] = {};
  DWORD size = sizeof buffer;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, buffer, &size) !=
      ERROR_SUCCESS) {
    return L"<missing>";
  }
  return buffer;
}
DWORD RegDword(const std::wstring& key, const std::wstring& name) {
  DWORD value = 0xDEADBEEF, size = sizeof value;
  RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name.c_str(), RRF_RT_REG_DWORD, nullptr, &value, &size);
  return value;
}

// Registers the test service as "OvSharedEngine" and starts it; starts Wine's spooler.
void PrepareServices() {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(manager, nullptr);
  if (SC_HANDLE old = OpenServiceW(manager, L"OvSharedEngine", SERVICE_ALL_ACCESS)) {
    SERVICE_STATUS status{};
    ControlService(old, SERVICE_CONTROL_STOP, &status);
    DeleteService(old);
    CloseServiceHandle(old);
    Sleep(200);
  }
  const std::wstring command = L"\"" + ZPath(OV_TEST_SERVICE_EXE) + L"\" --log \"" + kServiceLog + L"\"";
  SC_HANDLE service = CreateServiceW(manager, L"OvSharedEngine", L"OvSharedEngine (test)", SERVICE_ALL_ACCESS,
                                     SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                     command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(service, nullptr) << GetLastError();
  for (const wchar_t* name : {L"OvSharedEngine", L"Spooler"}) {
    SC_HANDLE s = OpenServiceW(manager, name, SERVICE_ALL_ACCESS);
    ASSERT_NE(s, nullptr);
    StartServiceW(s, 0, nullptr);  // already running is fine
    SERVICE_STATUS status{};
    for (int i = 0; i < 100 && QueryServiceStatus(s, &status) && status.dwCurrentState != SERVICE_RUNNING; ++i) {
      Sleep(50);
    }
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING)) << name;
    CloseServiceHandle(s);
  }
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
}

std::string ReadAll(const std::wstring& path) {
  std::string out;
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return out;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) out.append(buffer, got);
  CloseHandle(h);
  return out;
}

class Driver {
 public:
  Driver(HWND dialog, ScriptedPrompts& prompts) : m_dialog(dialog), m_prompts(prompts) {}

  HWND Item(int id) const { return GetDlgItem(m_dialog, id); }
  std::wstring Text(HWND window) const {
    wchar_t buffer[1024] = {};
    SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer));
    return buffer;
  }
  std::wstring Cell(int row, int column) const {
    wchar_t buffer[1024] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = 1024;
    SendMessageW(Item(IDC_TRACE_LIST), LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return buffer;
  }
  int SelectedRow() const {
    return static_cast<int>(SendMessageW(Item(IDC_TRACE_LIST), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  }
  void SelectRow(int row) const {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(Item(IDC_TRACE_LIST), LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  }
  void Click(int id) const { SendMessageW(Item(id), BM_CLICK, 0, 0); }
  bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
  // Focus the editor, replace its text (raising EN_CHANGE as typing does), then leave it.
  void Type(int id, const std::wstring& text) const {
    SendMessageW(m_dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(id)), TRUE);
    SendMessageW(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageW(m_dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDC_TRACE_LIST)), TRUE);
  }

 private:
  HWND m_dialog;
  ScriptedPrompts& m_prompts;
};

const std::wstring kHooksKey = L"SOFTWARE\\Veltrane\\OvSpoolerHooks\\Tracing";
const std::wstring kEngineKey = L"SOFTWARE\\Veltrane\\Desktop Client\\Shared Engine";
const std::wstring kPopupKey = L"SOFTWARE\\Veltrane\\Desktop Client\\Popup Manager";

void DriveSession(HWND dialog, ScriptedPrompts& prompts) {
  Driver d(dialog, prompts);
  // What the administrator sees first.
  wchar_t caption[256] = {};
  GetWindowTextW(dialog, caption, 256);
  EXPECT_STREQ(caption, L"Veltrane PrintSentry Client tracing options");
  ASSERT_EQ(SendMessageW(d.Item(IDC_TRACE_LIST), LVM_GETITEMCOUNT, 0, 0), 4);
  EXPECT_EQ(d.Cell(0, 0), L"Shared Engine Service");
  EXPECT_EQ(d.Cell(0, 1), L"Yes");
  EXPECT_EQ(d.Cell(0, 2), L"5");
  EXPECT_EQ(d.Cell(0, 3), kTraces + L"\\OvSharedEngine.log");
  EXPECT_EQ(d.Cell(0, 4), L"1.0KB");
  EXPECT_EQ(d.Cell(3, 0), L"Spooler Hooks");
  EXPECT_EQ(d.Cell(1, 4), L"Doesn't exist");
  EXPECT_EQ(d.SelectedRow(), 0);
  EXPECT_EQ(d.Text(d.Item(IDC_TRACE_LEVEL)), L"5");
  EXPECT_EQ(d.Text(d.Item(IDC_TRACE_DIRECTORY)), kTraces);
  EXPECT_FALSE(d.Enabled(IDC_APPLY_BUTTON));

  // Spooler Hooks: tracing on, level 7.
  d.SelectRow(3);
  EXPECT_EQ(d.Text(d.Item(IDC_TRACE_LEVEL)), L"0");
  EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_TRACING_ENABLED), static_cast<UINT>(BST_UNCHECKED));
  d.Click(IDC_TRACING_ENABLED);
  EXPECT_EQ(d.Cell(3, 1), L"Yes");
  EXPECT_TRUE(d.Enabled(IDC_APPLY_BUTTON));
  d.Type(IDC_TRACE_LEVEL, L"7");
  EXPECT_EQ(d.Cell(3, 2), L"7");

  // A new trace directory that does not exist yet.
  d.Type(IDC_TRACE_DIRECTORY, kNewTraces + L"\\");
  EXPECT_EQ(d.Text(d.Item(IDC_TRACE_DIRECTORY)), kNewTraces);
  EXPECT_EQ(d.Cell(3, 3), kNewTraces + L"\\OvSpoolerHooks.log");
  EXPECT_EQ(d.SelectedRow(), 0);

  // Apply: create the directory, restart both services.
  prompts.Script({IDYES, IDYES, IDYES});
  d.Click(IDC_APPLY_BUTTON);
  const auto asked = prompts.TakeAsked();
  ASSERT_EQ(asked.size(), 3u);
  EXPECT_EQ(asked[0].caption, L"Path error");
  EXPECT_EQ(asked[1].caption, L"Restart Spooler?");
  EXPECT_EQ(asked[2].caption, L"Restart Shared Engine?");
  EXPECT_FALSE(d.Enabled(IDC_APPLY_BUTTON));
  EXPECT_NE(GetFileAttributesW(kNewTraces.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(RegString(L"SOFTWARE\\Veltrane\\Desktop Client", L"DefaultDir"), kNewTraces);
  EXPECT_EQ(RegString(kHooksKey, L"File"), kNewTraces + L"\\OvSpoolerHooks.log");
  EXPECT_EQ(RegDword(kHooksKey, L"SeverityFilter"), 7u);
  EXPECT_EQ(RegDword(kHooksKey, L"Enable"), 1u);
  EXPECT_EQ(RegDword(kEngineKey, L"Enable"), 1u);
  EXPECT_EQ(RegString(kPopupKey, L"File"), kNewTraces + L"\\OvPopupManager.log");
  const std::string events = ReadAll(kServiceLog);
  const auto firstStop = events.find("stop OvSharedEngine");
  EXPECT_NE(firstStop, std::string::npos) << events;
  EXPECT_NE(events.find("start OvSharedEngine", firstStop), std::string::npos) << events;

  // Trace files in the new directory: delete the disabled component's, empty the enabled one's.
  WriteFileBytes(kNewTraces + L"\\OvPopupManager.log", std::string(1024, 'p'));
  WriteFileBytes(kNewTraces + L"\\OvSpoolerHooks.log", std::string(2048, 'h'));
  WriteFileBytes(kNewTraces + L"\\OvSharedEngine.log", "2026-12-06 08:00:00.000 [01a4] INFO SharedEngine: up\r\n");
  WriteFileBytes(kNewTraces + L"\\MessageClient.log", "not collected\r\n");
  d.SelectRow(1);
  prompts.Script({IDYES});
  d.Click(IDC_DELETE_FILE);
  auto deleteAsked = prompts.TakeAsked();
  ASSERT_EQ(deleteAsked.size(), 1u);
  EXPECT_EQ(deleteAsked[0].text, L"Are you sure you want to delete the  Popup Manager trace file?");
  EXPECT_EQ(deleteAsked[0].caption, L"Confirm trace file delete");
  EXPECT_EQ(FileSize(kNewTraces + L"\\OvPopupManager.log"), -1);
  EXPECT_EQ(d.Cell(1, 4), L"Doesn't exist");
  d.SelectRow(3);
  prompts.Script({IDYES});
  d.Click(IDC_DELETE_FILE);
  EXPECT_EQ(prompts.TakeAsked().size(), 1u);
  EXPECT_EQ(FileSize(kNewTraces + L"\\OvSpoolerHooks.log"), 0);
  EXPECT_EQ(d.Cell(3, 4), L".0KB");

  // Zip up the logs for support.
  d.Click(IDC_ZIP_UP_LOG_FILES);
  EXPECT_TRUE(prompts.TakeAsked().empty());
  EXPECT_EQ(prompts.LastSaveRequest().initialName, L"OvClientLogs.zip");
  EXPECT_GT(FileSize(kArchive), 22);

  // Nothing unsaved: OK closes at once.
  d.Click(IDOK);
  EXPECT_EQ(prompts.Unanswered(), 0);
}

TEST(GuiEndToEnd, AdministratorSessionAgainstWineRegistryServicesAndFiles) {
  RemoveTree(kOutput);
  CreateDirectoryW(kOutput.c_str(), nullptr);
  CreateDirectoryW(kTraces.c_str(), nullptr);
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Veltrane");
  SetRegString(L"SOFTWARE\\Veltrane\\Common", L"Support File Location", ZPath(OV_BRANDING_DIR) + L"\\");
  SetRegString(L"SOFTWARE\\Veltrane\\Desktop Client", L"DefaultDir", kTraces);
  SetRegDword(kEngineKey, L"Level", 5);
  SetRegDword(kEngineKey, L"Enable", 1);
  WriteFileBytes(kTraces + L"\\OvSharedEngine.log", std::string(1000, 'e'));
  PrepareServices();

  ScriptedPrompts prompts;
  ov::platform::Platform platform = ov::app::ProcessPlatform();
  platform.ui = &prompts;
  std::thread driver;
  const auto result = ov::app::RunMainDialog(platform, nullptr,
                                             [&](void* hwnd) {
                                               driver = std::thread([hwnd, &prompts] {
                                                 DriveSession(static_cast<HWND>(hwnd), prompts);
                                                 // Whatever failed above, leave no dialog behind.
                                                 if (IsWindow(static_cast<HWND>(hwnd))) {
                                                   PostMessageW(static_cast<HWND>(hwnd), WM_COMMAND, IDCANCEL, 0);
                                                 }
                                               });
                                             });
  driver.join();
  EXPECT_EQ(result, IDOK);
}

}  // namespace
