// A simulated machine for the log collection tests: sim registry, files over a temp directory.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "platform/platform.h"
#include "platform/sim/sim_clock.h"
#include "platform/sim/sim_fileio.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_system.h"
#include "platform/sim/sim_textfile.h"
#include "platform/sim/sim_ui.h"

namespace ov::test {

class SimMachine : public ::testing::Test {
 protected:
  void SetUp() override {
    m_root = std::filesystem::temp_directory_path() /
             ("ovlogcollect-" + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(m_root);
    std::filesystem::create_directories(m_root / "C");
    files = std::make_unique<ov::platform::sim::SimFileSystem>(m_root.string());
    textFiles = std::make_unique<ov::platform::sim::SimTextFiles>(*files);
    fileIo = std::make_unique<ov::platform::sim::SimFileIo>(*files);
    platform = {&registry, &system, files.get(), &ui};
    platform.textFiles = textFiles.get();
    platform.fileIo = fileIo.get();
    platform.clock = &clock;
  }
  void TearDown() override { std::filesystem::remove_all(m_root); }

  std::filesystem::path Host(const std::wstring& windowsPath) const { return files->ToHostPath(windowsPath); }
  void PutFile(const std::wstring& windowsPath, const std::string& bytes) const {
    std::filesystem::create_directories(Host(windowsPath).parent_path());
    std::ofstream(Host(windowsPath), std::ios::binary) << bytes;
  }
  std::string ReadFile(const std::wstring& windowsPath) const {
    std::ostringstream out;
    out << std::ifstream(Host(windowsPath), std::ios::binary).rdbuf();
    return out.str();
  }
  // The archive's member names in order, as Python's zipfile reads them after checking every
  // CRC and every member against the file of that name in sources; unzip -t must agree.
  std::string Members(const std::wstring& archive, const std::wstring& sources) const {
    const std::string args = " '" + Host(archive).string() + "' '" + Host(sources).string() + "'";
    const std::string script =
        "import os,sys,zipfile\nz=zipfile.ZipFile(sys.argv[1])\nassert z.testzip() is None\n"
        "for i in z.infolist():\n assert z.read(i)==open(os.path.join(sys.argv[2],i.filename),'rb').read()\n"
        " print(i.filename,end=' ')";
    FILE* pipe = ::popen(("python3 -c \"" + script + "\"" + args + " 2>&1").c_str(), "r");
    std::string names;
    for (int c; (c = std::fgetc(pipe)) != EOF;) names.push_back(static_cast<char>(c));
    if (::pclose(pipe) != 0) return "zipfile rejects: " + names;
    if (!names.empty() && std::system(("unzip -tqq" + args.substr(0, args.find("' '") + 1) + " >/dev/null").c_str()) != 0)
      return "unzip -t rejects";
    return names;
  }

  std::filesystem::path m_root;
  ov::platform::sim::SimRegistry registry;
  ov::platform::sim::SimSystemInfo system;
  ov::platform::sim::SimUserInteraction ui;
  ov::platform::sim::SimClock clock;
  std::unique_ptr<ov::platform::sim::SimFileSystem> files;
  std::unique_ptr<ov::platform::sim::SimTextFiles> textFiles;
  std::unique_ptr<ov::platform::sim::SimFileIo> fileIo;
  ov::platform::Platform platform;
};

}  // namespace ov::test
