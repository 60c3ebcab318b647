// Win32 file handles: thin wrappers that turn failures into GetLastError codes.
#include "platform/win32/win32_fileio.h"

#include <windows.h>

#include "platform/win32/win32_checked.h"

namespace ov::platform::win32 {

namespace {

HANDLE ToHandle(FileHandle handle) { return reinterpret_cast<HANDLE>(handle); }
FileHandle FromHandle(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }

ErrorCode LastError() {
  const DWORD error = ::GetLastError();
  return error != 0 ? static_cast<ErrorCode>(error) : 31;  // ERROR_GEN_FAILURE if none is set
}

std::uint64_t FromFileTime(const FILETIME& t) {
  return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

}  // namespace

ErrorCode Win32FileIo::Open(const std::wstring& path, std::uint32_t access, std::uint32_t share,
                            std::uint32_t disposition, std::uint32_t attributes, FileHandle* handle) {
  *handle = kNoFile;
  const HANDLE h = ::CreateFileW(path.c_str(), access, share, nullptr, disposition, attributes, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastError();
  *handle = FromHandle(h);
  return kSuccess;
}

ErrorCode Win32FileIo::Close(FileHandle handle) {
  return ::CloseHandle(ToHandle(handle)) ? kSuccess : LastError();
}

ErrorCode Win32FileIo::Read(FileHandle handle, void* buffer, std::uint32_t size, std::uint32_t* read) {
  DWORD n = 0;
  const BOOL ok = ::ReadFile(ToHandle(handle), buffer, size, &n, nullptr);
  *read = n;
  return ok ? kSuccess : LastError();
}

ErrorCode Win32FileIo::Write(FileHandle handle, const void* buffer, std::uint32_t size,
                             std::uint32_t* written) {
  DWORD n = 0;
  const BOOL ok = ::WriteFile(ToHandle(handle), buffer, size, &n, nullptr);
  *written = n;
  return ok ? kSuccess : LastError();
}

ErrorCode Win32FileIo::Seek(FileHandle handle, std::int64_t distance, SeekOrigin origin,
                            std::uint64_t* position) {
  LARGE_INTEGER move;
  move.QuadPart = distance;
  LARGE_INTEGER now;
  now.QuadPart = 0;
  if (!::SetFilePointerEx(ToHandle(handle), move, &now, static_cast<DWORD>(origin))) return LastError();
  if (position != nullptr) *position = static_cast<std::uint64_t>(now.QuadPart);
  return kSuccess;
}

ErrorCode Win32FileIo::TruncateAtPosition(FileHandle handle) {
  return ::SetEndOfFile(ToHandle(handle)) ? kSuccess : LastError();
}

ErrorCode Win32FileIo::Duplicate(FileHandle handle, FileHandle* duplicate) {
  *duplicate = kNoFile;
  HANDLE process = ::GetCurrentProcess();
  HANDLE copy = nullptr;
  if (!::DuplicateHandle(process, ToHandle(handle), process, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    return LastError();
  }
  *duplicate = FromHandle(copy);
  return kSuccess;
}

ErrorCode Win32FileIo::QueryType(FileHandle handle, FileType* type) {
  ::SetLastError(0);
  const DWORD t = ::GetFileType(ToHandle(handle));
  *type = static_cast<FileType>(t == FILE_TYPE_DISK || t == FILE_TYPE_CHAR || t == FILE_TYPE_PIPE ? t : 0);
  if (t == FILE_TYPE_UNKNOWN && ::GetLastError() != NO_ERROR) return LastError();
  return kSuccess;
}

ErrorCode Win32FileIo::QueryInformation(FileHandle handle, FileInformation* information) {
  *information = FileInformation{};
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(ToHandle(handle), &info)) return LastError();
  information->attributes = info.dwFileAttributes;
  information->creationTime = FromFileTime(info.ftCreationTime);
  information->lastAccessTime = FromFileTime(info.ftLastAccessTime);
  information->lastWriteTime = FromFileTime(info.ftLastWriteTime);
  information->size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  information->links = info.nNumberOfLinks;
  return kSuccess;
}

ErrorCode Win32FileIo::MakePipe(FileHandle* readEnd, FileHandle* writeEnd) {
  *readEnd = kNoFile;
  *writeEnd = kNoFile;
  HANDLE r = nullptr;
  HANDLE w = nullptr;
  if (!::CreatePipe(&r, &w, nullptr, 0)) return LastError();
  *readEnd = FromHandle(r);
  *writeEnd = FromHandle(w);
  return kSuccess;
}

ErrorCode Win32FileIo::CreateAnonymousMapping(std::uint64_t size, FileHandle* mapping) {
  *mapping = kNoFile;
  const HANDLE h = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                        static_cast<DWORD>(size >> 32), static_cast<DWORD>(size), nullptr);
  if (h == nullptr) return LastError();
  *mapping = FromHandle(h);
  return kSuccess;
}

ErrorCode Win32FileIo::MapView(FileHandle mapping, std::uint64_t size, void** view) {
  *view = nullptr;
  if (size > SIZE_MAX) return ERROR_NOT_ENOUGH_MEMORY;
  void* address = ::MapViewOfFile(ToHandle(mapping), FILE_MAP_ALL_ACCESS, 0, 0, static_cast<SIZE_T>(size));
  if (address == nullptr) return LastError();
  *view = address;
  return kSuccess;
}

ErrorCode Win32FileIo::UnmapView(void* view) { return ::UnmapViewOfFile(view) ? kSuccess : LastError(); }

ErrorCode Win32FileIo::Flush(FileHandle handle) {
  return ::FlushFileBuffers(ToHandle(handle)) ? kSuccess : LastError();
}

ErrorCode Win32FileIo::OpenCheckedForReading(const std::wstring& path, FileHandle* handle) {
  *handle = kNoFile;
  HANDLE h = INVALID_HANDLE_VALUE;
  const CheckedTarget file{false, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, false};
  if (ErrorCode e = OpenChecked(path, file, &h); e != kSuccess) return e;
  *handle = FromHandle(h);
  return kSuccess;
}

}  // namespace ov::platform::win32
