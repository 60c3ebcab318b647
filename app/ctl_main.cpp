// OvTracingCtl.exe: the console companion's entry point and its console output.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/app_platform.h"
#include "console/tracing_ctl.h"

namespace {

// Lines to a console go out as UTF-16, which any console font shows; redirected to a file or
// pipe they go out as UTF-8, which PowerShell, editors and log shippers read back.
class StandardOutput final : public ov::console::ConsoleOutput {
 public:
  void Out(const std::wstring& line) override { Write(STD_OUTPUT_HANDLE, line); }
  void Err(const std::wstring& line) override { Write(STD_ERROR_HANDLE, line); }

 private:
  static void Write(DWORD which, const std::wstring& line) {
    HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    const std::wstring text = line + L"\r\n";
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(handle, &mode)) {
      WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
      return;
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    if (size <= 0) return;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  }
};

std::vector<std::wstring> CommandLineArguments() {
  std::vector<std::wstring> arguments;
  int count = 0;
  wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
  if (words == nullptr) return arguments;
  for (int i = 1; i < count; ++i) arguments.emplace_back(words[i]);
  LocalFree(words);
  return arguments;
}

}  // namespace

int main() {
  ov::app::RestrictLibrarySearch();
  ov::app::EnableRedirectionTrust();
  StandardOutput output;
  ov::console::ConsoleUserInteraction ui(output);
  ov::platform::Platform platform = ov::app::ConsoleProcessPlatform(ui);
  return ov::console::RunTracingCtl(CommandLineArguments(), platform, ui, output);
}
