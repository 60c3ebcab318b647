// The service world of the native tests: the sim SCM on a virtual clock.
#include "platform/sim/sim_clock.h"
#include "platform/sim/sim_services.h"
#include "tests/services/service_world.h"

namespace ov::test {
namespace {

using platform::sim::SimClock;
using platform::sim::SimServiceControl;

class SimWorld final : public ServiceWorld {
 public:
  platform::ServiceControl& Scm() override { return m_scm; }
  platform::Clock& Clock() override { return m_clock; }

  void Install(const std::wstring& name, std::uint32_t stopDelayMs, bool running) override {
    SimServiceControl::ServiceConfig config;
    config.state = running ? platform::kServiceRunning : platform::kServiceStopped;
    config.stopLatencyMs = stopDelayMs;
    config.stopWaitHintMs = stopDelayMs;
    m_scm.AddService(name, config);
  }

  bool WaitForState(const std::wstring& name, std::uint32_t state, std::uint32_t timeoutMs) override {
    for (std::uint32_t waited = 0;; waited += 10) {
      if (m_scm.State(name) == state) return true;
      if (waited >= timeoutMs) return false;
      m_clock.Sleep(10);
    }
  }

  std::vector<std::wstring> Events() override { return m_scm.Events(); }
  void ClearEvents() override { m_scm.ClearEvents(); }
  std::uint64_t LatestEventTick() override { return 0; }
  bool IsReal() const override { return false; }

 private:
  SimClock m_clock;
  SimServiceControl m_scm{m_clock};
};

}  // namespace

std::unique_ptr<ServiceWorld> MakeServiceWorld() { return std::make_unique<SimWorld>(); }

}  // namespace ov::test
