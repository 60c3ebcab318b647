// File-system concept over kernel32's file functions.
#include <windows.h>

#include <vector>

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
  return CreateDirectoryW(directory.c_str(), nullptr) ? kSuccess : LastError();
}

ErrorCode Win32FileSystem::RemoveFile(const std::wstring& path) {
  return DeleteFileW(path.c_str()) ? kSuccess : LastError();
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
  // Opened without following a reparse point, and checked on the handle itself, so a link
  // swapped in between a check and the open cannot redirect the truncation.
  Handle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.valid()) return LastError();
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file.get(), &info)) return LastError();
  if ((info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
      info.nNumberOfLinks > 1) {
    return kErrorAccessDenied;
  }
  LARGE_INTEGER zero{};
  if (!SetFilePointerEx(file.get(), zero, nullptr, FILE_BEGIN) || !SetEndOfFile(file.get())) {
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
