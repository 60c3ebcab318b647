// The checked open: CreateFileW on the entry itself, then the checks on the handle.
#include "platform/win32/win32_checked.h"

namespace ov::platform::win32 {
namespace {

ErrorCode LastError() {
  const DWORD error = GetLastError();
  return error != 0 ? static_cast<ErrorCode>(error) : 31;  // ERROR_GEN_FAILURE if none is set
}

// Calls fill(buffer, size) until the answer fits; empty when it fails.
template <typename Fill>
std::wstring Grow(Fill fill) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    const DWORD n = fill(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return buffer.substr(0, n);
    buffer.assign(n, L'\0');  // too small: n counts the terminating zero
  }
  return {};
}

// "\\?\C:\x" and "\\?\UNC\server\share\x" as the tool spells them.
std::wstring WithoutLongPathPrefix(const std::wstring& path) {
  if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + path.substr(8);
  if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
  return path;
}

// The path as the tool means it: absolute, "." and ".." and trailing dots and blanks
// resolved as Windows resolves them, existing components in their long form (the final
// path uses them), no trailing separator.
std::wstring MeantPath(const std::wstring& path) {
  std::wstring full = Grow([&](wchar_t* b, DWORD n) { return GetFullPathNameW(path.c_str(), n, b, nullptr); });
  const std::wstring longForm = Grow([&](wchar_t* b, DWORD n) { return GetLongPathNameW(full.c_str(), b, n); });
  if (!longForm.empty()) full = longForm;
  while (full.size() > 3 && full.back() == L'\\') full.pop_back();
  return WithoutLongPathPrefix(full);
}

// Where the handle's object really is, with every link and junction on the way resolved.
ErrorCode FinalPath(HANDLE handle, std::wstring* path) {
  *path = WithoutLongPathPrefix(Grow([&](wchar_t* b, DWORD n) {
    return GetFinalPathNameByHandleW(handle, b, n, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  }));
  return path->empty() ? LastError() : kSuccess;
}

ErrorCode Check(HANDLE handle, const std::wstring& path, bool directory) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return LastError();
  const bool isDirectory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || isDirectory != directory ||
      (!isDirectory && info.nNumberOfLinks != 1)) {
    return kErrorAccessDenied;
  }
  std::wstring final;
  if (ErrorCode e = FinalPath(handle, &final); e != kSuccess) return e;
  const std::wstring meant = MeantPath(path);
  const bool same = CompareStringOrdinal(final.c_str(), static_cast<int>(final.size()), meant.c_str(),
                                         static_cast<int>(meant.size()), TRUE) == CSTR_EQUAL;
  return same ? kSuccess : kErrorAccessDenied;
}

}  // namespace

ErrorCode OpenChecked(const std::wstring& path, const CheckedTarget& target, HANDLE* handle, bool* created) {
  *handle = INVALID_HANDLE_VALUE;
  if (created != nullptr) *created = false;
  const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT |
                      (target.directory ? FILE_FLAG_BACKUP_SEMANTICS : 0);
  const DWORD access = target.access | FILE_READ_ATTRIBUTES;
  HANDLE h = CreateFileW(path.c_str(), access, target.share, nullptr, OPEN_EXISTING, flags, nullptr);
  bool made = false;
  if (h == INVALID_HANDLE_VALUE && target.create && GetLastError() == ERROR_FILE_NOT_FOUND) {
    // Made new, with DELETE access so that a new file in the wrong place can be taken back
    // (others who open the new file while this handle is open must then share deletion);
    // an existing file is opened without it, which a component's open without delete
    // sharing would refuse.
    h = CreateFileW(path.c_str(), access | DELETE, target.share, nullptr, CREATE_NEW, flags, nullptr);
    made = h != INVALID_HANDLE_VALUE;
    if (!made && GetLastError() == ERROR_FILE_EXISTS) {
      h = CreateFileW(path.c_str(), access, target.share, nullptr, OPEN_EXISTING, flags, nullptr);
    }
  }
  if (h == INVALID_HANDLE_VALUE) return LastError();
  if (ErrorCode e = Check(h, path, target.directory); e != kSuccess) {
    if (made) DeleteThrough(h);
    CloseHandle(h);
    return e;
  }
  *handle = h;
  if (created != nullptr) *created = made;
  return kSuccess;
}

ErrorCode DeleteThrough(HANDLE handle) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition) ? kSuccess
                                                                                                   : LastError();
}

std::wstring ParentOf(const std::wstring& path) {
  const std::wstring full = MeantPath(path);
  const std::size_t cut = full.find_last_of(L'\\');
  if (cut == std::wstring::npos || cut + 1 == full.size()) return {};
  return full.substr(0, cut == 2 ? 3 : cut);  // "C:\x" -> "C:\"
}

}  // namespace ov::platform::win32
