// The archive writer through the real Win32 file calls (under Wine). The archives it leaves in
// zip_win32_out\ are then judged from Linux (test zip_win32_readers): the readers, the
// members' bytes, the header flags and the offsets.
#include <gtest/gtest.h>

#include <thread>

#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_fileio.h"
#include "platform/win32/win32_platform.h"
#include "tests/zip/zip_test_common.h"
#include "zip/zip_writer.h"

namespace ov::zip::test {
namespace {

using platform::FileHandle;
using platform::kNoFile;
using Kind = ZipSourceKind;

ZipTarget Path(const std::wstring& p) { return ZipTarget{p, kNoFile, nullptr}; }
ZipTarget Handle(FileHandle h) { return ZipTarget{L"", h, nullptr}; }
ZipTarget Memory(const void* m) { return ZipTarget{L"", kNoFile, m}; }
ZipTarget In(const std::wstring& name) { return Path(L"zip_win32_out\\in\\" + name); }
std::wstring Out(const std::wstring& name) { return L"zip_win32_out\\" + name; }

class ZipWin32Test : public ::testing::Test {
 protected:
  void SetUp() override { files.MakeDirectory(L"zip_win32_out"), files.MakeDirectory(L"zip_win32_out\\in"); }
  void Put(const std::wstring& path, const Bytes& data) {
    FileHandle h = kNoFile;
    std::uint32_t written = 0;
    ASSERT_EQ(io.Open(path, platform::kAccessWrite, 0, platform::kCreateAlways, platform::kAttributeNormal, &h), 0u);
    ASSERT_EQ(io.Write(h, data.data(), static_cast<std::uint32_t>(data.size()), &written), 0u);
    io.Close(h);
  }
  ZipResult AddFile(ZipHandle* zip, const std::wstring& name, const std::wstring& source) {
    return AddZipMember(zip, name, In(source), 0, Kind::FileName);
  }
  platform::win32::Win32FileSystem files;
  platform::win32::Win32FileIo io;
  platform::win32::Win32Clock clock;
};

TEST_F(ZipWin32Test, FileOutputWithFileSources) {
  const Bytes memory = ToBytes("from memory");
  for (const auto& [name, data] : {std::pair{L"app.log", SampleLog(3000)}, {L"old.gz", RandomBytes(40000, 3)}, {L"empty.log", Bytes{}},
                                   {L"mem.txt", memory}, {L"busy.log", ToBytes("still being written")}}) {
    Put(In(name).path, data);  // mem.txt for the readers' comparison
  }
  // Another writer holds busy.log open, sharing reading and writing; the writer's open, which
  // shares reading only, must fail without harming the archive.
  FileHandle busy = kNoFile;
  ASSERT_EQ(io.Open(In(L"busy.log").path, platform::kAccessWrite, platform::kShareRead | platform::kShareWrite,
                    platform::kOpenExisting, 0, &busy), 0u);
  ZipHandle* zip = CreateZipArchive(io, clock, Path(Out(L"files.zip")), 0, Kind::FileName);
  ASSERT_NE(zip, nullptr);
  EXPECT_EQ(AddFile(zip, L"logs\\app.log", L"app.log"), ZipResult::Ok);
  EXPECT_EQ(AddFile(zip, L"busy.log", L"busy.log"), ZipResult::CannotOpenFile);
  EXPECT_EQ(AddFile(zip, L"old.gz", L"old.gz"), ZipResult::Ok);
  EXPECT_EQ(AddFile(zip, L"empty.log", L"empty.log"), ZipResult::Ok);
  EXPECT_EQ(AddZipMember(zip, L"mem.txt", Memory(memory.data()), memory.size(), Kind::Memory), ZipResult::Ok);
  // The real code page would best-fit these to "/..": refused instead.
  EXPECT_EQ(AddZipMember(zip, L"a\uFF0F\uFF0E\uFF0E", Memory(memory.data()), memory.size(), Kind::Memory), ZipResult::BadArguments);
  EXPECT_EQ(AddZipMember(zip, L"folder", ZipTarget{}, 0, Kind::Folder), ZipResult::Ok);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  io.Close(busy);
}

TEST_F(ZipWin32Test, PipeHandleAndMemoryOutputs) {
  Put(In(L"piped.log").path, SampleLog(1000));
  FileHandle readEnd = kNoFile, writeEnd = kNoFile, out = kNoFile;
  ASSERT_EQ(io.MakePipe(&readEnd, &writeEnd), 0u);
  Bytes streamed;
  std::thread drain([&] {
    std::uint8_t buffer[65536];
    std::uint32_t got = 0;
    while (io.Read(readEnd, buffer, sizeof buffer, &got) == 0 && got > 0) streamed.insert(streamed.end(), buffer, buffer + got);
  });
  ZipHandle* zip = CreateZipArchive(io, clock, Handle(writeEnd), 0, Kind::Handle);
  io.Close(writeEnd);
  EXPECT_EQ(AddFile(zip, L"piped.log", L"piped.log"), ZipResult::Ok);
  EXPECT_EQ(AddFile(zip, L"piped.gz", L"piped.log"), ZipResult::Ok);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  drain.join();
  io.Close(readEnd);
  Put(Out(L"pipe.zip"), streamed);

  // A caller's handle standing after a prefix: the archive starts there, the handle stays the caller's.
  Put(Out(L"offset.zip"), ToBytes("prefix before the archive\n"));
  std::uint32_t written = 0;
  ASSERT_EQ(io.Open(Out(L"offset.zip"), platform::kAccessWrite, 0, platform::kOpenExisting, 0, &out), 0u);
  io.Seek(out, 0, platform::SeekOrigin::End, nullptr);
  zip = CreateZipArchive(io, clock, Handle(out), 0, Kind::Handle);
  EXPECT_EQ(AddFile(zip, L"offset.log", L"piped.log"), ZipResult::Ok);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  EXPECT_EQ(io.Write(out, "", 0, &written), 0u);  // still the caller's handle
  EXPECT_EQ(io.Close(out), 0u);

  // The writer's own mapping, full after the first member: refused, then sticky.
  zip = CreateZipArchive(io, clock, Memory(nullptr), 4096, Kind::Memory);
  EXPECT_EQ(AddFile(zip, L"offset.log", L"piped.log"), ZipResult::MemoryTooSmall);
  EXPECT_EQ(AddFile(zip, L"again.log", L"piped.log"), ZipResult::AlreadyFailed);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
}

}  // namespace
}  // namespace ov::zip::test
