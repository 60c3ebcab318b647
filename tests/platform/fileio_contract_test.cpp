// What the archive writer and log collection need of file handles, checked on the sim and on
// the real one alike (pipes and mappings: the writer's own tests on both tiers).
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "platform/clock.h"
#include "platform/fileio.h"
#include "tests/platform/contract_platform.h"

using namespace ov::platform;

namespace {

class FileIoContract : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    dir = contract::FreshDirectory(std::wstring(name.begin(), name.end()));
  }
  ErrorCode Open(const std::wstring& name, std::uint32_t access, std::uint32_t share, std::uint32_t disposition,
                 FileHandle* h) {
    return io.Open(dir + L"\\" + name, access, share, disposition, kAttributeNormal, h);
  }
  std::string Transfer(FileHandle h, const std::string& write, std::uint32_t read) {  // write, then read
    std::uint32_t n = 0;
    std::string out(read, '\0');
    EXPECT_EQ(write.empty() ? kSuccess : io.Write(h, write.data(), static_cast<std::uint32_t>(write.size()), &n), kSuccess);
    EXPECT_EQ(read > 0 ? io.Read(h, out.data(), read, &(n = 0)) : kSuccess, kSuccess);
    out.resize(read > 0 ? n : 0);
    return out;
  }
  FileIo& io = *contract::Os().fileIo;
  std::wstring dir;
};

// Windows' share rules: every open must allow what the others do and do only what they allow.
// The refusal of a log that a component is writing without sharing rests on them.
TEST_F(FileIoContract, OpensFollowWindowsShareModes) {
  FileHandle h = kNoFile;
  EXPECT_EQ(Open(L"missing.txt", kAccessRead, kShareRead, kOpenExisting, &h), kErrorFileNotFound);
  ASSERT_EQ(Open(L"s.txt", kAccessWrite, kShareRead, kCreateAlways, &h), kSuccess);
  Transfer(h, "kept", 0);
  io.Close(h);
  EXPECT_EQ(Open(L"s.txt", kAccessWrite, kShareNone, kCreateNew, &h), kErrorFileExists);  // never opened through
  const struct { std::uint32_t heldAccess, heldShare, access, share, disposition; ErrorCode result; } cases[] = {
      {kAccessWrite, kShareRead | kShareWrite, kAccessRead, kShareRead, kOpenExisting, kErrorSharingViolation},
      {kAccessWrite, kShareRead | kShareWrite, kAccessRead, kShareRead | kShareWrite, kOpenExisting, kSuccess},
      {kAccessRead, kShareRead, kAccessWrite, kShareRead | kShareWrite, kOpenExisting, kErrorSharingViolation},
      {kAccessRead, kShareRead | kShareWrite, kAccessWrite, kShareNone, kCreateAlways, kErrorSharingViolation},
  };
  for (const auto& c : cases) {
    FileHandle held = kNoFile, second = kNoFile;
    ASSERT_EQ(Open(L"s.txt", c.heldAccess, c.heldShare, kOpenExisting, &held), kSuccess);
    EXPECT_EQ(Open(L"s.txt", c.access, c.share, c.disposition, &second), c.result) << &c - cases;
    if (second != kNoFile) io.Close(second);
    io.Close(held);
  }
  ASSERT_EQ(Open(L"s.txt", kAccessRead, kShareRead, kOpenExisting, &h), kSuccess);
  EXPECT_EQ(Transfer(h, "", 100), "kept");  // the refused CREATE_ALWAYS truncated nothing
  EXPECT_EQ(io.Flush(h), kErrorAccessDenied);  // flushing takes write access
  io.Close(h);
}

// A duplicate shares the position, the end reads as success with nothing, truncation at the
// position, a flush, the type, the information, and the times between FILETIME, the local
// calendar and Unix seconds.
TEST_F(FileIoContract, PositionsDuplicatesAndInformation) {
  FileHandle h = kNoFile, dup = kNoFile;
  ASSERT_EQ(Open(L"rw.txt", kAccessRead | kAccessWrite, kShareRead, kCreateAlways, &h), kSuccess);
  Transfer(h, "0123456789", 0);
  std::uint64_t position = 0;
  EXPECT_EQ(io.Seek(h, 2, SeekOrigin::Begin, &position), kSuccess);
  ASSERT_EQ(io.Duplicate(h, &dup), kSuccess);
  std::string read = Transfer(h, "", 3);
  read += Transfer(dup, "", 2);  // the duplicate shares the position
  read += Transfer(h, "", 100);
  EXPECT_EQ(read + Transfer(h, "", 100), "23456789");
  EXPECT_EQ(io.Seek(h, -6, SeekOrigin::End, &position), kSuccess);
  EXPECT_EQ(position, 4u);
  EXPECT_EQ(io.TruncateAtPosition(dup), kSuccess);
  EXPECT_EQ(io.Flush(dup), kSuccess);
  FileType type = FileType::Unknown;
  FileInformation info;
  ASSERT_EQ(io.QueryType(h, &type) + io.QueryInformation(h, &info), kSuccess);
  EXPECT_EQ(std::make_tuple(type, info.size, info.attributes & 0x31u), std::make_tuple(FileType::Disk, 4u, kAttributeArchive));
  io.Close(dup);
  io.Close(h);
  CalendarTime local;
  std::int64_t seconds = 0;
  Clock& clock = *contract::Os().clock;  // a file's times as the writer stamps members with them
  ASSERT_TRUE(clock.UtcToLocal(info.lastWriteTime, &local) && clock.LocalToUnixSeconds(local, &seconds));
  EXPECT_EQ(seconds, static_cast<std::int64_t>(info.lastWriteTime / 10000000u) - 11644473600);
  EXPECT_GE(clock.CurrentLocalTime().year, local.year);
}

}  // namespace
