// The archive writer against the sim: header fields, result codes, outputs, real readers.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <thread>
#include <tuple>

#include "tests/zip/zip_native_support.h"
#include "zip/crc32.h"
#include "zip/zip_archive.h"
#include "zip/zip_writer.h"

namespace ov::zip::test {
namespace {

using platform::FileHandle;
using platform::kNoFile;
using platform::sim::FileIoOp;
using Kind = ZipSourceKind;

constexpr std::int64_t kNow = 1709213862;           // 2024-02-29 13:37:42 UTC, 14:37:42 CET
constexpr std::int64_t kModified = 1623758400;      // 2021-06-15 12:00:00 UTC, 14:00 CEST
constexpr std::int64_t kAccessed = 1577836800;      // 2020-01-01 00:00:00 UTC
constexpr std::uint32_t kNowDos = 0x585D74B5;       // 2024-02-29 14:37:42
constexpr std::uint32_t kModifiedDos = 0x52CF7000;  // 2021-06-15 14:00:00

ZipTarget Path(const std::wstring& p) { return ZipTarget{p, kNoFile, nullptr}; }
ZipTarget Handle(FileHandle h) { return ZipTarget{L"", h, nullptr}; }
ZipTarget Memory(const void* m) { return ZipTarget{L"", kNoFile, m}; }
std::uint32_t Le32(const Bytes& b, std::uint64_t at) { return static_cast<std::uint32_t>(LittleEndian(b, at, 4)); }
std::uint32_t Dos(const ZipHeader& h) { return static_cast<std::uint32_t>(h.date) << 16 | h.time; }

class ZipWriterTest : public ::testing::Test {
 protected:
  void SetUp() override { m.io.SetNowForTest(kNow); }
  ZipHandle* Create(const std::wstring& path) {
    return CreateZipArchive(m.io, Path(path), 0, Kind::FileName);
  }
  ZipResult AddMemory(ZipHandle* zip, const std::wstring& name, const Bytes& data) {
    return AddZipMember(zip, name, Memory(data.data()), data.size(), Kind::Memory);
  }
  ParsedZip Parse(const std::wstring& path) { return ParseZip(ReadHostFile(m.Host(path))); }
  SimMachine m;
};

TEST(Crc32Test, MatchesZlibInAnyChunking) {
  for (std::size_t size : {0u, 1u, 7u, 8u, 9u, 4096u, 100003u}) {
    const Bytes data = RandomBytes(size, static_cast<std::uint32_t>(size));
    std::uint32_t crc = 0;
    for (std::size_t at = 0, step = 1; at < size; at += step, step = 1 + (at * 7) % 13) {
      crc = Crc32Update(crc, data.data() + at, std::min(step, size - at));
    }
    EXPECT_EQ(crc, ZlibCrc(data)) << size;
  }
}

// Every field of a small archive on a file output, and the same archive through the readers.
TEST_F(ZipWriterTest, SmallArchiveHasEveryField) {
  const Bytes log = SampleLog(3000), gz = RandomBytes(20000, 7), memory = ToBytes("from memory\n"), none;
  for (const auto& [name, data] : {std::pair{L"app.log", &log}, {L"old.gz", &gz}, {L"empty.log", &none},
                                   {L"locked.txt", &memory}}) {
    m.Put(std::wstring(L"C:\\in\\") + name, *data);
    m.SetTimes(std::wstring(L"C:\\in\\") + name, kModified, kAccessed);
  }
  ::chmod(m.Host(L"C:\\in\\locked.txt").c_str(), 0444);
  ZipHandle* zip = Create(L"C:\\out\\..\\a.zip");
  ASSERT_NE(zip, nullptr);
  EXPECT_EQ(zip->tag, 2u);
  EXPECT_EQ(AddZipMember(zip, L"logs\\app.log", Path(L"C:\\in\\app.log"), 0, Kind::FileName), ZipResult::Ok);
  EXPECT_EQ(AddZipMember(zip, L"old.gz", Path(L"C:\\in\\old.gz"), 0, Kind::FileName), ZipResult::Ok);
  EXPECT_EQ(AddZipMember(zip, L"empty.log", Path(L"C:\\in\\empty.log"), 0, Kind::FileName), ZipResult::Ok);
  EXPECT_EQ(AddZipMember(zip, L"locked.txt", Path(L"C:\\in\\locked.txt"), 0, Kind::FileName), ZipResult::Ok);
  EXPECT_EQ(AddMemory(zip, L"mem.txt", memory), ZipResult::Ok);
  EXPECT_EQ(AddZipMember(zip, L"sub\\dir", ZipTarget{}, 0, Kind::Folder), ZipResult::Ok);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  EXPECT_EQ(m.io.OpenHandleCount(), 0u);

  const Bytes bytes = ReadHostFile(m.Host(L"C:\\a.zip"));
  const ParsedZip z = ParseZip(bytes);
  ASSERT_EQ(z.error, "");
  const struct {
    const char* name;
    const Bytes* data;
    std::uint16_t method, flags;
    std::uint32_t external, dos;
    std::int64_t modified, accessed;
  } expect[] = {
      {"logs/app.log", &log, 8, 2, 0x81800020u, kModifiedDos, kModified, kAccessed},
      {"old.gz", &gz, 0, 0, 0x81800020u, kModifiedDos, kModified, kAccessed},
      {"empty.log", &none, 8, 2, 0x81800020u, kModifiedDos, kModified, kAccessed},
      {"locked.txt", &memory, 8, 2, 0x81000021u, kModifiedDos, kModified, kAccessed},
      {"mem.txt", &memory, 8, 2, 0x80000000u, kNowDos, kNow, kNow},
      {"sub/dir/", &none, 0, 0, 0x41C00010u, kNowDos, kNow, kNow},
  };
  ASSERT_EQ(z.central.size(), std::size(expect));
  std::uint64_t next = 0;
  for (std::size_t i = 0; i < std::size(expect); ++i) {
    const auto& e = expect[i];
    const ZipHeader& l = z.local[i];
    const ZipHeader& c = z.central[i];
    SCOPED_TRACE(e.name);
    EXPECT_EQ(l.offset, next);  // no data descriptor between members
    EXPECT_EQ(l.version, 20);
    EXPECT_EQ(l.flags, e.flags);
    EXPECT_EQ(l.method, e.method);
    EXPECT_EQ(Dos(l), e.dos);
    EXPECT_EQ(l.crc, ZlibCrc(*e.data));
    EXPECT_EQ(l.uncompressedSize, e.data->size());
    EXPECT_EQ(l.name, e.name);
    // Extended timestamp: id 0x5455, 13 bytes, all three times; the central one has mtime only.
    const std::uint32_t mtime = static_cast<std::uint32_t>(e.modified), atime = static_cast<std::uint32_t>(e.accessed);
    ASSERT_EQ(l.extra.size(), 17u);
    EXPECT_EQ(Bytes(l.extra.begin(), l.extra.begin() + 5), (Bytes{0x55, 0x54, 13, 0, 7}));
    EXPECT_EQ(Le32(l.extra, 5), mtime);
    EXPECT_EQ(Le32(l.extra, 9), atime);
    EXPECT_EQ(c.extra, (Bytes{0x55, 0x54, 5, 0, 7, l.extra[5], l.extra[6], l.extra[7], l.extra[8]}));
    EXPECT_EQ(std::make_tuple(c.madeBy, c.version, c.flags, c.method, c.time, c.date),
              std::make_tuple(0x0B17, 20, l.flags, l.method, l.time, l.date));
    EXPECT_EQ(std::make_tuple(c.crc, c.compressedSize, c.uncompressedSize, c.name),
              std::make_tuple(l.crc, l.compressedSize, l.uncompressedSize, l.name));
    EXPECT_EQ(std::make_tuple(c.commentLength, c.disk, c.internal, c.external, c.localOffset),
              std::make_tuple(0, 0, 0, e.external, l.offset));
    const std::uint8_t* stored = bytes.data() + l.dataOffset;
    EXPECT_EQ(e.method == 0 ? Bytes(stored, stored + l.compressedSize) : InflateRaw(stored, l.compressedSize, e.data->size()),
              *e.data);
    next = l.dataOffset + l.compressedSize;
  }
  const ZipEnd& end = z.end;
  EXPECT_FALSE(end.zip64);
  EXPECT_EQ(end.offset + 22, bytes.size());
  EXPECT_EQ(std::make_tuple(end.disk, end.centralDisk, end.entriesHere, end.entries, end.commentLength),
            std::make_tuple(0, 0, 6, 6, 0));
  EXPECT_EQ(end.centralOffset, next);
  EXPECT_EQ(end.centralSize, end.offset - next);
  const std::string in = m.Host(L"C:\\in") + "/";
  EXPECT_TRUE(ReadersAccept(m.Host(L"C:\\a.zip"), {"--count", "6", "logs/app.log=" + in + "app.log",
                                                    "old.gz=" + in + "old.gz", "empty.log=", "sub/dir/="}));
}

TEST_F(ZipWriterTest, ArchiveWithoutMembersIsTheEndRecordAlone) {
  EXPECT_EQ(CloseZipArchive(Create(L"C:\\empty.zip")), ZipResult::Ok);
  Bytes expected(22, 0);
  expected[0] = 0x50, expected[1] = 0x4B, expected[2] = 5, expected[3] = 6;
  EXPECT_EQ(ReadHostFile(m.Host(L"C:\\empty.zip")), expected);
}

// Names: ANSI with "/" between folders, a folder's own "/", at most 259 bytes; the method
// follows the suffix from the last "." of the whole name.
TEST_F(ZipWriterTest, NamesAndMethods) {
  const struct {
    std::wstring name;
    Kind kind;
    ZipResult result;
    std::string stored;
    std::uint16_t method;
  } cases[] = {
      {L"x.log", Kind::Memory, ZipResult::Ok, "x.log", 8},
      {L"x.ZIP", Kind::Memory, ZipResult::Ok, "x.ZIP", 0},
      {L"y.Tgz", Kind::Memory, ZipResult::Ok, "y.Tgz", 0},
      {L"a.tar.gz", Kind::Memory, ZipResult::Ok, "a.tar.gz", 0},
      {L"b.Z", Kind::Memory, ZipResult::Ok, "b.Z", 0},
      {L"c.zoo", Kind::Memory, ZipResult::Ok, "c.zoo", 0},
      {L"d.ARC", Kind::Memory, ZipResult::Ok, "d.ARC", 0},
      {L"e.lzh", Kind::Memory, ZipResult::Ok, "e.lzh", 0},
      {L"f.arj", Kind::Memory, ZipResult::Ok, "f.arj", 0},
      {L"g.gzip", Kind::Memory, ZipResult::Ok, "g.gzip", 8},
      {L"plain", Kind::Memory, ZipResult::Ok, "plain", 8},
      {L"old.gz\\new", Kind::Memory, ZipResult::Ok, "old.gz/new", 8},
      {L"caf\u00E9 \u03A9.txt", Kind::Memory, ZipResult::Ok, "caf\xE9 ?.txt", 8},
      {L"folder", Kind::Folder, ZipResult::Ok, "folder/", 0},
      {L"f.gz\\", Kind::Folder, ZipResult::Ok, "f.gz/", 0},
      {std::wstring(259, L'n'), Kind::Memory, ZipResult::Ok, std::string(259, 'n'), 8},
      {std::wstring(260, L'n'), Kind::Memory, ZipResult::BadArguments, "", 0},
      {std::wstring(259, L'n'), Kind::Folder, ZipResult::BadArguments, "", 0},  // 260 with its "/"
      {L"", Kind::Memory, ZipResult::BadArguments, "", 0},
      {std::wstring(L"a\0b", 3), Kind::Memory, ZipResult::BadArguments, "", 0},
  };
  ZipHandle* zip = Create(L"C:\\names.zip");
  const Bytes data = ToBytes("some bytes");
  std::vector<std::size_t> added;
  for (const auto& c : cases) {
    EXPECT_EQ(AddZipMember(zip, c.name, Memory(data.data()), data.size(), c.kind), c.result) << c.stored;
    if (c.result == ZipResult::Ok) added.push_back(static_cast<std::size_t>(&c - cases));
  }
  ASSERT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  const ParsedZip z = Parse(L"C:\\names.zip");
  ASSERT_EQ(z.central.size(), added.size());
  for (std::size_t i = 0; i < added.size(); ++i) {
    const auto& c = cases[added[i]];
    EXPECT_EQ(std::make_tuple(z.central[i].name, z.local[i].name, z.central[i].method),
              std::make_tuple(c.stored, c.stored, c.method));
  }
  EXPECT_TRUE(ReadersAccept(m.Host(L"C:\\names.zip"), {"--count", std::to_string(added.size())}));
}

TEST_F(ZipWriterTest, CreateReportsWhyItFailed) {
  m.Put(L"C:\\held.zip", ToBytes("someone else's"));
  const int held = m.files.HoldOpen(L"C:\\held.zip", platform::kAccessRead, platform::kShareRead | platform::kShareWrite);
  const struct {
    const char* what;
    ZipTarget target;
    std::uint64_t length;
    Kind kind;
    std::optional<FileIoOp> failing;
    ZipResult result;
  } cases[] = {
      {"missing folder", Path(L"C:\\no\\a.zip"), 0, Kind::FileName, {}, ZipResult::CannotOpenFile},
      {"held open", Path(L"C:\\held.zip"), 0, Kind::FileName, {}, ZipResult::CannotOpenFile},
      {"no path", Path(L""), 0, Kind::FileName, {}, ZipResult::BadArguments},
      {"no handle", Handle(kNoFile), 0, Kind::Handle, {}, ZipResult::CannotDuplicateHandle},
      {"stale handle", Handle(4000), 0, Kind::Handle, {}, ZipResult::CannotDuplicateHandle},
      {"no length", Memory(nullptr), 0, Kind::Memory, {}, ZipResult::MemoryTooSmall},
      {"mapping refused", Memory(nullptr), 4096, Kind::Memory, FileIoOp::CreateMapping, ZipResult::CannotAllocate},
      {"view refused", Memory(nullptr), 4096, Kind::Memory, FileIoOp::MapView, ZipResult::CannotAllocate},
      {"folder output", ZipTarget{}, 0, Kind::Folder, {}, ZipResult::BadArguments},
      {"unknown kind", ZipTarget{}, 0, static_cast<Kind>(9), {}, ZipResult::BadArguments},
  };
  for (const auto& c : cases) {
    m.io.SetFailureHook([&](FileIoOp op, FileHandle) { return op == c.failing ? 8u : 0u; });
    ZipResult result = ZipResult::Ok;
    EXPECT_EQ(CreateZipArchive(m.io, c.target, c.length, c.kind, &result), nullptr) << c.what;
    EXPECT_EQ(result, c.result) << c.what;
    EXPECT_EQ(m.io.OpenHandleCount(), 0u) << c.what;
  }
  m.files.ReleaseShare(held);
  EXPECT_EQ(ReadHostFile(m.Host(L"C:\\held.zip")), ToBytes("someone else's"));
  // The handle's tag is checked before anything else.
  EXPECT_EQ(AddZipMember(nullptr, L"a", ZipTarget{}, 0, Kind::Folder), ZipResult::BadArguments);
  EXPECT_EQ(CloseZipArchive(nullptr), ZipResult::BadArguments);
  ZipHandle* zip = Create(L"C:\\tag.zip");
  zip->tag = 1;
  EXPECT_EQ(AddZipMember(zip, L"a", ZipTarget{}, 0, Kind::Folder), ZipResult::WrongHandleKind);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::WrongHandleKind);
  zip->tag = 2;
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
}

TEST_F(ZipWriterTest, RefusedMembersLeaveTheArchiveUsable) {
  m.Put(L"C:\\in\\busy.log", ToBytes("being written"));
  m.Put(L"C:\\in\\good.log", SampleLog(50));
  m.Put(L"C:\\in\\torn.log", RandomBytes(40000, 3));
  const int writer = m.files.HoldOpen(L"C:\\in\\busy.log", platform::kAccessWrite, platform::kShareRead | platform::kShareWrite);
  ZipHandle* zip = Create(L"C:\\usable.zip");
  const Bytes data = ToBytes("data");
  const std::size_t handles = m.io.OpenHandleCount();
  int reads = 0;
  const struct {
    const char* what;
    ZipTarget source;
    std::uint64_t length;
    Kind kind;
    std::function<std::uint32_t(FileIoOp)> fault;
    ZipResult result;
  } cases[] = {
      {"held open for writing", Path(L"C:\\in\\busy.log"), 0, Kind::FileName, {}, ZipResult::CannotOpenFile},
      {"missing", Path(L"C:\\in\\gone.log"), 0, Kind::FileName, {}, ZipResult::CannotOpenFile},
      {"a folder", Path(L"C:\\in"), 0, Kind::FileName, {}, ZipResult::CannotOpenFile},
      {"no path", Path(L""), 0, Kind::FileName, {}, ZipResult::BadArguments},
      {"no handle", Handle(kNoFile), 0, Kind::Handle, {}, ZipResult::BadArguments},
      {"stale handle", Handle(4000), 0, Kind::Handle, {}, ZipResult::CannotOpenFile},
      {"no address", Memory(nullptr), 4, Kind::Memory, {}, ZipResult::BadArguments},
      {"no length", Memory(data.data()), 0, Kind::Memory, {}, ZipResult::BadArguments},
      {"unknown kind", Memory(data.data()), 4, static_cast<Kind>(0), {}, ZipResult::BadArguments},
      {"information unreadable", Path(L"C:\\in\\good.log"), 0, Kind::FileName,
       [](FileIoOp op) { return op == FileIoOp::QueryInformation ? 5u : 0u; }, ZipResult::CannotOpenFile},
      // A read that fails part-way: the member is not listed rather than listed short.
      {"read fails", Path(L"C:\\in\\torn.log"), 0, Kind::FileName,
       [&](FileIoOp op) { return op == FileIoOp::Read && ++reads == 2 ? 23u : 0u; }, ZipResult::CannotOpenFile},
  };
  for (const auto& c : cases) {
    m.io.SetFailureHook([&](FileIoOp op, FileHandle) { return c.fault ? c.fault(op) : 0u; });
    EXPECT_EQ(AddZipMember(zip, L"x.gz", c.source, c.length, c.kind), c.result) << c.what;
    EXPECT_EQ(m.io.OpenHandleCount(), handles) << c.what;  // a file the writer opened is closed again
  }
  m.io.SetFailureHook(nullptr);
  EXPECT_EQ(AddZipMember(zip, L"good.log", Path(L"C:\\in\\good.log"), 0, Kind::FileName), ZipResult::Ok);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  m.files.ReleaseShare(writer);
  // The member refused part-way was taken back: nothing of it precedes or trails the rest.
  const Bytes bytes = ReadHostFile(m.Host(L"C:\\usable.zip"));
  const ParsedZip z = ParseZip(bytes);
  ASSERT_EQ(z.central.size(), 1u);
  EXPECT_EQ(z.central[0].localOffset, 0u);
  EXPECT_EQ(z.end.offset + 22, bytes.size());
  EXPECT_TRUE(ReadersAccept(m.Host(L"C:\\usable.zip"), {"--count", "1", "good.log=" + m.Host(L"C:\\in\\good.log")}));
}

// After an output fault further members are refused, but the members before it stay listed.
TEST_F(ZipWriterTest, OutputFaultsAreSticky) {
  const Bytes first = SampleLog(100), second = RandomBytes(100000, 11);
  m.Put(L"C:\\first.log", first);
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
    ZipHandle* zip = Create(L"C:\\sticky.zip");
    ASSERT_EQ(AddMemory(zip, L"first.log", first), ZipResult::Ok);
    int calls = 0;
    m.io.SetFailureHook([&](FileIoOp op, FileHandle) { return op == c.failing && ++calls == c.call ? 112u : 0u; });
    EXPECT_EQ(AddMemory(zip, L"second.gz", second), c.add) << c.what;
    m.io.SetFailureHook(nullptr);
    EXPECT_EQ(AddMemory(zip, L"third.log", first), ZipResult::AlreadyFailed) << c.what;
    EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok) << c.what;
    EXPECT_TRUE(ReadersAccept(m.Host(L"C:\\sticky.zip"), {"--count", "1", "first.log=" + m.Host(L"C:\\first.log")}))
        << c.what;
  }
}

