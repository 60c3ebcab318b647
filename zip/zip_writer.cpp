// The ZIP container: local headers, member data, central directory and end records.
#include "zip/zip_writer.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

#include "platform/text.h"
#include "zip/crc32.h"
#include "zip/deflate.h"
#include "zip/zip_archive.h"

namespace ov::zip {

namespace {

using platform::CalendarTime;
using platform::ErrorCode;
using platform::FileHandle;
using platform::kNoFile;
using platform::kSuccess;

constexpr std::uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr std::uint32_t kDataDescriptorSignature = 0x08074B50;
constexpr std::uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr std::uint32_t kEndOfCentralDirectorySignature = 0x06054B50;
constexpr std::uint32_t kZip64EndSignature = 0x06064B50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr std::uint16_t kExtendedTimestampId = 0x5455;
constexpr std::uint16_t kZip64ExtraId = 0x0001;
constexpr std::uint8_t kAllThreeTimes = 0x07;
constexpr std::uint16_t kVersionNeeded = 20;
constexpr std::uint16_t kVersionNeededZip64 = 45;
constexpr std::uint16_t kMethodStored = 0;
constexpr std::uint16_t kMethodDeflated = 8;
constexpr std::size_t kMaxNameBytes = 259;
constexpr std::uint32_t kLocalTimestampSize = 17;
constexpr std::uint32_t kCentralTimestampSize = 9;

// Values at or above these do not fit their classic fields; 0xFFFFFFFF and 0xFFFF themselves
// are the format's markers for "look in the ZIP64 records", so they count as too large.
constexpr std::uint64_t kMax32 = 0xFFFFFFFFu;
constexpr std::uint64_t kMaxEntries16 = 0xFFFFu;

constexpr std::uint32_t kAttributesNotDisk = 0x80000000u;
constexpr std::uint32_t kAttributesFolder = 0x41C00010u;

// Little-endian header bytes, gathered before they go out in one write.
class HeaderBytes {
 public:
  HeaderBytes() { m_bytes.reserve(128); }
  void U8(std::uint8_t v) { m_bytes.push_back(v); }
  void U16(std::uint32_t v) {
    U8(static_cast<std::uint8_t>(v));
    U8(static_cast<std::uint8_t>(v >> 8));
  }
  void U32(std::uint32_t v) {
    U16(v & 0xFFFFu);
    U16(v >> 16);
  }
  void U64(std::uint64_t v) {
    U32(static_cast<std::uint32_t>(v));
    U32(static_cast<std::uint32_t>(v >> 32));
  }
  void Bytes(const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    m_bytes.insert(m_bytes.end(), p, p + size);
  }
  const std::uint8_t* data() const { return m_bytes.data(); }
  std::uint32_t size() const { return static_cast<std::uint32_t>(m_bytes.size()); }

