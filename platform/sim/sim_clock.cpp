// The virtual millisecond clock.
#include "platform/sim/sim_clock.h"

namespace ov::platform::sim {

std::uint64_t SimClock::TickCount64() { return m_now; }

void SimClock::Sleep(std::uint32_t milliseconds) {
  m_sleeps.push_back(milliseconds);
  m_now += milliseconds;
}

void SimClock::Advance(std::uint64_t milliseconds) { m_now += milliseconds; }

}  // namespace ov::platform::sim
