// A virtual millisecond clock (sleeping advances it at once and leaves a record) and the
// host's local time.
#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/clock.h"

namespace ov::platform::sim {

// Waits that take seconds on Windows take microseconds here, and a test can say exactly how
// long a wait lasted and how it slept. Simulated components that take time (a service that
// stops slowly) schedule their changes on this clock. Local time is the host's, in the zone
// that TZ names, which a test sets with setenv.
class SimClock final : public Clock {
 public:
  explicit SimClock(std::uint64_t start = 0) : m_now(start) {}

  std::uint64_t TickCount64() override;
  void Sleep(std::uint32_t milliseconds) override;
  void RefreshTimeZone() override;
  CalendarTime CurrentLocalTime() override;
  bool UtcToLocal(std::uint64_t fileTime, CalendarTime* local) override;
  bool LocalToUnixSeconds(const CalendarTime& local, std::int64_t* seconds) override;

  // Time passing without anyone sleeping, e.g. the cost of a call into another process.
  void Advance(std::uint64_t milliseconds);

  const std::vector<std::uint32_t>& Sleeps() const { return m_sleeps; }
  void ClearSleeps() { m_sleeps.clear(); }

  // Fixes the instant CurrentLocalTime reports (seconds since 1970 UTC); nullopt: the host's
  // clock. The tick count does not follow it.
  void SetNowForTest(std::optional<std::int64_t> unixSeconds) { m_wallNow = unixSeconds; }

 private:
  std::uint64_t m_now;
  std::vector<std::uint32_t> m_sleeps;
  std::optional<std::int64_t> m_wallNow;
};

}  // namespace ov::platform::sim
