// Beyond the classic limits: a member of more than 4 GiB, offsets past 4 GiB, 65535 and more
// members. The gigabytes are zero pages in memory and holes in a sparse archive file.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <fcntl.h>

#include "tests/zip/zip_native_support.h"
#include "tests/zip/zip_parse.h"
#include "zip/zip_writer.h"

namespace ov::zip::test {
namespace {

using platform::ErrorCode;
using platform::FileHandle;
using platform::FileIo;

constexpr std::uint64_t kFourGiB = 1ull << 32;

// The sim's file calls, except that a write of nothing but zeros skips ahead instead, so a
// multi-gigabyte archive of zeros occupies only its headers on disk.
class SparseWritingIo final : public FileIo {
 public:
  explicit SparseWritingIo(FileIo& inner) : m_inner(inner) {}
  ErrorCode Write(FileHandle h, const void* buffer, std::uint32_t size, std::uint32_t* written) override {
    static const std::uint8_t zeros[16384] = {};
    if (size == sizeof zeros && std::memcmp(buffer, zeros, size) == 0) {
      *written = size;
      return m_inner.Seek(h, size, platform::SeekOrigin::Current, nullptr);
    }
    return m_inner.Write(h, buffer, size, written);
  }
  ErrorCode Open(const std::wstring& p, std::uint32_t a, std::uint32_t s, std::uint32_t d, std::uint32_t t,
                 FileHandle* h) override {
    return m_inner.Open(p, a, s, d, t, h);
  }
  ErrorCode Close(FileHandle h) override { return m_inner.Close(h); }
  ErrorCode Read(FileHandle h, void* b, std::uint32_t n, std::uint32_t* r) override { return m_inner.Read(h, b, n, r); }
  ErrorCode Seek(FileHandle h, std::int64_t d, platform::SeekOrigin o, std::uint64_t* p) override {
    return m_inner.Seek(h, d, o, p);
  }
  ErrorCode TruncateAtPosition(FileHandle h) override { return m_inner.TruncateAtPosition(h); }
  ErrorCode Duplicate(FileHandle h, FileHandle* d) override { return m_inner.Duplicate(h, d); }
  ErrorCode QueryType(FileHandle h, platform::FileType* t) override { return m_inner.QueryType(h, t); }
  ErrorCode QueryInformation(FileHandle h, platform::FileInformation* i) override {
    return m_inner.QueryInformation(h, i);
  }
  ErrorCode MakePipe(FileHandle* r, FileHandle* w) override { return m_inner.MakePipe(r, w); }
  ErrorCode CreateAnonymousMapping(std::uint64_t s, FileHandle* m) override {
    return m_inner.CreateAnonymousMapping(s, m);
  }
  ErrorCode MapView(FileHandle m, std::uint64_t s, void** v) override { return m_inner.MapView(m, s, v); }
  ErrorCode UnmapView(void* v) override { return m_inner.UnmapView(v); }
  void RefreshTimeZone() override { m_inner.RefreshTimeZone(); }
  platform::CalendarTime CurrentLocalTime() override { return m_inner.CurrentLocalTime(); }
  bool UtcToLocal(std::uint64_t t, platform::CalendarTime* l) override { return m_inner.UtcToLocal(t, l); }
  bool LocalToUnixSeconds(const platform::CalendarTime& l, std::int64_t* s) override {
    return m_inner.LocalToUnixSeconds(l, s);
  }

 private:
  FileIo& m_inner;
};

// Reads a large archive file a block at a time, for the parser.
class FileBytes {
 public:
  explicit FileBytes(const std::string& path) : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~FileBytes() { ::close(m_fd); }
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;
  std::uint64_t size() const { return static_cast<std::uint64_t>(::lseek(m_fd, 0, SEEK_END)); }
  std::uint8_t operator[](std::uint64_t at) const {
    const std::uint64_t block = at / sizeof m_block;
    if (block != m_cached) {
      m_cached = block;
      std::memset(m_block, 0, sizeof m_block);
      (void)::pread(m_fd, m_block, sizeof m_block, static_cast<off_t>(block * sizeof m_block));
    }
    return m_block[at % sizeof m_block];
  }

 private:
  int m_fd;
  mutable std::uint64_t m_cached = ~0ull;
  mutable std::uint8_t m_block[65536] {};
};

// Zero pages that cost no memory until written, which they never are.
class ZeroBlock {
 public:
  explicit ZeroBlock(std::uint64_t size)
      : m_size(size),
        m_data(::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0)) {}
  ~ZeroBlock() { ::munmap(m_data, m_size); }
  ZeroBlock(const ZeroBlock&) = delete;
  ZeroBlock& operator=(const ZeroBlock&) = delete;
  const void* data() const { return m_data; }

