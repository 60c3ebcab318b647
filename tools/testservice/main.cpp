// OvTestService: a minimal Windows service whose behaviour comes from its command line.
//
//   OvTestService.exe [--name NAME] [--log FILE] [--stop-delay MS] [--start-delay MS]
//
// Registered with these arguments in its binary path, it reports running (after
// --start-delay ms, start-pending meanwhile), and on a stop request reports stop-pending
// with a wait hint of --stop-delay ms, waits that long and reports stopped. Each start and
// stop appends one line, "start NAME" or "stop NAME", to --log, written before the state is
// reported so that a reader who sees the state also sees the line. A tab and the
// GetTickCount64 value of the moment follow, so a test can tell how soon a caller noticed. NAME defaults to the name
// the service was started under. Run outside the Service Control Manager it explains itself.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

struct Options {
  std::wstring name;
  std::wstring logPath;
  DWORD stopDelayMs = 0;
  DWORD startDelayMs = 0;
};

Options g_options;
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
HANDLE g_stopRequested = nullptr;
CRITICAL_SECTION g_statusLock;
SERVICE_STATUS g_status{};

bool ParseOptions(Options* options) {
  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  if (argv == nullptr) return false;
  bool ok = true;
  for (int i = 1; i < argc && ok; ++i) {
    const std::wstring arg = argv[i];
    const wchar_t* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (value == nullptr) {
      ok = false;
    } else if (arg == L"--name") {
      options->name = value;
    } else if (arg == L"--log") {
      options->logPath = value;
    } else if (arg == L"--stop-delay") {
      options->stopDelayMs = static_cast<DWORD>(std::wcstoul(value, nullptr, 10));
    } else if (arg == L"--start-delay") {
      options->startDelayMs = static_cast<DWORD>(std::wcstoul(value, nullptr, 10));
    } else {
      ok = false;
    }
    ++i;
  }
  ::LocalFree(argv);
  return ok;
}

void AppendLog(const char* what) {
  if (g_options.logPath.empty()) return;
  std::string line = what;
  line += ' ';
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, g_options.name.c_str(),
                                          static_cast<int>(g_options.name.size()), nullptr, 0,
                                          nullptr, nullptr);
  std::string name(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0) {
    ::WideCharToMultiByte(CP_UTF8, 0, g_options.name.c_str(), static_cast<int>(g_options.name.size()),
                          name.data(), bytes, nullptr, nullptr);
  }
  line += name;
  line += '\t';
  line += std::to_string(::GetTickCount64());
  line += "\r\n";
  // Opened per line with full sharing, so the tests can read and truncate it at any time.
  HANDLE file = ::CreateFileW(g_options.logPath.c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  ::CloseHandle(file);
}

void Report(DWORD state, DWORD waitHint, DWORD checkPoint) {
  ::EnterCriticalSection(&g_statusLock);
  g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  g_status.dwCurrentState = state;
  g_status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  g_status.dwWin32ExitCode = NO_ERROR;
  g_status.dwServiceSpecificExitCode = 0;
  g_status.dwCheckPoint = checkPoint;
  g_status.dwWaitHint = waitHint;
  ::SetServiceStatus(g_statusHandle, &g_status);
  ::LeaveCriticalSection(&g_statusLock);
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      // Answer at once, so the caller's ControlService sees the pending state and the hint.
      Report(SERVICE_STOP_PENDING, g_options.stopDelayMs, 1);
      ::SetEvent(g_stopRequested);
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void WINAPI ServiceMain(DWORD argc, wchar_t** argv) {
  if (g_options.name.empty() && argc > 0 && argv[0] != nullptr) g_options.name = argv[0];
  // The event exists before any control can arrive.
  g_stopRequested = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  g_statusHandle = ::RegisterServiceCtrlHandlerExW(g_options.name.c_str(), Handler, nullptr);
  if (g_statusHandle == nullptr) return;
  if (g_options.startDelayMs != 0) {
    Report(SERVICE_START_PENDING, g_options.startDelayMs, 1);
    ::Sleep(g_options.startDelayMs);
  }
  AppendLog("start");
  Report(SERVICE_RUNNING, 0, 0);

  ::WaitForSingleObject(g_stopRequested, INFINITE);
  // Progress within the hint, as a well-behaved service reports it.
  DWORD remaining = g_options.stopDelayMs;
  for (DWORD checkPoint = 2; remaining > 0; ++checkPoint) {
    const DWORD step = remaining < 250 ? remaining : 250;
    ::Sleep(step);
    remaining -= step;
    if (remaining > 0) Report(SERVICE_STOP_PENDING, remaining, checkPoint);
  }
  AppendLog("stop");
  ::CloseHandle(g_stopRequested);
  Report(SERVICE_STOPPED, 0, 0);
}

}  // namespace

int main() {
  ::InitializeCriticalSection(&g_statusLock);
  if (!ParseOptions(&g_options)) {
    std::fprintf(stderr,
                 "usage: OvTestService.exe [--name NAME] [--log FILE] [--stop-delay MS] "
                 "[--start-delay MS]\n");
    return 2;
  }
  wchar_t serviceName[] = L"OvTestService";  // ignored for a service in its own process
  SERVICE_TABLE_ENTRYW table[] = {{serviceName, ServiceMain}, {nullptr, nullptr}};
  if (!::StartServiceCtrlDispatcherW(table)) {
    const DWORD error = ::GetLastError();
    std::fprintf(stderr,
                 "OvTestService runs as a Windows service; register it with CreateService "
                 "(error %lu).\n",
                 static_cast<unsigned long>(error));
    return 1;
  }
  return 0;
}
