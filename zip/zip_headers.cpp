// Record encoding: headers, data descriptors and end records, ZIP64 only where a field overflows.
#include "zip/zip_headers.h"

#include <algorithm>

namespace ov::zip {

namespace {

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
constexpr std::uint32_t kLocalTimestampSize = 17;
constexpr std::uint32_t kCentralTimestampSize = 9;
// As with kMax32, the classic entry count's largest value is its ZIP64 marker.
constexpr std::uint64_t kMaxEntries16 = 0xFFFFu;

std::uint32_t Clamp32(std::uint64_t v) { return v >= kMax32 ? static_cast<std::uint32_t>(kMax32) : static_cast<std::uint32_t>(v); }

}  // namespace

// The local header goes out before the data, so the decision rests on the declared size; a
// deflated member is given room for the compressor's worst-case growth.
bool NeedsLocalZip64(std::int64_t declared, bool deflated) {
  if (declared < 0) return false;
  const auto size = static_cast<std::uint64_t>(declared);
  return (deflated ? size + size / 16 + 65536 : size) >= kMax32;
}

std::array<std::uint8_t, 9> CentralTimestamp(std::uint32_t modificationTime) {
  HeaderBytes h;
  h.U16(kExtendedTimestampId);
  h.U16(5);
  h.U8(kAllThreeTimes);  // the local field's flags, though only one time follows here
  h.U32(modificationTime);
  std::array<std::uint8_t, 9> field {};
  std::copy(h.data(), h.data() + h.size(), field.begin());
  return field;
}

HeaderBytes LocalHeader(const ZipMemberRecord& record, const MemberState& member, std::uint64_t compressed,
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
  h.U32(member.modificationTime);
  h.U32(member.accessTime);
  h.U32(member.creationTime);
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

HeaderBytes DataDescriptor(const ZipMemberRecord& record) {
  HeaderBytes h;
  h.U32(kDataDescriptorSignature);
  h.U32(record.crc);
  if (record.localZip64) {
    h.U64(record.compressedSize);
    h.U64(record.uncompressedSize);
  } else {
    h.U32(static_cast<std::uint32_t>(record.compressedSize));
    h.U32(static_cast<std::uint32_t>(record.uncompressedSize));
  }
  return h;
}

HeaderBytes EndRecords(std::uint64_t count, std::uint64_t size, std::uint64_t offset) {
  HeaderBytes h;
  if (count >= kMaxEntries16 || size >= kMax32 || offset >= kMax32) {
    h.U32(kZip64EndSignature);
    h.U64(44);  // the record's size after this field
    h.U16(0x0B17);
    h.U16(kVersionNeededZip64);
    h.U32(0);  // this disk
    h.U32(0);  // disk of the central directory
    h.U64(count);
    h.U64(count);
    h.U64(size);
    h.U64(offset);
    h.U32(kZip64LocatorSignature);
    h.U32(0);              // disk of the ZIP64 end record
    h.U64(offset + size);  // where the ZIP64 end record starts: right after the directory
    h.U32(1);              // disks in all
  }
  h.U32(kEndOfCentralDirectorySignature);
  h.U16(0);
  h.U16(0);
  const auto entries16 = static_cast<std::uint32_t>(std::min(count, kMaxEntries16));
  h.U16(entries16);
  h.U16(entries16);
  h.U32(Clamp32(size));
  h.U32(Clamp32(offset));
  h.U16(0);  // comment length
  return h;
}

}  // namespace ov::zip
