// libFuzzer target: whatever the input, the stream inflates back to it (zlib's raw
// inflate) and the compressor reports success and the bytes it wrote. The first input
// byte picks the output buffer size and the reader's chunk size, so buffer-boundary and
// short-read paths get exercised too.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zip/deflate.h"

namespace {

struct Io {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t pos;
  std::size_t chunk;
  std::vector<std::uint8_t> out;
};

std::uint32_t Read(void* c, std::uint8_t* buf, std::uint32_t size) {
  auto* io = static_cast<Io*>(c);
  const std::size_t n = std::min({static_cast<std::size_t>(size), io->chunk, io->size - io->pos});
  if (n != 0) std::memcpy(buf, io->data + io->pos, n);
  io->pos += n;
  return static_cast<std::uint32_t>(n);
}

void Write(void* c, std::uint8_t* buf, std::uint32_t* fill) {
  auto* io = static_cast<Io*>(c);
  io->out.insert(io->out.end(), buf, buf + *fill);
  *fill = 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const std::uint32_t kBuffers[] = {1, 2, 7, 64, 16384};
  static const std::size_t kChunks[] = {1, 3, 262, 4096, SIZE_MAX};
  const std::uint8_t selector = data[0];
  Io io{data + 1, size - 1, 0, kChunks[(selector >> 4) % 5], {}};
  std::vector<std::uint8_t> buffer(kBuffers[selector % 5]);
  ov::zip::DeflateIo dio;
  dio.read = Read;
  dio.write = Write;
  dio.context = &io;
  dio.outputBuffer = buffer.data();
  dio.outputSize = static_cast<std::uint32_t>(buffer.size());
  std::uint64_t compressed = 0;
  std::string error;
  if (ov::zip::DeflateStream(dio, &compressed, &error) != 0) std::abort();
  if (compressed != io.out.size()) std::abort();

  std::vector<std::uint8_t> back(io.size + 1);
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) std::abort();
  z.next_in = io.out.data();
  z.avail_in = static_cast<uInt>(io.out.size());
  z.next_out = back.data();
  z.avail_out = static_cast<uInt>(back.size());
  const int rc = inflate(&z, Z_FINISH);
  const std::size_t produced = back.size() - z.avail_out;
  const bool whole = rc == Z_STREAM_END && z.avail_in == 0;
  inflateEnd(&z);
  if (!whole || produced != io.size) std::abort();
  if (io.size != 0 && std::memcmp(back.data(), io.data, io.size) != 0) std::abort();
  return 0;
}
