// Process start-up: the tracing list is loaded before any window exists, and the process
// ends when the dialog closes.
#include <windows.h>

#include "model/ov_client_tracing.h"
#include "platform/platform.h"
#include "platform/win32/win32_platform.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  ov::platform::win32::Win32Registry registry;
  ov::platform::win32::Win32SystemInfo system;
  ov::platform::win32::Win32FileSystem files;
  ov::platform::win32::Win32UserInteraction ui;
  ov::platform::Platform platform;
  platform.registry = &registry;
  platform.system = &system;
  platform.files = &files;
  platform.ui = &ui;
  OvClientTracingList list(platform);
  if (list.GetCount() == 0) {
    ui.ShowMessage(L"No tracing entries found.", L"Error", ov::platform::kMbOk | ov::platform::kMbIconError);
  }
  return 0;
}
