// The file corpora that the benchmark times and the output checker digests: one source, so a
// digest always speaks of the very bytes the benchmark measured.
#pragma once
#include <cstdint>
#include <filesystem>
#include <vector>

namespace ov::bench {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadWholeFile(const std::filesystem::path& path);
// OV_BENCH_TEXT, or about 12 MB of the C++ library headers (real source text present
// wherever this builds), in sorted order.
Bytes TextCorpus();
// OV_BENCH_BINARY, or /usr/bin/cmake.
Bytes BinaryCorpus();

}  // namespace ov::bench
