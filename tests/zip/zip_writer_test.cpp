// The archive writer against the sim. Each archive is pinned by the SHA-256 of its bytes,
// recorded once every field of it had been checked against the format; independent readers
// (tests/support/check_archive.py) accept it and find each member's bytes. Result codes are checked per call.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "platform/sim/sim_clock.h"
#include "platform/sim/sim_fileio.h"
#include "platform/sim/sim_files.h"
#include "zip/zip_writer.h"

namespace ov::zip {
namespace {

using platform::ErrorCode;
using platform::FileHandle;
using platform::kNoFile;
using platform::sim::FileIoOp;
using Bytes = std::vector<std::uint8_t>;
using Fault = std::function<ErrorCode(FileIoOp)>;
using Kind = ZipSourceKind;

constexpr std::int64_t kNow = 1709213862;       // 2024-02-29 13:37:42 UTC, 14:37:42 CET
constexpr std::int64_t kModified = 1623758400;  // 2021-06-15 12:00:00 UTC, 14:00 CEST

Bytes ToBytes(std::string_view s) { return Bytes(s.begin(), s.end()); }
Bytes SampleLog(std::size_t lines) {  // like the trace files the product collects
  std::string text;
  for (std::size_t i = 0; i < lines; ++i) {
    text += "2024-02-29 14:37:42.123 [OvSpoolerHooks] job " + std::to_string(i) + " state " +
            std::to_string((i * 2654435761u) >> 20 & 0xFFF) + "\r\n";
  }
  return ToBytes(text);
}
ZipTarget Path(const std::wstring& p) { return ZipTarget{p, kNoFile, nullptr}; }
ZipTarget Handle(FileHandle h) { return ZipTarget{L"", h, nullptr}; }
ZipTarget Memory(const void* m) { return ZipTarget{L"", kNoFile, m}; }

// The sim's file calls, made repeatable: a file's creation time (Linux cannot set it) and
// access time (reading moves it) come at fixed distances from its last write. When sparse, a
// transfer buffer of nothing but zeros skips ahead, so gigabytes of zeros take no space.
class TestIo final : public platform::FileIo {
 public:
  explicit TestIo(platform::sim::SimFileIo& inner) : m(inner) {}
  bool sparse = false;
  ErrorCode Write(FileHandle h, const void* buffer, std::uint32_t size, std::uint32_t* written) override {
    static const std::uint8_t zeros[16384] = {};
    if (!sparse || size != sizeof zeros || std::memcmp(buffer, zeros, size) != 0) return m.Write(h, buffer, size, written);
    *written = size;
    return m.Seek(h, size, platform::SeekOrigin::Current, nullptr);
  }
  ErrorCode QueryInformation(FileHandle h, platform::FileInformation* i) override {
    const ErrorCode e = m.QueryInformation(h, i);
    i->creationTime = i->lastWriteTime - 864000000000;   // a day before
    i->lastAccessTime = i->lastWriteTime + 36000000000;  // an hour after
    return e;
  }
  ErrorCode Open(const std::wstring& p, std::uint32_t a, std::uint32_t s, std::uint32_t d, std::uint32_t t,
                 FileHandle* h) override { return m.Open(p, a, s, d, t, h); }
  ErrorCode Close(FileHandle h) override { return m.Close(h); }
  ErrorCode Read(FileHandle h, void* b, std::uint32_t n, std::uint32_t* r) override { return m.Read(h, b, n, r); }
  ErrorCode Seek(FileHandle h, std::int64_t d, platform::SeekOrigin o, std::uint64_t* p) override { return m.Seek(h, d, o, p); }
  ErrorCode TruncateAtPosition(FileHandle h) override { return m.TruncateAtPosition(h); }
  ErrorCode Duplicate(FileHandle h, FileHandle* d) override { return m.Duplicate(h, d); }
  ErrorCode QueryType(FileHandle h, platform::FileType* t) override { return m.QueryType(h, t); }
  ErrorCode MakePipe(FileHandle* r, FileHandle* w) override { return m.MakePipe(r, w); }
  ErrorCode CreateAnonymousMapping(std::uint64_t s, FileHandle* h) override { return m.CreateAnonymousMapping(s, h); }
  ErrorCode MapView(FileHandle h, std::uint64_t s, void** v) override { return m.MapView(h, s, v); }
  ErrorCode UnmapView(void* v) override { return m.UnmapView(v); }
  ErrorCode Flush(FileHandle h) override { return m.Flush(h); }
  ErrorCode OpenCheckedForReading(const std::wstring& p, FileHandle* h) override { return m.OpenCheckedForReading(p, h); }

