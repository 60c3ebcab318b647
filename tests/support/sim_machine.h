// The simulated machine every native test runs on: each sim concept, files over a temp dir.
#pragma once
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/posix_modules.h"
#include "platform/sim/sim_clock.h"
#include "platform/sim/sim_fileio.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_services.h"
#include "platform/sim/sim_system.h"
#include "platform/sim/sim_textfile.h"
#include "platform/sim/sim_ui.h"

namespace ov::test {

// "C:\" is a fresh host directory, removed with the machine. The concepts are public so a
// test can script answers, inject failures and look at what happened.
class SimMachine {
 public:
  explicit SimMachine(bool wow64 = false) : registry(wow64) {}
  ~SimMachine() {
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
  }
  SimMachine(const SimMachine&) = delete;
  SimMachine& operator=(const SimMachine&) = delete;

  std::string Host(const std::wstring& path) const { return files.ToHostPath(path); }
  void PutFile(const std::wstring& path, const std::string& bytes) const {
    std::filesystem::create_directories(std::filesystem::path(Host(path)).parent_path());
    std::ofstream(Host(path), std::ios::binary) << bytes;
  }
  // The whole file; "<missing>" when there is none.
  std::string ReadFile(const std::wstring& path) const {
    std::ifstream in(Host(path), std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
  }
  std::uint32_t Dword(const std::wstring& key, const std::wstring& name) const {
    std::uint32_t value = 0xDEADBEEF;
    registry.GetDword(key, name, &value);
    return value;
  }
  std::wstring String(const std::wstring& key, const std::wstring& name) const {
    std::wstring text = L"<missing>";
    registry.GetString(key, name, &text);
    return text;
  }
  // unzip -t, 7z, bsdtar and Python's zipfile all accept the archive, and it holds exactly
  // the named members, each the bytes of the file of that name in the folder.
  bool ArchiveHolds(const std::wstring& archive, const std::wstring& folder, const std::vector<std::wstring>& names) const {
    std::string command = "python3 '" OV_CHECK_ARCHIVE "' '" + Host(archive) + "' --count " + std::to_string(names.size());
    for (const std::wstring& name : names) command += " '" + platform::sim::WideToHost(name) + "=" + Host(folder + L"\\" + name) + "'";
    return std::system(command.c_str()) == 0;
  }

  const std::string root = MakeRoot();
  platform::sim::SimRegistry registry;
  platform::sim::SimSystemInfo system;
  platform::sim::SimUserInteraction ui;
  platform::sim::SimClock clock;
  platform::sim::SimServiceControl services{clock};
  platform::sim::SimFileSystem files{root};
  platform::sim::SimFileIo fileIo{files};
  platform::sim::SimTextFiles textFiles{files};
  platform::sim::PosixModules modules{&files};
  platform::Platform platform{&registry, &system, &files, &ui, &clock, &services, &modules, &fileIo, &textFiles};

 private:
  static std::string MakeRoot() {
    std::string root = (std::filesystem::temp_directory_path() / "ovsim-XXXXXX").string();
    if (::mkdtemp(root.data()) != nullptr) std::filesystem::create_directories(root + "/C");
    return root;
  }
};

}  // namespace ov::test
