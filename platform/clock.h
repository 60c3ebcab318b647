// Time: a 64-bit millisecond tick count and a sleep for waits, and the local calendar time
// that archive members are stamped with.
#pragma once
#include <cstdint>

namespace ov::platform {

// A calendar date and time as SYSTEMTIME holds it (month 1-12, day 1-31), without weekday or
// milliseconds.
struct CalendarTime {
  int year = 1970;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::uint64_t TickCount64() = 0;  // GetTickCount64
  virtual void Sleep(std::uint32_t milliseconds) = 0;

  // Local time. RefreshTimeZone makes the following conversions follow the system's current
  // time-zone settings (the C runtime's _tzset); the Win32 calls read them on every call.
  virtual void RefreshTimeZone() = 0;
  virtual CalendarTime CurrentLocalTime() = 0;  // GetLocalTime
  // A FILETIME (100 ns units since 1601-01-01 00:00:00 UTC) as the local calendar time of
  // that instant.
  virtual bool UtcToLocal(std::uint64_t fileTime, CalendarTime* local) = 0;
  // A local calendar time as seconds since 1970-01-01 00:00:00 UTC (mktime, daylight saving
  // time as the zone's rules give it).
  virtual bool LocalToUnixSeconds(const CalendarTime& local, std::int64_t* seconds) = 0;
};

}  // namespace ov::platform