TEST_F(ZipWriterTest, MemoryOutputs) {
  const Bytes small = SampleLog(20), big = RandomBytes(100000, 5);
  // A caller's area: the archive fits, the next member does not, the directory still does.
  Bytes area(60000, 0);
  ZipHandle* zip = CreateZipArchive(m.io, Memory(area.data()), area.size(), Kind::Memory);
  EXPECT_EQ(AddMemory(zip, L"small.log", small), ZipResult::Ok);
  EXPECT_EQ(AddMemory(zip, L"big.gz", big), ZipResult::MemoryTooSmall);
  EXPECT_EQ(AddMemory(zip, L"again.log", small), ZipResult::AlreadyFailed);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  const ParsedZip z = ParseZip(area);
  ASSERT_EQ(z.central.size(), 1u);
  EXPECT_EQ(z.local[0].flags, 0x0002);  // rewritten in place, as in a file
  area.resize(z.end.offset + 22);
  m.Put(L"C:\\area.zip", area);
  m.Put(L"C:\\small.log", small);
  EXPECT_TRUE(ReadersAccept(m.Host(L"C:\\area.zip"), {"--count", "1", "small.log=" + m.Host(L"C:\\small.log")}));
  // The area's last byte is never used: 22 bytes do not hold the 22-byte end record.
  Bytes tiny(22, 0);
  EXPECT_EQ(CloseZipArchive(CreateZipArchive(m.io, Memory(tiny.data()), tiny.size(), Kind::Memory)),
            ZipResult::WriteFailed);
  // The writer's own mapping is released with the archive.
  zip = CreateZipArchive(m.io, Memory(nullptr), 1 << 20, Kind::Memory);
  EXPECT_EQ(m.io.MappedViewCount(), 1u);
  EXPECT_EQ(AddMemory(zip, L"small.log", small), ZipResult::Ok);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  EXPECT_EQ(m.io.MappedViewCount() + m.io.OpenHandleCount(), 0u);
}

