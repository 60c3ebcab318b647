// The process's real clock: GetTickCount64, Sleep and the SYSTEMTIME conversions.
#include "platform/win32/win32_clock.h"

#include <windows.h>

namespace ov::platform::win32 {

namespace {

CalendarTime FromSystemTime(const SYSTEMTIME& st) {
  return CalendarTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

}  // namespace

std::uint64_t Win32Clock::TickCount64() { return ::GetTickCount64(); }

void Win32Clock::Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

void Win32Clock::RefreshTimeZone() {
  // The calls below read the time-zone settings each time; nothing is cached here.
}

CalendarTime Win32Clock::CurrentLocalTime() {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  return FromSystemTime(st);
}

bool Win32Clock::UtcToLocal(std::uint64_t fileTime, CalendarTime* local) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(fileTime);
  ft.dwHighDateTime = static_cast<DWORD>(fileTime >> 32);
  SYSTEMTIME utc;
  SYSTEMTIME st;
  if (!::FileTimeToSystemTime(&ft, &utc) || !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &st)) return false;
  *local = FromSystemTime(st);
  return true;
}

bool Win32Clock::LocalToUnixSeconds(const CalendarTime& local, std::int64_t* seconds) {
  SYSTEMTIME st {};
  st.wYear = static_cast<WORD>(local.year);
  st.wMonth = static_cast<WORD>(local.month);
  st.wDay = static_cast<WORD>(local.day);
  st.wHour = static_cast<WORD>(local.hour);
  st.wMinute = static_cast<WORD>(local.minute);
  st.wSecond = static_cast<WORD>(local.second);
  SYSTEMTIME utc;
  FILETIME ft;
  if (!::TzSpecificLocalTimeToSystemTime(nullptr, &st, &utc) || !::SystemTimeToFileTime(&utc, &ft)) return false;
  const std::uint64_t fileTime = (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  *seconds = static_cast<std::int64_t>(fileTime / 10000000u) - 11644473600;
  return true;
}

}  // namespace ov::platform::win32
