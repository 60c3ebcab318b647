// The benchmark's file corpora and the generated data built on the one random generator.
#include "bench/deflate/corpora.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace ov::bench {

Bytes RandomBytes(std::size_t n, std::uint64_t seed, unsigned first, unsigned span) {
  Rng rng(Rng(seed).Next());
  Bytes out(n);
  for (auto& b : out) b = static_cast<std::uint8_t>(first + rng.Below(span));
  return out;
}

Bytes RecordBytes(std::size_t n, std::uint64_t seed) {
  Rng rng(seed);
  Bytes out;
  for (std::uint32_t counter = 0; out.size() < n;) {
    counter += 1 + rng.Below(3);
    const std::uint32_t fields[4] = {counter, 0x00010000u + rng.Below(4), 0, rng.Below(1000)};
    const auto* p = reinterpret_cast<const std::uint8_t*>(fields);
    out.insert(out.end(), p, p + sizeof fields);
  }
  return out;
}

Bytes LiteralsAndCopies(std::size_t n, std::uint64_t seed) {
  Rng rng(seed);
  Bytes out = RandomBytes(2000, seed + 1);
  while (out.size() < n) {
    for (int i = 0; i < 3; ++i) out.push_back(static_cast<std::uint8_t>(rng.Below(256)));
    const std::size_t from = rng.Below(1900);
    for (std::size_t i = 0; i < 30; ++i) out.push_back(out[from + i]);
  }
  return out;
}

Bytes TraceBytes(std::size_t n, std::uint64_t seed) {
  const std::string text = GenerateTrace(TraceShape::kMillis, n, seed);
  return Bytes(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
}

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

void Digest::Add(const std::uint8_t* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    a = (a ^ p[i]) * 0x100000001b3ull;
    b = (b ^ p[i]) * 0x9E3779B97F4A7C15ull;
    b ^= b >> 29;
  }
  bytes += n;
}

std::string Digest::Hex() const {
  char text[64];
  std::snprintf(text, sizeof text, "%llu %016llx%016llx", static_cast<unsigned long long>(bytes),
                static_cast<unsigned long long>(a), static_cast<unsigned long long>(b));
  return text;
}

}  // namespace ov::bench
