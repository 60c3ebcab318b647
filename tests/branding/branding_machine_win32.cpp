// The Win32 machine: the real registry of the Wine prefix and the real loader.
#include <windows.h>

#include <string>

#include "platform/win32/win32_modules.h"
#include "platform/win32/win32_platform.h"
#include "tests/branding/branding_machine.h"

namespace branding_test {
namespace {

std::wstring ExecutableDirectory() {
  wchar_t buffer[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  std::wstring path(buffer, length);
  return path.substr(0, path.find_last_of(L'\\'));
}

class Win32Machine final : public Machine {
 public:
  ov::platform::Registry& Registry() override { return m_registry; }
  ov::platform::Platform Platform() override {
    ov::platform::Platform platform;
    platform.registry = &m_registry;
    platform.modules = &m_modules;
    platform.clock = &clock;
    return platform;
  }
  // Built next to the test program, each variant in a folder of its own.
  std::wstring FixtureFolder(const std::string& variant) override {
    return ExecutableDirectory() + L"\\fixtures\\" + std::wstring(variant.begin(), variant.end());
  }

 private:
  ov::platform::win32::Win32Registry m_registry;
  ov::platform::win32::Win32Modules m_modules;
};

}  // namespace

std::unique_ptr<Machine> MakeMachine() { return std::make_unique<Win32Machine>(); }

}  // namespace branding_test
