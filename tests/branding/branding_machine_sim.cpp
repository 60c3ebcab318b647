// The sim machine: SimRegistry, and real shared objects copied into the sim's file system.
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/sim/posix_modules.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_registry.h"
#include "tests/branding/branding_machine.h"

namespace branding_test {
namespace {

namespace fs = std::filesystem;

fs::path ExecutableDirectory() { return fs::read_symlink("/proc/self/exe").parent_path(); }

class SimMachine final : public Machine {
 public:
  SimMachine()
      : m_root(fs::temp_directory_path() / ("ovbranding-" + std::to_string(::getpid()))),
        m_files((fs::create_directories(m_root), m_root.string())),
        m_modules(&m_files) {}
  ~SimMachine() override {
    std::error_code ignored;
    fs::remove_all(m_root, ignored);
  }

  ov::platform::Registry& Registry() override { return m_registry; }
  ov::platform::Platform Platform() override {
    ov::platform::Platform platform;
    platform.registry = &m_registry;
    platform.modules = &m_modules;
    platform.clock = &clock;
    platform.files = &m_files;
    return platform;
  }
  std::wstring FixtureFolder(const std::string& variant) override {
    const std::wstring folder = L"C:\\Program Files\\Veltrane\\" + ov::platform::sim::HostToWide(variant);
    const fs::path host = m_modules.HostPath(folder + L"\\OvBrands.dll");
    fs::create_directories(host.parent_path());
    fs::copy_file(ExecutableDirectory() / "fixtures" / variant / "OvBrands.dll", host,
                  fs::copy_options::overwrite_existing);
    return folder;
  }

 private:
  fs::path m_root;
  ov::platform::sim::SimRegistry m_registry;
  ov::platform::sim::SimFileSystem m_files;
  ov::platform::sim::PosixModules m_modules;
};

}  // namespace

std::unique_ptr<Machine> MakeMachine() { return std::make_unique<SimMachine>(); }

}  // namespace branding_test
