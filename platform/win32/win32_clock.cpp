// The process's real clock: GetTickCount64 and Sleep.
#include "platform/win32/win32_clock.h"

#include <windows.h>

namespace ov::platform::win32 {

std::uint64_t Win32Clock::TickCount64() { return ::GetTickCount64(); }

void Win32Clock::Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

}  // namespace ov::platform::win32
