// The real dialog from the real template under Wine, driven through window messages as a
// user would drive it, against Wine's registry, service manager and file system. The logs
// are collected while a second process (this program, started with --hold) writes one of
// them; the archive is then judged by the host's readers (tests/support/check_archive.py).
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
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

// The prompt layer of the test: the real cursor, scripted answers, and every message box and
// Save dialog recorded as one line, "caption|text|flags" or "Save|extension|name|filter".
class ScriptedPrompts final : public ov::platform::UserInteraction {
 public:
  void Script(std::initializer_list<int> answers, bool failSave = false) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_answers.assign(answers.begin(), answers.end());
    m_failSave = failSave;
  }
  std::vector<std::wstring> TakeAsked() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return std::exchange(m_asked, {});
  }
  int ShowMessage(const std::wstring& text, const std::wstring& caption, std::uint32_t flags) override {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_asked.push_back(caption + L"|" + text + L"|" + std::to_wstring(flags));
    if (m_answers.empty()) return IDCANCEL;  // unscripted: the line shows it
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
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_asked.push_back(L"Save|" + request.defaultExtension + L"|" + request.initialName + L"|" + request.filterName +
                      L" " + request.filterPattern);
    if (std::exchange(m_failSave, false)) throw std::bad_alloc();
    *path = kArchive;
    return true;
  }

 private:
  std::mutex m_mutex;
  ov::platform::win32::Win32UserInteraction m_real;
  std::deque<int> m_answers;
  std::vector<std::wstring> m_asked;
  bool m_failSave = false;
};
std::wstring Caption(const std::wstring& asked) { return asked.substr(0, asked.find(L'|')); }

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  std::ofstream(std::filesystem::path(path), std::ios::binary) << bytes;
}
LONGLONG FileSize(const std::wstring& path) {
  std::error_code missing;
  const auto size = std::filesystem::file_size(path, missing);
  return missing ? -1 : static_cast<LONGLONG>(size);
}
std::string ReadAll(const std::wstring& path) {
  std::ostringstream out;
  out << std::ifstream(std::filesystem::path(path), std::ios::binary).rdbuf();
  return out.str();
}

// Registry values through the raw API, independent of the product's registry code.
void SetReg(const std::wstring& key, const std::wstring& name, DWORD type, const void* data, std::size_t bytes) {
  RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), name.c_str(), type, data, static_cast<DWORD>(bytes));
}
void SetRegString(const std::wstring& key, const std::wstring& name, const std::wstring& value) {
  SetReg(key, name, REG_SZ, value.c_str(), (value.size() + 1) * sizeof(wchar_t));
}
std::wstring RegValue(const std::wstring& key, const std::wstring& name) {  // a string, or a DWORD as decimal
  wchar_t buffer[1024] = {};
  DWORD size = sizeof buffer, type = 0;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name.c_str(), RRF_RT_REG_SZ | RRF_RT_REG_DWORD, &type, buffer, &size) != 0) {
    return L"<missing>";
  }
  DWORD number = 0;
  std::memcpy(&number, buffer, sizeof number);
  return type == REG_DWORD ? std::to_wstring(number) : std::wstring(buffer);
}

const wchar_t kHolding[] = L"OvE2eHolding", kStopHolding[] = L"OvE2eStopHolding";

// The second process: a component tracing into its log, opened for writing and sharing
// reading and writing, a line a millisecond until it is told to stop.
int HoldLogOpen(const char* path) {
  HANDLE log = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
  HANDLE holding = OpenEventW(EVENT_MODIFY_STATE, FALSE, kHolding), stop = OpenEventW(SYNCHRONIZE, FALSE, kStopHolding);
  if (log == INVALID_HANDLE_VALUE || holding == nullptr || stop == nullptr) return 1;
  SetFilePointer(log, 0, nullptr, FILE_END);
  const std::string line = "2026-12-06 08:00:01.000 [01a4] INFO SharedEngine: still tracing\r\n";
  DWORD written = 0;
  do {
    WriteFile(log, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    SetEvent(holding);  // once a line is in
  } while (WaitForSingleObject(stop, 1) == WAIT_TIMEOUT);
  CloseHandle(log);
  return 0;
}

// Runs HoldLogOpen in a second process for as long as it lives.
class ComponentWriting {
 public:
  explicit ComponentWriting(const std::wstring& log) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --hold \"" + log + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    EXPECT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &m_process));
    EXPECT_EQ(WaitForSingleObject(m_holding, 30000), WAIT_OBJECT_0);
  }
  ~ComponentWriting() {
    SetEvent(m_stop);
    EXPECT_EQ(WaitForSingleObject(m_process.hProcess, 30000), WAIT_OBJECT_0);
    for (HANDLE h : {m_process.hProcess, m_process.hThread, m_holding, m_stop}) CloseHandle(h);
  }

 private:
  HANDLE m_holding = CreateEventW(nullptr, TRUE, FALSE, kHolding), m_stop = CreateEventW(nullptr, TRUE, FALSE, kStopHolding);
  PROCESS_INFORMATION m_process{};
};

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