// An archive written into a pipe: the sizes follow each member in a data descriptor.
TEST_F(ZipWriterTest, NonSeekableOutputUsesDataDescriptors) {
  const Bytes log = SampleLog(2000), gz = RandomBytes(30000, 9), piped = SampleLog(500);
  m.Put(L"C:\\in\\app.log", log);
  m.Put(L"C:\\in\\old.gz", gz);
  m.Put(L"C:\\in\\piped.log", piped);
  FileHandle readEnd = kNoFile, writeEnd = kNoFile;
  ASSERT_EQ(m.io.MakePipe(&readEnd, &writeEnd), 0u);
  Bytes bytes;
  std::thread drain([&] {
    std::uint8_t buffer[65536];
    std::uint32_t got = 0;
    while (m.io.Read(readEnd, buffer, sizeof buffer, &got) == 0 && got > 0) bytes.insert(bytes.end(), buffer, buffer + got);
  });
  ZipHandle* zip = CreateZipArchive(m.io, Handle(writeEnd), 0, Kind::Handle);
  m.io.Close(writeEnd);  // the writer works on its own duplicate
  // A pipe as a source too: read to its end, its size unknown or told by the caller.
  const auto addPipe = [&](const wchar_t* name, std::uint64_t length) {
    FileHandle r = kNoFile, w = kNoFile;
    m.io.MakePipe(&r, &w);
    std::uint32_t written = 0;
    m.io.Write(w, piped.data(), static_cast<std::uint32_t>(piped.size()), &written);
    m.io.Close(w);
    const ZipResult result = AddZipMember(zip, name, Handle(r), length, Kind::Handle);
    m.io.Close(r);
    return result;
  };
  EXPECT_EQ(AddZipMember(zip, L"app.log", Path(L"C:\\in\\app.log"), 0, Kind::FileName), ZipResult::Ok);
  EXPECT_EQ(AddZipMember(zip, L"old.gz", Path(L"C:\\in\\old.gz"), 0, Kind::FileName), ZipResult::Ok);
  EXPECT_EQ(addPipe(L"piped.log", 0), ZipResult::Ok);
  // A stored member whose size was unknown cannot be described before its data.
  EXPECT_EQ(addPipe(L"unknown.gz", 0), ZipResult::CannotChangeStorage);
  EXPECT_EQ(addPipe(L"told.gz", piped.size()), ZipResult::Ok);
  EXPECT_EQ(AddZipMember(zip, L"folder", ZipTarget{}, 0, Kind::Folder), ZipResult::Ok);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  drain.join();
  m.io.Close(readEnd);

  const ParsedZip z = ParseZip(bytes);
  ASSERT_EQ(z.error, "");
  ASSERT_EQ(z.central.size(), 5u);
  const Bytes* contents[] = {&log, &gz, &piped, &piped, nullptr};
  for (std::size_t i = 0; i < z.central.size(); ++i) {
    const ZipHeader& l = z.local[i];
    const ZipHeader& c = z.central[i];
    SCOPED_TRACE(c.name);
    EXPECT_EQ(std::make_tuple(l.flags, c.flags, l.crc), std::make_tuple(0x0008, 0x0008, 0u));
    // A stored member's first header already holds its size; a deflated one's does not.
    EXPECT_EQ(l.compressedSize, c.method == 0 ? c.compressedSize : 0u);
    const std::uint64_t d = l.dataOffset + c.compressedSize;
    EXPECT_EQ(std::make_tuple(Le32(bytes, d), Le32(bytes, d + 4), Le32(bytes, d + 8), Le32(bytes, d + 12)),
              std::make_tuple(0x08074B50u, c.crc, c.compressedSize, c.uncompressedSize));
    EXPECT_EQ(c.uncompressedSize, contents[i] == nullptr ? 0u : contents[i]->size());
  }
  EXPECT_EQ(z.local[2].uncompressedSize, 0u);  // unknown when the header went out
  m.Put(L"C:\\pipe.zip", bytes);
  const std::string in = m.Host(L"C:\\in") + "/";
  EXPECT_TRUE(ReadersAccept(m.Host(L"C:\\pipe.zip"), {"--count", "5", "app.log=" + in + "app.log", "old.gz=" + in + "old.gz",
                                                       "piped.log=" + in + "piped.log", "told.gz=" + in + "piped.log"}));
}

