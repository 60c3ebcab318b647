// Message boxes (no owner window) and the cursor.
#include <windows.h>

#include "platform/win32/win32_platform.h"

namespace ov::platform::win32 {

int Win32UserInteraction::ShowMessage(const std::wstring& text, const std::wstring& caption,
                                      std::uint32_t flags) {
  return MessageBoxW(nullptr, text.c_str(), caption.c_str(), flags);
}

int Win32UserInteraction::ShowMessage8(const std::string& text, const std::string& caption,
                                       std::uint32_t flags) {
  return MessageBoxA(nullptr, text.c_str(), caption.c_str(), flags);
}

CursorHandle Win32UserInteraction::ShowWaitCursor() {
  return reinterpret_cast<CursorHandle>(SetCursor(LoadCursorW(nullptr, IDC_WAIT)));
}

void Win32UserInteraction::RestoreCursor(CursorHandle previous) {
  HCURSOR cursor = previous != 0 ? reinterpret_cast<HCURSOR>(previous) : LoadCursorW(nullptr, IDC_ARROW);
  SetCursor(cursor);
}

}  // namespace ov::platform::win32
