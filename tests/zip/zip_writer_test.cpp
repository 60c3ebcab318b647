// The archive writer against the sim: header fields, result codes, outputs, real readers.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "tests/zip/zip_native_support.h"
#include "tests/zip/zip_parse.h"
#include "zip/crc32.h"
#include "zip/zip_archive.h"
#include "zip/zip_writer.h"

namespace ov::zip::test {
namespace {

using platform::FileHandle;
using platform::sim::FileIoOp;

constexpr std::int64_t kNow = 1709213862;         // 2024-02-29 13:37:42 UTC, 14:37:42 CET
constexpr std::int64_t kModified = 1623758400;    // 2021-06-15 12:00:00 UTC, 14:00 CEST
constexpr std::int64_t kAccessed = 1577836800;    // 2020-01-01 00:00:00 UTC
constexpr std::uint32_t kNowDos = 0x585D74B5;     // 2024-02-29 14:37:42
constexpr std::uint32_t kModifiedDos = 0x52CF7000;  // 2021-06-15 14:00:00

ZipTarget Path(const std::wstring& p) { return ZipTarget{p, platform::kNoFile, nullptr}; }
ZipTarget Handle(FileHandle h) { return ZipTarget{L"", h, nullptr}; }
ZipTarget Memory(const void* m) { return ZipTarget{L"", platform::kNoFile, m}; }

class ZipWriterTest : public ::testing::Test {
 protected:
  void SetUp() override { m.io.SetNowForTest(kNow); }

  ZipHandle* CreateFile(const std::wstring& path) {
    ZipResult result = ZipResult::Ok;
    ZipHandle* zip = CreateZipArchive(m.io, Path(path), 0, ZipSourceKind::FileName, &result);
    EXPECT_EQ(result, ZipResult::Ok);
    return zip;
  }
  Bytes Archive(const std::wstring& path) const { return ReadHostFile(m.Host(path)); }

