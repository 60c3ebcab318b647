// The real clock over GetTickCount64 and Sleep.
#pragma once
#include "platform/clock.h"

namespace ov::platform::win32 {

class Win32Clock final : public Clock {
 public:
  std::uint64_t TickCount64() override;
  void Sleep(std::uint32_t milliseconds) override;
};

}  // namespace ov::platform::win32
