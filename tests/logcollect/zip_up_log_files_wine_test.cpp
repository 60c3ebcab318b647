// "Zip up Log Files" against the real registry, file system and cursor of Windows (under Wine).
// Only the Save dialog is scripted; check_wine_archive.py then judges the archive with unzip,
// 7z and Python's zipfile against the sources and member list written here. A second process
// (this program, started with --hold) keeps writing one of the logs throughout.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "logcollect/zip_up_log_files.h"
#include "model/ov_client_tracing.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_fileio.h"
#include "platform/win32/win32_platform.h"

using namespace ov::platform;
namespace win32 = ov::platform::win32;

namespace {

std::wstring g_out;  // Windows path of the directory the checker reads

// The real cursor; message boxes recorded instead of shown, as no one is there to click them.
class ScriptedUi final : public UserInteraction {
 public:
  std::wstring savePath;
  std::vector<std::wstring> messages;
  int ShowMessage(const std::wstring& text, const std::wstring& caption, std::uint32_t) override {
    messages.push_back(text + L" / " + caption);
    return kIdOk;
  }
  int ShowMessage8(const std::string& text, const std::string&, std::uint32_t) override {
    messages.push_back(std::wstring(text.begin(), text.end()));
    return kIdOk;
  }
  CursorHandle ShowWaitCursor() override { return m_real.ShowWaitCursor(); }
  void RestoreCursor(CursorHandle previous) override { m_real.RestoreCursor(previous); }
  bool AskSavePath(const SaveDialogRequest&, std::wstring* path) override { return *path = savePath, true; }

 private:
  win32::Win32UserInteraction m_real;
};

void Put(const std::wstring& path, const std::string& bytes) { std::ofstream(std::filesystem::path(path), std::ios::binary) << bytes; }
std::string Read(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary | std::ios::ate);
  std::string out(static_cast<std::size_t>(in.tellg()), '\0');
  in.seekg(0).read(out.data(), static_cast<std::streamsize>(out.size()));
  return out;
}
const wchar_t* const kHolding = L"OvLogcollectHolding";
const wchar_t* const kStopHolding = L"OvLogcollectStopHolding";

