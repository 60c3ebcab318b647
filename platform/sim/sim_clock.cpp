// The virtual millisecond clock and local time through the C library.
#include "platform/sim/sim_clock.h"

#include <ctime>

namespace ov::platform::sim {

namespace {

constexpr std::int64_t kUnixEpochAsFileTimeSeconds = 11644473600;  // 1601 to 1970

CalendarTime FromTm(const std::tm& tm) {
  return CalendarTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace

std::uint64_t SimClock::TickCount64() { return m_now; }

void SimClock::Sleep(std::uint32_t milliseconds) {
  m_sleeps.push_back(milliseconds);
  m_now += milliseconds;
}

void SimClock::Advance(std::uint64_t milliseconds) { m_now += milliseconds; }

void SimClock::RefreshTimeZone() { ::tzset(); }

CalendarTime SimClock::CurrentLocalTime() {
  const std::time_t now = m_wallNow ? static_cast<std::time_t>(*m_wallNow) : std::time(nullptr);
  std::tm tm {};
  ::localtime_r(&now, &tm);
  return FromTm(tm);
}

bool SimClock::UtcToLocal(std::uint64_t fileTime, CalendarTime* local) {
  const std::time_t seconds =
      static_cast<std::time_t>(static_cast<std::int64_t>(fileTime / 10000000u) - kUnixEpochAsFileTimeSeconds);
  std::tm tm {};
  if (::localtime_r(&seconds, &tm) == nullptr) return false;
  *local = FromTm(tm);
  return true;
}

bool SimClock::LocalToUnixSeconds(const CalendarTime& local, std::int64_t* seconds) {
  std::tm tm {};
  tm.tm_year = local.year - 1900;
  tm.tm_mon = local.month - 1;
  tm.tm_mday = local.day;
  tm.tm_hour = local.hour;
  tm.tm_min = local.minute;
  tm.tm_sec = local.second;
  tm.tm_isdst = -1;
  // -1 is also a valid instant (one second before 1970 UTC), so failure is read from tm_wday,
  // which mktime sets only on success.
  tm.tm_wday = -1;
  const std::time_t t = ::mktime(&tm);
  if (t == static_cast<std::time_t>(-1) && tm.tm_wday == -1) return false;
  *seconds = static_cast<std::int64_t>(t);
  return true;
}

}  // namespace ov::platform::sim
