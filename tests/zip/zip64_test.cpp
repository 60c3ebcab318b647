// Beyond the classic limits: a member of more than 4 GiB, offsets past 4 GiB, 65535 and more
// members. The gigabytes are zero pages in memory and holes in sparse files.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "tests/zip/zip_native_support.h"
#include "zip/zip_writer.h"

namespace ov::zip::test {
namespace {

using platform::ErrorCode;
using platform::FileHandle;
using Kind = ZipSourceKind;
constexpr std::uint64_t kFourGiB = 1ull << 32;

// The sim's file calls, except that a transfer buffer of nothing but zeros skips ahead, so a
// multi-gigabyte archive of zeros occupies only its headers.
class SparseWritingIo final : public platform::FileIo {
 public:
  explicit SparseWritingIo(FileIo& inner) : m(inner) {}

  ErrorCode Write(FileHandle h, const void* buffer, std::uint32_t size, std::uint32_t* written) override {
    static const std::uint8_t zeros[16384] = {};
    if (size != sizeof zeros || std::memcmp(buffer, zeros, size) != 0) return m.Write(h, buffer, size, written);
    *written = size;
    return m.Seek(h, size, platform::SeekOrigin::Current, nullptr);
  }
  ErrorCode QueryInformation(FileHandle h, platform::FileInformation* i) override { return m.QueryInformation(h, i); }
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
  FileIo& m;
};

// A large archive file for the parser: mapped, so only the pages of its headers are read.
class FileBytes : public View {
 public:
  explicit FileBytes(const std::string& path) : View{nullptr, std::filesystem::file_size(path)} {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    data = static_cast<const std::uint8_t*>(::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0));
    ::close(fd);
  }
  ~FileBytes() { ::munmap(const_cast<std::uint8_t*>(data), size); }
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;
};

ZipTarget Path(const std::wstring& p) { return ZipTarget{p, platform::kNoFile, nullptr}; }

TEST(Zip64Test, MemberAndOffsetsBeyondFourGiB) {
  SimMachine m("/dev/shm");
  SparseWritingIo io(m.io);
  const std::uint64_t hugeSize = kFourGiB + 65536 + 123;
  // Zero pages that cost no memory, because nothing ever writes them.
  void* zeros = ::mmap(nullptr, hugeSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(zeros, MAP_FAILED);
  m.Put(L"C:\\small.txt", ToBytes("before the big one"));
  m.Put(L"C:\\after.log", SampleLog(200));
  ZipHandle* zip = CreateZipArchive(io, m.clock, Path(L"C:\\big.zip"), 0, Kind::FileName);
  ASSERT_EQ(AddZipMember(zip, L"small.txt", Path(L"C:\\small.txt"), 0, Kind::FileName), ZipResult::Ok);
  ASSERT_EQ(AddZipMember(zip, L"zeros.gz", ZipTarget{L"", platform::kNoFile, zeros}, hugeSize, Kind::Memory), ZipResult::Ok);
  ASSERT_EQ(AddZipMember(zip, L"after.log", Path(L"C:\\after.log"), 0, Kind::FileName), ZipResult::Ok);
  ASSERT_EQ(CloseZipArchive(zip), ZipResult::Ok);
  ::munmap(zeros, hugeSize);

  const std::string archive = m.Host(L"C:\\big.zip");
  const FileBytes bytes(archive);
  const ParsedZip z = ParseZip(bytes);
  ASSERT_EQ(z.error, "");
  ASSERT_EQ(z.central.size(), 3u);
  const ZipHeader &first = z.central[0], &huge = z.central[1], &last = z.central[2], &hugeLocal = z.local[1];
  // Within the limits nothing changes: version 20, the timestamp as the only extra field.
  EXPECT_EQ(std::make_tuple(first.version, first.extra.size(), first.localOffset, z.local[0].version, z.local[0].extra.size()),
            std::make_tuple(20u, 9u, 0u, 20u, 17u));
  // The big member: both sizes in 64 bits in both headers, the marker in the classic fields.
  EXPECT_EQ(std::make_tuple(huge.version, huge.compressedSize, huge.uncompressedSize, huge.realCompressed,
                            huge.realUncompressed, huge.crc),
            std::make_tuple(45u, 0xFFFFFFFFu, 0xFFFFFFFFu, hugeSize, hugeSize, 0xF26E99CBu));
  EXPECT_EQ(std::make_tuple(hugeLocal.version, hugeLocal.flags, hugeLocal.compressedSize, hugeLocal.uncompressedSize),
            std::make_tuple(45u, 0u, 0xFFFFFFFFu, 0xFFFFFFFFu));
  const auto local64 = FindExtra(hugeLocal.extra, 0x0001);
  ASSERT_TRUE(local64 && local64->size() == 16u);
  EXPECT_EQ(std::make_tuple(Le(*local64, 0, 8), Le(*local64, 8, 8)), std::make_tuple(hugeSize, hugeSize));
  EXPECT_TRUE(FindExtra(hugeLocal.extra, 0x5455).has_value());
  // The member after it: small sizes, only its offset in 64 bits (centrally; locally classic).
  EXPECT_EQ(std::make_tuple(last.version, last.localOffset, last.extra.size(), z.local[2].version, z.local[2].extra.size()),
            std::make_tuple(45u, 0xFFFFFFFFu, 21u, 20u, 17u));
  EXPECT_GT(last.realLocalOffset, kFourGiB);
  // The directory lies past 4 GiB: ZIP64 end record and locator before the classic record.
  const ZipEnd& e = z.end;
  EXPECT_EQ(std::make_tuple(e.zip64, e.centralOffset, e.entries, e.entries64, e.zip64Version, e.centralOffset64),
            std::make_tuple(true, 0xFFFFFFFFu, 3u, 3u, 45u, first.offset));
  EXPECT_EQ(std::make_tuple(e.zip64EndOffset, e.offset), std::make_tuple(first.offset + e.centralSize64, e.zip64EndOffset + 76));
  EXPECT_TRUE(ReadersAccept(archive, {"--count", "3", "--unzip-skip", "zeros.gz", "small.txt=" + m.Host(L"C:\\small.txt"),
                                      "after.log=" + m.Host(L"C:\\after.log")}));
}

// The entry count moves to the ZIP64 records at 65535, the classic field's marker value;
// sizes and offsets stay classic.
TEST(Zip64Test, ManyMembers) {
  SimMachine m;
  const Bytes one = ToBytes("1");
  for (const std::uint32_t members : {65534u, 65535u, 65536u}) {
    Bytes area(10 << 20, 0);  // in memory: the count is the point here, not the file calls
    ZipHandle* zip = CreateZipArchive(m.io, m.clock, ZipTarget{L"", platform::kNoFile, area.data()}, area.size(), Kind::Memory);
    for (std::uint32_t i = 0; i < members; ++i) {
      const std::wstring name = L"d" + std::to_wstring(i / 1000) + L"\\m" + std::to_wstring(i) + L".gz";
      ASSERT_EQ(AddZipMember(zip, name, ZipTarget{L"", platform::kNoFile, one.data()}, 1, Kind::Memory), ZipResult::Ok);
    }
    ASSERT_EQ(CloseZipArchive(zip), ZipResult::Ok);
    area.resize(std::string_view(reinterpret_cast<const char*>(area.data()), area.size()).rfind("PK\x05\x06") + 22);
    const ParsedZip z = ParseZip(area);
    ASSERT_EQ(z.error, "");
    const std::uint64_t classic = std::min(members, 65535u), zip64 = members >= 65535 ? members : 0;
    EXPECT_EQ(std::make_tuple(z.central.size(), z.end.zip64, z.end.entries, z.end.entriesHere, z.end.entries64,
                              z.central.back().extra.size()),
              std::make_tuple(std::size_t{members}, zip64 != 0, classic, classic, zip64, 9u)) << members;
    if (members == 65536) {
      m.Put(L"C:\\many.zip", area);
      EXPECT_TRUE(ReadersAccept(m.Host(L"C:\\many.zip"), {"--count", "65536"}));
    }
  }
}

}  // namespace
}  // namespace ov::zip::test
