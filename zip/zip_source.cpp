// Members' sources: files, handles, memory and folders, their attributes and times, and the reader.
#include "zip/zip_source.h"

#include <algorithm>
#include <cstring>

#include "zip/crc32.h"

namespace ov::zip {

namespace {

using platform::CalendarTime;
using platform::kNoFile;
using platform::kSuccess;

constexpr std::uint32_t kAttributesNotDisk = 0x80000000u;
constexpr std::uint32_t kAttributesFolder = 0x41C00010u;

// MS-DOS date in the high half, time (2-second steps) in the low half. The format starts in
// 1980 and ends in 2107; times outside are held at its first and last instant.
std::uint32_t DosTimestamp(const CalendarTime& t) {
  if (t.year < 1980) return (0u << 9 | 1u << 5 | 1u) << 16;
  if (t.year > 2107) return (127u << 9 | 12u << 5 | 31u) << 16 | (23u << 11 | 59u << 5 | 29u);
  const auto date = static_cast<std::uint32_t>((t.year - 1980) << 9 | t.month << 5 | t.day);
  const auto time = static_cast<std::uint32_t>(t.hour << 11 | t.minute << 5 | t.second / 2);
  return date << 16 | time;
}

// Seconds since 1970 UTC of a local calendar time, its date held within 1970..2037 so that
// the 32-bit field of the extended timestamp cannot overflow; the time of day is kept.
std::uint32_t ExtendedSeconds(platform::Clock& clock, CalendarTime t) {
  if (t.year < 1970) {
    t.year = 1970;
    t.month = 1;
    t.day = 1;
  } else if (t.year >= 2038) {
    t.year = 2037;
    t.month = 12;
    t.day = 31;
  }
  std::int64_t seconds = 0;
  if (!clock.LocalToUnixSeconds(t, &seconds)) seconds = 0;
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(seconds));
}

CalendarTime LocalCalendar(platform::Clock& clock, std::uint64_t fileTime) {
  CalendarTime local;
  if (!clock.UtcToLocal(fileTime, &local)) local = CalendarTime{};
  return local;
}

// What is not a disk file has no times of its own: it is dated now.
void TakeCurrentTime(ZipArchive& zip) {
  const CalendarTime now = zip.clock->CurrentLocalTime();
  zip.member.dosTimestamp = DosTimestamp(now);
  const std::uint32_t seconds = ExtendedSeconds(*zip.clock, now);
  zip.member.modificationTime = seconds;
  zip.member.accessTime = seconds;
  zip.member.creationTime = seconds;
}

// Reads what the header needs from an open handle: a disk file gives its attributes, size and
// times and is read from its start; anything else is read from where it stands.
ZipResult ReadSourceDetails(ZipArchive& zip, std::uint64_t length) {
  platform::FileIo& io = *zip.io;
  MemberState& member = zip.member;
  platform::FileType type = platform::FileType::Unknown;
  if (io.QueryType(member.source, &type) != kSuccess) return ZipResult::CannotOpenFile;
  if (type != platform::FileType::Disk) {
    member.externalAttributes = kAttributesNotDisk;
    member.declaredSize = length == 0 || length > static_cast<std::uint64_t>(INT64_MAX) ? -1 : static_cast<std::int64_t>(length);
    TakeCurrentTime(zip);
    return ZipResult::Ok;
  }
  platform::FileInformation info;
  if (io.QueryInformation(member.source, &info) != kSuccess) return ZipResult::CannotOpenFile;
  if (io.Seek(member.source, 0, platform::SeekOrigin::Begin, nullptr) != kSuccess) return ZipResult::CannotOpenFile;
  constexpr std::uint32_t kDosBits = platform::kAttributeReadOnly | platform::kAttributeHidden |
                                     platform::kAttributeSystem | platform::kAttributeDirectory |
                                     platform::kAttributeArchive;
  const bool directory = (info.attributes & platform::kAttributeDirectory) != 0;
  const bool readOnly = (info.attributes & platform::kAttributeReadOnly) != 0;
  // The high half is a Unix mode for readers that restore one: file or directory, owner may
  // read, and write unless the file is read-only. Executables are not told apart.
  std::uint32_t mode = (directory ? 0x4000u : 0x8000u) | 0x0100u;
  if (!readOnly) mode |= 0x0080u;
  member.externalAttributes = mode << 16 | (info.attributes & kDosBits);
  member.declaredSize = static_cast<std::int64_t>(std::min<std::uint64_t>(info.size, INT64_MAX));
  member.readLimit = info.size;
  platform::Clock& clock = *zip.clock;
  const CalendarTime written = LocalCalendar(clock, info.lastWriteTime);
  member.dosTimestamp = DosTimestamp(written);
  member.modificationTime = ExtendedSeconds(clock, written);
  member.accessTime = ExtendedSeconds(clock, LocalCalendar(clock, info.lastAccessTime));
  member.creationTime = ExtendedSeconds(clock, LocalCalendar(clock, info.creationTime));
  return ZipResult::Ok;
}

}  // namespace

