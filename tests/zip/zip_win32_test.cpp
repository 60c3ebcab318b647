// The archive writer through the real Win32 file calls (under Wine). The archives it leaves
// in zip_win32_out\ are then checked by the Linux readers (test zip_win32_readers).
#include <gtest/gtest.h>

#include <thread>

#include "platform/win32/win32_fileio.h"
#include "platform/win32/win32_platform.h"
#include "tests/zip/zip_parse.h"
#include "tests/zip/zip_test_data.h"
#include "zip/zip_writer.h"

namespace ov::zip::test {
namespace {

using platform::FileHandle;
using platform::kNoFile;

const std::wstring kOut = L"zip_win32_out";

class ZipWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    files.MakeDirectory(kOut);
    files.MakeDirectory(kOut + L"\\in");
  }
  std::wstring In(const std::wstring& name) const { return kOut + L"\\in\\" + name; }
  std::wstring Out(const std::wstring& name) const { return kOut + L"\\" + name; }

  void Put(const std::wstring& path, const Bytes& data) {
    FileHandle h = kNoFile;
    ASSERT_EQ(io.Open(path, platform::kAccessWrite, 0, platform::kCreateAlways, platform::kAttributeNormal, &h), 0u);
    std::uint32_t written = 0;
    ASSERT_EQ(io.Write(h, data.data(), static_cast<std::uint32_t>(data.size()), &written), 0u);
    io.Close(h);
  }
  Bytes Get(const std::wstring& path) {
    Bytes out;
    FileHandle h = kNoFile;
    if (io.Open(path, platform::kAccessRead, platform::kShareRead, platform::kOpenExisting, 0, &h) != 0) return out;
    std::uint8_t buffer[65536];
    std::uint32_t got = 0;
    while (io.Read(h, buffer, sizeof buffer, &got) == 0 && got > 0) out.insert(out.end(), buffer, buffer + got);
    io.Close(h);
    return out;
  }

  platform::win32::Win32FileSystem files;
  platform::win32::Win32FileIo io;
};

ZipTarget Path(const std::wstring& p) { return ZipTarget{p, kNoFile, nullptr}; }
ZipTarget Handle(FileHandle h) { return ZipTarget{L"", h, nullptr}; }
ZipTarget Memory(const void* m) { return ZipTarget{L"", kNoFile, m}; }

TEST_F(ZipWin32Test, FileOutputWithFileSources) {
  const Bytes log = SampleLog(3000);
  const Bytes memory = ToBytes("from memory");
  Put(In(L"app.log"), log);
  Put(In(L"old.gz"), RandomBytes(40000, 3));
  Put(In(L"empty.log"), {});
  Put(In(L"busy.log"), ToBytes("still being written"));
  Put(In(L"mem.txt"), memory);  // for the readers' comparison
  // Another writer holds busy.log open, sharing reading and writing: the writer's own open,
  // which shares reading only, must fail without harming the archive.
  FileHandle busy = kNoFile;
  ASSERT_EQ(io.Open(In(L"busy.log"), platform::kAccessWrite, platform::kShareRead | platform::kShareWrite,
                    platform::kOpenExisting, 0, &busy), 0u);

  ZipResult result = ZipResult::Ok;
  ZipHandle* zip = CreateZipArchive(io, Path(Out(L"files.zip")), 0, ZipSourceKind::FileName, &result);
  ASSERT_NE(zip, nullptr) << static_cast<unsigned>(result);
  EXPECT_EQ(AddZipMember(zip, L"logs\\app.log", Path(In(L"app.log")), 0, ZipSourceKind::FileName), ZipResult::Ok);
  EXPECT_EQ(AddZipMember(zip, L"busy.log", Path(In(L"busy.log")), 0, ZipSourceKind::FileName), ZipResult::CannotOpenFile);
  EXPECT_EQ(AddZipMember(zip, L"old.gz", Path(In(L"old.gz")), 0, ZipSourceKind::FileName), ZipResult::Ok);
  EXPECT_EQ(AddZipMember(zip, L"empty.log", Path(In(L"empty.log")), 0, ZipSourceKind::FileName), ZipResult::Ok);
  EXPECT_EQ(AddZipMember(zip, L"mem.txt", Memory(memory.data()), memory.size(), ZipSourceKind::Memory), ZipResult::Ok);
  EXPECT_EQ(AddZipMember(zip, L"folder", ZipTarget{}, 0, ZipSourceKind::Folder), ZipResult::Ok);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  io.Close(busy);

  const Bytes bytes = Get(Out(L"files.zip"));
  const ParsedZip z = ParseZip(bytes);
  ASSERT_EQ(z.error, "");
  ASSERT_EQ(z.central.size(), 5u);
  const struct {
    const char* name;
    std::uint16_t flags;
    std::uint32_t external;
  } expect[] = {{"logs/app.log", 2, 0x81800020u}, {"old.gz", 0, 0x81800020u}, {"empty.log", 2, 0x81800020u},
                {"mem.txt", 2, 0x80000000u},      {"folder/", 0, 0x41C00010u}};
  for (std::size_t i = 0; i < std::size(expect); ++i) {
    EXPECT_EQ(z.central[i].name, expect[i].name);
    EXPECT_EQ(z.local[i].flags, expect[i].flags) << expect[i].name;
    EXPECT_EQ(z.central[i].flags, expect[i].flags) << expect[i].name;
    EXPECT_EQ(z.central[i].external, expect[i].external) << expect[i].name;
    EXPECT_EQ(z.local[i].crc, z.central[i].crc) << expect[i].name;
  }
  EXPECT_EQ(z.central[0].uncompressedSize, log.size());
}

