// One contract for the file-handle concept, run against the sim natively and against the real
// Win32 calls under Wine, so the two cannot drift apart where the archive writer relies on them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/fileio.h"

#ifdef _WIN32
#include "platform/win32/win32_fileio.h"
#include "platform/win32/win32_platform.h"
#else
#include <stdlib.h>

#include <filesystem>

#include "platform/sim/sim_fileio.h"
#include "platform/sim/sim_files.h"
#endif

namespace ov::platform {
namespace {

// A scratch folder: under the test's working directory on Windows, under a host temporary
// directory mapped to C:\ natively.
struct Machine {
#ifdef _WIN32
  win32::Win32FileSystem files;
  win32::Win32FileIo io;
#else
  static std::string MakeRoot() {
    char pattern[] = "/tmp/ov-fileio-XXXXXX";
    const std::string root = ::mkdtemp(pattern);
    std::filesystem::create_directories(root + "/C");
    return root;
  }
  ~Machine() { std::filesystem::remove_all(root); }
  std::string root = MakeRoot();
  sim::SimFileSystem files{root};
  sim::SimFileIo io{files};
#endif
  std::wstring dir = L"fileio_contract";
  Machine() { files.MakeDirectory(dir); }
  std::wstring Path(const std::wstring& name) const { return dir + L"\\" + name; }

