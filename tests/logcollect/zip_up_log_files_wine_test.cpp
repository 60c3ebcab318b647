// "Zip up Log Files" against the real registry, file system and cursor of Windows (under Wine).
// Only the Save dialog is answered by a script; check_wine_archive.py then judges the archive
// with unzip, 7z and Python's zipfile.
#include <gtest/gtest.h>
#include <windows.h>

#include <deque>
#include <string>
#include <vector>

#include "logcollect/zip_up_log_files.h"
#include "model/ov_client_tracing.h"
#include "platform/win32/win32_fileio.h"
#include "platform/win32/win32_platform.h"

using namespace ov::platform;

namespace {

std::wstring g_outDirectory;  // Windows path of the directory the checker reads

// The real cursor; a script for the Save dialog; message boxes recorded instead of shown,
// because no one is there to click them.
class ScriptedUi final : public UserInteraction {
 public:
  std::deque<std::wstring> savePaths;
  std::vector<std::wstring> messages;

  int ShowMessage(const std::wstring& text, const std::wstring& caption, std::uint32_t) override {
    messages.push_back(text + L" / " + caption);
    return kIdOk;
  }
  int ShowMessage8(const std::string& text, const std::string& caption, std::uint32_t flags) override {
    return ShowMessage(std::wstring(text.begin(), text.end()), std::wstring(caption.begin(), caption.end()), flags);
  }
  CursorHandle ShowWaitCursor() override { return m_real.ShowWaitCursor(); }
  void RestoreCursor(CursorHandle previous) override { m_real.RestoreCursor(previous); }
  bool AskSavePath(const SaveDialogRequest&, std::wstring* path) override {
    if (savePaths.empty()) return false;
    *path = savePaths.front();
    savePaths.pop_front();
    return true;
  }

 private:
  ov::platform::win32::Win32UserInteraction m_real;
};

void Put(const std::wstring& path, const std::string& bytes) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
  DWORD written = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
}

std::string Read(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  std::string out;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got != 0) out.append(buffer, got);
  CloseHandle(h);
  return out;
}

void MakeTree(const std::wstring& path) {
  for (std::size_t cut = path.find(L'\\', 3); ; cut = path.find(L'\\', cut + 1)) {
    CreateDirectoryW(path.substr(0, cut).c_str(), nullptr);
    if (cut == std::wstring::npos) break;
  }
}

void SetValue(const std::wstring& key, const std::wstring& name, DWORD type, const void* data, DWORD size) {
  HKEY h = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(h, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(h);
}

const std::wstring kTestKey = L"SOFTWARE\\Veltrane\\Logcollect Test";

class ZipUpLogFilesWine : public ::testing::Test {
 protected:
  void SetUp() override {
    platform.registry = &registry;
    platform.system = &system;
    platform.files = &files;
    platform.textFiles = &textFiles;
    platform.fileIo = &fileIo;
    platform.ui = &ui;
  }
  void TearDown() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, kTestKey.c_str()); }

  ov::platform::win32::Win32Registry registry;
  ov::platform::win32::Win32SystemInfo system;
  ov::platform::win32::Win32FileSystem files;
  ov::platform::win32::Win32TextFiles textFiles;
  ov::platform::win32::Win32FileIo fileIo;
  ScriptedUi ui;
  Platform platform;
};

