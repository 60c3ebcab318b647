// Text files over kernel32: a new plain file, never written through a link.
#include <windows.h>

#include <algorithm>

#include "platform/win32/win32_platform.h"

namespace ov::platform::win32 {
namespace {

// _SH_DENYNO: others may go on reading and writing while the file is open.
constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

ErrorCode LastError() { return static_cast<ErrorCode>(GetLastError()); }

class Win32TextFile final : public TextFile {
 public:
  explicit Win32TextFile(HANDLE handle) : m_handle(handle) {}
  Win32TextFile(const Win32TextFile&) = delete;
  Win32TextFile& operator=(const Win32TextFile&) = delete;
  ~Win32TextFile() override { CloseHandle(m_handle); }

  ErrorCode Write(std::string_view bytes) override {
    const std::string text = ToTextMode(bytes);
    std::size_t done = 0;
    while (done < text.size()) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 1u << 30));
      DWORD written = 0;
      if (!WriteFile(m_handle, text.data() + done, chunk, &written, nullptr)) return LastError();
      if (written == 0) return ERROR_WRITE_FAULT;
      done += written;
    }
    return kSuccess;
  }

 private:
  HANDLE m_handle;
};

// Opens the final path component itself, never what a link in it points at. Backup
// semantics let a junction (a directory) be opened, so it can be recognised on the handle.
HANDLE OpenEntry(const std::wstring& path, DWORD disposition) {
  return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareReadWrite, nullptr, disposition,
                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                     nullptr);
}

}  // namespace

ErrorCode Win32TextFiles::CreatePlainTextFile(const std::wstring& path, std::unique_ptr<TextFile>* file) {
  file->reset();
  HANDLE handle = OpenEntry(path, OPEN_ALWAYS);
  if (handle == INVALID_HANDLE_VALUE) return LastError();
  // The check is made on the handle that would be written through, so nothing can be
  // swapped in between a look at the path and the write.
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) {
    const ErrorCode error = LastError();
    CloseHandle(handle);
    return error;
  }
  const bool directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const bool reparse = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (!directory && !reparse && info.nNumberOfLinks <= 1) {
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(handle, zero, nullptr, FILE_BEGIN) || !SetEndOfFile(handle)) {
      const ErrorCode error = LastError();
      CloseHandle(handle);
      return error;
    }
    *file = std::make_unique<Win32TextFile>(handle);
    return kSuccess;
  }
  CloseHandle(handle);
  // A real directory of that name is not ours to remove.
  if (directory && !reparse) return kErrorAccessDenied;
  // Both remove the link (or this one name of the file), never the target.
  const BOOL removed = directory ? RemoveDirectoryW(path.c_str()) : DeleteFileW(path.c_str());
  if (!removed) return LastError();
  // CREATE_NEW fails on anything that has reappeared under the name meanwhile.
  handle = OpenEntry(path, CREATE_NEW);
  if (handle == INVALID_HANDLE_VALUE) return LastError();
  *file = std::make_unique<Win32TextFile>(handle);
  return kSuccess;
}

}  // namespace ov::platform::win32
