// The text-file concept's contract, run against the sim natively and against Win32 under Wine.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/textfile.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/win32_platform.h"
#else
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/sim/sim_files.h"
#include "platform/sim/sim_textfile.h"
#endif

using namespace ov::platform;

namespace {

// The few things the tests do to the file system around the concept, on each platform.
#ifdef _WIN32
class Machine {
 public:
  Machine() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    m_dir = std::wstring(temp) + L"ovtextfile-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(m_dir.c_str(), nullptr);
  }
  ~Machine() { Wipe(m_dir); }
  TextFiles& Files() { return m_files; }
  std::wstring Dir() const { return m_dir; }
  void MakeDirectory(const std::wstring& path) { CreateDirectoryW(path.c_str(), nullptr); }
  bool IsDirectory(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }
  void Put(const std::wstring& path, const std::string& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
  }
  std::string Read(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string out(1 << 16, '\0');
    DWORD got = 0;
    ReadFile(h, out.data(), static_cast<DWORD>(out.size()), &got, nullptr);
    CloseHandle(h);
    out.resize(got);
    return out;
  }
  bool HardLink(const std::wstring& existing, const std::wstring& link) {
    return CreateHardLinkW(link.c_str(), existing.c_str(), nullptr) != FALSE;
  }
  // Wine 8 cannot make Windows symbolic links (CreateSymbolicLinkW is a stub that succeeds
  // without effect), and it follows the host's symbolic links, deleting their targets.
  bool SymbolicLinksTestable() const { return false; }
  bool SymbolicLink(const std::wstring&, const std::wstring&, bool) { return false; }
  bool IsLink(const std::wstring&) { return false; }
  // Another process's writer that lets others read only.
  void HoldForWriting(const std::wstring& path) {
    m_held = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  }
  void Release() {
    if (m_held != INVALID_HANDLE_VALUE) CloseHandle(m_held);
    m_held = INVALID_HANDLE_VALUE;
  }

