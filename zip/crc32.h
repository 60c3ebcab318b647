// CRC-32 of the ZIP format (reflected polynomial 0xEDB88320), computed incrementally.
#pragma once
#include <cstddef>
#include <cstdint>

namespace ov::zip {

// Continues a CRC: start with crc = 0; the result of each call feeds the next one.
std::uint32_t Crc32Update(std::uint32_t crc, const void* data, std::size_t size);

}  // namespace ov::zip
