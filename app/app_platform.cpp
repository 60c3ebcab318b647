// The Win32 concepts of the running process, and start-up hardening.
#include "app/app_platform.h"

#include <windows.h>

#include "branding/ov_brands.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_fileio.h"
#include "platform/win32/win32_modules.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_services.h"

namespace ov::app {

namespace {

// Every concept but the user interaction, which differs between the dialog and the console.
ov::platform::Platform& SharedConcepts() {
  static ov::platform::win32::Win32Registry registry;
  static ov::platform::win32::Win32SystemInfo system;
  static ov::platform::win32::Win32FileSystem files;
  static ov::platform::win32::Win32Clock clock;
  static ov::platform::win32::Win32ServiceControl services;
  static ov::platform::win32::Win32Modules modules;
  static ov::platform::win32::Win32FileIo fileIo;
  static ov::platform::win32::Win32TextFiles textFiles;
  static ov::platform::Platform platform = [] {
    ov::platform::Platform p;
    p.registry = &registry;
    p.system = &system;
    p.files = &files;
    p.clock = &clock;
    p.services = &services;
    p.modules = &modules;
    p.fileIo = &fileIo;
    p.textFiles = &textFiles;
    return p;
  }();
  return platform;
}

}  // namespace

ov::platform::Platform& ProcessPlatform() {
  static ov::platform::win32::Win32UserInteraction ui;
  static ov::platform::Platform platform = [] {
    ov::platform::Platform p = SharedConcepts();
    p.ui = &ui;
    ov::branding::OvBrands::InstallPlatform(p);
    return p;
  }();
  return platform;
}

ov::platform::Platform ConsoleProcessPlatform(ov::platform::UserInteraction& ui) {
  ov::platform::Platform p = SharedConcepts();
  p.ui = &ui;
  return p;
}

void RestrictLibrarySearch() {
  // Looked up by name: Windows 7 has it only with update KB2533623, and an import the
  // loader cannot resolve would keep the tool from starting at all.
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleW(L"kernel32");
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDefault != nullptr) setDefault(LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  SetDllDirectoryW(L"");  // the current directory out of the search that remains elsewhere
}

void EnableRedirectionTrust() {
  // PROCESS_MITIGATION_POLICY value and flag as documented for Windows 10 2004 and later;
  // spelled out because older SDK headers lack them.
  constexpr int kProcessRedirectionTrustPolicy = 16;
  struct RedirectionTrustPolicy {
    DWORD flags;
  };
  constexpr DWORD kEnforceRedirectionTrust = 0x1;
  using SetPolicyFn = BOOL(WINAPI*)(int, PVOID, SIZE_T);
  HMODULE kernel = GetModuleHandleW(L"kernel32");
  if (kernel == nullptr) return;
  auto setPolicy = reinterpret_cast<SetPolicyFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetProcessMitigationPolicy")));
  if (setPolicy == nullptr) return;
  RedirectionTrustPolicy policy{kEnforceRedirectionTrust};
  setPolicy(kProcessRedirectionTrustPolicy, &policy, sizeof policy);  // refused on older builds: fine
}

}  // namespace ov::app
