// One contract for the file-handle concept, run against the sim natively and the real Win32
// calls under Wine, so the two cannot drift apart where the archive writer relies on them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

#include "platform/fileio.h"
#ifdef _WIN32
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_fileio.h"
#include "platform/win32/win32_platform.h"
#else
#include <stdlib.h>

#include <filesystem>

#include "platform/sim/sim_clock.h"
#include "platform/sim/sim_fileio.h"
#include "platform/sim/sim_files.h"
#endif

namespace ov::platform {
namespace {

// A scratch folder "fileio_contract": in the working directory on Windows, in a host
// temporary directory mapped to C:\ natively.
struct Machine {
#ifdef _WIN32
  win32::Win32FileSystem files;
  win32::Win32FileIo io;
  win32::Win32Clock clock;
#else
  static std::string MakeRoot() {
    char pattern[] = "/tmp/ov-fileio-XXXXXX";
    std::filesystem::create_directories(std::string(::mkdtemp(pattern)) + "/C");
    return pattern;
  }
  ~Machine() { std::filesystem::remove_all(root); }
  std::string root = MakeRoot();
  sim::SimFileSystem files{root};
  sim::SimFileIo io{files};
  sim::SimClock clock;
#endif
  Machine() { files.MakeDirectory(L"fileio_contract"); }