  FileHandle OpenOk(const std::wstring& name, std::uint32_t access, std::uint32_t share, std::uint32_t disposition) {
    FileHandle h = kNoFile;
    EXPECT_EQ(io.Open(Path(name), access, share, disposition, kAttributeNormal, &h), kSuccess);
    return h;
  }
  ErrorCode OpenCode(const std::wstring& path, std::uint32_t access, std::uint32_t share, std::uint32_t disposition) {
    FileHandle h = kNoFile;
    const ErrorCode e = io.Open(path, access, share, disposition, kAttributeNormal, &h);
    if (e == kSuccess) io.Close(h);
    return e;
  }
  void WriteAll(FileHandle h, const std::string& text) {
    std::uint32_t written = 0;
    EXPECT_EQ(io.Write(h, text.data(), static_cast<std::uint32_t>(text.size()), &written), kSuccess);
    EXPECT_EQ(written, text.size());
  }
  std::string ReadSome(FileHandle h, std::uint32_t size) {
    std::string out(size, '\0');
    std::uint32_t got = 0;
    EXPECT_EQ(io.Read(h, out.data(), size, &got), kSuccess);
    out.resize(got);
    return out;
  }
};

TEST(FileIoContract, Dispositions) {
  Machine m;
  m.files.RemoveFile(m.Path(L"d.txt"));
  EXPECT_EQ(m.OpenCode(m.Path(L"d.txt"), kAccessRead, kShareRead, kOpenExisting), kErrorFileNotFound);
  EXPECT_EQ(m.OpenCode(m.Path(L"d.txt"), kAccessWrite, kShareRead, kTruncateExisting), kErrorFileNotFound);
  EXPECT_EQ(m.OpenCode(m.Path(L"none\\d.txt"), kAccessWrite, kShareRead, kCreateAlways), kErrorPathNotFound);
  EXPECT_EQ(m.OpenCode(m.Path(L"d.txt"), kAccessWrite, kShareRead, kCreateNew), kSuccess);
  EXPECT_EQ(m.OpenCode(m.Path(L"d.txt"), kAccessWrite, kShareRead, kCreateNew), kErrorFileExists);
  EXPECT_EQ(m.OpenCode(m.dir, kAccessRead, kShareRead, kOpenExisting), kErrorAccessDenied);
  FileHandle h = m.OpenOk(L"d.txt", kAccessWrite, kShareRead, kOpenExisting);
  m.WriteAll(h, "twelve bytes");
  m.io.Close(h);
  h = m.OpenOk(L"d.txt", kAccessRead | kAccessWrite, kShareRead, kCreateAlways);
  FileInformation info;
  EXPECT_EQ(m.io.QueryInformation(h, &info), kSuccess);
  EXPECT_EQ(info.size, 0u);
  m.io.Close(h);
}

// Windows' share rules: every open must allow what the others do, and do only what the others
// allow. The archive writer depends on them for "a file held open for writing".
TEST(FileIoContract, ShareModes) {
  Machine m;
  FileHandle h = m.OpenOk(L"s.txt", kAccessWrite, kShareRead, kCreateAlways);
  m.WriteAll(h, "kept");
  m.io.Close(h);
  const struct {
    std::uint32_t heldAccess, heldShare, access, share, disposition;
    ErrorCode result;
  } cases[] = {
      {kAccessWrite, kShareRead | kShareWrite, kAccessRead, kShareRead, kOpenExisting, kErrorSharingViolation},
      {kAccessWrite, kShareRead | kShareWrite, kAccessRead, kShareRead | kShareWrite, kOpenExisting, kSuccess},
      {kAccessRead, kShareRead, kAccessWrite, kShareRead | kShareWrite, kOpenExisting, kErrorSharingViolation},
      {kAccessRead, kShareRead, kAccessRead, kShareRead, kOpenExisting, kSuccess},
      {kAccessWrite, kShareNone, kAccessRead, kShareRead | kShareWrite | kShareDelete, kOpenExisting, kErrorSharingViolation},
      {kAccessRead, kShareRead | kShareWrite, kAccessWrite, kShareNone, kCreateAlways, kErrorSharingViolation},
  };
  for (const auto& c : cases) {
    FileHandle held = m.OpenOk(L"s.txt", c.heldAccess, c.heldShare, kOpenExisting);
    EXPECT_EQ(m.OpenCode(m.Path(L"s.txt"), c.access, c.share, c.disposition), c.result)
        << std::hex << c.heldAccess << " " << c.heldShare << " " << c.access << " " << c.share;
    m.io.Close(held);
  }
  // A refused CREATE_ALWAYS truncated nothing.
  h = m.OpenOk(L"s.txt", kAccessRead, kShareRead, kOpenExisting);
  EXPECT_EQ(m.ReadSome(h, 100), "kept");
  m.io.Close(h);
}

TEST(FileIoContract, ReadWriteSeekTruncateDuplicate) {
  Machine m;
  FileHandle h = m.OpenOk(L"rw.txt", kAccessRead | kAccessWrite, kShareRead, kCreateAlways);
  m.WriteAll(h, "0123456789");
  std::uint64_t position = 99;
  EXPECT_EQ(m.io.Seek(h, 0, SeekOrigin::Current, &position), kSuccess);
  EXPECT_EQ(position, 10u);
  EXPECT_EQ(m.io.Seek(h, -20, SeekOrigin::Current, &position), kErrorNegativeSeek);
  EXPECT_EQ(m.io.Seek(h, 2, SeekOrigin::Begin, nullptr), kSuccess);
  EXPECT_EQ(m.ReadSome(h, 3), "234");
  // A duplicate shares the position.
  FileHandle dup = kNoFile;
  ASSERT_EQ(m.io.Duplicate(h, &dup), kSuccess);
  EXPECT_EQ(m.ReadSome(dup, 2), "56");
  EXPECT_EQ(m.ReadSome(h, 100), "789");
  EXPECT_EQ(m.ReadSome(h, 100), "");  // the end: success with nothing
  EXPECT_EQ(m.io.Seek(h, -6, SeekOrigin::End, &position), kSuccess);
  EXPECT_EQ(position, 4u);
  EXPECT_EQ(m.io.TruncateAtPosition(dup), kSuccess);
  FileInformation info;
  EXPECT_EQ(m.io.QueryInformation(h, &info), kSuccess);
  EXPECT_EQ(info.size, 4u);
  EXPECT_EQ(m.io.Close(dup), kSuccess);
  EXPECT_EQ(m.io.Close(h), kSuccess);
  // Access is per handle.
  h = m.OpenOk(L"rw.txt", kAccessRead, kShareRead, kOpenExisting);
  std::uint32_t written = 1;
  EXPECT_EQ(m.io.Write(h, "x", 1, &written), kErrorAccessDenied);
  EXPECT_EQ(written, 0u);
  m.io.Close(h);
}

TEST(FileIoContract, TypesAttributesAndTimes) {
  Machine m;
  FileHandle h = m.OpenOk(L"t.txt", kAccessWrite, kShareRead, kCreateAlways);
  m.WriteAll(h, "abc");
  FileType type = FileType::Unknown;
  EXPECT_EQ(m.io.QueryType(h, &type), kSuccess);
  EXPECT_EQ(type, FileType::Disk);
  FileInformation info;
  ASSERT_EQ(m.io.QueryInformation(h, &info), kSuccess);
  EXPECT_EQ(info.size, 3u);
  EXPECT_EQ(info.attributes & (kAttributeArchive | kAttributeReadOnly | kAttributeDirectory), kAttributeArchive);
  m.io.Close(h);
  // A FILETIME to local calendar and back to Unix seconds gives the same instant.
  CalendarTime local;
  ASSERT_TRUE(m.io.UtcToLocal(info.lastWriteTime, &local));
  std::int64_t seconds = 0;
  ASSERT_TRUE(m.io.LocalToUnixSeconds(local, &seconds));
  EXPECT_EQ(seconds, static_cast<std::int64_t>(info.lastWriteTime / 10000000u) - 11644473600);
  const CalendarTime now = m.io.CurrentLocalTime();
  EXPECT_GE(now.year, 2020);
  EXPECT_GE(local.year, 2020);
}

TEST(FileIoContract, PipesEndAndBreak) {
  Machine m;
  FileHandle r = kNoFile, w = kNoFile;
  ASSERT_EQ(m.io.MakePipe(&r, &w), kSuccess);
  FileType type = FileType::Unknown;
  EXPECT_EQ(m.io.QueryType(r, &type), kSuccess);
  EXPECT_EQ(type, FileType::Pipe);
  m.WriteAll(w, "through");
  EXPECT_EQ(m.ReadSome(r, 100), "through");
  m.io.Close(w);
  char buffer[8];
  std::uint32_t got = 5;
  EXPECT_EQ(m.io.Read(r, buffer, sizeof buffer, &got), kErrorBrokenPipe);
  EXPECT_EQ(got, 0u);
  m.io.Close(r);
  ASSERT_EQ(m.io.MakePipe(&r, &w), kSuccess);
  m.io.Close(r);
  std::uint32_t written = 0;
  EXPECT_EQ(m.io.Write(w, "x", 1, &written), kErrorNoData);
  m.io.Close(w);
}

TEST(FileIoContract, AnonymousMappingsShareTheirPages) {
  Machine m;
  FileHandle mapping = kNoFile;
  EXPECT_NE(m.io.CreateAnonymousMapping(0, &mapping), kSuccess);
  ASSERT_EQ(m.io.CreateAnonymousMapping(65536, &mapping), kSuccess);
  void* a = nullptr;
  void* b = nullptr;
  ASSERT_EQ(m.io.MapView(mapping, 65536, &a), kSuccess);
  ASSERT_EQ(m.io.MapView(mapping, 4096, &b), kSuccess);
  EXPECT_EQ(static_cast<unsigned char*>(b)[100], 0);
  std::memcpy(static_cast<char*>(a) + 100, "shared", 6);
  EXPECT_EQ(std::memcmp(static_cast<char*>(b) + 100, "shared", 6), 0);
  EXPECT_EQ(m.io.UnmapView(a), kSuccess);
  EXPECT_EQ(m.io.Close(mapping), kSuccess);
  // A view outlives the mapping's handle, as on Windows.
  EXPECT_EQ(std::memcmp(static_cast<char*>(b) + 100, "shared", 6), 0);
  EXPECT_EQ(m.io.UnmapView(b), kSuccess);
}

}  // namespace
}  // namespace ov::platform
