// libFuzzer target: whatever the input, the stream inflates back to it (zlib's raw
// inflate) and the compressor reports success and the bytes it wrote. The first input
// byte picks the output buffer size and the reader's chunk size, so buffer-boundary and
// short-read paths get exercised too.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>

#include "tests/deflate/deflate_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ov::zip::test;
  if (size == 0) return 0;
  static const std::uint32_t kBuffers[] = {1, 2, 7, 64, 16384};
  static const std::size_t kChunks[] = {1, 3, 262, 4096, kWhole};
  const Bytes input(data + 1, data + size);
  const MemoryIo run = RunDeflate(input, kBuffers[data[0] % 5], kChunks[(data[0] >> 4) % 5]);
  if (run.result != 0 || run.compressedBytes != run.output.size()) std::abort();
  if (!ZlibInflatesTo(run.output, input)) std::abort();
  return 0;
}
