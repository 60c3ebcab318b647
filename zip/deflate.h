// The member compressor: a streaming Deflate (RFC 1951) encoder at one fixed tuning level.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace ov::zip {

inline constexpr std::uint32_t kDeflateFailed = 0x5000000;

// The two callbacks through which the compressor sees its member, so it can run on its own
// (tests, the ovzip tool) as well as inside the archive writer.
struct DeflateIo {
  // Places up to size bytes of the member in buffer and returns how many; 0 means end of
  // input (also a read error).
  std::uint32_t (*read)(void* context, std::uint8_t* buffer, std::uint32_t size) = nullptr;
  // Writes the first *fill bytes of buffer and sets *fill to 0 when anything was written.
  void (*write)(void* context, std::uint8_t* buffer, std::uint32_t* fill) = nullptr;
  void* context = nullptr;
  // The writer's transfer buffer that compressed bytes are gathered in (16384 bytes in the
  // archive writer).
  std::uint8_t* outputBuffer = nullptr;
  std::uint32_t outputSize = 0;
};

// Compresses the member to the end of its input. Returns 0, or kDeflateFailed when a
// consistency check failed (the stream is still run to its end); *compressedBytes receives
// the number of bytes handed to write, *firstError (when given) the first check's text.
std::uint32_t DeflateStream(const DeflateIo& io, std::uint64_t* compressedBytes,
                            std::string* firstError = nullptr);

// Bytes of working state that DeflateStream allocates for one member (it allocates
// nothing else), whatever the member's size.
std::size_t DeflateStateBytes();

}  // namespace ov::zip
