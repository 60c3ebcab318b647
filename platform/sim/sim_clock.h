// A virtual millisecond clock: sleeping advances it at once and leaves a record.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/clock.h"

namespace ov::platform::sim {

// Waits that take seconds on Windows take microseconds here, and a test can say exactly how
// long a wait lasted and how it slept. Simulated components that take time (a service that
// stops slowly) schedule their changes on this clock.
class SimClock final : public Clock {
 public:
  explicit SimClock(std::uint64_t start = 0) : m_now(start) {}

  std::uint64_t TickCount64() override;
  void Sleep(std::uint32_t milliseconds) override;

  // Time passing without anyone sleeping, e.g. the cost of a call into another process.
  void Advance(std::uint64_t milliseconds);

  const std::vector<std::uint32_t>& Sleeps() const { return m_sleeps; }
  void ClearSleeps() { m_sleeps.clear(); }

 private:
  std::uint64_t m_now;
  std::vector<std::uint32_t> m_sleeps;
};

}  // namespace ov::platform::sim