  SimMachine m;
};

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint32_t>(LittleEndian(b, at, 4));
}

TEST(Crc32Test, MatchesZlibInAnyChunking) {
  for (std::size_t size : {0u, 1u, 7u, 8u, 9u, 63u, 4096u, 100003u}) {
    const Bytes data = RandomBytes(size, static_cast<std::uint32_t>(size));
    std::uint32_t crc = 0;
    for (std::size_t at = 0; at < size;) {
      const std::size_t step = std::min<std::size_t>(size - at, 1 + (at * 7) % 13);
      crc = Crc32Update(crc, data.data() + at, step);
      at += step;
    }
    EXPECT_EQ(crc, ZlibCrc(data)) << size;
    EXPECT_EQ(Crc32Update(0, data.data(), size), ZlibCrc(data)) << size;
  }
}

// Every field of a small archive on a file output, and the same archive through the readers.
TEST_F(ZipWriterTest, SmallArchiveHasEveryFieldAsSpecified) {
  const Bytes log = SampleLog(3000);
  const Bytes gz = RandomBytes(20000, 7);
  const Bytes memory = ToBytes("written from memory\n");
  m.Put(L"C:\\in\\app.log", log);
  m.Put(L"C:\\in\\old.gz", gz);
  m.Put(L"C:\\in\\empty.log", {});
  m.Put(L"C:\\in\\locked.txt", ToBytes("read-only"));
  for (const wchar_t* f : {L"C:\\in\\app.log", L"C:\\in\\old.gz", L"C:\\in\\empty.log", L"C:\\in\\locked.txt"}) {
    m.SetTimes(f, kModified, kAccessed);
  }
  ::chmod(m.Host(L"C:\\in\\locked.txt").c_str(), 0444);

  ZipHandle* zip = CreateFile(L"C:\\out\\..\\a.zip");
  ASSERT_NE(zip, nullptr);
  EXPECT_EQ(zip->tag, 2u);
  EXPECT_EQ(AddZipMember(zip, L"logs\\app.log", Path(L"C:\\in\\app.log"), 0, ZipSourceKind::FileName), ZipResult::Ok);
  EXPECT_EQ(AddZipMember(zip, L"old.gz", Path(L"C:\\in\\old.gz"), 0, ZipSourceKind::FileName), ZipResult::Ok);
  EXPECT_EQ(AddZipMember(zip, L"empty.log", Path(L"C:\\in\\empty.log"), 0, ZipSourceKind::FileName), ZipResult::Ok);
  EXPECT_EQ(AddZipMember(zip, L"locked.txt", Path(L"C:\\in\\locked.txt"), 0, ZipSourceKind::FileName), ZipResult::Ok);
  EXPECT_EQ(AddZipMember(zip, L"mem.txt", Memory(memory.data()), memory.size(), ZipSourceKind::Memory), ZipResult::Ok);
  EXPECT_EQ(AddZipMember(zip, L"sub\\dir", ZipTarget{}, 0, ZipSourceKind::Folder), ZipResult::Ok);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  EXPECT_EQ(m.io.OpenHandleCount(), 0u);

  const Bytes bytes = Archive(L"C:\\a.zip");
  const ParsedZip z = ParseZip(bytes);
  ASSERT_EQ(z.error, "");
  struct Expect {
    const char* name;
    const Bytes* data;
    std::uint16_t method, flags;
    std::uint32_t external, dos;
    std::int64_t modified, accessed;
  };
  const Bytes none;
  const Expect expect[] = {
      {"logs/app.log", &log, 8, 0x0002, 0x81800020u, kModifiedDos, kModified, kAccessed},
      {"old.gz", &gz, 0, 0x0000, 0x81800020u, kModifiedDos, kModified, kAccessed},
      {"empty.log", &none, 8, 0x0002, 0x81800020u, kModifiedDos, kModified, kAccessed},
      {"locked.txt", nullptr, 8, 0x0002, 0x81000021u, kModifiedDos, kModified, kAccessed},
      {"mem.txt", &memory, 8, 0x0002, 0x80000000u, kNowDos, kNow, kNow},
      {"sub/dir/", &none, 0, 0x0000, 0x41C00010u, kNowDos, kNow, kNow},
  };
  ASSERT_EQ(z.central.size(), std::size(expect));
  std::uint64_t next = 0;
  for (std::size_t i = 0; i < std::size(expect); ++i) {
    const Expect& e = expect[i];
    const ZipLocal& l = z.local[i];
    const ZipCentral& c = z.central[i];
    SCOPED_TRACE(e.name);
    // Members follow each other with nothing between them: no data descriptors.
    EXPECT_EQ(l.offset, next);
    EXPECT_EQ(l.version, 20);
    EXPECT_EQ(l.flags, e.flags);
    EXPECT_EQ(l.method, e.method);
    EXPECT_EQ(static_cast<std::uint32_t>(l.date) << 16 | l.time, e.dos);
    EXPECT_EQ(l.name, e.name);
    EXPECT_EQ(l.nameLength, l.name.size());
    ASSERT_EQ(l.extraLength, 17);
    const Bytes localTimes{0x55, 0x54, 13, 0, 7};
    EXPECT_TRUE(std::equal(localTimes.begin(), localTimes.end(), l.extra.begin()));
    EXPECT_EQ(Le32(l.extra, 5), static_cast<std::uint32_t>(e.modified));
    EXPECT_EQ(Le32(l.extra, 9), static_cast<std::uint32_t>(e.accessed));
    next = l.dataOffset + l.compressedSize;

    EXPECT_EQ(c.madeBy, 0x0B17);
    EXPECT_EQ(c.version, 20);
    EXPECT_EQ(c.flags, e.flags);
    EXPECT_EQ(c.method, e.method);
    EXPECT_EQ(c.time, l.time);
    EXPECT_EQ(c.date, l.date);
    EXPECT_EQ(c.crc, l.crc);
    EXPECT_EQ(c.compressedSize, l.compressedSize);
    EXPECT_EQ(c.uncompressedSize, l.uncompressedSize);
    EXPECT_EQ(c.name, e.name);
    EXPECT_EQ(c.extraLength, 9);
    EXPECT_EQ(c.extra, (Bytes{0x55, 0x54, 5, 0, 7, l.extra[5], l.extra[6], l.extra[7], l.extra[8]}));
    EXPECT_EQ(c.commentLength, 0);
    EXPECT_EQ(c.disk, 0);
    EXPECT_EQ(c.internal, 0);
    EXPECT_EQ(c.external, e.external);
    EXPECT_EQ(c.localOffset, l.offset);
    if (e.data != nullptr) {
      EXPECT_EQ(l.uncompressedSize, e.data->size());
      EXPECT_EQ(l.crc, ZlibCrc(*e.data));
      const std::uint8_t* stored = bytes.data() + l.dataOffset;
      const Bytes content = e.method == 0 ? Bytes(stored, stored + l.compressedSize)
                                          : InflateRaw(stored, l.compressedSize, e.data->size());
      EXPECT_EQ(content, *e.data);
    }
  }
  EXPECT_EQ(z.local[2].crc, 0u);  // an empty member
  EXPECT_EQ(z.local[5].compressedSize, 0u);
  const ZipEnd& end = z.end;
  EXPECT_FALSE(end.zip64);
  EXPECT_EQ(end.offset + 22, bytes.size());
  EXPECT_EQ(end.disk, 0);
  EXPECT_EQ(end.centralDisk, 0);
  EXPECT_EQ(end.entriesHere, 6);
  EXPECT_EQ(end.entries, 6);
  EXPECT_EQ(end.centralOffset, next);
  EXPECT_EQ(end.centralSize, end.offset - next);
  EXPECT_EQ(end.commentLength, 0);

  const std::string dir = m.Host(L"C:\\in\\");
  EXPECT_TRUE(ReadersAccept(m.Host(L"C:\\a.zip"),
                            {"--count", "6", "logs/app.log=" + dir + "/app.log", "old.gz=" + dir + "/old.gz",
                             "empty.log=", "locked.txt=" + dir + "/locked.txt", "sub/dir/="}));
}

TEST_F(ZipWriterTest, ArchiveWithoutMembersIsTheEndRecordAlone) {
  ZipHandle* zip = CreateFile(L"C:\\empty.zip");
  ASSERT_NE(zip, nullptr);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  EXPECT_EQ(Archive(L"C:\\empty.zip"), (Bytes{0x50, 0x4B, 5, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(ZipWriterTest, MethodFollowsTheSuffixAfterTheLastDot) {
  const struct {
    const wchar_t* name;
    std::uint16_t method;
  } cases[] = {{L"x.log", 8},   {L"x.ZIP", 0},      {L"y.Tgz", 0},       {L"a.tar.gz", 0},   {L"plain", 8},
               {L"b.Z", 0},     {L"b.z", 0},        {L"c.zoo", 0},       {L"d.ARC", 0},      {L"e.lzh", 0},
               {L"f.arj", 0},   {L"g.gzip", 8},     {L"old.gz\\new", 8}, {L"v1.2\\notes", 8},  {L"zip", 8}};
  ZipHandle* zip = CreateFile(L"C:\\methods.zip");
  const Bytes data = ToBytes("some bytes");
  for (const auto& c : cases) {
    EXPECT_EQ(AddZipMember(zip, c.name, Memory(data.data()), data.size(), ZipSourceKind::Memory), ZipResult::Ok);
  }
  ASSERT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  const ParsedZip z = ParseZip(Archive(L"C:\\methods.zip"));
  ASSERT_EQ(z.central.size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(z.central[i].method, cases[i].method) << z.central[i].name;
  EXPECT_TRUE(ReadersAccept(m.Host(L"C:\\methods.zip"), {"--count", std::to_string(std::size(cases))}));
}

TEST_F(ZipWriterTest, NamesAreAnsiWithForwardSlashesAndBounded) {
  const std::wstring max(259, L'n');
  const struct {
    std::wstring name;
    ZipSourceKind kind;
    ZipResult result;
    std::string stored;
  } cases[] = {
      {L"a\\b\\c.txt", ZipSourceKind::Memory, ZipResult::Ok, "a/b/c.txt"},
      {L"caf\u00E9 \u03A9.txt", ZipSourceKind::Memory, ZipResult::Ok, "caf\xE9 ?.txt"},
      {L"folder", ZipSourceKind::Folder, ZipResult::Ok, "folder/"},
      {L"folder2\\", ZipSourceKind::Folder, ZipResult::Ok, "folder2/"},
      {max, ZipSourceKind::Memory, ZipResult::Ok, std::string(259, 'n')},
      {max + L"n", ZipSourceKind::Memory, ZipResult::BadArguments, ""},
      {max, ZipSourceKind::Folder, ZipResult::BadArguments, ""},  // the "/" would make it 260
      {L"", ZipSourceKind::Memory, ZipResult::BadArguments, ""},
      {std::wstring(L"a\0b", 3), ZipSourceKind::Memory, ZipResult::BadArguments, ""},
  };
  ZipHandle* zip = CreateFile(L"C:\\names.zip");
  const Bytes data = ToBytes("x");
  std::vector<std::string> stored;
  for (const auto& c : cases) {
    EXPECT_EQ(AddZipMember(zip, c.name, Memory(data.data()), data.size(), c.kind), c.result) << c.stored;
    if (c.result == ZipResult::Ok) stored.push_back(c.stored);
  }
  ASSERT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  const ParsedZip z = ParseZip(Archive(L"C:\\names.zip"));
  ASSERT_EQ(z.central.size(), stored.size());
  for (std::size_t i = 0; i < stored.size(); ++i) {
    EXPECT_EQ(z.central[i].name, stored[i]);
    EXPECT_EQ(z.local[i].name, stored[i]);
    EXPECT_EQ(z.central[i].flags & 0x0800, 0);  // never marked as UTF-8
  }
}

// Every result code that callers can meet, each with the state the archive is left in.
TEST_F(ZipWriterTest, CreateReportsWhyItFailed) {
  m.Put(L"C:\\held.zip", ToBytes("someone else's"));
  const int held = m.files.HoldOpen(L"C:\\held.zip", platform::kAccessRead, platform::kShareRead | platform::kShareWrite);
  const struct {
    const char* what;
    ZipTarget target;
    std::uint64_t length;
    ZipSourceKind kind;
    FileIoOp failing;
    ZipResult result;
  } cases[] = {
      {"missing folder", Path(L"C:\\no\\such\\a.zip"), 0, ZipSourceKind::FileName, FileIoOp::Close, ZipResult::CannotOpenFile},
      {"held open", Path(L"C:\\held.zip"), 0, ZipSourceKind::FileName, FileIoOp::Close, ZipResult::CannotOpenFile},
      {"no path", Path(L""), 0, ZipSourceKind::FileName, FileIoOp::Close, ZipResult::BadArguments},
      {"no handle", Handle(platform::kNoFile), 0, ZipSourceKind::Handle, FileIoOp::Close, ZipResult::CannotDuplicateHandle},
      {"stale handle", Handle(4000), 0, ZipSourceKind::Handle, FileIoOp::Close, ZipResult::CannotDuplicateHandle},
      {"no memory", Memory(nullptr), 0, ZipSourceKind::Memory, FileIoOp::Close, ZipResult::MemoryTooSmall},
      {"mapping refused", Memory(nullptr), 4096, ZipSourceKind::Memory, FileIoOp::CreateMapping, ZipResult::CannotAllocate},
      {"view refused", Memory(nullptr), 4096, ZipSourceKind::Memory, FileIoOp::MapView, ZipResult::CannotAllocate},
      {"folder output", ZipTarget{}, 0, ZipSourceKind::Folder, FileIoOp::Close, ZipResult::BadArguments},
      {"unknown kind", ZipTarget{}, 0, static_cast<ZipSourceKind>(9), FileIoOp::Close, ZipResult::BadArguments},
  };
  for (const auto& c : cases) {
    m.io.SetFailureHook([&](FileIoOp op, FileHandle) { return op == c.failing && op != FileIoOp::Close ? 8u : 0u; });
    ZipResult result = ZipResult::Ok;
    EXPECT_EQ(CreateZipArchive(m.io, c.target, c.length, c.kind, &result), nullptr) << c.what;
    EXPECT_EQ(result, c.result) << c.what;
    EXPECT_EQ(m.io.OpenHandleCount(), 0u) << c.what;
  }
  m.files.ReleaseShare(held);
  EXPECT_EQ(ReadHostFile(m.Host(L"C:\\held.zip")), ToBytes("someone else's"));
}

TEST_F(ZipWriterTest, HandlesAreChecked) {
  EXPECT_EQ(AddZipMember(nullptr, L"a", Path(L"C:\\a"), 0, ZipSourceKind::FileName), ZipResult::BadArguments);
  EXPECT_EQ(CloseZipArchive(nullptr), ZipResult::BadArguments);
  ZipHandle* zip = CreateFile(L"C:\\tag.zip");
  zip->tag = 1;
  EXPECT_EQ(AddZipMember(zip, L"a", ZipTarget{}, 0, ZipSourceKind::Folder), ZipResult::WrongHandleKind);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::WrongHandleKind);
  zip->tag = 2;
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
}

TEST_F(ZipWriterTest, RefusedMembersLeaveTheArchiveUsable) {
  m.Put(L"C:\\in\\busy.log", ToBytes("being written"));
  m.Put(L"C:\\in\\good.log", SampleLog(50));
  m.Put(L"C:\\in\\unreadable.log", SampleLog(10));
  const int writer = m.files.HoldOpen(L"C:\\in\\busy.log", platform::kAccessWrite,
                                      platform::kShareRead | platform::kShareWrite);
  ZipHandle* zip = CreateFile(L"C:\\usable.zip");
  const Bytes data = ToBytes("data");
  const std::size_t handlesBefore = m.io.OpenHandleCount();
  const struct {
    const char* what;
    std::wstring name;
    ZipTarget source;
    std::uint64_t length;
    ZipSourceKind kind;
    ZipResult result;
  } cases[] = {
      {"held open for writing", L"busy.log", Path(L"C:\\in\\busy.log"), 0, ZipSourceKind::FileName, ZipResult::CannotOpenFile},
      {"missing file", L"gone.log", Path(L"C:\\in\\gone.log"), 0, ZipSourceKind::FileName, ZipResult::CannotOpenFile},
      {"a folder", L"in", Path(L"C:\\in"), 0, ZipSourceKind::FileName, ZipResult::CannotOpenFile},
      {"no path", L"x", Path(L""), 0, ZipSourceKind::FileName, ZipResult::BadArguments},
      {"no handle", L"x", Handle(platform::kNoFile), 0, ZipSourceKind::Handle, ZipResult::BadArguments},
      {"stale handle", L"x", Handle(4000), 0, ZipSourceKind::Handle, ZipResult::CannotOpenFile},
      {"no address", L"x", Memory(nullptr), 4, ZipSourceKind::Memory, ZipResult::BadArguments},
      {"no length", L"x", Memory(data.data()), 0, ZipSourceKind::Memory, ZipResult::BadArguments},
      {"unknown kind", L"x", Memory(data.data()), 4, static_cast<ZipSourceKind>(0), ZipResult::BadArguments},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AddZipMember(zip, c.name, c.source, c.length, c.kind), c.result) << c.what;
    EXPECT_EQ(m.io.OpenHandleCount(), handlesBefore) << c.what;
  }
  // The file's information cannot be read: the file the writer opened is closed again.
  m.io.SetFailureHook([](FileIoOp op, FileHandle) { return op == FileIoOp::QueryInformation ? 5u : 0u; });
  EXPECT_EQ(AddZipMember(zip, L"info.log", Path(L"C:\\in\\good.log"), 0, ZipSourceKind::FileName), ZipResult::CannotOpenFile);
  EXPECT_EQ(m.io.OpenHandleCount(), handlesBefore);
  // A read that fails part-way: the member is not listed rather than listed short.
  int reads = 0;
  m.io.SetFailureHook([&](FileIoOp op, FileHandle) { return op == FileIoOp::Read && ++reads == 2 ? 23u : 0u; });
  m.Put(L"C:\\in\\unreadable.log", RandomBytes(40000, 3));
  EXPECT_EQ(AddZipMember(zip, L"unreadable.gz", Path(L"C:\\in\\unreadable.log"), 0, ZipSourceKind::FileName),
            ZipResult::CannotOpenFile);
  m.io.SetFailureHook(nullptr);
  EXPECT_EQ(m.io.OpenHandleCount(), handlesBefore);

  EXPECT_EQ(AddZipMember(zip, L"good.log", Path(L"C:\\in\\good.log"), 0, ZipSourceKind::FileName), ZipResult::Ok);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  m.files.ReleaseShare(writer);
  // The member refused part-way was taken back: nothing of it precedes or trails the rest.
  const Bytes bytes = Archive(L"C:\\usable.zip");
  const ParsedZip z = ParseZip(bytes);
  ASSERT_EQ(z.central.size(), 1u);
  EXPECT_EQ(z.central[0].localOffset, 0u);
  EXPECT_EQ(z.end.offset + 22, bytes.size());
  EXPECT_TRUE(ReadersAccept(m.Host(L"C:\\usable.zip"), {"--count", "1", "good.log=" + m.Host(L"C:\\in\\good.log")}));
}

// After an output fault further members are refused, but the members before it stay listed.
TEST_F(ZipWriterTest, OutputFaultsAreSticky) {
  const Bytes first = SampleLog(100);
  const Bytes second = RandomBytes(100000, 11);
  const struct {
    const char* what;
    FileIoOp failing;
    int call;  // counted from the start of the second member
    ZipResult add;
  } cases[] = {
      {"write of member data", FileIoOp::Write, 3, ZipResult::WriteFailed},
      {"seek to the local header", FileIoOp::Seek, 1, ZipResult::SeekFailed},
      {"seek back to the end", FileIoOp::Seek, 2, ZipResult::SeekFailed},
  };
  for (const auto& c : cases) {
    ZipHandle* zip = CreateFile(L"C:\\sticky.zip");
    ASSERT_EQ(AddZipMember(zip, L"first.log", Memory(first.data()), first.size(), ZipSourceKind::Memory), ZipResult::Ok);
    int calls = 0;
    m.io.SetFailureHook([&](FileIoOp op, FileHandle) { return op == c.failing && ++calls == c.call ? 112u : 0u; });
    EXPECT_EQ(AddZipMember(zip, L"second.gz", Memory(second.data()), second.size(), ZipSourceKind::Memory), c.add) << c.what;
    m.io.SetFailureHook(nullptr);
    EXPECT_EQ(AddZipMember(zip, L"third.log", Memory(first.data()), first.size(), ZipSourceKind::Memory),
              ZipResult::AlreadyFailed) << c.what;
    EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok) << c.what;
    const ParsedZip z = ParseZip(Archive(L"C:\\sticky.zip"));
    ASSERT_EQ(z.central.size(), 1u) << c.what;
    EXPECT_EQ(z.central[0].name, "first.log");
    m.Put(L"C:\\first.log", first);
    EXPECT_TRUE(ReadersAccept(m.Host(L"C:\\sticky.zip"), {"--count", "1", "first.log=" + m.Host(L"C:\\first.log")}))
        << c.what;
  }
}

TEST_F(ZipWriterTest, MemoryOutputs) {
  const Bytes small = SampleLog(20);
  const Bytes big = RandomBytes(100000, 5);
  // A caller's area: the archive fits, the next member does not, the directory still does.
  Bytes area(60000, 0);
  ZipHandle* zip = CreateZipArchive(m.io, Memory(area.data()), area.size(), ZipSourceKind::Memory);
  ASSERT_NE(zip, nullptr);
  EXPECT_EQ(AddZipMember(zip, L"small.log", Memory(small.data()), small.size(), ZipSourceKind::Memory), ZipResult::Ok);
  EXPECT_EQ(AddZipMember(zip, L"big.gz", Memory(big.data()), big.size(), ZipSourceKind::Memory), ZipResult::MemoryTooSmall);
  EXPECT_EQ(AddZipMember(zip, L"again.log", Memory(small.data()), small.size(), ZipSourceKind::Memory),
            ZipResult::AlreadyFailed);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  const ParsedZip z = ParseZip(area);
  ASSERT_EQ(z.error, "");
  ASSERT_EQ(z.central.size(), 1u);
  EXPECT_EQ(z.central[0].flags, 0x0002);  // rewritten in place like a file
  EXPECT_EQ(z.local[0].flags, 0x0002);
  area.resize(z.end.offset + 22);
  m.Put(L"C:\\area.zip", area);
  m.Put(L"C:\\small.log", small);
  EXPECT_TRUE(ReadersAccept(m.Host(L"C:\\area.zip"), {"--count", "1", "small.log=" + m.Host(L"C:\\small.log")}));

  // The area's last byte is never used; a header that would reach it does not fit.
  Bytes tiny(22, 0);
  zip = CreateZipArchive(m.io, Memory(tiny.data()), tiny.size(), ZipSourceKind::Memory);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::WriteFailed);
  tiny.assign(23, 0);
  zip = CreateZipArchive(m.io, Memory(tiny.data()), tiny.size(), ZipSourceKind::Memory);
  EXPECT_EQ(AddZipMember(zip, L"a", ZipTarget{}, 0, ZipSourceKind::Folder), ZipResult::WriteFailed);
  EXPECT_EQ(AddZipMember(zip, L"a", ZipTarget{}, 0, ZipSourceKind::Folder), ZipResult::AlreadyFailed);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  EXPECT_EQ(tiny[0], 0x50);

  // The writer's own mapping is released with the archive.
  zip = CreateZipArchive(m.io, Memory(nullptr), 1 << 20, ZipSourceKind::Memory);
  ASSERT_NE(zip, nullptr);
  EXPECT_EQ(m.io.MappedViewCount(), 1u);
  EXPECT_EQ(AddZipMember(zip, L"small.log", Memory(small.data()), small.size(), ZipSourceKind::Memory), ZipResult::Ok);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  EXPECT_EQ(m.io.MappedViewCount(), 0u);
  EXPECT_EQ(m.io.OpenHandleCount(), 0u);
}

// An archive written into a pipe: the sizes follow each member in a data descriptor.
TEST_F(ZipWriterTest, NonSeekableOutputUsesDataDescriptors) {
  const Bytes log = SampleLog(2000);
  const Bytes gz = RandomBytes(30000, 9);
  const Bytes streamed = SampleLog(500);
  m.Put(L"C:\\in\\app.log", log);
  m.Put(L"C:\\in\\old.gz", gz);
  FileHandle readEnd = platform::kNoFile, writeEnd = platform::kNoFile;
  ASSERT_EQ(m.io.MakePipe(&readEnd, &writeEnd), 0u);
  PipeDrain drain(m.io, readEnd);
  ZipHandle* zip = CreateZipArchive(m.io, Handle(writeEnd), 0, ZipSourceKind::Handle);
  ASSERT_NE(zip, nullptr);
  m.io.Close(writeEnd);  // the writer works on its own duplicate

  // A pipe as a source too: read to its end, its size unknown or told by the caller.
  const auto pipeSource = [&](const Bytes& data, std::thread* feeder) {
    FileHandle r = platform::kNoFile, w = platform::kNoFile;
    m.io.MakePipe(&r, &w);
    *feeder = std::thread([&, w, data] {
      std::uint32_t written = 0;
      m.io.Write(w, data.data(), static_cast<std::uint32_t>(data.size()), &written);
      m.io.Close(w);
    });
    return r;
  };
  EXPECT_EQ(AddZipMember(zip, L"app.log", Path(L"C:\\in\\app.log"), 0, ZipSourceKind::FileName), ZipResult::Ok);
  EXPECT_EQ(AddZipMember(zip, L"old.gz", Path(L"C:\\in\\old.gz"), 0, ZipSourceKind::FileName), ZipResult::Ok);
  std::thread feeder;
  FileHandle source = pipeSource(streamed, &feeder);
  EXPECT_EQ(AddZipMember(zip, L"piped.log", Handle(source), 0, ZipSourceKind::Handle), ZipResult::Ok);
  feeder.join();
  m.io.Close(source);
  // A stored member whose size was not known cannot be described before its data.
  source = pipeSource(streamed, &feeder);
  EXPECT_EQ(AddZipMember(zip, L"piped.gz", Handle(source), 0, ZipSourceKind::Handle), ZipResult::CannotChangeStorage);
  feeder.join();
  m.io.Close(source);
  source = pipeSource(streamed, &feeder);
  EXPECT_EQ(AddZipMember(zip, L"told.gz", Handle(source), streamed.size(), ZipSourceKind::Handle), ZipResult::Ok);
  feeder.join();
  m.io.Close(source);
  EXPECT_EQ(AddZipMember(zip, L"folder", ZipTarget{}, 0, ZipSourceKind::Folder), ZipResult::Ok);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  const Bytes bytes = drain.Finish();
  EXPECT_EQ(m.io.OpenHandleCount(), 0u);

  const ParsedZip z = ParseZip(bytes);
  ASSERT_EQ(z.error, "");
  ASSERT_EQ(z.central.size(), 5u);
  const Bytes* contents[] = {&log, &gz, &streamed, &streamed, nullptr};
  for (std::size_t i = 0; i < z.central.size(); ++i) {
    const ZipLocal& l = z.local[i];
    const ZipCentral& c = z.central[i];
    SCOPED_TRACE(c.name);
    EXPECT_EQ(l.flags, 0x0008);
    EXPECT_EQ(c.flags, 0x0008);
    EXPECT_EQ(l.crc, 0u);
    // A stored member's first header already holds its size; a deflated one's does not.
    EXPECT_EQ(l.compressedSize, c.method == 0 ? c.compressedSize : 0u);
    const std::size_t descriptor = static_cast<std::size_t>(l.dataOffset + c.compressedSize);
    EXPECT_EQ(Le32(bytes, descriptor), 0x08074B50u);
    EXPECT_EQ(Le32(bytes, descriptor + 4), c.crc);
    EXPECT_EQ(Le32(bytes, descriptor + 8), c.compressedSize);
    EXPECT_EQ(Le32(bytes, descriptor + 12), c.uncompressedSize);
    if (contents[i] != nullptr) {
      EXPECT_EQ(c.crc, ZlibCrc(*contents[i]));
    }
  }
  EXPECT_EQ(z.local[2].uncompressedSize, 0u);  // unknown when the header went out
  EXPECT_EQ(z.local[3].uncompressedSize, streamed.size());
  m.Put(L"C:\\pipe.zip", bytes);
  m.Put(L"C:\\streamed.log", streamed);
  const std::string dir = m.Host(L"C:\\in");
  const std::string piped = m.Host(L"C:\\streamed.log");
  EXPECT_TRUE(ReadersAccept(m.Host(L"C:\\pipe.zip"), {"--count", "5", "app.log=" + dir + "/app.log",
                                                       "old.gz=" + dir + "/old.gz", "piped.log=" + piped,
                                                       "told.gz=" + piped, "folder/="}));
}

// A caller's handle: the archive starts where the file stands, and the handle stays the
// caller's. Disk-file sources are read from their start, whatever their position.
TEST_F(ZipWriterTest, HandleOutputStartsAtTheFilePosition) {
  const Bytes prefix = ToBytes("#!self-extracting stub\n");
  const Bytes log = SampleLog(300);
  m.Put(L"C:\\in\\app.log", log);
  FileHandle out = platform::kNoFile;
  ASSERT_EQ(m.io.Open(L"C:\\offset.zip", platform::kAccessWrite, 0, platform::kCreateAlways, 0, &out), 0u);
  std::uint32_t written = 0;
  m.io.Write(out, prefix.data(), static_cast<std::uint32_t>(prefix.size()), &written);
  FileHandle in = platform::kNoFile;
  ASSERT_EQ(m.io.Open(L"C:\\in\\app.log", platform::kAccessRead, platform::kShareRead, platform::kOpenExisting, 0, &in), 0u);
  ASSERT_EQ(m.io.Seek(in, 100, platform::SeekOrigin::Begin, nullptr), 0u);

  ZipHandle* zip = CreateZipArchive(m.io, Handle(out), 0, ZipSourceKind::Handle);
  ASSERT_NE(zip, nullptr);
  EXPECT_EQ(AddZipMember(zip, L"app.log", Handle(in), 0, ZipSourceKind::Handle), ZipResult::Ok);
  EXPECT_EQ(AddZipMember(zip, L"again.log", Handle(in), 0, ZipSourceKind::Handle), ZipResult::Ok);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  // Both handles are still the caller's to use and close.
  EXPECT_EQ(m.io.Write(out, "", 0, &written), 0u);
  EXPECT_EQ(m.io.Close(out), 0u);
  EXPECT_EQ(m.io.Close(in), 0u);

  const Bytes bytes = Archive(L"C:\\offset.zip");
  EXPECT_TRUE(std::equal(prefix.begin(), prefix.end(), bytes.begin()));
  const ParsedZip z = ParseZip(bytes);
  ASSERT_EQ(z.error, "");
  ASSERT_EQ(z.central.size(), 2u);
  EXPECT_EQ(z.central[0].localOffset, prefix.size());
  EXPECT_EQ(z.central[0].external, 0x81800020u);
  EXPECT_EQ(z.central[1].uncompressedSize, log.size());
  EXPECT_EQ(z.end.centralOffset, z.central[0].offset);
  const std::string source = m.Host(L"C:\\in\\app.log");
  EXPECT_TRUE(ReadersAccept(m.Host(L"C:\\offset.zip"), {"--count", "2", "app.log=" + source, "again.log=" + source}));
}

TEST_F(ZipWriterTest, ExtendedTimestampsAreClampedToTheirYears) {
  const struct {
    const char* what;
    std::int64_t modified;
    std::uint32_t dos;
    std::uint32_t extended;
  } cases[] = {
      // Before 1970 the date becomes 1 January 1970 and the local time of day stays (11:00
      // CET); DOS dates cannot go before 1980.
      {"1960", -310399200, 0x00210000u, 36000u},
      {"1975", 157766400, 0x00210000u, 157766400u},
      // From 2038 on the date becomes 31 December 2037; 02:00 CEST becomes 02:00 CET.
      {"2050", 2540246400, 0x8CE11000u, 2145834000u},
      {"2021", kModified, kModifiedDos, static_cast<std::uint32_t>(kModified)},
  };
  ZipHandle* zip = CreateFile(L"C:\\times.zip");
  for (const auto& c : cases) {
    const std::wstring path = L"C:\\in\\t" + std::to_wstring(&c - cases) + L".log";
    m.Put(path, ToBytes(c.what));
    m.SetTimes(path, c.modified, c.modified);
    EXPECT_EQ(AddZipMember(zip, path.substr(6), Path(path), 0, ZipSourceKind::FileName), ZipResult::Ok);
  }
  ASSERT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  const ParsedZip z = ParseZip(Archive(L"C:\\times.zip"));
  ASSERT_EQ(z.central.size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(static_cast<std::uint32_t>(z.local[i].date) << 16 | z.local[i].time, cases[i].dos) << cases[i].what;
    EXPECT_EQ(Le32(z.local[i].extra, 5), cases[i].extended) << cases[i].what;
    EXPECT_EQ(Le32(z.local[i].extra, 9), cases[i].extended) << cases[i].what;
    EXPECT_EQ(Le32(z.central[i].extra, 5), cases[i].extended) << cases[i].what;
  }
}

// Faults that only the writer's own state can produce: no output at all, adding after close.
TEST(ZipWriterStateTest, NoOutputAndClosedArchive) {
  SimMachine m;
  const Bytes data = ToBytes("data");
  auto* archive = new ZipArchive;
  archive->io = &m.io;
  auto* zip = new ZipHandle{kZipCreateTag, archive};
  EXPECT_EQ(AddZipMember(zip, L"a.log", Memory(data.data()), data.size(), ZipSourceKind::Memory), ZipResult::WriteFailed);
  EXPECT_EQ(archive->stickyError, ZipResult::NotInitialised);
  archive->stickyError = ZipResult::Ok;
  archive->closed = true;
  EXPECT_EQ(AddZipMember(zip, L"a.log", Memory(data.data()), data.size(), ZipSourceKind::Memory), ZipResult::AlreadyClosed);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
}

}  // namespace
}  // namespace ov::zip::test
