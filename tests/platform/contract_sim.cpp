// Contract fixtures for the sim: one simulated machine for the whole program.
#include <unistd.h>

#include <utility>

#include "tests/platform/contract_platform.h"
#include "tests/support/sim_machine.h"

namespace contract {
namespace {
ov::test::SimMachine& Machine() {
  static ov::test::SimMachine machine;
  return machine;
}
}  // namespace

ov::platform::Platform& Os() { return Machine().platform; }
std::wstring FreshDirectory(const std::wstring& name) {
  const std::wstring dir = L"C:\\" + name;
  Machine().files.SetFailureHook(nullptr);
  std::filesystem::remove_all(Machine().Host(dir));
  std::filesystem::create_directories(Machine().Host(dir));
  return dir;
}
void WriteBytes(const std::wstring& path, std::size_t count) { Machine().PutFile(path, std::string(count, 'z')); }
std::string ReadBytes(const std::wstring& path) { return Machine().ReadFile(path); }
int HoldOpen(const std::wstring& path, std::uint32_t access, std::uint32_t share) {
  return Machine().files.HoldOpen(path, access, share);
}
void Release(int token) { Machine().files.ReleaseShare(token); }
bool MakeSymlink(const std::wstring& target, const std::wstring& link) {
  return ::symlink(Machine().Host(target).c_str(), Machine().Host(link).c_str()) == 0;
}
bool MakeHardLink(const std::wstring& target, const std::wstring& link) {
  return ::link(Machine().Host(target).c_str(), Machine().Host(link).c_str()) == 0;
}
bool SwapFolderAfterNextCheck(const std::wstring& folder, const std::wstring& target) {
  Machine().files.SetFailureHook([=, done = false](ov::platform::sim::FileOp op, const std::wstring&) mutable {
    if (op == ov::platform::sim::FileOp::Checked && !std::exchange(done, true)) {
      std::filesystem::rename(Machine().Host(folder), Machine().Host(folder) + "-moved");
      MakeSymlink(target, folder);
    }
    return ov::platform::kSuccess;
  });
  return true;
}
void InstallService(const std::wstring& name, std::uint32_t stopDelayMs, bool running) {
  ov::platform::sim::SimServiceControl::ServiceConfig config;
  config.state = running ? ov::platform::kServiceRunning : ov::platform::kServiceStopped;
  config.stopLatencyMs = config.stopWaitHintMs = stopDelayMs;
  Machine().services.AddService(name, config);
}
std::vector<std::wstring> TakeServiceEvents() {
  std::vector<std::wstring> events = Machine().services.Events();
  Machine().services.ClearEvents();
  return events;
}

}  // namespace contract