TEST_F(ZipUpLogFilesWine, CollectsTheLogsAndTheSnapshotOfTheRealRegistry) {
  ASSERT_FALSE(g_outDirectory.empty()) << "usage: zip_up_log_files_wine_test <output directory>";
  const DWORD minusOne = 0xFFFFFFFFu;
  SetValue(kTestKey, L"Minus One", REG_DWORD, &minusOne, 4);
  const wchar_t list[] = L"a\0b\0";
  SetValue(kTestKey, L"List", REG_MULTI_SZ, list, sizeof list);
  std::wstring longList;
  for (int i = 0; i < 60; ++i) longList += L"Driver" + std::to_wstring(1000 + i) + L".dll" + std::wstring(1, L'\0');
  longList += L'\0';
  SetValue(kTestKey, L"Dependent Files", REG_MULTI_SZ, longList.data(), static_cast<DWORD>(longList.size() * 2));
  const std::wstring quoted = L"C:\\Program Files\\\"Ov\"\\caf\u00e9";
  SetValue(kTestKey, L"Path \"quoted\"", REG_SZ, quoted.c_str(), static_cast<DWORD>((quoted.size() + 1) * 2));

  OvClientTracingList model(platform);
  const std::wstring trace = model.GetDefaultDirectory();
  MakeTree(trace);
  std::string big;
  for (int i = 0; big.size() < 400000; ++i) big += "2026-12-06 08:00:00 OvSharedEngine job " + std::to_string(i) + "\r\n";
  Put(trace + L"\\OvSharedEngine.log", big);
  Put(trace + L"\\OvPopupManager.log", "popup\r\n");
  Put(trace + L"\\OvEmpty.log", "");
  Put(trace + L"\\MessageClient.log", "not collected");
  Put(trace + L"\\OvBusy.log", "being written");
  CreateDirectoryW((trace + L"\\Ov1.log").c_str(), nullptr);
  // A snapshot planted as a second name of someone's file: that file must survive.
  Put(L"C:\\ProgramData\\ov-precious.txt", "precious");
  DeleteFileW((trace + L"\\OvReg.log").c_str());
  ASSERT_TRUE(CreateHardLinkW((trace + L"\\OvReg.log").c_str(), L"C:\\ProgramData\\ov-precious.txt", nullptr));
  // A running component writes its log sharing reading and writing.
  HANDLE busy = CreateFileW((trace + L"\\OvBusy.log").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(busy, INVALID_HANDLE_VALUE);

  const std::wstring archive = g_outDirectory + L"\\OvClientLogs.zip";
  HCURSOR before = LoadCursorW(nullptr, IDC_IBEAM);
  SetCursor(before);
  for (int run = 0; run < 2; ++run) {  // the second run replaces the snapshot and the archive
    ui.savePaths.push_back(archive);
    ZipUpLogFiles(model, platform);
    EXPECT_EQ(GetCursor(), before);
  }
  CloseHandle(busy);

  EXPECT_EQ(ui.messages, (std::vector<std::wstring>{L"Error 512 adding 'OvBusy.log' to zip file. / Zip error",
                                                    L"Error 512 adding 'OvBusy.log' to zip file. / Zip error"}));
  EXPECT_EQ(Read(L"C:\\ProgramData\\ov-precious.txt"), "precious");
  const std::string snapshot = Read(trace + L"\\OvReg.log");
  EXPECT_EQ(snapshot.rfind("\r\n[SOFTWARE\\Veltrane]\r\n", 0), 0u);
  EXPECT_NE(snapshot.find("\r\n[SOFTWARE\\Veltrane\\Logcollect Test]\r\n"), std::string::npos);
  EXPECT_NE(snapshot.find("\"Minus One\"=dword:-1\r\n"), std::string::npos);
  EXPECT_NE(snapshot.find("\"List\"=msz:\"a|b||\"\r\n"), std::string::npos);
  EXPECT_NE(snapshot.find("\"Dependent Files\"=msz:\"Driver1000.dll|Driver1001.dll|"), std::string::npos);
  EXPECT_NE(snapshot.find("Driver1059.dll||\"\r\n"), std::string::npos);
  EXPECT_NE(snapshot.find("\"Path \"quoted\"\"=\"C:\\Program Files\\\"Ov\"\\caf\xc3\xa9\"\r\n"), std::string::npos);
  EXPECT_NE(snapshot.find("\r\n[SYSTEM\\CurrentControlSet\\Control\\Print]\r\n"), std::string::npos);
  const std::string version = "\r\n[SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n";
  EXPECT_NE(snapshot.find(version), std::string::npos);
  EXPECT_EQ(snapshot.find("[SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\"), std::string::npos);
  EXPECT_NE(snapshot.find("\r\n[SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName]\r\n"
                          "\"ComputerName\"="),
            std::string::npos);
  EXPECT_EQ(snapshot.find("\n\n"), std::string::npos);  // every line feed came with its CR

  // What the checker compares the members with, and which members it expects in which order.
  CreateDirectoryW((g_outDirectory + L"\\sources").c_str(), nullptr);
  std::string expected;
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((trace + L"\\Ov*.log").c_str(), &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  do {
    const std::wstring name = found.cFileName;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || name == L"OvBusy.log") continue;
    Put(g_outDirectory + L"\\sources\\" + name, Read(trace + L"\\" + name));
    expected += std::string(name.begin(), name.end()) + "\n";
  } while (FindNextFileW(search, &found));
  FindClose(search);
  Put(g_outDirectory + L"\\expected-members.txt", expected);

  for (const wchar_t* name : {L"OvSharedEngine.log", L"OvPopupManager.log", L"OvEmpty.log", L"MessageClient.log",
                              L"OvBusy.log", L"OvReg.log"}) {
    DeleteFileW((trace + L"\\" + name).c_str());
  }
  RemoveDirectoryW((trace + L"\\Ov1.log").c_str());
  DeleteFileW(L"C:\\ProgramData\\ov-precious.txt");
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc > 1) {
    // The build directory's host path, as Wine's drive Z: shows the host's root.
    std::string host = argv[1];
    g_outDirectory = L"Z:";
    for (char c : host) g_outDirectory.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(c));
    MakeTree(g_outDirectory);
    DeleteFileW((g_outDirectory + L"\\OvClientLogs.zip").c_str());
  }
  return RUN_ALL_TESTS();
}
