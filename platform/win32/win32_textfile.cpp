// Text files over kernel32: a plain file, written only where the tool means it.
#include <windows.h>

#include <algorithm>

#include "platform/win32/win32_checked.h"
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

}  // namespace

ErrorCode Win32TextFiles::CreatePlainTextFile(const std::wstring& path, std::unique_ptr<TextFile>* file) {
  file->reset();
  HANDLE handle = INVALID_HANDLE_VALUE;
  bool created = false;
  if (ErrorCode e = OpenChecked(path, {false, GENERIC_READ | GENERIC_WRITE, kShareReadWrite, true}, &handle, &created);
      e != kSuccess) {
    return e;
  }
  LARGE_INTEGER zero{};
  if (!created && (!SetFilePointerEx(handle, zero, nullptr, FILE_BEGIN) || !SetEndOfFile(handle))) {
    const ErrorCode error = LastError();
    CloseHandle(handle);
    return error;
  }
  *file = std::make_unique<Win32TextFile>(handle);
  return kSuccess;
}

}  // namespace ov::platform::win32
