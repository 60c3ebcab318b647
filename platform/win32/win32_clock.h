// The real clock: GetTickCount64 and Sleep, and local time through the system's time zone.
#pragma once
#include "platform/clock.h"

namespace ov::platform::win32 {

class Win32Clock final : public Clock {
 public:
  std::uint64_t TickCount64() override;
  void Sleep(std::uint32_t milliseconds) override;
  void RefreshTimeZone() override;
  CalendarTime CurrentLocalTime() override;
  bool UtcToLocal(std::uint64_t fileTime, CalendarTime* local) override;
  bool LocalToUnixSeconds(const CalendarTime& local, std::int64_t* seconds) override;
};

}  // namespace ov::platform::win32