class Driver {
 public:
  explicit Driver(HWND dialog) : m_dialog(dialog) {}

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
  std::wstring Row(int row) const {
    std::wstring cells;
    for (int column = 0; column < 5; ++column) cells += Cell(row, column) + L"|";
    return cells;
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
  void Type(int id, const std::wstring& text, bool leave = true) const {
    SendMessageW(m_dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(id)), TRUE);
    SendMessageW(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (leave) SendMessageW(m_dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDC_TRACE_LIST)), TRUE);
  }
  // Real input, queued for the dialog's thread: a left click in the middle of a control, keys.
  void ClickWithMouse(int id) const {
    RECT r{};
    GetWindowRect(Item(id), &r);
    INPUT input[2] = {};
    for (INPUT& i : input) {
      i.type = INPUT_MOUSE;
      i.mi.dx = (r.left + r.right) / 2 * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
      i.mi.dy = (r.top + r.bottom) / 2 * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
      i.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | (&i == input ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP);
    }
    SendInput(2, input, sizeof(INPUT));
  }
  void PressKeys(std::initializer_list<WORD> keys) const {
    for (WORD key : keys) {
      INPUT input[2] = {{INPUT_KEYBOARD, {}}, {INPUT_KEYBOARD, {}}};
      input[0].ki = {key, 0, 0, 0, 0};
      input[1].ki = {key, 0, KEYEVENTF_KEYUP, 0, 0};
      SendInput(2, input, sizeof(INPUT));
    }
  }
  // Between two input messages: while the dialog works on one, the focus may be halfway.
  int Focused() const {
    SendMessageW(m_dialog, WM_NULL, 0, 0);
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(m_dialog, nullptr), &info);
    return info.hwndFocus != nullptr ? GetDlgCtrlID(info.hwndFocus) : 0;
  }
  // Input reaches the dialog's thread in its own time: wait (at most 2 s) for what it does.
  template <typename Condition>
  bool Eventually(Condition condition) const {
    for (int i = 0; i < 100 && !condition(); ++i) Sleep(20);
    return condition();
  }

 private:
  HWND m_dialog;
};

const std::wstring kHooksKey = L"SOFTWARE\\Veltrane\\OvSpoolerHooks\\Tracing";
const std::wstring kEngineKey = L"SOFTWARE\\Veltrane\\Desktop Client\\Shared Engine";
const std::wstring kPopupKey = L"SOFTWARE\\Veltrane\\Desktop Client\\Popup Manager";

