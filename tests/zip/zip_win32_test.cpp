// The archive writer through the real Win32 file calls (under Wine). The archives it leaves in
// zip_win32_out\ are then judged by the Linux readers (test zip_win32_readers).
#include <gtest/gtest.h>

#include <thread>

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
std::wstring In(const std::wstring& name) { return L"zip_win32_out\\in\\" + name; }
std::wstring Out(const std::wstring& name) { return L"zip_win32_out\\" + name; }

class ZipWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    files.MakeDirectory(L"zip_win32_out");
    files.MakeDirectory(L"zip_win32_out\\in");
  }
  void Put(const std::wstring& path, const Bytes& data) {
    FileHandle h = kNoFile;
    std::uint32_t written = 0;
    ASSERT_EQ(io.Open(path, platform::kAccessWrite, 0, platform::kCreateAlways, platform::kAttributeNormal, &h), 0u);
    ASSERT_EQ(io.Write(h, data.data(), static_cast<std::uint32_t>(data.size()), &written), 0u);
    io.Close(h);
  }
  Bytes Drain(FileHandle h) {
    Bytes out;
    std::uint8_t buffer[65536];
    std::uint32_t got = 0;
    while (io.Read(h, buffer, sizeof buffer, &got) == 0 && got > 0) out.insert(out.end(), buffer, buffer + got);
    return out;
  }
  ParsedZip Parse(const std::wstring& path) {
    FileHandle h = kNoFile;
    EXPECT_EQ(io.Open(path, platform::kAccessRead, platform::kShareRead, platform::kOpenExisting, 0, &h), 0u);
    const Bytes bytes = Drain(h);
    io.Close(h);
    return ParseZip(bytes);
  }
  platform::win32::Win32FileSystem files;
  platform::win32::Win32FileIo io;
};

TEST_F(ZipWin32Test, FileOutputWithFileSources) {
  const Bytes memory = ToBytes("from memory");
  Put(In(L"app.log"), SampleLog(3000));
  Put(In(L"old.gz"), RandomBytes(40000, 3));
  Put(In(L"empty.log"), {});
  Put(In(L"mem.txt"), memory);  // for the readers' comparison
  Put(In(L"busy.log"), ToBytes("still being written"));
  // Another writer holds busy.log open, sharing reading and writing; the writer's open, which
  // shares reading only, must fail without harming the archive.
  FileHandle busy = kNoFile;
  ASSERT_EQ(io.Open(In(L"busy.log"), platform::kAccessWrite, platform::kShareRead | platform::kShareWrite,
                    platform::kOpenExisting, 0, &busy), 0u);
  ZipHandle* zip = CreateZipArchive(io, Path(Out(L"files.zip")), 0, Kind::FileName);
  ASSERT_NE(zip, nullptr);
  EXPECT_EQ(AddZipMember(zip, L"logs\\app.log", Path(In(L"app.log")), 0, Kind::FileName), ZipResult::Ok);
  EXPECT_EQ(AddZipMember(zip, L"busy.log", Path(In(L"busy.log")), 0, Kind::FileName), ZipResult::CannotOpenFile);
  EXPECT_EQ(AddZipMember(zip, L"old.gz", Path(In(L"old.gz")), 0, Kind::FileName), ZipResult::Ok);
  EXPECT_EQ(AddZipMember(zip, L"empty.log", Path(In(L"empty.log")), 0, Kind::FileName), ZipResult::Ok);
  EXPECT_EQ(AddZipMember(zip, L"mem.txt", Memory(memory.data()), memory.size(), Kind::Memory), ZipResult::Ok);
  EXPECT_EQ(AddZipMember(zip, L"folder", ZipTarget{}, 0, Kind::Folder), ZipResult::Ok);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  io.Close(busy);
  const ParsedZip z = Parse(Out(L"files.zip"));
  ASSERT_EQ(z.error, "");
  ASSERT_EQ(z.central.size(), 5u);
  const struct {
    const char* name;
    std::uint16_t flags;
    std::uint32_t external;
  } expect[] = {{"logs/app.log", 2, 0x81800020u}, {"old.gz", 0, 0x81800020u}, {"empty.log", 2, 0x81800020u},
                {"mem.txt", 2, 0x80000000u},      {"folder/", 0, 0x41C00010u}};
  for (std::size_t i = 0; i < std::size(expect); ++i) {
    EXPECT_EQ(std::make_tuple(z.central[i].name, z.local[i].flags, z.central[i].flags, z.central[i].external),
              std::make_tuple(std::string(expect[i].name), expect[i].flags, expect[i].flags, expect[i].external));
  }
}

