// Native pieces of the archive tests: a sim machine over a host directory, host files, readers.
#pragma once
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/sim/sim_clock.h"
#include "platform/sim/sim_fileio.h"
#include "platform/sim/sim_files.h"
#include "tests/zip/zip_test_common.h"

namespace ov::zip::test {

inline Bytes ReadHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// unzip -t, 7z t, bsdtar and Python's zipfile through check_zip.py, with its arguments.
inline bool ReadersAccept(const std::string& archive, const std::vector<std::string>& args = {}) {
  std::string command = "python3 '" OV_ZIP_CHECK_SCRIPT "' '" + archive + "'";
  for (const auto& a : args) command += " '" + a + "'";
  return std::system(command.c_str()) == 0;
}

// A host temporary directory that a SimFileSystem maps "C:\" into, in a fixed time zone with
// daylight saving time (a POSIX rule, so no zone database is needed). Multi-gigabyte sparse
// archives go to /dev/shm, where reading a hole fills no disk cache.
class SimMachine {
 public:
  explicit SimMachine(const std::string& base = "/tmp") : m_root(MakeRoot(base)) {
    std::filesystem::create_directories(m_root + "/C");
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  }
  ~SimMachine() { std::filesystem::remove_all(m_root); }
  SimMachine(const SimMachine&) = delete;
  SimMachine& operator=(const SimMachine&) = delete;

  std::string Host(const std::wstring& path) const { return files.ToHostPath(path); }
  void Put(const std::wstring& path, const Bytes& data, std::int64_t modified = 0, std::int64_t accessed = 0) const {
    std::filesystem::create_directories(std::filesystem::path(Host(path)).parent_path());
    std::ofstream(Host(path), std::ios::binary).write(reinterpret_cast<const char*>(data.data()),
                                                      static_cast<std::streamsize>(data.size()));
    if (modified == 0) return;
    struct timespec times[2] {};
    times[0].tv_sec = static_cast<time_t>(accessed), times[1].tv_sec = static_cast<time_t>(modified);
    ::utimensat(AT_FDCWD, Host(path).c_str(), times, 0);
  }

 private:
  static std::string MakeRoot(const std::string& base) {
    std::string root = base + "/ovzip-test-XXXXXX";
    if (::mkdtemp(root.data()) == nullptr) ::mkdtemp((root = "/tmp/ovzip-test-XXXXXX").data());
    return root;
  }
  std::string m_root;

 public:
  platform::sim::SimFileSystem files{m_root};
  platform::sim::SimFileIo io{files};
  platform::sim::SimClock clock;
};

}  // namespace ov::zip::test