 private:
  std::vector<std::uint8_t> m_bytes;
};

std::uint32_t Clamp32(std::uint64_t v) { return v >= kMax32 ? static_cast<std::uint32_t>(kMax32) : static_cast<std::uint32_t>(v); }

void SetSticky(ZipArchive& zip, ZipResult error) {
  if (zip.stickyError == ZipResult::Ok) zip.stickyError = error;
}

// Writes at the output's current position without counting; the header rewrite uses it
// directly, everything else through AppendOutput.
std::uint32_t WriteOutput(ZipArchive& zip, const void* data, std::uint32_t size) {
  if (zip.memory != nullptr) {
    // The last byte of the area is never used.
    if (zip.memoryPosition + size < zip.memorySize) {
      if (size > 0) std::memcpy(zip.memory + zip.memoryPosition, data, size);
      zip.memoryPosition += size;
      return size;
    }
    SetSticky(zip, ZipResult::MemoryTooSmall);
    return 0;
  }
  if (zip.output == kNoFile) {
    SetSticky(zip, ZipResult::NotInitialised);
    return 0;
  }
  std::uint32_t written = 0;
  const ErrorCode error = zip.io->Write(zip.output, data, size, &written);
  // After a failed or short write the output's end is no longer where the counts say, so no
  // further member may be placed after it.
  if (error != kSuccess || written != size) SetSticky(zip, ZipResult::WriteFailed);
  return written;
}

bool SeekOutput(ZipArchive& zip, std::uint64_t target) {
  if (!zip.outputSeekable) {
    SetSticky(zip, ZipResult::SeekFailed);
    return false;
  }
  if (zip.memory != nullptr) {
    if (target >= zip.memorySize) {
      SetSticky(zip, ZipResult::MemoryTooSmall);
      return false;
    }
    zip.memoryPosition = target;
    return true;
  }
  if (zip.output == kNoFile) {
    SetSticky(zip, ZipResult::NotInitialised);
    return false;
  }
  const std::uint64_t position = zip.outputOffset + target;
  if (position > static_cast<std::uint64_t>(INT64_MAX) ||
      zip.io->Seek(zip.output, static_cast<std::int64_t>(position), platform::SeekOrigin::Begin, nullptr) !=
          kSuccess) {
    SetSticky(zip, ZipResult::SeekFailed);
    return false;
  }
  return true;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// Members whose names say they are compressed already are stored; Deflate would only add
// its block overhead. The suffix runs from the last "." of the whole name.
bool HasStoredSuffix(const std::string& name) {
  const auto dot = name.find_last_of('.');
  if (dot == std::string::npos) return false;
  const std::string_view suffix = std::string_view(name).substr(dot);
  for (std::string_view stored : {".Z", ".zip", ".zoo", ".arc", ".lzh", ".arj", ".gz", ".tgz"}) {
    if (EqualsIgnoringCase(suffix, stored)) return true;
  }
  return false;
}

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

void TakeCurrentTime(ZipArchive& zip) {
  const CalendarTime now = zip.clock->CurrentLocalTime();
  zip.memberDosTimestamp = DosTimestamp(now);
  const std::uint32_t seconds = ExtendedSeconds(*zip.clock, now);
  zip.memberModificationTime = seconds;
  zip.memberAccessTime = seconds;
  zip.memberCreationTime = seconds;
}

void CloseOwnedSource(ZipArchive& zip) {
  if (zip.closeSource && zip.memberSource != kNoFile) zip.io->Close(zip.memberSource);
  zip.closeSource = false;
  zip.memberSource = kNoFile;
}

// Reads what the header needs from an open handle: a disk file gives its attributes, size and
// times and is read from its start; anything else is read from where it stands.
ZipResult ReadSourceDetails(ZipArchive& zip, FileHandle source, std::uint64_t length) {
  platform::FileIo& io = *zip.io;
  platform::FileType type = platform::FileType::Unknown;
  if (io.QueryType(source, &type) != kSuccess) return ZipResult::CannotOpenFile;
  if (type != platform::FileType::Disk) {
    zip.memberExternalAttributes = kAttributesNotDisk;
    zip.memberDeclaredSize = length == 0 || length > static_cast<std::uint64_t>(INT64_MAX)
                                 ? -1
                                 : static_cast<std::int64_t>(length);
    TakeCurrentTime(zip);
    return ZipResult::Ok;
  }
  platform::FileInformation info;
  if (io.QueryInformation(source, &info) != kSuccess) return ZipResult::CannotOpenFile;
  if (io.Seek(source, 0, platform::SeekOrigin::Begin, nullptr) != kSuccess) return ZipResult::CannotOpenFile;
  constexpr std::uint32_t kDosBits = platform::kAttributeReadOnly | platform::kAttributeHidden |
                                     platform::kAttributeSystem | platform::kAttributeDirectory |
                                     platform::kAttributeArchive;
  const bool directory = (info.attributes & platform::kAttributeDirectory) != 0;
  const bool readOnly = (info.attributes & platform::kAttributeReadOnly) != 0;
  // The high half is a Unix mode for readers that restore one: file or directory, owner may
  // read, and write unless the file is read-only. Executables are not told apart.
  std::uint32_t mode = (directory ? 0x4000u : 0x8000u) | 0x0100u;
  if (!readOnly) mode |= 0x0080u;
  zip.memberExternalAttributes = mode << 16 | (info.attributes & kDosBits);
  zip.memberDeclaredSize = static_cast<std::int64_t>(std::min<std::uint64_t>(info.size, INT64_MAX));
  zip.memberReadLimit = info.size;
  platform::Clock& clock = *zip.clock;
  const CalendarTime written = LocalCalendar(clock, info.lastWriteTime);
  zip.memberDosTimestamp = DosTimestamp(written);
  zip.memberModificationTime = ExtendedSeconds(clock, written);
  zip.memberAccessTime = ExtendedSeconds(clock, LocalCalendar(clock, info.lastAccessTime));
  zip.memberCreationTime = ExtendedSeconds(clock, LocalCalendar(clock, info.creationTime));
  return ZipResult::Ok;
}

// The local header. Before the data it carries CRC 0 and the sizes known so far; the rewrite
// on a seekable output carries the real ones.
HeaderBytes LocalHeader(const ZipArchive& zip, const ZipMemberRecord& record, std::uint64_t compressed,
                        std::uint64_t uncompressed) {
  HeaderBytes h;
  h.U32(kLocalHeaderSignature);
  h.U16(record.localZip64 ? kVersionNeededZip64 : kVersionNeeded);
  h.U16(record.localFlags);
  h.U16(record.method);
  h.U16(record.dosTimestamp & 0xFFFFu);
  h.U16(record.dosTimestamp >> 16);
  h.U32(record.crc);
  h.U32(record.localZip64 ? static_cast<std::uint32_t>(kMax32) : static_cast<std::uint32_t>(compressed));
  h.U32(record.localZip64 ? static_cast<std::uint32_t>(kMax32) : static_cast<std::uint32_t>(uncompressed));
  h.U16(static_cast<std::uint32_t>(record.name.size()));
  h.U16(kLocalTimestampSize + (record.localZip64 ? 20u : 0u));
  h.Bytes(record.name.data(), record.name.size());
  if (record.localZip64) {
    // In a local header both sizes are present, the uncompressed one first.
    h.U16(kZip64ExtraId);
    h.U16(16);
    h.U64(uncompressed);
    h.U64(compressed);
  }
  h.U16(kExtendedTimestampId);
  h.U16(13);
  h.U8(kAllThreeTimes);
  h.U32(zip.memberModificationTime);
  h.U32(zip.memberAccessTime);
  h.U32(zip.memberCreationTime);
  return h;
}

HeaderBytes CentralHeader(const ZipMemberRecord& record) {
  const bool bigUncompressed = record.uncompressedSize >= kMax32;
  const bool bigCompressed = record.compressedSize >= kMax32;
  const bool bigOffset = record.localHeaderOffset >= kMax32;
  const std::uint32_t zip64Fields = (bigUncompressed ? 1u : 0u) + (bigCompressed ? 1u : 0u) + (bigOffset ? 1u : 0u);
  HeaderBytes h;
  h.U32(kCentralHeaderSignature);
  h.U16(record.versionMadeBy);
  h.U16(zip64Fields > 0 ? kVersionNeededZip64 : record.versionNeeded);
  h.U16(record.flags);
  h.U16(record.method);
  h.U16(record.dosTimestamp & 0xFFFFu);
  h.U16(record.dosTimestamp >> 16);
  h.U32(record.crc);
  h.U32(Clamp32(record.compressedSize));
  h.U32(Clamp32(record.uncompressedSize));
  h.U16(static_cast<std::uint32_t>(record.name.size()));
  h.U16(kCentralTimestampSize + (zip64Fields > 0 ? 4 + 8 * zip64Fields : 0));
  h.U16(0);  // comment length
  h.U16(record.diskNumber);
  h.U16(record.internalAttributes);
  h.U32(record.externalAttributes);
  h.U32(Clamp32(record.localHeaderOffset));
  h.Bytes(record.name.data(), record.name.size());
  if (zip64Fields > 0) {
    // Only the fields whose classic value is the 0xFFFFFFFF marker, in this fixed order.
    h.U16(kZip64ExtraId);
    h.U16(8 * zip64Fields);
    if (bigUncompressed) h.U64(record.uncompressedSize);
    if (bigCompressed) h.U64(record.compressedSize);
    if (bigOffset) h.U64(record.localHeaderOffset);
  }
  h.Bytes(record.centralExtra.data(), record.centralExtra.size());
  return h;
}

// Turns the caller's name into the stored one: ANSI, "/" between folders, a folder's "/".
bool MemberName(const std::wstring& wide, bool folder, std::string* name) {
  if (wide.find(L'\0') != std::wstring::npos) return false;
  // Replacing before the conversion keeps the trail bytes of a double-byte code page intact.
  std::wstring slashed = wide;
  std::replace(slashed.begin(), slashed.end(), L'\\', L'/');
  if (!platform::WideToAnsi(slashed, name) || name->empty()) return false;
  if (folder && name->back() != '/') name->push_back('/');
  return name->size() <= kMaxNameBytes;
}

void ResetMember(ZipArchive& zip) {
  zip.memberExternalAttributes = 0;
  zip.memberAccessTime = zip.memberModificationTime = zip.memberCreationTime = 0;
  zip.memberDosTimestamp = 0;
  zip.memberDeclaredSize = -1;
  zip.memberBytesRead = 0;
  zip.memberReadLimit = UINT64_MAX;
  zip.memberCrc = 0;
  zip.memberReadFailed = false;
  zip.memberSource = kNoFile;
  zip.closeSource = false;
  zip.memorySource = nullptr;
  zip.memorySourceLength = zip.memorySourcePosition = 0;
  zip.memberCompressedSize = 0;
}

// Whether the local header must carry 64-bit sizes. It is written before the data, so the
// decision rests on the declared size; a deflated member is given room for the compressor's
// worst-case growth.
bool NeedsLocalZip64(std::int64_t declared, bool deflated) {
  if (declared < 0) return false;
  const auto size = static_cast<std::uint64_t>(declared);
  return (deflated ? size + size / 16 + 65536 : size) >= kMax32;
}

bool WriteWholeHeader(ZipArchive& zip, const HeaderBytes& h) {
  return AppendOutput(zip, h.data(), h.size()) == h.size();
}

// A member refused after its header went out is taken back where the output can seek, so
// the next member or the directory overwrites it; readers that walk the local headers then
// meet no half-written member. A stream keeps it, unlisted.
ZipResult TakeBackMember(ZipArchive& zip, std::uint64_t memberStart, ZipResult failure) {
  if (zip.outputSeekable && SeekOutput(zip, memberStart)) zip.bytesWritten = memberStart;
  return failure;
}

}  // namespace

std::uint32_t AppendOutput(ZipArchive& zip, const void* data, std::uint32_t size) {
  const std::uint32_t written = WriteOutput(zip, data, size);
  zip.bytesWritten += written;
  zip.highWater = std::max(zip.highWater, zip.bytesWritten);
  return written;
}

std::uint32_t ReadMemberData(ZipArchive& zip, std::uint8_t* buffer, std::uint32_t size) {
  std::uint32_t got = 0;
  if (zip.memorySource != nullptr) {
    got = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(size, zip.memorySourceLength - zip.memorySourcePosition));
    std::memcpy(buffer, zip.memorySource + zip.memorySourcePosition, got);
    zip.memorySourcePosition += got;
  } else if (zip.memberSource != kNoFile) {
    size = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, zip.memberReadLimit - zip.memberBytesRead));
    const ErrorCode error = size == 0 ? kSuccess : zip.io->Read(zip.memberSource, buffer, size, &got);
    if (error != kSuccess) {
      // A pipe's writer closing its end is how a pipe ends; anything else loses data.
      if (error != platform::kErrorBrokenPipe) zip.memberReadFailed = true;
      got = 0;
    }
  } else {
    SetSticky(zip, ZipResult::NotInitialised);
    return 0;
  }
  zip.memberBytesRead += got;
  zip.memberCrc = Crc32Update(zip.memberCrc, buffer, got);
  return got;
}

