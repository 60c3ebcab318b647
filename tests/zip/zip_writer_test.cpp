// The archive writer against the sim: header fields, result codes, outputs, real readers.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <thread>
#include <tuple>

#include "tests/zip/zip_native_support.h"
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
std::uint32_t Dos(const ZipHeader& h) { return h.date << 16 | h.time; }

class ZipWriterTest : public ::testing::Test {
 protected:
  void SetUp() override { m.clock.SetNowForTest(kNow); }
  ZipHandle* Create(const std::wstring& path) { return CreateZipArchive(m.io, m.clock, Path(path), 0, Kind::FileName); }
  ZipResult AddFile(ZipHandle* zip, const std::wstring& name, const std::wstring& path) {
    return AddZipMember(zip, name, Path(path), 0, Kind::FileName);
  }
  ZipResult AddMemory(ZipHandle* zip, const std::wstring& name, const Bytes& data) {
    return AddZipMember(zip, name, Memory(data.data()), data.size(), Kind::Memory);
  }
  ParsedZip Parse(const std::wstring& path) { return ParseZip(ReadHostFile(m.Host(path))); }
  // The readers accept the archive, list `count` members and find each NAME=C:\path's bytes.
  bool Accepted(const std::wstring& archive, int count, std::vector<std::pair<std::string, std::wstring>> members = {}) {
    std::vector<std::string> args{"--count", std::to_string(count)};
    for (const auto& [name, path] : members) args.push_back(name + "=" + (path.empty() ? "" : m.Host(path)));
    return ReadersAccept(m.Host(archive), args);
  }
  SimMachine m;
};