 private:
  platform::sim::SimFileIo& m;
};

// "C:\" is a host temporary directory in /dev/shm (reading a hole there fills no disk cache),
// in a fixed time zone with daylight saving time (a POSIX rule: no zone database needed).
class ZipWriterTest : public ::testing::Test {
 protected:
  ZipWriterTest() {
    std::filesystem::create_directories(m_root + "/C");
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    clock.SetNowForTest(kNow);
  }
  ~ZipWriterTest() override { std::filesystem::remove_all(m_root); }
  std::string Host(const std::wstring& path) const { return files.ToHostPath(path); }
  void Put(const std::wstring& path, const Bytes& data, std::int64_t modified = kModified) const {
    std::filesystem::create_directories(std::filesystem::path(Host(path)).parent_path());
    std::ofstream(Host(path), std::ios::binary).write(reinterpret_cast<const char*>(data.data()), std::ssize(data));
    const struct timespec times[2] = {{modified, 0}, {modified, 0}};
    ::utimensat(AT_FDCWD, Host(path).c_str(), times, 0);
  }
  ZipResult AddFile(ZipHandle* zip, const std::wstring& name, const std::wstring& path) {
    return AddZipMember(zip, name, Path(path), 0, Kind::FileName);
  }
  ZipResult AddMemory(ZipHandle* zip, const std::wstring& name, const Bytes& data) {
    return AddZipMember(zip, name, Memory(data.data()), data.size(), Kind::Memory);
  }
  void FailOn(Fault fault) { sim.SetFailureHook([fault](FileIoOp op, FileHandle) { return fault ? fault(op) : 0u; }); }
  // The archive's bytes hash to sha256, the readers accept it, and each NAME=C:\path holds that file's bytes.
  bool Check(const std::wstring& archive, const char* sha256, std::vector<std::string> args) {
    std::string command = "python3 '" OV_ZIP_CHECK_SCRIPT "' '" + Host(archive) + "' --sha256 " + sha256;
    for (std::string& a : args) {
      const auto eq = a.find("=C:");
      if (eq != std::string::npos) a = a.substr(0, eq + 1) + Host(std::wstring(a.begin() + eq + 1, a.end()));
      command += " '" + a + "'";
    }
    return std::system(command.c_str()) == 0;
  }

 private:
  static std::string MakeRoot() {
    std::string root = "/dev/shm/ovzip-test-XXXXXX";
    if (::mkdtemp(root.data()) == nullptr) ::mkdtemp((root = "/tmp/ovzip-test-XXXXXX").data());
    return root;
  }
  std::string m_root = MakeRoot();