ZipHandle* CreateZipArchive(platform::FileIo& io, platform::Clock& clock, const ZipTarget& target,
                            std::uint64_t length, ZipSourceKind kind, ZipResult* result) {
  ZipResult dummy = ZipResult::Ok;
  ZipResult& outcome = result != nullptr ? *result : dummy;
  outcome = ZipResult::Ok;
  clock.RefreshTimeZone();
  auto zip = std::make_unique<ZipArchive>();
  zip->io = &io;
  zip->clock = &clock;
  switch (kind) {
    case ZipSourceKind::FileName:
      if (target.path.empty()) {
        outcome = ZipResult::BadArguments;
        return nullptr;
      }
      if (io.Open(target.path, platform::kAccessWrite, platform::kShareNone, platform::kCreateAlways,
                  platform::kAttributeNormal, &zip->output) != kSuccess) {
        outcome = ZipResult::CannotOpenFile;
        return nullptr;
      }
      zip->outputSeekable = true;
      break;
    case ZipSourceKind::Handle: {
      if (target.handle == kNoFile || io.Duplicate(target.handle, &zip->output) != kSuccess) {
        outcome = ZipResult::CannotDuplicateHandle;
        return nullptr;
      }
      platform::FileType type = platform::FileType::Unknown;
      if (io.QueryType(zip->output, &type) != kSuccess) type = platform::FileType::Unknown;
      zip->outputSeekable = type == platform::FileType::Disk;
      if (zip->outputSeekable) {
        // The archive starts where the caller's file stands; every stored offset counts from
        // the start of the file.
        if (io.Seek(zip->output, 0, platform::SeekOrigin::Current, &zip->outputOffset) != kSuccess) {
          io.Close(zip->output);
          outcome = ZipResult::SeekFailed;
          return nullptr;
        }
      }
      break;
    }
    case ZipSourceKind::Memory:
      if (length == 0) {
        outcome = ZipResult::MemoryTooSmall;
        return nullptr;
      }
      if (target.memory != nullptr) {
        zip->memory = static_cast<std::uint8_t*>(const_cast<void*>(target.memory));
      } else {
        void* view = nullptr;
        if (io.CreateAnonymousMapping(length, &zip->mapping) != kSuccess) {
          outcome = ZipResult::CannotAllocate;
          return nullptr;
        }
        if (io.MapView(zip->mapping, length, &view) != kSuccess || view == nullptr) {
          io.Close(zip->mapping);
          outcome = ZipResult::CannotAllocate;
          return nullptr;
        }
        zip->memory = static_cast<std::uint8_t*>(view);
      }
      zip->memorySize = length;
      zip->outputSeekable = true;
      break;
    default:
      outcome = ZipResult::BadArguments;
      return nullptr;
  }
  return new ZipHandle{kZipCreateTag, zip.release()};
}