void DriveSession(HWND dialog, ScriptedPrompts& prompts) {
  Driver d(dialog);
  // What the administrator sees first.
  wchar_t caption[256] = {};
  GetWindowTextW(dialog, caption, 256);
  EXPECT_STREQ(caption, L"Veltrane PrintSentry Client tracing options");
  ASSERT_EQ(SendMessageW(d.Item(IDC_TRACE_LIST), LVM_GETITEMCOUNT, 0, 0), 4);
  EXPECT_EQ(d.Row(0), L"Shared Engine Service|Yes|5|" + kTraces + L"\\OvSharedEngine.log|1.0KB|");
  EXPECT_EQ(d.Row(3), L"Spooler Hooks|No|0|" + kTraces + L"\\OvSpoolerHooks.log|Doesn't exist|");
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

  // A new trace directory that does not exist yet; then a click into the level box. Leaving
  // the directory refreshes the list on the way, and the focus and what is typed still land.
  d.Type(IDC_TRACE_DIRECTORY, kNewTraces + L"\\", false);
  d.ClickWithMouse(IDC_TRACE_LEVEL);
  EXPECT_TRUE(d.Eventually([&] { return d.Focused() == IDC_TRACE_LEVEL; })) << d.Focused();
  d.PressKeys({VK_END, VK_BACK, '6'});
  EXPECT_TRUE(d.Eventually([&] { return d.Text(d.Item(IDC_TRACE_LEVEL)) == L"6"; }));
  EXPECT_EQ(d.Text(d.Item(IDC_TRACE_DIRECTORY)), kNewTraces);
  EXPECT_EQ(d.Cell(3, 3), kNewTraces + L"\\OvSpoolerHooks.log");
  EXPECT_EQ(d.SelectedRow(), 0);

  // Apply: create the directory, restart both services.
  prompts.Script({IDYES, IDYES, IDYES});
  d.Click(IDC_APPLY_BUTTON);
  std::vector<std::wstring> captions;
  for (const std::wstring& asked : prompts.TakeAsked()) captions.push_back(Caption(asked));
  EXPECT_EQ(captions, (std::vector<std::wstring>{L"Path error", L"Restart Spooler?", L"Restart Shared Engine?"}));
  EXPECT_FALSE(d.Enabled(IDC_APPLY_BUTTON));
  EXPECT_NE(GetFileAttributesW(kNewTraces.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(RegValue(L"SOFTWARE\\Veltrane\\Desktop Client", L"DefaultDir"), kNewTraces);
  EXPECT_EQ(RegValue(kHooksKey, L"File"), kNewTraces + L"\\OvSpoolerHooks.log");
  EXPECT_EQ(RegValue(kHooksKey, L"SeverityFilter") + RegValue(kHooksKey, L"Enable"), L"71");
  EXPECT_EQ(RegValue(kEngineKey, L"SeverityFilter") + RegValue(kEngineKey, L"Enable"), L"61");
  EXPECT_EQ(RegValue(kPopupKey, L"File"), kNewTraces + L"\\OvPopupManager.log");
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
  EXPECT_EQ(prompts.TakeAsked(), std::vector<std::wstring>{
                L"Confirm trace file delete|Are you sure you want to delete the  Popup Manager trace file?|20"});
  EXPECT_EQ(FileSize(kNewTraces + L"\\OvPopupManager.log"), -1);
  EXPECT_EQ(d.Cell(1, 4), L"Doesn't exist");
  d.SelectRow(3);
  prompts.Script({IDYES});
  d.Click(IDC_DELETE_FILE);
  EXPECT_EQ(prompts.TakeAsked().size(), 1u);
  EXPECT_EQ(FileSize(kNewTraces + L"\\OvSpoolerHooks.log"), 0);
  EXPECT_EQ(d.Cell(3, 4), L".0KB");

  // Zip up the logs for support; the first try runs out of memory, which is shown.
  const std::wstring saveAsked = L"Save|.zip|OvClientLogs.zip|Zip Files (*.zip) *.zip";
  prompts.Script({IDOK}, true);
  d.Click(IDC_ZIP_UP_LOG_FILES);
  EXPECT_EQ(prompts.TakeAsked(), (std::vector<std::wstring>{saveAsked, L"Error|std::bad_alloc|16"}));
  {
    const ComponentWriting engine(kNewTraces + L"\\OvSharedEngine.log");
    d.Click(IDC_ZIP_UP_LOG_FILES);
  }
  EXPECT_EQ(prompts.TakeAsked(), std::vector<std::wstring>{saveAsked});
  const std::string snapshot = ReadAll(kNewTraces + L"\\OvReg.log");
  for (const char* line : {"\r\n[SOFTWARE\\Veltrane\\OvSpoolerHooks\\Tracing]\r\n", "\"SeverityFilter\"=dword:7\r\n",
                           "\"List\"=msz:\"a|b||\"\r\n", "\r\n[SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n"}) {
    EXPECT_NE(snapshot.find(line), std::string::npos) << line;
  }
  EXPECT_GT(FileSize(kArchive), 22);

  // Nothing unsaved: OK closes at once.
  d.Click(IDOK);
  EXPECT_TRUE(prompts.TakeAsked().empty());
}

// The real Save dialog: a name typed without an extension gets ".zip", and an existing file
// of that name is taken without a question (which would be a second window captioned "Save").
TEST(GuiEndToEnd, SaveDialogAppendsTheExtensionAndReplacesWithoutAsking) {
  CreateDirectoryW(kOutput.c_str(), nullptr);
  WriteFileBytes(kOutput + L"\\existing.zip", "old");
  std::atomic<bool> returned{false}, asked{false};
  std::thread user([&] {
    HWND save = nullptr;
    for (int i = 0; i < 250 && (save = FindWindowW(L"#32770", L"Save")) == nullptr; ++i) Sleep(20);
    SetDlgItemTextW(save, 1152, (kOutput + L"\\existing").c_str());
    PostMessageW(save, WM_COMMAND, IDOK, 0);
    for (int i = 0; !returned; ++i, Sleep(20)) {
      if (HWND w = FindWindowW(L"#32770", L"Save"); w != nullptr && i > 100) {
        asked = true;  // No to the question, then Cancel to the dialog
        PostMessageW(w, WM_COMMAND, IDNO, 0), PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
      }
    }
  });
  std::wstring path;
  EXPECT_TRUE(ov::platform::win32::Win32UserInteraction().AskSavePath(
      {L".zip", L"OvClientLogs.zip", L"Zip Files (*.zip)", L"*.zip"}, &path));
  returned = true;
  user.join();
  EXPECT_EQ(path, kOutput + L"\\existing.zip");
  EXPECT_FALSE(asked);
}

TEST(GuiEndToEnd, AdministratorSessionAgainstWineRegistryServicesAndFiles) {
  std::error_code none;
  std::filesystem::remove_all(std::filesystem::path(kOutput), none);
  CreateDirectoryW(kOutput.c_str(), nullptr);
  CreateDirectoryW(kTraces.c_str(), nullptr);
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Veltrane");
  SetRegString(L"SOFTWARE\\Veltrane\\Common", L"Support File Location", ZPath(OV_BRANDING_DIR) + L"\\");
  SetRegString(L"SOFTWARE\\Veltrane\\Desktop Client", L"DefaultDir", kTraces);
  const DWORD five = 5, one = 1;
  SetReg(kEngineKey, L"Level", REG_DWORD, &five, 4);
  SetReg(kEngineKey, L"Enable", REG_DWORD, &one, 4);
  SetReg(L"SOFTWARE\\Veltrane\\Common", L"List", REG_MULTI_SZ, L"a\0b\0", 10);
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

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--hold") return HoldLogOpen(argv[2]);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