// A caller's handle: the archive starts where the file stands, and the handle stays the
// caller's. A disk-file source is read from its start, wherever it stands.
TEST_F(ZipWriterTest, HandleOutputStartsAtTheFilePosition) {
  const Bytes prefix = ToBytes("#!self-extracting stub\n");
  m.Put(L"C:\\in\\app.log", SampleLog(300));
  FileHandle out = kNoFile, in = kNoFile;
  ASSERT_EQ(m.io.Open(L"C:\\offset.zip", platform::kAccessWrite, 0, platform::kCreateAlways, 0, &out), 0u);
  std::uint32_t written = 0;
  m.io.Write(out, prefix.data(), static_cast<std::uint32_t>(prefix.size()), &written);
  ASSERT_EQ(m.io.Open(L"C:\\in\\app.log", platform::kAccessRead, platform::kShareRead, platform::kOpenExisting, 0, &in), 0u);
  m.io.Seek(in, 100, platform::SeekOrigin::Begin, nullptr);
  ZipHandle* zip = CreateZipArchive(m.io, Handle(out), 0, Kind::Handle);
  EXPECT_EQ(AddZipMember(zip, L"app.log", Handle(in), 0, Kind::Handle), ZipResult::Ok);
  EXPECT_EQ(AddZipMember(zip, L"again.log", Handle(in), 0, Kind::Handle), ZipResult::Ok);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  EXPECT_EQ(m.io.Close(out) + m.io.Close(in), 0u);  // both still the caller's to close
  const ParsedZip z = Parse(L"C:\\offset.zip");
  ASSERT_EQ(z.central.size(), 2u);
  EXPECT_EQ(z.central[0].localOffset, prefix.size());
  EXPECT_EQ(z.central[0].external, 0x81800020u);
  EXPECT_EQ(z.end.centralOffset, z.central[0].offset);
  const std::string source = m.Host(L"C:\\in\\app.log");
  EXPECT_TRUE(ReadersAccept(m.Host(L"C:\\offset.zip"), {"--count", "2", "app.log=" + source, "again.log=" + source}));
}