TEST_F(ZipWin32Test, PipeHandleAndMemoryOutputs) {
  const Bytes log = SampleLog(1000);
  Put(In(L"piped.log"), log);
  FileHandle readEnd = kNoFile, writeEnd = kNoFile;
  ASSERT_EQ(io.MakePipe(&readEnd, &writeEnd), 0u);
  Bytes streamed;
  std::thread drain([&] { streamed = Drain(readEnd); });
  ZipHandle* zip = CreateZipArchive(io, Handle(writeEnd), 0, Kind::Handle);
  io.Close(writeEnd);
  EXPECT_EQ(AddZipMember(zip, L"piped.log", Path(In(L"piped.log")), 0, Kind::FileName), ZipResult::Ok);
  EXPECT_EQ(AddZipMember(zip, L"piped.gz", Path(In(L"piped.log")), 0, Kind::FileName), ZipResult::Ok);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  drain.join();
  io.Close(readEnd);
  Put(Out(L"pipe.zip"), streamed);
  ParsedZip z = ParseZip(streamed);
  ASSERT_EQ(z.central.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(std::make_tuple(z.local[i].flags, z.central[i].flags), std::make_tuple(8, 8));
    EXPECT_EQ(LittleEndian(streamed, z.local[i].dataOffset + z.central[i].compressedSize, 4), 0x08074B50u);
  }

  const Bytes prefix = ToBytes("prefix before the archive\n");
  Put(Out(L"offset.zip"), prefix);
  FileHandle out = kNoFile;
  std::uint32_t written = 0;
  ASSERT_EQ(io.Open(Out(L"offset.zip"), platform::kAccessWrite, 0, platform::kOpenExisting, 0, &out), 0u);
  io.Seek(out, 0, platform::SeekOrigin::End, nullptr);
  zip = CreateZipArchive(io, Handle(out), 0, Kind::Handle);
  EXPECT_EQ(AddZipMember(zip, L"offset.log", Path(In(L"piped.log")), 0, Kind::FileName), ZipResult::Ok);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  EXPECT_EQ(io.Write(out, "", 0, &written) + io.Close(out), 0u);  // still the caller's handle
  z = Parse(Out(L"offset.zip"));
  ASSERT_EQ(z.central.size(), 1u);
  EXPECT_EQ(z.central[0].localOffset, prefix.size());

  zip = CreateZipArchive(io, Memory(nullptr), 1 << 20, Kind::Memory);  // the writer's own mapping
  EXPECT_EQ(AddZipMember(zip, L"offset.log", Path(In(L"piped.log")), 0, Kind::FileName), ZipResult::Ok);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  Bytes area(100, 0);
  zip = CreateZipArchive(io, Memory(area.data()), area.size(), Kind::Memory);
  EXPECT_EQ(AddZipMember(zip, L"offset.log", Path(In(L"piped.log")), 0, Kind::FileName), ZipResult::MemoryTooSmall);
  EXPECT_EQ(AddZipMember(zip, L"again.log", Path(In(L"piped.log")), 0, Kind::FileName), ZipResult::AlreadyFailed);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
}

}  // namespace
}  // namespace ov::zip::test