ZipResult AddZipMember(ZipHandle* handle, const std::wstring& wideName, const ZipTarget& source,
                       std::uint64_t length, ZipSourceKind kind) {
  if (handle == nullptr || handle->archive == nullptr) return ZipResult::BadArguments;
  if (handle->tag != kZipCreateTag) return ZipResult::WrongHandleKind;
  ZipArchive& zip = *handle->archive;
  const bool folder = kind == ZipSourceKind::Folder;
  std::string name;
  if (!MemberName(wideName, folder, &name)) return ZipResult::BadArguments;
  if (zip.stickyError != ZipResult::Ok) return ZipResult::AlreadyFailed;
  if (zip.closed) return ZipResult::AlreadyClosed;

  ResetMember(zip);
  const bool deflated = !folder && !HasStoredSuffix(name);
  switch (kind) {
    case ZipSourceKind::FileName:
      if (source.path.empty()) return ZipResult::BadArguments;
      if (zip.io->Open(source.path, platform::kAccessRead, platform::kShareRead, platform::kOpenExisting,
                       platform::kAttributeNormal, &zip.memberSource) != kSuccess) {
        return ZipResult::CannotOpenFile;
      }
      zip.closeSource = true;
      if (ZipResult r = ReadSourceDetails(zip, zip.memberSource, length); r != ZipResult::Ok) {
        CloseOwnedSource(zip);
        return r;
      }
      break;
    case ZipSourceKind::Handle:
      if (source.handle == kNoFile) return ZipResult::BadArguments;
      zip.memberSource = source.handle;
      if (ZipResult r = ReadSourceDetails(zip, zip.memberSource, length); r != ZipResult::Ok) {
        zip.memberSource = kNoFile;
        return r;
      }
      break;
    case ZipSourceKind::Memory:
      if (source.memory == nullptr || length == 0) return ZipResult::BadArguments;
      zip.memorySource = static_cast<const std::uint8_t*>(source.memory);
      zip.memorySourceLength = length;
      zip.memberDeclaredSize = static_cast<std::int64_t>(std::min<std::uint64_t>(length, INT64_MAX));
      zip.memberExternalAttributes = kAttributesNotDisk;
      TakeCurrentTime(zip);
      break;
    case ZipSourceKind::Folder:
      zip.memberExternalAttributes = kAttributesFolder;
      zip.memberDeclaredSize = 0;
      TakeCurrentTime(zip);
      break;
    default:
      return ZipResult::BadArguments;
  }

  ZipMemberRecord record;
  record.flags = kFlagSizesFollowData;
  record.localFlags = kFlagSizesFollowData;
  record.method = deflated ? kMethodDeflated : kMethodStored;
  record.dosTimestamp = zip.memberDosTimestamp;
  record.externalAttributes = zip.memberExternalAttributes;
  record.name = name;
  record.localZip64 = NeedsLocalZip64(zip.memberDeclaredSize, deflated);
  const std::uint64_t memberStart = zip.bytesWritten;
  record.localHeaderOffset = zip.outputOffset + memberStart;
  HeaderBytes centralExtra;
  centralExtra.U16(kExtendedTimestampId);
  centralExtra.U16(5);
  centralExtra.U8(kAllThreeTimes);
  centralExtra.U32(zip.memberModificationTime);
  std::copy(centralExtra.data(), centralExtra.data() + centralExtra.size(), record.centralExtra.begin());

  // A reader that streams the archive can skip a stored member only by the size in its local
  // header; an unknown size is written as 0, as the format asks when the sizes follow the data.
  const std::uint64_t declared = zip.memberDeclaredSize < 0 ? 0 : static_cast<std::uint64_t>(zip.memberDeclaredSize);
  const std::uint64_t firstCompressed = deflated ? 0 : declared;
  if (!WriteWholeHeader(zip, LocalHeader(zip, record, firstCompressed, declared))) {
    CloseOwnedSource(zip);
    return ZipResult::WriteFailed;
  }
  if (zip.stickyError != ZipResult::Ok) {
    CloseOwnedSource(zip);
    return zip.stickyError;
  }

  bool dataFailed = false;
  if (folder) {
    zip.memberCompressedSize = 0;
  } else if (!deflated) {
    std::uint64_t copied = 0;
    for (;;) {
      const std::uint32_t got = ReadMemberData(zip, zip.transfer.data(), kTransferBufferSize);
      if (got == 0) break;
      const std::uint32_t written = AppendOutput(zip, zip.transfer.data(), got);
      copied += written;
      if (written != got) {
        dataFailed = true;
        break;
      }
    }
    zip.memberCompressedSize = copied;
  } else {
    dataFailed = DeflateMember(zip, record) != 0;
  }
  CloseOwnedSource(zip);
  if (zip.stickyError != ZipResult::Ok) return zip.stickyError;
  if (dataFailed) return TakeBackMember(zip, memberStart, ZipResult::WriteFailed);
  // A source that failed part-way would otherwise become a shorter member with a matching
  // CRC, and the loss would go unnoticed.
  if (zip.memberReadFailed) return TakeBackMember(zip, memberStart, ZipResult::CannotOpenFile);
  // The local header was written without 64-bit sizes; a member that outgrew what was
  // declared past the 32-bit limit cannot be described there, so it is not listed.
  if (!record.localZip64 && (zip.memberCompressedSize >= kMax32 || zip.memberBytesRead >= kMax32)) {
    return TakeBackMember(zip, memberStart, ZipResult::WriteFailed);
  }

  record.crc = zip.memberCrc;
  record.compressedSize = zip.memberCompressedSize;
  record.uncompressedSize = zip.memberBytesRead;
  const bool firstSizeRight = firstCompressed == zip.memberCompressedSize;

  if (zip.outputSeekable) {
    record.flags &= static_cast<std::uint16_t>(~kFlagSizesFollowData);
    record.localFlags = record.flags;
    if (!SeekOutput(zip, memberStart)) return ZipResult::SeekFailed;
    const HeaderBytes rewritten = LocalHeader(zip, record, record.compressedSize, record.uncompressedSize);
    if (WriteOutput(zip, rewritten.data(), rewritten.size()) != rewritten.size()) return ZipResult::WriteFailed;
    if (!SeekOutput(zip, zip.bytesWritten)) return ZipResult::SeekFailed;
  } else {
    if (!deflated && !folder && !firstSizeRight) return ZipResult::CannotChangeStorage;
    HeaderBytes descriptor;
    descriptor.U32(kDataDescriptorSignature);
    descriptor.U32(record.crc);
    if (record.localZip64) {
      descriptor.U64(record.compressedSize);
      descriptor.U64(record.uncompressedSize);
    } else {
      descriptor.U32(static_cast<std::uint32_t>(record.compressedSize));
      descriptor.U32(static_cast<std::uint32_t>(record.uncompressedSize));
    }
    AppendOutput(zip, descriptor.data(), descriptor.size());
    record.flags = record.localFlags;
  }
  if (zip.stickyError != ZipResult::Ok) return zip.stickyError;
  zip.records.push_back(std::move(record));
  return ZipResult::Ok;
}