TEST_F(ZipWriterTest, ExtendedTimestampsAreClampedToTheirYears) {
  const struct {
    std::int64_t modified;
    std::uint32_t dos, extended;
  } cases[] = {
      // Before 1970 the date becomes 1 January 1970 and the local time of day (11:00 CET)
      // stays; DOS dates cannot go before 1980.
      {-310399200, 0x00210000u, 36000u},           // 1960-03-01 10:00 UTC
      {157766400, 0x00210000u, 157766400u},        // 1975-01-01 00:00 UTC
      {2540246400, 0x8CE11000u, 2145834000u},      // 2050-07-01 02:00 CEST becomes 2037-12-31 02:00 CET
      {kModified, kModifiedDos, static_cast<std::uint32_t>(kModified)},
  };
  ZipHandle* zip = Create(L"C:\\times.zip");
  for (const auto& c : cases) {
    const std::wstring path = L"C:\\t" + std::to_wstring(c.modified) + L".log";
    m.Put(path, ToBytes("t"));
    m.SetTimes(path, c.modified, c.modified);
    EXPECT_EQ(AddZipMember(zip, L"t.log", Path(path), 0, Kind::FileName), ZipResult::Ok);
  }
  ASSERT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  const ParsedZip z = Parse(L"C:\\times.zip");
  ASSERT_EQ(z.central.size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(Dos(z.local[i]), cases[i].dos) << cases[i].modified;
    EXPECT_EQ(std::make_tuple(Le32(z.local[i].extra, 5), Le32(z.local[i].extra, 9), Le32(z.central[i].extra, 5)),
              std::make_tuple(cases[i].extended, cases[i].extended, cases[i].extended)) << cases[i].modified;
  }
}

// Faults only the writer's own state can produce: no output at all, adding after closing.
TEST(ZipWriterStateTest, NoOutputAndClosedArchive) {
  SimMachine m;
  const Bytes data = ToBytes("data");
  auto* zip = new ZipHandle{kZipCreateTag, new ZipArchive};
  zip->archive->io = &m.io;
  EXPECT_EQ(AddZipMember(zip, L"a.log", Memory(data.data()), data.size(), Kind::Memory), ZipResult::WriteFailed);
  EXPECT_EQ(zip->archive->stickyError, ZipResult::NotInitialised);
  zip->archive->stickyError = ZipResult::Ok;
  zip->archive->closed = true;
  EXPECT_EQ(AddZipMember(zip, L"a.log", Memory(data.data()), data.size(), Kind::Memory), ZipResult::AlreadyClosed);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
}

}  // namespace
}  // namespace ov::zip::test
