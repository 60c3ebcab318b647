// The service world of the native tests: the sim SCM on a virtual clock.
#include "platform/sim/sim_clock.h"
#include "platform/sim/sim_services.h"
#include "tests/services/service_world.h"

namespace ov::test {
namespace {

class SimWorld final : public ServiceWorld {
 public:
  platform::ServiceControl& Scm() override { return m_scm; }
  platform::Clock& Clock() override { return m_clock; }
  void Install(const std::wstring& name, std::uint32_t stopDelayMs, bool running) override {
    platform::sim::SimServiceControl::ServiceConfig config;
    config.state = running ? platform::kServiceRunning : platform::kServiceStopped;
    config.stopLatencyMs = stopDelayMs;
    config.stopWaitHintMs = stopDelayMs;
    m_scm.AddService(name, config);
  }
  std::vector<std::wstring> Events() override { return m_scm.Events(); }
  void ClearEvents() override { m_scm.ClearEvents(); }

 private:
  platform::sim::SimClock m_clock;
  platform::sim::SimServiceControl m_scm{m_clock};
};

}  // namespace

std::unique_ptr<ServiceWorld> MakeServiceWorld() { return std::make_unique<SimWorld>(); }

}  // namespace ov::test