TEST_F(ZipWin32Test, PipeOutputCarriesDataDescriptors) {
  const Bytes log = SampleLog(1000);
  Put(In(L"piped.log"), log);
  FileHandle readEnd = kNoFile, writeEnd = kNoFile;
  ASSERT_EQ(io.MakePipe(&readEnd, &writeEnd), 0u);
  Bytes streamed;
  std::thread drain([&] {
    std::uint8_t buffer[65536];
    std::uint32_t got = 0;
    while (io.Read(readEnd, buffer, sizeof buffer, &got) == 0 && got > 0) streamed.insert(streamed.end(), buffer, buffer + got);
  });
  ZipHandle* zip = CreateZipArchive(io, Handle(writeEnd), 0, ZipSourceKind::Handle);
  ASSERT_NE(zip, nullptr);
  io.Close(writeEnd);
  EXPECT_EQ(AddZipMember(zip, L"piped.log", Path(In(L"piped.log")), 0, ZipSourceKind::FileName), ZipResult::Ok);
  EXPECT_EQ(AddZipMember(zip, L"piped.gz", Path(In(L"piped.log")), 0, ZipSourceKind::FileName), ZipResult::Ok);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  drain.join();
  io.Close(readEnd);
  Put(Out(L"pipe.zip"), streamed);
  const ParsedZip z = ParseZip(streamed);
  ASSERT_EQ(z.error, "");
  ASSERT_EQ(z.central.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(z.local[i].flags, 0x0008);
    EXPECT_EQ(z.central[i].flags, 0x0008);
    EXPECT_EQ(LittleEndian(streamed, z.local[i].dataOffset + z.central[i].compressedSize, 4), 0x08074B50u);
  }
}

TEST_F(ZipWin32Test, HandleAndMemoryOutputs) {
  const Bytes log = SampleLog(200);
  Put(In(L"offset.log"), log);
  const Bytes prefix = ToBytes("prefix before the archive\n");
  FileHandle out = kNoFile;
  ASSERT_EQ(io.Open(Out(L"offset.zip"), platform::kAccessWrite, 0, platform::kCreateAlways, 0, &out), 0u);
  std::uint32_t written = 0;
  io.Write(out, prefix.data(), static_cast<std::uint32_t>(prefix.size()), &written);
  ZipHandle* zip = CreateZipArchive(io, Handle(out), 0, ZipSourceKind::Handle);
  ASSERT_NE(zip, nullptr);
  EXPECT_EQ(AddZipMember(zip, L"offset.log", Path(In(L"offset.log")), 0, ZipSourceKind::FileName), ZipResult::Ok);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  EXPECT_EQ(io.Close(out), 0u);
  const ParsedZip z = ParseZip(Get(Out(L"offset.zip")));
  ASSERT_EQ(z.central.size(), 1u);
  EXPECT_EQ(z.central[0].localOffset, prefix.size());

  // The writer's own anonymous mapping.
  zip = CreateZipArchive(io, Memory(nullptr), 1 << 20, ZipSourceKind::Memory);
  ASSERT_NE(zip, nullptr);
  EXPECT_EQ(AddZipMember(zip, L"offset.log", Path(In(L"offset.log")), 0, ZipSourceKind::FileName), ZipResult::Ok);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  // A caller's area that is too small.
  Bytes area(100, 0);
  zip = CreateZipArchive(io, Memory(area.data()), area.size(), ZipSourceKind::Memory);
  EXPECT_EQ(AddZipMember(zip, L"offset.log", Path(In(L"offset.log")), 0, ZipSourceKind::FileName), ZipResult::MemoryTooSmall);
  EXPECT_EQ(AddZipMember(zip, L"again.log", Path(In(L"offset.log")), 0, ZipSourceKind::FileName), ZipResult::AlreadyFailed);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
}

}  // namespace
}  // namespace ov::zip::test
