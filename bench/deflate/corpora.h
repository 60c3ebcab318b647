// The file corpora that the benchmark times and the output checker digests: one source, so a
// digest always speaks of the very bytes the benchmark measured.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace ov::bench {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadWholeFile(const std::filesystem::path& path);
struct NamedCorpus {
  std::string name;
  Bytes data;
};
// The generated trace logs, one per layout, of about `bytes` bytes each; the first is the
// original corpus ("trace", stamps to the millisecond).
std::vector<NamedCorpus> TraceCorpora(std::size_t bytes);
// OV_BENCH_TEXT, or about 12 MB of the C++ library headers (real source text present
// wherever this builds), in sorted order.
Bytes TextCorpus();
// OV_BENCH_BINARY, or /usr/bin/cmake.
Bytes BinaryCorpus();

}  // namespace ov::bench