 protected:
  platform::sim::SimFileSystem files{m_root};
  platform::sim::SimFileIo sim{files};
  TestIo io{sim};
  platform::sim::SimClock clock;
};

// A file output with every kind of source and name. Times outside what the fields hold are
// clamped: extended times to 1970..2037 keeping the local time of day, DOS dates to 1980..2107.
// A log that grows while it is read is cut at the size it had when its member began. Every
// refused add costs only itself: no handle stays open and the archive goes on.
TEST_F(ZipWriterTest, FileOutputEverySourceAndRefusal) {
  const Bytes log = SampleLog(3000), memory = ToBytes("from memory\n");
  const std::wstring in = L"C:\\in\\";
  for (const auto& [name, data, modified] :
       {std::tuple{L"logs\\app.log", log, kModified}, {L"old.gz", SampleLog(600), kModified}, {L"empty.log", Bytes{}, kModified},
        {L"locked.txt", memory, kModified}, {L"1960.log", memory, -310399200}, {L"1975.log", memory, 157766400},
        {L"2050.log", memory, 2540246400}, {L"grows.log", log, kModified}, {L"busy.log", memory, kModified}}) {
    Put(in + name, data, modified);
  }
  ::chmod(Host(in + L"locked.txt").c_str(), 0444);
  const int writer = files.HoldOpen(in + L"busy.log", platform::kAccessWrite, platform::kShareRead | platform::kShareWrite);
  FileHandle grows = kNoFile;
  sim.Open(in + L"grows.log", platform::kAccessRead, platform::kShareRead | platform::kShareWrite, platform::kOpenExisting, 0,
           &grows);

  ZipHandle* zip = CreateZipArchive(io, clock, Path(L"C:\\out\\..\\a.zip"), 0, Kind::FileName);
  ASSERT_NE(zip, nullptr);
  for (const wchar_t* name : {L"logs\\app.log", L"old.gz", L"empty.log", L"locked.txt", L"1960.log", L"1975.log", L"2050.log"}) {
    EXPECT_EQ(AddFile(zip, name, in + name), ZipResult::Ok);
  }
  FailOn([&](FileIoOp op) {  // the log grows at each read, to twice its size, as a busy log would
    if (op == FileIoOp::Read && std::filesystem::file_size(Host(in + L"grows.log")) < 2 * log.size()) {
      std::ofstream(Host(in + L"grows.log"), std::ios::app) << std::string(20000, 'g');
    }
    return ErrorCode{0};
  });
  EXPECT_EQ(AddZipMember(zip, L"grows.log", Handle(grows), 0, Kind::Handle), ZipResult::Ok);
  FailOn(nullptr);
  EXPECT_EQ(AddZipMember(zip, L"sub\\dir", ZipTarget{}, 0, Kind::Folder), ZipResult::Ok);
  EXPECT_EQ(AddZipMember(zip, L"f.gz\\", ZipTarget{}, 0, Kind::Folder), ZipResult::Ok);
  // Suffixes from the last "." of the whole name: stored, or deflated. Names in the ANSI code
  // page (Latin-1 in the sim) of up to 259 bytes.
  for (const std::wstring& name : std::initializer_list<std::wstring>{L"x.ZIP", L"y.Tgz", L"a.tar.gz", L"b.Z", L"c.zoo", L"d.ARC",
       L"e.lzh", L"f.arj", L"x.log", L"g.gzip", L"plain", L"caf\u00E9.txt", std::wstring(259, L'n')}) {
    EXPECT_EQ(AddMemory(zip, name, memory), ZipResult::Ok);
  }
  // Names convert exactly or not at all: a best fit must not turn "／" or "．" into "/" or ".".
  for (const std::wstring& name : std::initializer_list<std::wstring>{L"caf\u00E9 \u03A9.txt", L"a\uFF0F\uFF0E\uFF0E.log",
       std::wstring(260, L'n'), L"", std::wstring(L"a\0b", 3)}) {
    EXPECT_EQ(AddMemory(zip, name, memory), ZipResult::BadArguments);
  }
  EXPECT_EQ(AddZipMember(zip, std::wstring(259, L'n'), ZipTarget{}, 0, Kind::Folder), ZipResult::BadArguments);  // 260 with "/"
  int reads = 0;
  const struct { ZipTarget source; std::uint64_t length; Kind kind; Fault fault; ZipResult result; } refused[] = {
      {Path(in + L"busy.log"), 0, Kind::FileName, {}, ZipResult::CannotOpenFile},  // held open for writing
      {Path(in + L"gone.log"), 0, Kind::FileName, {}, ZipResult::CannotOpenFile},
      {Path(L"C:\\in"), 0, Kind::FileName, {}, ZipResult::CannotOpenFile},
      {Path(L""), 0, Kind::FileName, {}, ZipResult::BadArguments},
      {Handle(kNoFile), 0, Kind::Handle, {}, ZipResult::BadArguments},
      {Handle(4000), 0, Kind::Handle, {}, ZipResult::CannotOpenFile},
      {Memory(nullptr), 4, Kind::Memory, {}, ZipResult::BadArguments},
      {Memory(memory.data()), 0, Kind::Memory, {}, ZipResult::BadArguments},
      {ZipTarget{}, 0, static_cast<Kind>(7), {}, ZipResult::BadArguments},
      {Path(in + L"old.gz"), 0, Kind::FileName, [](FileIoOp op) { return op == FileIoOp::QueryInformation ? 8u : 0u; },
       ZipResult::CannotOpenFile},
      // A read that fails part-way: the member is taken back rather than listed short.
      {Path(in + L"old.gz"), 0, Kind::FileName, [&](FileIoOp op) { return op == FileIoOp::Read && ++reads == 2 ? 23u : 0u; },
       ZipResult::CannotOpenFile},
  };
  for (const auto& r : refused) {
    const std::size_t handles = sim.OpenHandleCount();
    FailOn(r.fault);
    EXPECT_EQ(AddZipMember(zip, L"x.gz", r.source, r.length, r.kind), r.result) << &r - refused;
    EXPECT_EQ(sim.OpenHandleCount(), handles) << &r - refused;
  }
  FailOn(nullptr);
  EXPECT_EQ(AddMemory(zip, L"mem.txt", memory), ZipResult::Ok);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  sim.Close(grows);
  files.ReleaseShare(writer);
  EXPECT_EQ(sim.OpenHandleCount(), 0u);
  std::filesystem::resize_file(Host(in + L"grows.log"), log.size());
  EXPECT_TRUE(Check(L"C:\\a.zip", "123c27cc5c86b018687893ecb3ab5bd10b0fe4fd52a94a6930e3d9c3ec491f0e",
                    {"--count", "24", "logs/app.log=C:\\in\\logs\\app.log", "old.gz=C:\\in\\old.gz", "empty.log=",
                     "locked.txt=C:\\in\\locked.txt", "grows.log=C:\\in\\grows.log", "sub/dir/=", "mem.txt=C:\\in\\locked.txt"}));
}

// Refused outputs say why and leave nothing open; the handle's tag is checked first; an
// archive without members is its 22-byte end record; the writer's own mapping goes with it.
TEST_F(ZipWriterTest, OutputsAndTheirRefusals) {
  const auto on = [](FileIoOp which) { return [which](FileIoOp op) { return op == which ? 8u : 0u; }; };
  const struct { ZipTarget target; std::uint64_t length; Kind kind; Fault fault; ZipResult result; } cases[] = {
      {Path(L"C:\\no\\a.zip"), 0, Kind::FileName, {}, ZipResult::CannotOpenFile},
      {Path(L""), 0, Kind::FileName, {}, ZipResult::BadArguments},
      {Handle(4000), 0, Kind::Handle, {}, ZipResult::CannotDuplicateHandle},
      {Memory(nullptr), 0, Kind::Memory, {}, ZipResult::MemoryTooSmall},
      {Memory(nullptr), 4096, Kind::Memory, on(FileIoOp::CreateMapping), ZipResult::CannotAllocate},
      {Memory(nullptr), 4096, Kind::Memory, on(FileIoOp::MapView), ZipResult::CannotAllocate},
      {ZipTarget{}, 0, Kind::Folder, {}, ZipResult::BadArguments},
  };
  for (const auto& c : cases) {
    FailOn(c.fault);
    ZipResult result = ZipResult::Ok;
    EXPECT_EQ(CreateZipArchive(io, clock, c.target, c.length, c.kind, &result), nullptr);
    EXPECT_EQ(std::make_tuple(result, sim.OpenHandleCount()), std::make_tuple(c.result, 0u)) << &c - cases;
  }
  FailOn(nullptr);
  ZipHandle* zip = CreateZipArchive(io, clock, Path(L"C:\\empty.zip"), 0, Kind::FileName);
  EXPECT_EQ(CloseZipArchive(nullptr), ZipResult::BadArguments);
  zip->tag = 1;
  EXPECT_EQ(AddZipMember(zip, L"a", ZipTarget{}, 0, Kind::Folder), ZipResult::WrongHandleKind);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::WrongHandleKind);
  zip->tag = kZipCreateTag;
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  std::ifstream empty(Host(L"C:\\empty.zip"), std::ios::binary);
  EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(empty), {}),
            (Bytes{0x50, 0x4B, 5, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  zip = CreateZipArchive(io, clock, Memory(nullptr), 1 << 20, Kind::Memory);
  EXPECT_EQ(sim.MappedViewCount(), 1u);
  EXPECT_EQ(AddMemory(zip, L"first.log", SampleLog(10)), ZipResult::Ok);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  EXPECT_EQ(sim.MappedViewCount() + sim.OpenHandleCount(), 0u);
}

// An output that cannot seek gets each member's sizes in a data descriptor after its data;
// sources that are pipes are read to their end, their size unknown or told by the caller. A
// disk-file output handed in after a prefix: every offset counts from the start of the file.
TEST_F(ZipWriterTest, HandleOutputs) {
  const Bytes piped = SampleLog(500);
  Put(L"C:\\in\\app.log", SampleLog(2000));
  Put(L"C:\\in\\old.gz", SampleLog(400));
  Put(L"C:\\in\\piped.log", piped);
  FileHandle readEnd = kNoFile, writeEnd = kNoFile, in = kNoFile, out = kNoFile;
  ASSERT_EQ(sim.MakePipe(&readEnd, &writeEnd), 0u);
  Bytes streamed;
  std::thread drain([&] {
    std::uint8_t buffer[65536];
    std::uint32_t got = 0;
    while (sim.Read(readEnd, buffer, sizeof buffer, &got) == 0 && got > 0) streamed.insert(streamed.end(), buffer, buffer + got);
  });
  ZipHandle* zip = CreateZipArchive(io, clock, Handle(writeEnd), 0, Kind::Handle);
  sim.Close(writeEnd);  // the writer works on its own duplicate
  EXPECT_EQ(AddFile(zip, L"app.log", L"C:\\in\\app.log"), ZipResult::Ok);
  EXPECT_EQ(AddFile(zip, L"old.gz", L"C:\\in\\old.gz"), ZipResult::Ok);
  // A stored member whose size was unknown cannot be described before its data.
  for (const auto& [name, length, result] : {std::tuple{L"piped.log", std::uint64_t{0}, ZipResult::Ok},
                                             {L"told.gz", piped.size(), ZipResult::Ok},
                                             {L"unknown.gz", std::uint64_t{0}, ZipResult::CannotChangeStorage}}) {
    FileHandle source = kNoFile, sourceEnd = kNoFile;
    std::uint32_t written = 0;
    sim.MakePipe(&source, &sourceEnd);
    sim.Write(sourceEnd, piped.data(), static_cast<std::uint32_t>(piped.size()), &written);
    sim.Close(sourceEnd);
    EXPECT_EQ(AddZipMember(zip, name, Handle(source), length, Kind::Handle), result);
    sim.Close(source);
  }
  EXPECT_EQ(AddZipMember(zip, L"folder", ZipTarget{}, 0, Kind::Folder), ZipResult::Ok);
  // A caller's disk-file handle is read from its start, wherever it stands, and stays the caller's.
  ASSERT_EQ(sim.Open(L"C:\\in\\app.log", platform::kAccessRead, platform::kShareRead, platform::kOpenExisting, 0, &in), 0u);
  sim.Seek(in, 100, platform::SeekOrigin::Begin, nullptr);
  EXPECT_EQ(AddZipMember(zip, L"again.log", Handle(in), 0, Kind::Handle), ZipResult::Ok);
  EXPECT_EQ(sim.Close(in), 0u);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  drain.join();
  sim.Close(readEnd);
  Put(L"C:\\pipe.zip", streamed);
  EXPECT_TRUE(Check(L"C:\\pipe.zip", "e5f9d99cb37a7efb3204041f8ee21705d893b5cf5cc72cd6d8596644f26dddbc",
                    {"--count", "6", "app.log=C:\\in\\app.log", "again.log=C:\\in\\app.log", "old.gz=C:\\in\\old.gz",
                     "piped.log=C:\\in\\piped.log", "told.gz=C:\\in\\piped.log"}));

  Put(L"C:\\offset.zip", ToBytes("prefix before the archive\n"));
  ASSERT_EQ(sim.Open(L"C:\\offset.zip", platform::kAccessWrite, 0, platform::kOpenExisting, 0, &out), 0u);
  sim.Seek(out, 0, platform::SeekOrigin::End, nullptr);
  zip = CreateZipArchive(io, clock, Handle(out), 0, Kind::Handle);
  EXPECT_EQ(AddFile(zip, L"app.log", L"C:\\in\\app.log"), ZipResult::Ok);
  EXPECT_EQ(AddFile(zip, L"old.gz", L"C:\\in\\old.gz"), ZipResult::Ok);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  EXPECT_EQ(sim.Close(out), 0u);
  EXPECT_TRUE(Check(L"C:\\offset.zip", "9a0a96e33166dedfff263b2482ba183718372b0f5322e4c404600b9ddf9a738e",
                    {"--count", "2", "app.log=C:\\in\\app.log", "old.gz=C:\\in\\old.gz"}));
}

// After an output fault, or with a memory area full, further members are refused, but the
// members before it stay listed and readable. A read that fails part-way is no output fault:
// its member is taken back, and from a memory area what it left past the end is cleared.
TEST_F(ZipWriterTest, OutputFaultsAreSticky) {
  const Bytes first = SampleLog(100), second = SampleLog(1700);
  Put(L"C:\\first.log", first);
  Put(L"C:\\second.gz", second);
  // The failing call is counted from the start of the second member; no call: a memory area
  // that holds the first member and the directory, not the second.
  const struct { const char* what; FileIoOp failing; int call; ZipResult add; const char* sha256; } cases[] = {
      {"data write", FileIoOp::Write, 3, ZipResult::WriteFailed, "406cdbb75ce0b087130b162f4d2eff5d994be7ddf37ba303c1690794fce76252"},
      {"seek to header", FileIoOp::Seek, 1, ZipResult::SeekFailed, "b886212c4928878acd8bca50c57432e06c2f42a35012f5e862eb4e4116d497f5"},
      {"seek to end", FileIoOp::Seek, 2, ZipResult::SeekFailed, "690b5a5a54c7fb82a32d6f0bdd6dd00ddea444d7a0e3ce56fc6c73fd0b225a88"},
      {"area full", FileIoOp::Write, 0, ZipResult::MemoryTooSmall, "539818ca4c9bc4626e708c81f7526767e73792b69010606c64f76b059174bd32"},
      {"data read", FileIoOp::Read, 2, ZipResult::CannotOpenFile, "f37a44009f743123c9163e4a96c32ed638030946ca5957fd910f765df2d4045d"},
  };
  for (const auto& c : cases) {
    Bytes area(60000, 0xAA);  // within the 64 KiB of trailing bytes that readers search for the end
    const bool sticky = c.failing != FileIoOp::Read, memory = c.call == 0 || !sticky;
    ZipHandle* zip = memory ? CreateZipArchive(io, clock, Memory(area.data()), area.size(), Kind::Memory)
                            : CreateZipArchive(io, clock, Path(L"C:\\sticky.zip"), 0, Kind::FileName);
    ASSERT_EQ(AddMemory(zip, L"first.log", first), ZipResult::Ok);
    int calls = 0;
    FailOn([&](FileIoOp op) { return op == c.failing && ++calls == c.call ? 112u : 0u; });
    EXPECT_EQ(sticky ? AddMemory(zip, L"second.gz", second) : AddFile(zip, L"second.gz", L"C:\\second.gz"), c.add) << c.what;
    FailOn(nullptr);
    EXPECT_EQ(AddMemory(zip, L"third.log", first), sticky ? ZipResult::AlreadyFailed : ZipResult::Ok) << c.what;
    EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok) << c.what;
    if (memory) Put(L"C:\\sticky.zip", area);
    EXPECT_TRUE(Check(L"C:\\sticky.zip", c.sha256, {"--count", sticky ? "1" : "2", "first.log=C:\\first.log"})) << c.what;
  }
  // The area's last byte is never used: 22 bytes do not hold the 22-byte end record.
  Bytes tiny(22, 0);
  EXPECT_EQ(CloseZipArchive(CreateZipArchive(io, clock, Memory(tiny.data()), tiny.size(), Kind::Memory)), ZipResult::WriteFailed);
}

// Beyond the classic limits, ZIP64 exactly where a limit is crossed: a member of more than
// 4 GiB (zero pages in memory), offsets past 4 GiB (a sparse file), the entry count at 65535.
TEST_F(ZipWriterTest, Zip64BeyondTheClassicLimits) {
  const std::uint64_t hugeSize = (1ull << 32) + 65536 + 123;
  void* zeros = ::mmap(nullptr, hugeSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(zeros, MAP_FAILED);
  Put(L"C:\\small.txt", ToBytes("before the big one"));
  Put(L"C:\\after.log", SampleLog(200));
  io.sparse = true;
  ZipHandle* zip = CreateZipArchive(io, clock, Path(L"C:\\big.zip"), 0, Kind::FileName);
  EXPECT_EQ(AddFile(zip, L"small.txt", L"C:\\small.txt"), ZipResult::Ok);
  EXPECT_EQ(AddZipMember(zip, L"zeros.gz", Memory(zeros), hugeSize, Kind::Memory), ZipResult::Ok);
  EXPECT_EQ(AddFile(zip, L"after.log", L"C:\\after.log"), ZipResult::Ok);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  ::munmap(zeros, hugeSize);
  EXPECT_TRUE(Check(L"C:\\big.zip", "fcc1cc2f10eecdbb12141c97efb2d30a687e2896456ab4ebc87f8c3ab65d9bf7",
                    {"--count", "3", "--unzip-skip", "zeros.gz", "small.txt=C:\\small.txt", "after.log=C:\\after.log"}));

  const Bytes one = ToBytes("1");
  for (const auto& [members, sha256] : {std::pair{65534u, "29dc4b5e2b208472e9f662755d22691ea841e4d9fe6a1203c516c9ee439fb501"},
                                        {65535u, "7ee6eb55657080de8d998c472327545237435e9c65c1686ecf0919bd1832c33d"},
                                        {65536u, "bd02cb4f29ef859e26cafc4341dd596e7cf4dba4daf61729025ff7e61dd0c060"}}) {
    Bytes area(10 << 20, 0);  // in memory: the count is the point here, not the file calls
    zip = CreateZipArchive(io, clock, Memory(area.data()), area.size(), Kind::Memory);
    for (std::uint32_t i = 0; i < members; ++i) {
      ASSERT_EQ(AddMemory(zip, L"d" + std::to_wstring(i / 1000) + L"\\m" + std::to_wstring(i) + L".gz", one), ZipResult::Ok);
    }
    ASSERT_EQ(CloseZipArchive(zip), ZipResult::Ok);
    area.resize(std::string_view(reinterpret_cast<const char*>(area.data()), area.size()).rfind("PK\x05\x06") + 22);
    Put(L"C:\\many.zip", area);
    EXPECT_TRUE(Check(L"C:\\many.zip", sha256, {"--count", std::to_string(members)})) << members;
  }
}

}  // namespace
}  // namespace ov::zip