// Every field of a small archive on a file output, and the same archive through the readers.
// Times outside what the fields hold are clamped: before 1970 to 1 January 1970 keeping the
// local time of day, DOS dates to 1980, after 2037 to 2037-12-31.
TEST_F(ZipWriterTest, SmallArchiveHasEveryField) {
  const Bytes log = SampleLog(3000), gz = RandomBytes(20000, 7), memory = ToBytes("from memory\n"), none;
  const struct { const wchar_t* member; const char* name; const Bytes* data; Kind kind; std::int64_t fileTime;
                 std::uint32_t method, flags, external, dos; std::int64_t modified, accessed; } expect[] = {
      {L"logs\\app.log", "logs/app.log", &log, Kind::FileName, kModified, 8, 2, 0x81800020u, kModifiedDos, kModified, kAccessed},
      {L"old.gz", "old.gz", &gz, Kind::FileName, kModified, 0, 0, 0x81800020u, kModifiedDos, kModified, kAccessed},
      {L"empty.log", "empty.log", &none, Kind::FileName, kModified, 8, 2, 0x81800020u, kModifiedDos, kModified, kAccessed},
      {L"locked.txt", "locked.txt", &memory, Kind::FileName, kModified, 8, 2, 0x81000021u, kModifiedDos, kModified, kAccessed},
      {L"mem.txt", "mem.txt", &memory, Kind::Memory, 0, 8, 2, 0x80000000u, kNowDos, kNow, kNow},
      {L"sub\\dir", "sub/dir/", &none, Kind::Folder, 0, 0, 0, 0x41C00010u, kNowDos, kNow, kNow},
      // 1960-03-01 10:00 UTC, 1975-01-01 00:00 UTC, 2050-07-01 02:00 CEST (becomes 2037-12-31 02:00 CET)
      {L"1960.log", "1960.log", &memory, Kind::FileName, -310399200, 8, 2, 0x81800020u, 0x00210000u, 36000, 36000},
      {L"1975.log", "1975.log", &memory, Kind::FileName, 157766400, 8, 2, 0x81800020u, 0x00210000u, 157766400, 157766400},
      {L"2050.log", "2050.log", &memory, Kind::FileName, 2540246400, 8, 2, 0x81800020u, 0x8CE11000u, 2145834000, 2145834000},
  };
  ZipHandle* zip = Create(L"C:\\out\\..\\a.zip");
  ASSERT_NE(zip, nullptr);
  for (const auto& e : expect) {
    const std::wstring path = std::wstring(L"C:\\in\\") + e.member;
    if (e.kind == Kind::FileName) m.Put(path, *e.data, e.fileTime, e.fileTime == kModified ? kAccessed : e.fileTime);
    if (e.external == 0x81000021u) ::chmod(m.Host(path).c_str(), 0444);  // read-only
    EXPECT_EQ(AddZipMember(zip, e.member, e.kind == Kind::FileName ? Path(path) : Memory(e.data->data()), e.data->size(), e.kind),
              ZipResult::Ok) << e.name;
  }
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  EXPECT_EQ(m.io.OpenHandleCount(), 0u);

  const Bytes bytes = ReadHostFile(m.Host(L"C:\\a.zip"));
  const ParsedZip z = ParseZip(bytes);
  ASSERT_EQ(z.error, "");
  ASSERT_EQ(z.central.size(), std::size(expect));
  std::uint64_t next = 0;
  for (std::size_t i = 0; i < std::size(expect); ++i) {
    const auto& e = expect[i];
    const ZipHeader &l = z.local[i], &c = z.central[i];
    SCOPED_TRACE(e.name);
    // Members follow each other without data descriptors; flag 2 marks the rewritten header.
    // (The readers below check the data and CRCs.)
    EXPECT_EQ(std::make_tuple(l.offset, l.version, l.flags, l.method, Dos(l), l.uncompressedSize, l.name),
              std::make_tuple(next, 20u, e.flags, e.method, e.dos, e.data->size(), std::string(e.name)));
    // Extended timestamp 0x5455: mtime and atime (and ctime) locally, mtime alone centrally.
    Bytes local{0x55, 0x54, 13, 0, 7};
    for (const auto v : {static_cast<std::uint32_t>(e.modified), static_cast<std::uint32_t>(e.accessed)}) {
      for (int k = 0; k < 4; ++k) local.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
    }
    ASSERT_EQ(l.extra.size(), 17u);
    EXPECT_EQ(Bytes(l.extra.begin(), l.extra.begin() + 13), local);
    EXPECT_EQ(c.extra, (Bytes{0x55, 0x54, 5, 0, 7, local[5], local[6], local[7], local[8]}));
    EXPECT_EQ(std::make_tuple(c.madeBy, c.version, c.flags, c.method, c.time, c.date, c.crc, c.compressedSize),
              std::make_tuple(0x0B17u, 20u, l.flags, l.method, l.time, l.date, l.crc, l.compressedSize));
    EXPECT_EQ(std::make_tuple(c.uncompressedSize, c.name, c.commentLength, c.disk, c.internal, c.external, c.localOffset),
              std::make_tuple(l.uncompressedSize, l.name, 0u, 0u, 0u, e.external, l.offset));
    next = l.dataOffset + l.compressedSize;
  }
  const ZipEnd& end = z.end;
  EXPECT_EQ(std::make_tuple(end.zip64, end.offset + 22, end.disk, end.centralDisk, end.entriesHere, end.entries,
                            end.commentLength, end.centralOffset, end.centralSize),
            std::make_tuple(false, bytes.size(), 0u, 0u, 9u, 9u, 0u, next, end.offset - next));
  EXPECT_TRUE(Accepted(L"C:\\a.zip", 9, {{"logs/app.log", L"C:\\in\\logs\\app.log"}, {"old.gz", L"C:\\in\\old.gz"},
                                         {"empty.log", L""}, {"locked.txt", L"C:\\in\\locked.txt"},
                                         {"mem.txt", L"C:\\in\\locked.txt"}, {"sub/dir/", L""}}));
  // Without members the archive is the 22-byte end record alone.
  EXPECT_EQ(CloseZipArchive(Create(L"C:\\empty.zip")), ZipResult::Ok);
  EXPECT_EQ(ReadHostFile(m.Host(L"C:\\empty.zip")), (Bytes{0x50, 0x4B, 5, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

// Names: ANSI with "/" between folders, a folder's own "/", at most 259 bytes, converted
// exactly or refused (no best fit: a fullwidth "／" or "．" must not become "/" or "."); the
// method follows the suffix from the last "." of the whole name.
TEST_F(ZipWriterTest, NamesAndMethods) {
  struct Case { std::wstring name; Kind kind; std::string stored; std::uint32_t method; };  // stored "": refused
  std::vector<Case> cases = {
      {L"old.gz\\new", Kind::Memory, "old.gz/new", 8},  {L"folder", Kind::Folder, "folder/", 0},
      {L"f.gz\\", Kind::Folder, "f.gz/", 0},            {L"caf\u00E9.txt", Kind::Memory, "caf\xE9.txt", 8},
      {L"caf\u00E9 \u03A9.txt", Kind::Memory, "", 0},  {L"a\uFF0F\uFF0E\uFF0E.log", Kind::Memory, "", 0},
      {std::wstring(259, L'n'), Kind::Memory, std::string(259, 'n'), 8},
      {std::wstring(260, L'n'), Kind::Memory, "", 0},  {std::wstring(259, L'n'), Kind::Folder, "", 0},  // 260 with "/"
      {L"", Kind::Memory, "", 0},                       {std::wstring(L"a\0b", 3), Kind::Memory, "", 0},
  };
  const std::pair<std::vector<std::string>, std::uint32_t> bySuffix[] = {
      {{"x.ZIP", "y.Tgz", "a.tar.gz", "b.Z", "c.zoo", "d.ARC", "e.lzh", "f.arj"}, 0}, {{"x.log", "g.gzip", "plain"}, 8}};
  for (const auto& [names, method] : bySuffix) {
    for (const auto& n : names) cases.push_back({std::wstring(n.begin(), n.end()), Kind::Memory, n, method});
  }
  ZipHandle* zip = Create(L"C:\\names.zip");
  const Bytes data = ToBytes("some bytes");
  std::vector<std::pair<std::string, std::uint32_t>> added;
  for (const auto& c : cases) {
    EXPECT_EQ(AddZipMember(zip, c.name, Memory(data.data()), data.size(), c.kind),
              c.stored.empty() ? ZipResult::BadArguments : ZipResult::Ok) << c.stored;
    if (!c.stored.empty()) added.emplace_back(c.stored, c.method);
  }
  ASSERT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  const ParsedZip z = Parse(L"C:\\names.zip");
  ASSERT_EQ(z.central.size(), added.size());
  for (std::size_t i = 0; i < added.size(); ++i) {
    EXPECT_EQ(std::make_tuple(z.central[i].name, z.local[i].name, z.central[i].method),
              std::make_tuple(added[i].first, added[i].first, added[i].second));
  }
  EXPECT_TRUE(Accepted(L"C:\\names.zip", static_cast<int>(added.size())));
}

// Refused outputs and members say why, leave no handle open and harm nothing; the archive
// goes on and holds only what was added.
TEST_F(ZipWriterTest, RefusalsSayWhyAndLeaveTheArchiveUsable) {
  m.Put(L"C:\\held.zip", ToBytes("someone else's"));
  m.Put(L"C:\\in\\busy.log", ToBytes("being written"));
  m.Put(L"C:\\in\\good.log", SampleLog(50));
  m.Put(L"C:\\in\\torn.log", RandomBytes(40000, 3));
  const std::uint32_t shareAll = platform::kShareRead | platform::kShareWrite;
  const int held = m.files.HoldOpen(L"C:\\held.zip", platform::kAccessRead, shareAll);
  const int writer = m.files.HoldOpen(L"C:\\in\\busy.log", platform::kAccessWrite, shareAll);
  ZipHandle* zip = Create(L"C:\\usable.zip");
  const Bytes data = ToBytes("data");
  const std::size_t handles = m.io.OpenHandleCount();
  int reads = 0;
  const auto on = [](FileIoOp which) { return [which](FileIoOp op) { return op == which ? 8u : 0u; }; };
  const struct { bool create; const char* what; ZipTarget target; std::uint64_t length; Kind kind;
                 std::function<std::uint32_t(FileIoOp)> fault; ZipResult result; } cases[] = {
      {true, "missing folder", Path(L"C:\\no\\a.zip"), 0, Kind::FileName, {}, ZipResult::CannotOpenFile},
      {true, "held open", Path(L"C:\\held.zip"), 0, Kind::FileName, {}, ZipResult::CannotOpenFile},
      {true, "no path", Path(L""), 0, Kind::FileName, {}, ZipResult::BadArguments},
      {true, "stale handle", Handle(4000), 0, Kind::Handle, {}, ZipResult::CannotDuplicateHandle},
      {true, "no length", Memory(nullptr), 0, Kind::Memory, {}, ZipResult::MemoryTooSmall},
      {true, "mapping refused", Memory(nullptr), 4096, Kind::Memory, on(FileIoOp::CreateMapping), ZipResult::CannotAllocate},
      {true, "view refused", Memory(nullptr), 4096, Kind::Memory, on(FileIoOp::MapView), ZipResult::CannotAllocate},
      {true, "folder output", ZipTarget{}, 0, Kind::Folder, {}, ZipResult::BadArguments},
      {false, "held open for writing", Path(L"C:\\in\\busy.log"), 0, Kind::FileName, {}, ZipResult::CannotOpenFile},
      {false, "missing", Path(L"C:\\in\\gone.log"), 0, Kind::FileName, {}, ZipResult::CannotOpenFile},
      {false, "a folder", Path(L"C:\\in"), 0, Kind::FileName, {}, ZipResult::CannotOpenFile},
      {false, "no handle", Handle(kNoFile), 0, Kind::Handle, {}, ZipResult::BadArguments},
      {false, "stale handle", Handle(4000), 0, Kind::Handle, {}, ZipResult::CannotOpenFile},
      {false, "no address", Memory(nullptr), 4, Kind::Memory, {}, ZipResult::BadArguments},
      {false, "no length", Memory(data.data()), 0, Kind::Memory, {}, ZipResult::BadArguments},
      {false, "information unreadable", Path(L"C:\\in\\good.log"), 0, Kind::FileName, on(FileIoOp::QueryInformation),
       ZipResult::CannotOpenFile},
      // A read that fails part-way: the member is not listed rather than listed short.
      {false, "read fails", Path(L"C:\\in\\torn.log"), 0, Kind::FileName,
       [&](FileIoOp op) { return op == FileIoOp::Read && ++reads == 2 ? 23u : 0u; }, ZipResult::CannotOpenFile},
  };
  for (const auto& c : cases) {
    m.io.SetFailureHook([&](FileIoOp op, FileHandle) { return c.fault ? c.fault(op) : 0u; });
    ZipResult result = ZipResult::Ok;
    const ZipHandle* created = c.create ? CreateZipArchive(m.io, m.clock, c.target, c.length, c.kind, &result) : nullptr;
    if (!c.create) result = AddZipMember(zip, L"x.gz", c.target, c.length, c.kind);
    EXPECT_EQ(created, nullptr) << c.what;
    EXPECT_EQ(std::make_tuple(result, m.io.OpenHandleCount()), std::make_tuple(c.result, handles)) << c.what;
  }
  m.io.SetFailureHook(nullptr);
  EXPECT_EQ(AddFile(zip, L"good.log", L"C:\\in\\good.log"), ZipResult::Ok);
  // The handle's tag is checked before anything else.
  EXPECT_EQ(CloseZipArchive(nullptr), ZipResult::BadArguments);
  zip->tag = 1;
  EXPECT_EQ(AddZipMember(zip, L"a", ZipTarget{}, 0, Kind::Folder), ZipResult::WrongHandleKind);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::WrongHandleKind);
  zip->tag = 2;
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  m.files.ReleaseShare(held);
  m.files.ReleaseShare(writer);
  EXPECT_EQ(ReadHostFile(m.Host(L"C:\\held.zip")), ToBytes("someone else's"));
  // The member refused part-way was taken back: nothing of it precedes or trails the rest.
  const ParsedZip z = Parse(L"C:\\usable.zip");
  ASSERT_EQ(z.central.size(), 1u);
  EXPECT_EQ(std::make_tuple(z.central[0].localOffset, z.end.offset + 22),
            std::make_tuple(0u, ReadHostFile(m.Host(L"C:\\usable.zip")).size()));
  EXPECT_TRUE(Accepted(L"C:\\usable.zip", 1, {{"good.log", L"C:\\in\\good.log"}}));
}

// After an output fault, or with a memory area full, further members are refused, but the
// members before it stay listed and readable.
TEST_F(ZipWriterTest, OutputFaultsAreSticky) {
  const Bytes first = SampleLog(100), second = RandomBytes(100000, 11);
  m.Put(L"C:\\first.log", first);
  Bytes area(60000, 0);  // holds the first member and the directory, not the second
  // The failing call is counted from the start of the second member; 0: the memory area.
  const struct { const char* what; FileIoOp failing; int call; ZipResult add; } cases[] = {
      {"write of member data", FileIoOp::Write, 3, ZipResult::WriteFailed},
      {"seek to the local header", FileIoOp::Seek, 1, ZipResult::SeekFailed},
      {"seek back to the end", FileIoOp::Seek, 2, ZipResult::SeekFailed},
      {"memory area full", FileIoOp::Write, 0, ZipResult::MemoryTooSmall},
  };
  for (const auto& c : cases) {
    ZipHandle* zip = c.call ? Create(L"C:\\sticky.zip") : CreateZipArchive(m.io, m.clock, Memory(area.data()), area.size(), Kind::Memory);
    ASSERT_EQ(AddMemory(zip, L"first.log", first), ZipResult::Ok);
    int calls = 0;
    m.io.SetFailureHook([&](FileIoOp op, FileHandle) { return op == c.failing && ++calls == c.call ? 112u : 0u; });
    EXPECT_EQ(AddMemory(zip, L"second.gz", second), c.add) << c.what;
    m.io.SetFailureHook(nullptr);
    EXPECT_EQ(AddMemory(zip, L"third.log", first), ZipResult::AlreadyFailed) << c.what;
    EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok) << c.what;
    if (c.call == 0) {  // the header is rewritten in place as in a file; the used part is the archive
      const ParsedZip z = ParseZip(area);
      ASSERT_EQ(z.central.size(), 1u);
      EXPECT_EQ(z.local[0].flags, 0x0002u);
      area.resize(z.end.offset + 22);
      m.Put(L"C:\\sticky.zip", area);
    }
    EXPECT_TRUE(Accepted(L"C:\\sticky.zip", 1, {{"first.log", L"C:\\first.log"}})) << c.what;
  }
  // The area's last byte is never used: 22 bytes do not hold the 22-byte end record.
  Bytes tiny(22, 0);
  EXPECT_EQ(CloseZipArchive(CreateZipArchive(m.io, m.clock, Memory(tiny.data()), tiny.size(), Kind::Memory)), ZipResult::WriteFailed);
  // The writer's own mapping is released with the archive.
  ZipHandle* zip = CreateZipArchive(m.io, m.clock, Memory(nullptr), 1 << 20, Kind::Memory);
  EXPECT_EQ(m.io.MappedViewCount(), 1u);
  EXPECT_EQ(AddMemory(zip, L"first.log", first), ZipResult::Ok);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  EXPECT_EQ(m.io.MappedViewCount() + m.io.OpenHandleCount(), 0u);
}

// An archive written into a pipe: the sizes follow each member in a data descriptor. Sources
// are pipes too, read to their end, their size unknown or told by the caller. (An archive on a
// caller's handle after a prefix is written through the real calls in zip_win32_test.)
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
  ZipHandle* zip = CreateZipArchive(m.io, m.clock, Handle(writeEnd), 0, Kind::Handle);
  m.io.Close(writeEnd);  // the writer works on its own duplicate
  const auto addPipe = [&](const wchar_t* name, std::uint64_t length) {
    FileHandle r = kNoFile, w = kNoFile;
    std::uint32_t written = 0;
    m.io.MakePipe(&r, &w);
    m.io.Write(w, piped.data(), static_cast<std::uint32_t>(piped.size()), &written);
    m.io.Close(w);
    const ZipResult result = AddZipMember(zip, name, Handle(r), length, Kind::Handle);
    m.io.Close(r);
    return result;
  };
  EXPECT_EQ(AddFile(zip, L"app.log", L"C:\\in\\app.log"), ZipResult::Ok);
  EXPECT_EQ(AddFile(zip, L"old.gz", L"C:\\in\\old.gz"), ZipResult::Ok);
  EXPECT_EQ(addPipe(L"piped.log", 0), ZipResult::Ok);
  // A stored member whose size was unknown cannot be described before its data.
  EXPECT_EQ(addPipe(L"unknown.gz", 0), ZipResult::CannotChangeStorage);
  EXPECT_EQ(addPipe(L"told.gz", piped.size()), ZipResult::Ok);
  EXPECT_EQ(AddZipMember(zip, L"folder", ZipTarget{}, 0, Kind::Folder), ZipResult::Ok);
  FileHandle in = kNoFile;  // a caller's disk-file handle is read from its start, wherever it stands
  ASSERT_EQ(m.io.Open(L"C:\\in\\app.log", platform::kAccessRead, platform::kShareRead, platform::kOpenExisting, 0, &in), 0u);
  m.io.Seek(in, 100, platform::SeekOrigin::Begin, nullptr);
  EXPECT_EQ(AddZipMember(zip, L"again.log", Handle(in), 0, Kind::Handle), ZipResult::Ok);
  EXPECT_EQ(m.io.Close(in), 0u);  // still the caller's to close
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  drain.join();
  m.io.Close(readEnd);

  const ParsedZip z = ParseZip(bytes);
  ASSERT_EQ(z.error, "");
  ASSERT_EQ(z.central.size(), 6u);
  const std::size_t sizes[] = {log.size(), gz.size(), piped.size(), piped.size(), 0, log.size()};
  for (std::size_t i = 0; i < z.central.size(); ++i) {
    const ZipHeader &l = z.local[i], &c = z.central[i];
    SCOPED_TRACE(c.name);
    // A stored member's first header already holds its size; a deflated one's does not.
    EXPECT_EQ(std::make_tuple(l.flags, c.flags, l.crc, l.compressedSize, c.uncompressedSize),
              std::make_tuple(0x0008u, 0x0008u, 0u, c.method == 0 ? c.compressedSize : 0u, sizes[i]));
    const std::uint64_t d = l.dataOffset + c.compressedSize;
    EXPECT_EQ(std::make_tuple(Le(bytes, d, 4), Le(bytes, d + 4, 4), Le(bytes, d + 8, 4), Le(bytes, d + 12, 4)),
              std::make_tuple(0x08074B50u, c.crc, c.compressedSize, c.uncompressedSize));
  }
  EXPECT_EQ(z.local[2].uncompressedSize, 0u);  // unknown when the header went out
  m.Put(L"C:\\pipe.zip", bytes);
  EXPECT_TRUE(Accepted(L"C:\\pipe.zip", 6, {{"app.log", L"C:\\in\\app.log"}, {"again.log", L"C:\\in\\app.log"},
                                            {"old.gz", L"C:\\in\\old.gz"}, {"piped.log", L"C:\\in\\piped.log"},
                                            {"told.gz", L"C:\\in\\piped.log"}}));
}

}  // namespace
}  // namespace ov::zip::test