// The second process: a component tracing into its log, opened for writing and sharing
// reading and writing, a line a millisecond until it is told to stop.
int HoldLogOpen(const char* path) {
  HANDLE log = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
  HANDLE holding = OpenEventW(EVENT_MODIFY_STATE, FALSE, kHolding);
  HANDLE stop = OpenEventW(SYNCHRONIZE, FALSE, kStopHolding);
  if (log == INVALID_HANDLE_VALUE || holding == nullptr || stop == nullptr) return 1;
  SetFilePointer(log, 0, nullptr, FILE_END);
  const std::string line = "09:00:00 OvBusy still tracing\r\n";
  DWORD written = 0;
  do {
    WriteFile(log, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    SetEvent(holding);  // once a line is in
  } while (WaitForSingleObject(stop, 1) == WAIT_TIMEOUT);
  CloseHandle(log);
  return 0;
}

void SetValue(const std::wstring& name, DWORD type, const void* data, DWORD size) {
  RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Veltrane\\Logcollect Test", name.c_str(), type, data, size);
}

TEST(ZipUpLogFilesWine, CollectsTheLogsAndTheSnapshotOfTheRealRegistry) {
  ASSERT_FALSE(g_out.empty()) << "usage: zip_up_log_files_wine_test <output directory>";
  const DWORD minusOne = 0xFFFFFFFFu;
  SetValue(L"Minus One", REG_DWORD, &minusOne, 4);
  SetValue(L"List", REG_MULTI_SZ, L"a\0b\0", 10);
  std::wstring longList;
  for (int i = 1000; i < 1060; ++i) longList += L"Driver" + std::to_wstring(i) + L".dll" + std::wstring(1, L'\0');
  SetValue(L"Dependent Files", REG_MULTI_SZ, longList.c_str(), static_cast<DWORD>(longList.size() * 2 + 2));
  SetValue(L"Path \"quoted\"", REG_SZ, L"C:\\\"Ov\"", 16);

  win32::Win32Registry registry;
  win32::Win32SystemInfo system;
  win32::Win32FileSystem files;
  win32::Win32TextFiles textFiles;
  win32::Win32FileIo fileIo;
  win32::Win32Clock clock;
  ScriptedUi ui;
  Platform platform{&registry, &system, &files, &ui};
  platform.textFiles = &textFiles;
  platform.fileIo = &fileIo;
  platform.clock = &clock;
  OvClientTracingList model(platform);
  const std::wstring trace = model.GetDefaultDirectory();
  SHCreateDirectoryExW(nullptr, (trace + L"\\Ov1.log").c_str(), nullptr);  // a directory is not collected
  std::string big;
  for (int i = 0; big.size() < 400000; ++i) big += "08:00:00 OvSharedEngine job " + std::to_string(i) + "\r\n";
  const std::vector<std::pair<std::wstring, std::string>> logs = {
      {L"OvSharedEngine.log", big}, {L"OvEmpty.log", ""}, {L"MessageClient.log", "no"}, {L"OvBusy.log", "busy"}};
  for (const auto& [name, bytes] : logs) Put(trace + L"\\" + name, bytes);
  HANDLE holding = CreateEventW(nullptr, TRUE, FALSE, kHolding);
  HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, kStopHolding);
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(self) + L"\" --hold \"" + trace + L"\\OvBusy.log\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION holder{};
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &holder));
  ASSERT_EQ(WaitForSingleObject(holding, 30000), WAIT_OBJECT_0);
  WIN32_FILE_ATTRIBUTE_DATA busy{};
  GetFileAttributesExW((trace + L"\\OvBusy.log").c_str(), GetFileExInfoStandard, &busy);
  SetCursor(LoadCursorW(nullptr, IDC_IBEAM));
  const HCURSOR before = GetCursor();
  ui.savePath = g_out + L"\\OvClientLogs.zip";
  for (int run = 0; run < 2; ++run) {  // the second run replaces the snapshot and the archive
    ZipUpLogFiles(model, platform);
    EXPECT_EQ(GetCursor(), before);
  }
  SetEvent(stop);
  EXPECT_EQ(WaitForSingleObject(holder.hProcess, 30000), WAIT_OBJECT_0);
  for (HANDLE h : {holder.hProcess, holder.hThread, holding, stop}) CloseHandle(h);
  EXPECT_EQ(ui.messages, std::vector<std::wstring>{});
  const std::string snapshot = Read(trace + L"\\OvReg.log");
  for (const char* line : {"\r\n[SOFTWARE\\Veltrane\\Logcollect Test]\r\n", "\"Minus One\"=dword:-1\r\n",
                           "\"List\"=msz:\"a|b||\"\r\n", "\"Path \"quoted\"\"=\"C:\\\"Ov\"\"\r\n",
                           "=msz:\"Driver1000.dll|Driver1001.dll|", "Driver1059.dll||\"\r\n",
                           "\r\n[SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n"}) {
    EXPECT_NE(snapshot.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(snapshot.find("[SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\"), std::string::npos);
  EXPECT_EQ(snapshot.find("\n\n"), std::string::npos);  // every line feed came with its CR

  // The members expected in the directory search's order, and their sources, for the checker;
  // the held log as it ended, of which the member holds at least what it had on the first run.
  CreateDirectoryW((g_out + L"\\sources").c_str(), nullptr);
  Put(g_out + L"\\growing.txt", "OvBusy.log " + std::to_string(busy.nFileSizeLow) + "\n");
  std::string expected;
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((trace + L"\\Ov*.log").c_str(), &found);
  do {
    const std::wstring name = found.cFileName;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    Put(g_out + L"\\sources\\" + name, Read(trace + L"\\" + name));
    expected += std::string(name.begin(), name.end()) + "\n";
  } while (FindNextFileW(search, &found));
  FindClose(search);
  Put(g_out + L"\\expected-members.txt", expected);
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Veltrane\\Logcollect Test");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--hold") return HoldLogOpen(argv[2]);
  ::testing::InitGoogleTest(&argc, argv);
  if (argc > 1) {  // the host path, as Wine's drive Z: shows the host's root
    for (const char* c = argv[1]; *c != 0; ++c) g_out.push_back(*c == '/' ? L'\\' : static_cast<wchar_t>(*c));
    g_out = L"Z:" + g_out;
    SHCreateDirectoryExW(nullptr, g_out.c_str(), nullptr);
    DeleteFileW((g_out + L"\\OvClientLogs.zip").c_str());
  }
  return RUN_ALL_TESTS();
}
