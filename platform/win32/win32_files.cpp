// File-system concept over kernel32's file functions.
#include <windows.h>

#include <vector>

#include "platform/win32/win32_checked.h"
#include "platform/win32/win32_platform.h"

namespace ov::platform::win32 {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

ErrorCode LastError() { return static_cast<ErrorCode>(GetLastError()); }

class Handle {
 public:
  explicit Handle(HANDLE h) : m_h(h) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (m_h != INVALID_HANDLE_VALUE) CloseHandle(m_h);
  }
  HANDLE get() const { return m_h; }
  bool valid() const { return m_h != INVALID_HANDLE_VALUE; }

 private:
  HANDLE m_h;
};

}  // namespace

ErrorCode Win32FileSystem::GetWorkingDirectory(std::wstring* directory) {
  const DWORD needed = GetCurrentDirectoryW(0, nullptr);
  if (needed == 0) return LastError();
  std::vector<wchar_t> buffer(needed + 1);
  const DWORD got = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
  if (got == 0 || got >= buffer.size()) return LastError();
  directory->assign(buffer.data(), got);
  return kSuccess;
}

ErrorCode Win32FileSystem::SetWorkingDirectory(const std::wstring& directory) {
  return SetCurrentDirectoryW(directory.c_str()) ? kSuccess : LastError();
}

ErrorCode Win32FileSystem::MakeDirectory(const std::wstring& directory) {
  const CheckedTarget folder{true, 0, kShareAll, false};
  HANDLE handle = INVALID_HANDLE_VALUE;
  // The parent first, so nothing is made inside a folder that a link has put elsewhere.
  if (const std::wstring parent = ParentOf(directory); !parent.empty()) {
    const ErrorCode e = OpenChecked(parent, folder, &handle);
    if (e == ERROR_FILE_NOT_FOUND) return kErrorPathNotFound;  // CreateDirectoryW's code for it
    if (e != kSuccess) return e;
    CloseHandle(handle);
  }
  if (!CreateDirectoryW(directory.c_str(), nullptr)) return LastError();
  if (ErrorCode e = OpenChecked(directory, folder, &handle); e != kSuccess) return e;
  CloseHandle(handle);
  return kSuccess;
}

ErrorCode Win32FileSystem::RemoveFile(const std::wstring& path) {
  // DeleteFileW's access and sharing, so a file held open without delete sharing gives 32.
  HANDLE handle = INVALID_HANDLE_VALUE;
  if (ErrorCode e = OpenChecked(path, {false, DELETE, kShareAll, false}, &handle); e != kSuccess) return e;
  const ErrorCode result = DeleteThrough(handle);
  CloseHandle(handle);
  return result;
}

FileSystem::SizeQuery Win32FileSystem::QueryFileSize(const std::wstring& path) {
  SizeQuery result;
  Handle file(CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    result.openError = LastError();
    return result;
  }
  LARGE_INTEGER size{};
  if (GetFileSizeEx(file.get(), &size)) {
    result.sizeKnown = true;
    result.size = size.QuadPart;
  }
  return result;
}

ErrorCode Win32FileSystem::TruncateFileShared(const std::wstring& path) {
  HANDLE handle = INVALID_HANDLE_VALUE;
  bool created = false;
  if (ErrorCode e = OpenChecked(path, {false, GENERIC_READ | GENERIC_WRITE, kShareAll, true}, &handle, &created);
      e != kSuccess) {
    return e;
  }
  Handle file(handle);
  LARGE_INTEGER zero{};
  if (!created && (!SetFilePointerEx(file.get(), zero, nullptr, FILE_BEGIN) || !SetEndOfFile(file.get()))) {
    return LastError();
  }
  return kSuccess;
}

ErrorCode Win32FileSystem::QueryEntry(const std::wstring& path, EntryInfo* info) {
  WIN32_FIND_DATAW data{};
  HANDLE find = FindFirstFileW(path.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return LastError();
  FindClose(find);
  info->name = data.cFileName;
  info->directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info->reparsePoint = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  info->size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  info->hardLinks = 1;
  Handle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION byHandle{};
  if (file.valid() && GetFileInformationByHandle(file.get(), &byHandle)) {
    info->hardLinks = byHandle.nNumberOfLinks;
  }
  return kSuccess;
}

ErrorCode Win32FileSystem::FindFiles(const std::wstring& pattern, std::vector<EntryInfo>* matches) {
  matches->clear();
  WIN32_FIND_DATAW data{};
  HANDLE find = FindFirstFileW(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return LastError();
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    EntryInfo info;
    info.name = name;
    info.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info.reparsePoint = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    info.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    matches->push_back(info);
  } while (FindNextFileW(find, &data));
  const ErrorCode end = LastError();
  FindClose(find);
  if (end != ERROR_NO_MORE_FILES) return end;
  return matches->empty() ? kErrorFileNotFound : kSuccess;
}

ErrorCode Win32FileSystem::MoveReplacing(const std::wstring& from, const std::wstring& to) {
  return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? kSuccess
                                                                                                    : LastError();
}

}  // namespace ov::platform::win32
