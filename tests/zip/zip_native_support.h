// Shared pieces of the native archive tests: a temporary sim machine, host files, readers.
#pragma once
#include <stdlib.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/sim/sim_fileio.h"
#include "platform/sim/sim_files.h"
#include "tests/zip/zip_test_data.h"

namespace ov::zip::test {

inline Bytes ReadHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteHostFile(const std::string& path, const Bytes& data) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

// unzip -t, 7z t, bsdtar and Python's zipfile, through check_zip.py; arguments as that
// script takes them. Returns true when every reader accepted the archive.
inline bool ReadersAccept(const std::string& archive, const std::vector<std::string>& args = {}) {
  std::string command = "python3 '" OV_ZIP_CHECK_SCRIPT "' '" + archive + "'";
  for (const auto& a : args) command += " '" + a + "'";
  return std::system(command.c_str()) == 0;
}

inline Bytes InflateRaw(const std::uint8_t* data, std::size_t size, std::size_t expected) {
  Bytes out(expected + 1);
  z_stream s {};
  inflateInit2(&s, -15);
  s.next_in = const_cast<Bytef*>(data);
  s.avail_in = static_cast<uInt>(size);
  s.next_out = out.data();
  s.avail_out = static_cast<uInt>(out.size());
  const int rc = inflate(&s, Z_FINISH);
  out.resize(rc == Z_STREAM_END ? s.total_out : 0);
  inflateEnd(&s);
  return out;
}

inline std::uint32_t ZlibCrc(const Bytes& data) {
  return static_cast<std::uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
}

// A host temporary directory that a SimFileSystem maps "C:\" and friends into.
class SimMachine {
 public:
  SimMachine() {
    std::filesystem::create_directories(m_root + "/C");
    // A fixed zone with daylight saving time, written as a POSIX rule so no zone database
    // is needed; every archive re-reads it on creation.
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  }
  ~SimMachine() { std::filesystem::remove_all(m_root); }
  SimMachine(const SimMachine&) = delete;
  SimMachine& operator=(const SimMachine&) = delete;

  std::string Host(const std::wstring& path) const { return files.ToHostPath(path); }
  void Put(const std::wstring& path, const Bytes& data) const { WriteHostFile(Host(path), data); }
  // Sets the last-write and last-access times (seconds since 1970 UTC).
  void SetTimes(const std::wstring& path, std::int64_t modified, std::int64_t accessed) const {
    struct timespec times[2] {};
    times[0].tv_sec = static_cast<time_t>(accessed);
    times[1].tv_sec = static_cast<time_t>(modified);
    ::utimensat(AT_FDCWD, Host(path).c_str(), times, 0);
  }

 private:
  static std::string MakeRoot() {
    char pattern[] = "/tmp/ovzip-test-XXXXXX";
    return ::mkdtemp(pattern);
  }
  std::string m_root = MakeRoot();

 public:
  platform::sim::SimFileSystem files{m_root};
  platform::sim::SimFileIo io{files};
};

// Collects everything written into a pipe on a second thread, as a consumer of a streamed
// archive would.
class PipeDrain {
 public:
  PipeDrain(platform::FileIo& io, platform::FileHandle readEnd) : m_io(io), m_readEnd(readEnd) {
    m_thread = std::thread([this] {
      std::vector<std::uint8_t> buffer(65536);
      for (;;) {
        std::uint32_t got = 0;
        if (m_io.Read(m_readEnd, buffer.data(), static_cast<std::uint32_t>(buffer.size()), &got) !=
                platform::kSuccess ||
            got == 0) {
          break;
        }
        m_bytes.insert(m_bytes.end(), buffer.begin(), buffer.begin() + got);
      }
    });
  }
  ~PipeDrain() {
    if (m_thread.joinable()) m_thread.join();
  }
  PipeDrain(const PipeDrain&) = delete;
  PipeDrain& operator=(const PipeDrain&) = delete;
  // Waits for the writer's end to close and returns what came through.
  Bytes Finish() {
    m_thread.join();
    m_io.Close(m_readEnd);
    return m_bytes;
  }

 private:
  platform::FileIo& m_io;
  platform::FileHandle m_readEnd;
  Bytes m_bytes;
  std::thread m_thread;
};

}  // namespace ov::zip::test