  ErrorCode Open(const std::wstring& name, std::uint32_t access, std::uint32_t share, std::uint32_t disposition,
                 FileHandle* h) {
    return io.Open(L"fileio_contract\\" + name, access, share, disposition, kAttributeNormal, h);
  }
  std::string Transfer(FileHandle h, const std::string& write, std::uint32_t read) {  // write, then read
    std::uint32_t n = 0;
    std::string out(read, '\0');
    EXPECT_EQ(write.empty() ? kSuccess : io.Write(h, write.data(), static_cast<std::uint32_t>(write.size()), &n), kSuccess);
    EXPECT_EQ(read > 0 ? io.Read(h, out.data(), read, &(n = 0)) : kSuccess, kSuccess);
    out.resize(read > 0 ? n : 0);
    return out;
  }
};

// Windows' share rules: every open must allow what the others do and do only what they allow.
// The writer's refusal of a log another process is writing rests on them.
TEST(FileIoContract, OpensAndShareModes) {
  Machine m;
  FileHandle h = kNoFile;
  EXPECT_EQ(m.Open(L"missing.txt", kAccessRead, kShareRead, kOpenExisting, &h), kErrorFileNotFound);
  ASSERT_EQ(m.Open(L"s.txt", kAccessWrite, kShareRead, kCreateAlways, &h), kSuccess);
  m.Transfer(h, "kept", 0);
  m.io.Close(h);
  EXPECT_EQ(m.Open(L"s.txt", kAccessWrite, kShareNone, kCreateNew, &h), kErrorFileExists);  // never opened through
  const struct { std::uint32_t heldAccess, heldShare, access, share, disposition; ErrorCode result; } cases[] = {
      {kAccessWrite, kShareRead | kShareWrite, kAccessRead, kShareRead, kOpenExisting, kErrorSharingViolation},
      {kAccessWrite, kShareRead | kShareWrite, kAccessRead, kShareRead | kShareWrite, kOpenExisting, kSuccess},
      {kAccessRead, kShareRead, kAccessWrite, kShareRead | kShareWrite, kOpenExisting, kErrorSharingViolation},
      {kAccessRead, kShareRead | kShareWrite, kAccessWrite, kShareNone, kCreateAlways, kErrorSharingViolation},
  };
  for (const auto& c : cases) {
    FileHandle held = kNoFile, second = kNoFile;
    ASSERT_EQ(m.Open(L"s.txt", c.heldAccess, c.heldShare, kOpenExisting, &held), kSuccess);
    EXPECT_EQ(m.Open(L"s.txt", c.access, c.share, c.disposition, &second), c.result) << &c - cases;
    if (second != kNoFile) m.io.Close(second);
    m.io.Close(held);
  }
  ASSERT_EQ(m.Open(L"s.txt", kAccessRead, kShareRead, kOpenExisting, &h), kSuccess);
  EXPECT_EQ(m.Transfer(h, "", 100), "kept");  // the refused CREATE_ALWAYS truncated nothing
  EXPECT_EQ(m.io.Flush(h), kErrorAccessDenied);  // flushing takes write access
  m.io.Close(h);
}

// What the writer does with its output and a caller's handles: a duplicate shares the position,
// the end of a file reads as success with nothing, truncation at the position, a flush, the
// type, the information, and the times between FILETIME, the local calendar and Unix seconds.
TEST(FileIoContract, PositionsDuplicatesAndInformation) {
  Machine m;
  FileHandle h = kNoFile, dup = kNoFile;
  ASSERT_EQ(m.Open(L"rw.txt", kAccessRead | kAccessWrite, kShareRead, kCreateAlways, &h), kSuccess);
  m.Transfer(h, "0123456789", 0);
  std::uint64_t position = 0;
  EXPECT_EQ(m.io.Seek(h, 2, SeekOrigin::Begin, &position), kSuccess);
  ASSERT_EQ(m.io.Duplicate(h, &dup), kSuccess);
  std::string read = m.Transfer(h, "", 3);
  read += m.Transfer(dup, "", 2);  // the duplicate shares the position
  read += m.Transfer(h, "", 100);
  EXPECT_EQ(read + m.Transfer(h, "", 100), "23456789");
  EXPECT_EQ(m.io.Seek(h, -6, SeekOrigin::End, &position), kSuccess);
  EXPECT_EQ(position, 4u);
  EXPECT_EQ(m.io.TruncateAtPosition(dup), kSuccess);
  EXPECT_EQ(m.io.Flush(dup), kSuccess);
  FileType type = FileType::Unknown;
  FileInformation info;
  ASSERT_EQ(m.io.QueryType(h, &type) + m.io.QueryInformation(h, &info), kSuccess);
  EXPECT_EQ(std::make_tuple(type, info.size, info.attributes & 0x31u), std::make_tuple(FileType::Disk, 4u, kAttributeArchive));
  m.io.Close(dup);
  m.io.Close(h);
  CalendarTime local;
  std::int64_t seconds = 0;
  ASSERT_TRUE(m.clock.UtcToLocal(info.lastWriteTime, &local) && m.clock.LocalToUnixSeconds(local, &seconds));
  EXPECT_EQ(seconds, static_cast<std::int64_t>(info.lastWriteTime / 10000000u) - 11644473600);
  EXPECT_GE(m.clock.CurrentLocalTime().year, local.year);
}

// A pipe ends with ERROR_BROKEN_PIPE once its writer has gone; a mapping is writable memory.
TEST(FileIoContract, PipesAndMappings) {
  Machine m;
  FileHandle r = kNoFile, w = kNoFile, mapping = kNoFile;
  ASSERT_EQ(m.io.MakePipe(&r, &w), kSuccess);
  FileType type = FileType::Unknown;
  EXPECT_EQ(m.io.QueryType(r, &type), kSuccess);
  EXPECT_EQ(type, FileType::Pipe);
  m.Transfer(w, "through", 0);
  EXPECT_EQ(m.Transfer(r, "", 100), "through");
  m.io.Close(w);
  char buffer[8];
  std::uint32_t n = 0;
  EXPECT_EQ(m.io.Read(r, buffer, sizeof buffer, &n), kErrorBrokenPipe);
  m.io.Close(r);
  void* view = nullptr;
  ASSERT_EQ(m.io.CreateAnonymousMapping(65536, &mapping), kSuccess);
  ASSERT_EQ(m.io.MapView(mapping, 65536, &view), kSuccess);
  std::memcpy(static_cast<char*>(view) + 65530, "shared", 6);
  EXPECT_EQ(std::memcmp(static_cast<char*>(view) + 65530, "shared", 6), 0);
  EXPECT_EQ(m.io.UnmapView(view), kSuccess);
  EXPECT_EQ(m.io.Close(mapping), kSuccess);
}

}  // namespace
}  // namespace ov::platform
