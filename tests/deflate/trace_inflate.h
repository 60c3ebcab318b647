// A strict RFC 1951 decoder for the tests that also reports what the stream is made of
// (block types, literals, matches), so tests can check the compressor's choices and not
// only that the data comes back.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace ov::zip::test {

struct TracedSymbol {
  std::uint16_t length = 0;  // 0 for a literal
  std::uint16_t distance = 0;
  std::uint8_t literal = 0;
};

struct TracedBlock {
  int type = 0;  // 0 stored, 1 fixed, 2 dynamic
  bool final = false;
  std::uint32_t storedLength = 0;
  std::vector<TracedSymbol> symbols;  // without the end-of-block code
};

struct TracedStream {
  bool ok = false;
  std::string error;
  std::vector<std::uint8_t> data;
  std::vector<TracedBlock> blocks;
};

// Decodes a raw Deflate stream; ok only if it is well formed, every code set is complete,
// and the stream ends in the byte where its final block ends, padded with zero bits.
TracedStream TraceInflate(const std::vector<std::uint8_t>& stream);

}  // namespace ov::zip::test