 private:
  std::uint64_t m_size;
  void* m_data;
};

ZipTarget Path(const std::wstring& p) { return ZipTarget{p, platform::kNoFile, nullptr}; }
ZipTarget Memory(const void* m) { return ZipTarget{L"", platform::kNoFile, m}; }

TEST(Zip64Test, MemberAndOffsetsBeyondFourGiB) {
  SimMachine m;
  SparseWritingIo io(m.io);
  const std::uint64_t hugeSize = kFourGiB + 65536 + 123;
  ZeroBlock zeros(hugeSize);
  const Bytes after = SampleLog(200);
  const Bytes small = ToBytes("before the big one");
  m.Put(L"C:\\after.log", after);
  m.Put(L"C:\\small.txt", small);

  ZipHandle* zip = CreateZipArchive(io, Path(L"C:\\big.zip"), 0, ZipSourceKind::FileName);
  ASSERT_NE(zip, nullptr);
  ASSERT_EQ(AddZipMember(zip, L"small.txt", Path(L"C:\\small.txt"), 0, ZipSourceKind::FileName), ZipResult::Ok);
  ASSERT_EQ(AddZipMember(zip, L"zeros.gz", Memory(zeros.data()), hugeSize, ZipSourceKind::Memory), ZipResult::Ok);
  ASSERT_EQ(AddZipMember(zip, L"after.log", Path(L"C:\\after.log"), 0, ZipSourceKind::FileName), ZipResult::Ok);
  ASSERT_EQ(CloseZipArchive(zip), ZipResult::Ok);

  const std::string archive = m.Host(L"C:\\big.zip");
  const FileBytes bytes(archive);
  const ParsedZip z = ParseZipFrom(bytes);
  ASSERT_EQ(z.error, "");
  ASSERT_EQ(z.central.size(), 3u);
  const ZipCentral& first = z.central[0];
  const ZipCentral& huge = z.central[1];
  const ZipCentral& last = z.central[2];
  // Within the limits nothing changes: no ZIP64 field, version 20.
  EXPECT_EQ(first.version, 20);
  EXPECT_EQ(first.extraLength, 9);
  EXPECT_EQ(z.local[0].extraLength, 17);
  // The big member: both sizes in 64 bits in both headers, the marker in the classic fields.
  EXPECT_EQ(huge.version, 45);
  EXPECT_EQ(huge.compressedSize, 0xFFFFFFFFu);
  EXPECT_EQ(huge.uncompressedSize, 0xFFFFFFFFu);
  EXPECT_EQ(huge.realUncompressed, hugeSize);
  EXPECT_EQ(huge.realCompressed, hugeSize);
  EXPECT_EQ(huge.localOffset, z.local[1].offset);
  EXPECT_EQ(huge.crc, 0xF26E99CBu) << "CRC-32 of 4 GiB + 65659 zero bytes";
  const ZipLocal& hugeLocal = z.local[1];
  EXPECT_EQ(hugeLocal.version, 45);
  EXPECT_EQ(hugeLocal.flags, 0x0000);
  EXPECT_EQ(hugeLocal.compressedSize, 0xFFFFFFFFu);
  const auto local64 = FindExtra(hugeLocal.extra, 0x0001);
  ASSERT_TRUE(local64.has_value());
  ASSERT_EQ(local64->size(), 16u);
  EXPECT_EQ(LittleEndian(*local64, 0, 8), hugeSize);
  EXPECT_EQ(LittleEndian(*local64, 8, 8), hugeSize);
  EXPECT_TRUE(FindExtra(hugeLocal.extra, 0x5455).has_value());
  // The member after it: small sizes, only its offset in 64 bits.
  EXPECT_EQ(last.version, 45);
  EXPECT_EQ(last.localOffset, 0xFFFFFFFFu);
  EXPECT_GT(last.realLocalOffset, kFourGiB);
  EXPECT_EQ(last.realUncompressed, after.size());
  EXPECT_EQ(z.local[2].version, 20);
  EXPECT_EQ(z.local[2].extraLength, 17);
  // The directory lies past 4 GiB: ZIP64 end record and locator before the classic record.
  EXPECT_TRUE(z.end.zip64);
  EXPECT_EQ(z.end.centralOffset, 0xFFFFFFFFu);
  EXPECT_EQ(z.end.entries, 3);
  EXPECT_EQ(z.end.entries64, 3u);
  EXPECT_EQ(z.end.zip64Version, 45);
  EXPECT_EQ(z.end.centralOffset64, z.central[0].offset);
  EXPECT_EQ(z.end.zip64EndOffset, z.central[0].offset + z.end.centralSize64);
  EXPECT_EQ(z.end.offset, z.end.zip64EndOffset + 56 + 20);

  EXPECT_TRUE(ReadersAccept(archive, {"--count", "3", "--unzip-skip", "zeros.gz", "small.txt=" + m.Host(L"C:\\small.txt"),
                                      "after.log=" + m.Host(L"C:\\after.log")}));
}

// A source whose size was not known when its header went out cannot grow past 4 GiB into a
// silently truncated size: it is refused and taken back, and the archive stays sound.
TEST(Zip64Test, UndeclaredGrowthPastFourGiBIsRefused) {
  SimMachine m;
  SparseWritingIo io(m.io);
  const Bytes small = ToBytes("kept");
  m.Put(L"C:\\small.txt", small);
  ZipHandle* zip = CreateZipArchive(io, Path(L"C:\\grow.zip"), 0, ZipSourceKind::FileName);
  ASSERT_NE(zip, nullptr);
  FileHandle readEnd = platform::kNoFile, writeEnd = platform::kNoFile;
  ASSERT_EQ(m.io.MakePipe(&readEnd, &writeEnd), 0u);
  std::thread feeder([&] {
    const Bytes chunk(1 << 20, 0);
    std::uint32_t written = 0;
    for (std::uint64_t sent = 0; sent < kFourGiB + (1 << 20); sent += chunk.size()) {
      if (m.io.Write(writeEnd, chunk.data(), static_cast<std::uint32_t>(chunk.size()), &written) != 0) break;
    }
    m.io.Close(writeEnd);
  });
  EXPECT_EQ(AddZipMember(zip, L"stream.gz", ZipTarget{L"", readEnd, nullptr}, 0, ZipSourceKind::Handle),
            ZipResult::WriteFailed);
  feeder.join();
  m.io.Close(readEnd);
  EXPECT_EQ(AddZipMember(zip, L"small.txt", Path(L"C:\\small.txt"), 0, ZipSourceKind::FileName), ZipResult::Ok);
  ASSERT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  const std::string archive = m.Host(L"C:\\grow.zip");
  const FileBytes bytes(archive);
  const ParsedZip z = ParseZipFrom(bytes);
  ASSERT_EQ(z.error, "");
  ASSERT_EQ(z.central.size(), 1u);
  EXPECT_EQ(z.central[0].localOffset, 0u);
  EXPECT_EQ(bytes.size(), z.end.offset + 22);
  EXPECT_TRUE(ReadersAccept(archive, {"--count", "1", "small.txt=" + m.Host(L"C:\\small.txt")}));
}

// The entry count switches to the ZIP64 records at 65535, the classic field's marker value.
TEST(Zip64Test, ManyMembers) {
  SimMachine m;
  const Bytes one = ToBytes("1");
  const struct {
    std::uint32_t members;
    bool zip64;
    bool readers;
  } cases[] = {{65534, false, false}, {65535, true, false}, {65536, true, true}};
  for (const auto& c : cases) {
    // Written to memory: the count is the point here, not the file calls.
    Bytes area(10 << 20, 0);
    ZipHandle* zip = CreateZipArchive(m.io, Memory(area.data()), area.size(), ZipSourceKind::Memory);
    ASSERT_NE(zip, nullptr);
    for (std::uint32_t i = 0; i < c.members; ++i) {
      const std::wstring member = L"d" + std::to_wstring(i / 1000) + L"\\m" + std::to_wstring(i) + L".gz";
      ASSERT_EQ(AddZipMember(zip, member, Memory(one.data()), one.size(), ZipSourceKind::Memory), ZipResult::Ok);
    }
    ASSERT_EQ(CloseZipArchive(zip), ZipResult::Ok);
    const std::string_view written(reinterpret_cast<const char*>(area.data()), area.size());
    const std::size_t end = written.rfind(std::string_view("PK\x05\x06", 4));
    ASSERT_NE(end, std::string_view::npos);
    area.resize(end + 22);
    const std::wstring name = L"C:\\many" + std::to_wstring(c.members) + L".zip";
    m.Put(name, area);
    const ParsedZip z = ParseZip(area);
    ASSERT_EQ(z.error, "");
    EXPECT_EQ(z.central.size(), c.members);
    EXPECT_EQ(z.end.zip64, c.zip64) << c.members;
    EXPECT_EQ(z.end.entries, std::min<std::uint32_t>(c.members, 0xFFFF));
    EXPECT_EQ(z.end.entriesHere, z.end.entries);
    if (c.zip64) {
      EXPECT_EQ(z.end.entries64, c.members);
    }
    // Sizes and offsets stay small: the central headers carry no ZIP64 field.
    EXPECT_EQ(z.central.back().extraLength, 9);
    if (c.readers) {
      EXPECT_TRUE(ReadersAccept(m.Host(name), {"--count", std::to_string(c.members)})) << c.members;
    }
  }
}

}  // namespace
}  // namespace ov::zip::test
