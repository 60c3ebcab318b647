// Record encoding: the archive's headers and end records as little-endian bytes.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "zip/zip_writer_state.h"

namespace ov::zip {

// Values at or above this do not fit a classic 32-bit field; 0xFFFFFFFF itself is the
// format's marker for "look in the ZIP64 field", so it counts as too large.
inline constexpr std::uint64_t kMax32 = 0xFFFFFFFFu;
inline constexpr std::uint16_t kMethodStored = 0;
inline constexpr std::uint16_t kMethodDeflated = 8;

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

// Whether a member's local header must carry 64-bit sizes; declared is -1 when unknown.
bool NeedsLocalZip64(std::int64_t declared, bool deflated);

// The central extended timestamp kept in the record: the modification time alone.
std::array<std::uint8_t, 9> CentralTimestamp(std::uint32_t modificationTime);

// The local header with the given sizes and the member's three extended-timestamp times.
HeaderBytes LocalHeader(const ZipMemberRecord& record, const MemberState& member, std::uint64_t compressed,
                        std::uint64_t uncompressed);
HeaderBytes CentralHeader(const ZipMemberRecord& record);
// What follows the data on an output that cannot seek back to the local header.
HeaderBytes DataDescriptor(const ZipMemberRecord& record);
// The end of the central directory of count headers, size bytes from offset (counted from
// the start of the output file), preceded by the ZIP64 end record and locator when one of
// them does not fit its classic field.
HeaderBytes EndRecords(std::uint64_t count, std::uint64_t size, std::uint64_t offset);

}  // namespace ov::zip