ZipResult OpenSource(ZipArchive& zip, const ZipTarget& source, std::uint64_t length, ZipSourceKind kind) {
  MemberState& member = zip.member;
  switch (kind) {
    case ZipSourceKind::FileName:
      if (source.path.empty()) return ZipResult::BadArguments;
      if (zip.io->Open(source.path, platform::kAccessRead, platform::kShareRead, platform::kOpenExisting,
                       platform::kAttributeNormal, &member.source) != kSuccess) {
        return ZipResult::CannotOpenFile;
      }
      member.closeSource = true;
      return ReadSourceDetails(zip, length);
    case ZipSourceKind::Handle:
      if (source.handle == kNoFile) return ZipResult::BadArguments;
      member.source = source.handle;
      return ReadSourceDetails(zip, length);
    case ZipSourceKind::Memory:
      if (source.memory == nullptr || length == 0) return ZipResult::BadArguments;
      member.memorySource = static_cast<const std::uint8_t*>(source.memory);
      member.memorySourceLength = length;
      member.declaredSize = static_cast<std::int64_t>(std::min<std::uint64_t>(length, INT64_MAX));
      member.externalAttributes = kAttributesNotDisk;
      TakeCurrentTime(zip);
      return ZipResult::Ok;
    case ZipSourceKind::Folder:
      member.externalAttributes = kAttributesFolder;
      member.declaredSize = 0;
      TakeCurrentTime(zip);
      return ZipResult::Ok;
    default:
      return ZipResult::BadArguments;
  }
}

std::uint32_t ReadMemberData(ZipArchive& zip, std::uint8_t* buffer, std::uint32_t size) {
  MemberState& member = zip.member;
  std::uint32_t got = 0;
  if (member.memorySource != nullptr) {
    got = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, member.memorySourceLength - member.memorySourcePosition));
    std::memcpy(buffer, member.memorySource + member.memorySourcePosition, got);
    member.memorySourcePosition += got;
  } else if (member.source != kNoFile) {
    size = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, member.readLimit - member.bytesRead));
    const platform::ErrorCode error = size == 0 ? kSuccess : zip.io->Read(member.source, buffer, size, &got);
    if (error != kSuccess) {
      // A pipe's writer closing its end is how a pipe ends; anything else loses data.
      if (error != platform::kErrorBrokenPipe) member.readFailed = true;
      got = 0;
    }
  } else {
    zip.SetSticky(ZipResult::NotInitialised);
    return 0;
  }
  member.bytesRead += got;
  member.crc = Crc32Update(member.crc, buffer, got);
  return got;
}

OwnedSourceCloser::~OwnedSourceCloser() {
  MemberState& member = m_zip.member;
  if (member.closeSource && member.source != kNoFile) m_zip.io->Close(member.source);
  member.closeSource = false;
  member.source = kNoFile;
}

}  // namespace ov::zip