 private:
  static void Wipe(const std::wstring& dir) {
    WIN32_FIND_DATAW data{};
    HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = dir + L"\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          Wipe(path);
        } else {
          DeleteFileW(path.c_str());
        }
      } while (FindNextFileW(find, &data));
      FindClose(find);
    }
    RemoveDirectoryW(dir.c_str());
  }
  ov::platform::win32::Win32TextFiles m_files;
  std::wstring m_dir;
  HANDLE m_held = INVALID_HANDLE_VALUE;
};
#else
class Machine {
 public:
  Machine()
      : m_host(std::filesystem::temp_directory_path() / ("ovtextfile-" + std::to_string(::getpid()))),
        m_fs(m_host.string()),
        m_files(m_fs) {
    std::filesystem::create_directories(m_host / "C" / "T");
  }
  ~Machine() { std::filesystem::remove_all(m_host); }
  TextFiles& Files() { return m_files; }
  std::wstring Dir() const { return L"C:\\T"; }
  void MakeDirectory(const std::wstring& path) { std::filesystem::create_directory(Host(path)); }
  bool IsDirectory(const std::wstring& path) { return std::filesystem::is_directory(Host(path)); }
  void Put(const std::wstring& path, const std::string& bytes) {
    std::ofstream(Host(path), std::ios::binary | std::ios::trunc) << bytes;
  }
  std::string Read(const std::wstring& path) {
    std::ifstream in(Host(path), std::ios::binary);
    if (!in) return "<missing>";
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  bool HardLink(const std::wstring& existing, const std::wstring& link) {
    return ::link(m_fs.ToHostPath(existing).c_str(), m_fs.ToHostPath(link).c_str()) == 0;
  }
  bool SymbolicLinksTestable() const { return true; }
  bool SymbolicLink(const std::wstring& target, const std::wstring& link, bool) {
    return ::symlink(m_fs.ToHostPath(target).c_str(), m_fs.ToHostPath(link).c_str()) == 0;
  }
  bool IsLink(const std::wstring& path) { return std::filesystem::is_symlink(Host(path)); }
  void HoldForWriting(const std::wstring& path) {
    m_held = m_fs.HoldOpen(path, ov::platform::sim::kGenericWrite, ov::platform::sim::kFileShareRead);
  }
  void Release() { m_fs.ReleaseShare(m_held); }

 private:
  std::filesystem::path Host(const std::wstring& path) const { return m_fs.ToHostPath(path); }
  std::filesystem::path m_host;
  ov::platform::sim::SimFileSystem m_fs;
  ov::platform::sim::SimTextFiles m_files;
  int m_held = 0;
};
#endif

class TextFileContract : public ::testing::Test {
 protected:
  ErrorCode Create(const std::wstring& path, const std::string& text) {
    std::unique_ptr<TextFile> file;
    const ErrorCode rc = m.Files().CreatePlainTextFile(path, &file);
    if (rc != kSuccess) {
      EXPECT_EQ(file, nullptr);
      return rc;
    }
    EXPECT_EQ(file->Write(text), kSuccess);
    return rc;
  }
  Machine m;
};

TEST_F(TextFileContract, LineFeedsLandAsCrLfAndAnOldFileIsEmptied) {
  const std::wstring path = m.Dir() + L"\\OvReg.log";
  m.Put(path, std::string(5000, '~'));
  std::unique_ptr<TextFile> file;
  ASSERT_EQ(m.Files().CreatePlainTextFile(path, &file), kSuccess);
  EXPECT_EQ(file->Write("\n[key]\n"), kSuccess);
  EXPECT_EQ(file->Write("a\r\nb"), kSuccess);
  EXPECT_EQ(file->Write(""), kSuccess);
  // Others may read it while it is written (_SH_DENYNO).
  EXPECT_EQ(m.Read(path), "\r\n[key]\r\na\r\r\nb");
  file.reset();
  EXPECT_EQ(m.Read(path), "\r\n[key]\r\na\r\r\nb");
}

TEST_F(TextFileContract, WhatCannotBeCreatedIsReportedAndLeftAlone) {
  EXPECT_EQ(Create(m.Dir() + L"\\missing\\OvReg.log", "x"), kErrorPathNotFound);
  const std::wstring directory = m.Dir() + L"\\OvReg.log";
  m.MakeDirectory(directory);
  m.Put(directory + L"\\inside.txt", "keep");
  EXPECT_EQ(Create(directory, "x"), kErrorAccessDenied);
  EXPECT_TRUE(m.IsDirectory(directory));
  EXPECT_EQ(m.Read(directory + L"\\inside.txt"), "keep");
  const std::wstring busy = m.Dir() + L"\\Busy.log";
  m.Put(busy, "busy");
  m.HoldForWriting(busy);
  EXPECT_EQ(Create(busy, "x"), kErrorSharingViolation);
  m.Release();
  EXPECT_EQ(m.Read(busy), "busy");
}

TEST_F(TextFileContract, AHardLinkedFileGetsANewFileAndTheOtherNameKeepsItsData) {
  const std::wstring other = m.Dir() + L"\\elsewhere.dat";
  const std::wstring path = m.Dir() + L"\\OvReg.log";
  m.Put(other, "precious");
  ASSERT_TRUE(m.HardLink(other, path));
  ASSERT_EQ(Create(path, "snap\n"), kSuccess);
  EXPECT_EQ(m.Read(other), "precious");
  EXPECT_EQ(m.Read(path), "snap\r\n");
}

TEST_F(TextFileContract, ALinkIsReplacedAndItsTargetLeftUntouched) {
  if (!m.SymbolicLinksTestable()) GTEST_SKIP() << "no symbolic links on this platform";
  const std::wstring target = m.Dir() + L"\\target.dat";
  const std::wstring targetDir = m.Dir() + L"\\targetdir";
  m.Put(target, "precious");
  m.MakeDirectory(targetDir);
  m.Put(targetDir + L"\\inside.txt", "keep");
  for (const bool toDirectory : {false, true}) {
    SCOPED_TRACE(toDirectory ? "link to a directory (junction)" : "link to a file");
    const std::wstring path = m.Dir() + (toDirectory ? L"\\OvDir.log" : L"\\OvReg.log");
    ASSERT_TRUE(m.SymbolicLink(toDirectory ? targetDir : target, path, toDirectory));
    ASSERT_EQ(Create(path, "snap\n"), kSuccess);
    EXPECT_FALSE(m.IsLink(path));
    EXPECT_EQ(m.Read(path), "snap\r\n");
    EXPECT_EQ(m.Read(target), "precious");
    EXPECT_EQ(m.Read(targetDir + L"\\inside.txt"), "keep");
    EXPECT_EQ(Create(path, "again"), kSuccess);  // the plain file is now simply reused
    EXPECT_EQ(m.Read(path), "again");
  }
}

}  // namespace
