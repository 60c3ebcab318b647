// The machine the branding tests run on: the sim natively, the real registry and loader under
// Wine. Both load real branding libraries built from the demo library's source.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/platform.h"
#include "platform/registry.h"

namespace branding_test {

// Records the waits it is asked for and returns at once.
class RecordingClock final : public ov::platform::Clock {
 public:
  std::uint64_t TickCount64() override { return m_now; }
  void Sleep(std::uint32_t milliseconds) override {
    m_now += milliseconds;
    sleeps.push_back(milliseconds);
  }
  std::vector<std::uint32_t> sleeps;

 private:
  std::uint64_t m_now = 0;
};

class Machine {
 public:
  virtual ~Machine() = default;
  virtual ov::platform::Registry& Registry() = 0;
  virtual ov::platform::Platform Platform() = 0;
  // Windows path of a folder holding the branding library of the variant ("full", "nulls",
  // "emptyreports", "partial"), without a trailing backslash.
  virtual std::wstring FixtureFolder(const std::string& variant) = 0;

  // "Support File Location" under HKLM\SOFTWARE\Veltrane\Common, through the registry concept.
  void SetSupportFileLocation(const std::wstring& folder, std::uint32_t type = ov::platform::kRegSz);
  void RemoveSupportFileLocation();

  RecordingClock clock;
};

std::unique_ptr<Machine> MakeMachine();

}  // namespace branding_test