namespace {

ZipResult WriteCentralDirectory(ZipArchive& zip) {
  // After an earlier fault the output may not stand at the archive's end any more.
  if (zip.stickyError != ZipResult::Ok && zip.outputSeekable && !SeekOutput(zip, zip.bytesWritten)) {
    return ZipResult::WriteFailed;
  }
  const std::uint64_t start = zip.bytesWritten;
  for (const ZipMemberRecord& record : zip.records) {
    if (!WriteWholeHeader(zip, CentralHeader(record))) return ZipResult::WriteFailed;
  }
  const std::uint64_t count = zip.records.size();
  const std::uint64_t size = zip.bytesWritten - start;
  const std::uint64_t offset = zip.outputOffset + start;
  HeaderBytes end;
  if (count >= kMaxEntries16 || size >= kMax32 || offset >= kMax32) {
    const std::uint64_t zip64EndOffset = zip.outputOffset + zip.bytesWritten;
    end.U32(kZip64EndSignature);
    end.U64(44);  // the record's size after this field
    end.U16(0x0B17);
    end.U16(kVersionNeededZip64);
    end.U32(0);  // this disk
    end.U32(0);  // disk of the central directory
    end.U64(count);
    end.U64(count);
    end.U64(size);
    end.U64(offset);
    end.U32(kZip64LocatorSignature);
    end.U32(0);  // disk of the ZIP64 end record
    end.U64(zip64EndOffset);
    end.U32(1);  // disks in all
  }
  end.U32(kEndOfCentralDirectorySignature);
  end.U16(0);
  end.U16(0);
  const auto entries16 = static_cast<std::uint32_t>(std::min(count, kMaxEntries16));
  end.U16(entries16);
  end.U16(entries16);
  end.U32(Clamp32(size));
  end.U32(Clamp32(offset));
  end.U16(0);  // comment length
  // Without its end record an archive cannot be read at all, so this write is checked too.
  if (!WriteWholeHeader(zip, end)) return ZipResult::WriteFailed;
  // A member taken back may have reached further than the archive now does; what it left
  // there must not trail the end record, where readers look for it.
  if (zip.highWater > zip.bytesWritten) {
    if (zip.memory != nullptr) {
      const std::uint64_t stop = std::min(zip.outputOffset + zip.highWater, zip.memorySize);
      std::memset(zip.memory + zip.memoryPosition, 0, static_cast<std::size_t>(stop - zip.memoryPosition));
    } else if (zip.io->TruncateAtPosition(zip.output) != kSuccess) {
      return ZipResult::WriteFailed;
    }
  }
  return ZipResult::Ok;
}

}  // namespace

ZipResult CloseZipArchive(ZipHandle* handle) {
  if (handle == nullptr || handle->archive == nullptr) return ZipResult::BadArguments;
  if (handle->tag != kZipCreateTag) return ZipResult::WrongHandleKind;
  std::unique_ptr<ZipArchive> zip(handle->archive);
  delete handle;
  ZipResult result = ZipResult::Ok;
  if (!zip->closed) result = WriteCentralDirectory(*zip);
  zip->closed = true;
  zip->records.clear();
  if (zip->mapping != kNoFile) {
    zip->io->UnmapView(zip->memory);
    zip->io->Close(zip->mapping);
  }
  if (zip->output != kNoFile) zip->io->Close(zip->output);
  return result;
}

}  // namespace ov::zip
