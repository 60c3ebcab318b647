// Drives the compressor from memory: its input in reads of a chosen size, its output kept
// whole or only digested, and a writer that refuses a chosen call.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "bench/deflate/corpora.h"
#include "zip/deflate.h"

namespace ov::zip::test {

using bench::Bytes;
constexpr std::size_t kWhole = std::numeric_limits<std::size_t>::max();

struct MemoryIo {
  const Bytes* input = nullptr;
  std::size_t readPos = 0, readChunk = kWhole;
  Bytes output{};
  bench::Digest digest{};
  bool keep = true;  // false: the output is only digested
  int writes = 0, failOnWrite = -1;
  std::uint32_t result = 0;
  std::uint64_t compressedBytes = 0;
  std::string error{};

  static std::uint32_t Read(void* context, std::uint8_t* buffer, std::uint32_t size) {
    auto* io = static_cast<MemoryIo*>(context);
    const std::size_t n =
        std::min({static_cast<std::size_t>(size), io->readChunk, io->input->size() - io->readPos});
    if (n != 0) std::memcpy(buffer, io->input->data() + io->readPos, n);
    io->readPos += n;
    return static_cast<std::uint32_t>(n);
  }
  static void Write(void* context, std::uint8_t* buffer, std::uint32_t* fill) {
    auto* io = static_cast<MemoryIo*>(context);
    if (io->writes++ == io->failOnWrite) return;  // nothing written: *fill stays
    if (io->keep) io->output.insert(io->output.end(), buffer, buffer + *fill);
    io->digest.Add(buffer, *fill);
    *fill = 0;
  }
};

inline MemoryIo RunDeflate(const Bytes& input, std::uint32_t bufferSize = 16384,
                           std::size_t readChunk = kWhole, bool keep = true, int failOnWrite = -1) {
  MemoryIo run{.input = &input, .readChunk = readChunk, .keep = keep, .failOnWrite = failOnWrite};
  Bytes buffer(bufferSize);
  const DeflateIo io{&MemoryIo::Read, &MemoryIo::Write, &run, buffer.data(), bufferSize};
  run.result = DeflateStream(io, &run.compressedBytes, &run.error);
  return run;
}

#ifdef ZLIB_VERSION  // where the includer has zlib
// zlib's raw inflate, an independent decoder: true only when the whole stream is used and
// gives back `expected`.
inline bool ZlibInflatesTo(const Bytes& stream, const Bytes& expected) {
  Bytes back(expected.size() + 1);
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(stream.data());
  z.avail_in = static_cast<uInt>(stream.size());
  z.next_out = back.data();
  z.avail_out = static_cast<uInt>(back.size());
  const bool whole = inflate(&z, Z_FINISH) == Z_STREAM_END && z.avail_in == 0;
  back.resize(z.total_out);
  inflateEnd(&z);
  return whole && back == expected;
}
#endif

}  // namespace ov::zip::test
