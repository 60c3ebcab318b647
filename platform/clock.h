// Time for waits: a 64-bit millisecond tick count and a sleep.
#pragma once
#include <cstdint>

namespace ov::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::uint64_t TickCount64() = 0;  // GetTickCount64
  virtual void Sleep(std::uint32_t milliseconds) = 0;
};

}  // namespace ov::platform
