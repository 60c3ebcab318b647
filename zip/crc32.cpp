// CRC-32 by slicing eight bytes per step with eight 256-entry tables built once.
#include "zip/crc32.h"

#include <array>
#include <bit>
#include <cstring>

namespace ov::zip {

namespace {

// Eight tables of 256 entries back to back: entry 256 * k + n is the CRC of byte n followed
// by k zero bytes, so eight lookups advance the register over eight input bytes at once.
using Tables = std::array<std::uint32_t, 8 * 256>;

constexpr Tables BuildTables() {
  Tables t {};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1u) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[n] = c;
  }
  for (std::size_t k = 1; k < 8; ++k) {
    for (std::size_t n = 0; n < 256; ++n) {
      const std::uint32_t previous = t[256 * (k - 1) + n];
      t[256 * k + n] = (previous >> 8) ^ t[previous & 0xFFu];
    }
  }
  return t;
}

constexpr Tables kTables = BuildTables();

// The eight input bytes are taken as one little-endian word: one load instead of eight.
static_assert(std::endian::native == std::endian::little);

}  // namespace

std::uint32_t Crc32Update(std::uint32_t crc, const void* data, std::size_t size) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  const std::uint32_t* t = kTables.data();
  std::uint32_t c = ~crc;
  while (size >= 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, p, 8);
    const std::uint32_t lo = c ^ static_cast<std::uint32_t>(word);
    const auto hi = static_cast<std::uint32_t>(word >> 32);
    c = t[7 * 256 + (lo & 0xFFu)] ^ t[6 * 256 + ((lo >> 8) & 0xFFu)] ^ t[5 * 256 + ((lo >> 16) & 0xFFu)] ^
        t[4 * 256 + (lo >> 24)] ^ t[3 * 256 + (hi & 0xFFu)] ^ t[2 * 256 + ((hi >> 8) & 0xFFu)] ^
        t[1 * 256 + ((hi >> 16) & 0xFFu)] ^ t[hi >> 24];
    p += 8;
    size -= 8;
  }
  while (size-- > 0) c = (c >> 8) ^ t[(c ^ *p++) & 0xFFu];
  return ~c;
}

}  // namespace ov::zip
