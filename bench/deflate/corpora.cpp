// The benchmark's file corpora.
#include "bench/deflate/corpora.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "bench/deflate/trace_corpus.h"

namespace ov::bench {

Bytes ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<NamedCorpus> TraceCorpora(std::size_t bytes) {
  const struct {
    const char* name;
    TraceShape shape;
  } shapes[] = {{"trace", TraceShape::kMillis},
                {"trace-sec", TraceShape::kSeconds},
                {"trace-usec", TraceShape::kMicrosThreads},
                {"trace-calls", TraceShape::kCallReturn},
                {"trace-mixed", TraceShape::kInterleaved}};
  std::vector<NamedCorpus> out;
  for (const auto& s : shapes) {
    const std::string text = GenerateTrace(s.shape, bytes, 2024);
    out.push_back({s.name, Bytes(text.begin(), text.end())});
  }
  return out;
}

Bytes TextCorpus() {
  if (const char* path = std::getenv("OV_BENCH_TEXT")) return ReadWholeFile(path);
  std::vector<std::filesystem::path> files;
  const std::filesystem::path root = "/usr/include/c++/12";
  if (std::filesystem::exists(root)) {
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
      if (e.is_regular_file()) files.push_back(e.path());
    }
  }
  std::sort(files.begin(), files.end());
  Bytes out;
  for (const auto& f : files) {
    const Bytes b = ReadWholeFile(f);
    out.insert(out.end(), b.begin(), b.end());
    if (out.size() >= 12000000) break;
  }
  return out;
}

Bytes BinaryCorpus() {
  const char* path = std::getenv("OV_BENCH_BINARY");
  return ReadWholeFile(path != nullptr ? path : "/usr/bin/cmake");
}

}  // namespace ov::bench
