// Process start-up: one application object whose initialisation runs the main dialog
// modally; the process ends when the dialog closes, whatever closed it.
#include <windows.h>

#include "app/app_platform.h"
#include "app/win32_dialog.h"
#include "ui/ov_client_tracing_dlg.h"

class COvClientTracingApp {
 public:
  // Always false: there is no message loop of the application's own, and the process ends.
  bool InitInstance();
};

namespace {
COvClientTracingApp theApp;
}

bool COvClientTracingApp::InitInstance() {
  ov::platform::Platform& platform = ov::app::ProcessPlatform();
  // The dialog object (and with it the tracing list, read from the registry) is built before
  // its window; the result of the dialog is not needed, every save happened inside it.
  ov::app::RunMainDialog(platform);
  return false;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Before anything is loaded by name: the tool runs elevated.
  ov::app::RestrictLibrarySearch();
  ov::app::EnableRedirectionTrust();
  theApp.InitInstance();
  return 0;
}
