// A simulated machine for the log collection tests: sim registry, files over a temp directory.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_system.h"
#include "platform/sim/sim_textfile.h"
#include "platform/sim/sim_ui.h"

namespace ov::test {

class SimMachine : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "-" + info->name();
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    m_root = std::filesystem::temp_directory_path() / ("ovlogcollect-" + std::to_string(::getpid()) + "-" + name);
    std::filesystem::remove_all(m_root);
    std::filesystem::create_directories(m_root / "C");
    files = std::make_unique<ov::platform::sim::SimFileSystem>(m_root.string());
    textFiles = std::make_unique<ov::platform::sim::SimTextFiles>(*files);
    platform.registry = &registry;
    platform.system = &system;
    platform.files = files.get();
    platform.textFiles = textFiles.get();
    platform.ui = &ui;
  }
  void TearDown() override { std::filesystem::remove_all(m_root); }

  std::filesystem::path Host(const std::wstring& windowsPath) const { return files->ToHostPath(windowsPath); }
  void MakeDirectories(const std::wstring& windowsPath) const {
    std::filesystem::create_directories(Host(windowsPath));
  }
  void PutFile(const std::wstring& windowsPath, const std::string& bytes) const {
    std::filesystem::create_directories(Host(windowsPath).parent_path());
    std::ofstream(Host(windowsPath), std::ios::binary) << bytes;
  }
  std::string ReadFile(const std::wstring& windowsPath) const { return ReadHost(Host(windowsPath)); }
  static std::string ReadHost(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::filesystem::path m_root;
  ov::platform::sim::SimRegistry registry;
  ov::platform::sim::SimSystemInfo system;
  ov::platform::sim::SimUserInteraction ui;
  std::unique_ptr<ov::platform::sim::SimFileSystem> files;
  std::unique_ptr<ov::platform::sim::SimTextFiles> textFiles;
  ov::platform::Platform platform;
};

}  // namespace ov::test
