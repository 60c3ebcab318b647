// Writes a digest of our compressor's output for a fixed set of inputs: the benchmark
// corpora (every trace layout among them), the fuzz seed corpus and generated edge cases
// (sizes around the window slide, runs, noise, mixed text). Two builds that print the same
// lines produce the same bytes, so a speed change can be checked for leaving the output
// alone.
//
// Usage: deflate_check [seed-corpus-dir]  (OV_BENCH_TRACE_MB, OV_BENCH_TEXT, OV_BENCH_BINARY
// as for deflate_bench).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/deflate/corpora.h"
#include "zip/deflate.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// 128-bit digest from two independent 64-bit FNV-1a-style mixes; enough to tell streams
// apart, and needs nothing beyond the standard library.
struct Digest {
  std::uint64_t a = 0xcbf29ce484222325ull;
  std::uint64_t b = 0x84222325cbf29ce4ull;
  std::uint64_t bytes = 0;
  void Add(const std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      a = (a ^ p[i]) * 0x100000001b3ull;
      b = (b ^ p[i]) * 0x9E3779B97F4A7C15ull;
      b ^= b >> 29;
    }
    bytes += n;
  }
};

struct Io {
  const Bytes* input = nullptr;
  std::size_t pos = 0;
  std::size_t chunk = 0;  // reader's maximum per call (0: as much as asked)
  Digest digest;
};

Digest Compress(const Bytes& input, std::size_t chunk, std::uint32_t outSize) {
  Io ctx;
  ctx.input = &input;
  ctx.chunk = chunk;
  std::vector<std::uint8_t> buffer(outSize);
  ov::zip::DeflateIo io;
  io.read = [](void* c, std::uint8_t* buf, std::uint32_t size) -> std::uint32_t {
    auto* o = static_cast<Io*>(c);
    std::size_t n = std::min<std::size_t>(size, o->input->size() - o->pos);
    if (o->chunk != 0) n = std::min(n, o->chunk);
    std::memcpy(buf, o->input->data() + o->pos, n);
    o->pos += n;
    return static_cast<std::uint32_t>(n);
  };
  io.write = [](void* c, std::uint8_t* buf, std::uint32_t* fill) {
    static_cast<Io*>(c)->digest.Add(buf, *fill);
    *fill = 0;
  };
  io.context = &ctx;
  io.outputBuffer = buffer.data();
  io.outputSize = outSize;
  std::uint64_t compressed = 0;
  std::string error;
  if (ov::zip::DeflateStream(io, &compressed, &error) != 0) {
    std::fprintf(stderr, "compressor failed: %s\n", error.c_str());
    std::exit(2);
  }
  return ctx.digest;
}

std::uint64_t g_rng = 88172645463325252ull;
std::uint64_t Next() {
  g_rng ^= g_rng << 13;
  g_rng ^= g_rng >> 7;
  g_rng ^= g_rng << 17;
  return g_rng;
}

void Report(const std::string& name, const Bytes& input, std::size_t chunk = 0,
            std::uint32_t outSize = 16384) {
  const Digest d = Compress(input, chunk, outSize);
  std::printf("%-28s %10zu -> %10llu  %016llx%016llx\n", name.c_str(), input.size(),
              static_cast<unsigned long long>(d.bytes), static_cast<unsigned long long>(d.a),
              static_cast<unsigned long long>(d.b));
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t traceMb = 64;
  if (const char* v = std::getenv("OV_BENCH_TRACE_MB")) traceMb = std::strtoul(v, nullptr, 10);
  const std::vector<ov::bench::NamedCorpus> traces = ov::bench::TraceCorpora(traceMb * 1000000);
  const Bytes& traceBytes = traces.front().data;
  Report(traces.front().name, traceBytes);
  Report("text", ov::bench::TextCorpus());
  Report("binary", ov::bench::BinaryCorpus());
  for (std::size_t i = 1; i < traces.size(); ++i) Report(traces[i].name, traces[i].data);

  // Short members, short reads and a small output buffer on a slice of the trace corpus.
  const Bytes slice(traceBytes.begin(), traceBytes.begin() + 3000000);
  Report("trace-3MB-reads-1000", slice, 1000);
  Report("trace-3MB-reads-7-out-512", Bytes(slice.begin(), slice.begin() + 400000), 7, 512);

  if (argc > 1) {
    std::vector<std::filesystem::path> seeds;
    for (const auto& e : std::filesystem::directory_iterator(argv[1])) seeds.push_back(e.path());
    std::sort(seeds.begin(), seeds.end());
    for (const auto& p : seeds) Report("seed/" + p.filename().string(), ov::bench::ReadWholeFile(p));
  }

  // Sizes around the minimum lookahead, the slide point and the symbol buffer.
  for (std::size_t n : {0u, 1u, 2u, 3u, 4u, 261u, 262u, 263u, 4096u, 32767u, 32768u, 65273u, 65274u,
                        65275u, 65536u, 65537u, 98304u, 200000u}) {
    Report("trace-prefix-" + std::to_string(n), Bytes(traceBytes.begin(), traceBytes.begin() + n));
  }
  for (std::size_t n : {1u, 258u, 259u, 1000u, 70000u, 300000u}) {
    Report("run-" + std::to_string(n), Bytes(n, 0x41));
  }
  for (std::size_t n : {100u, 1000u, 70000u, 300000u}) {
    Bytes noise(n);
    for (auto& b : noise) b = static_cast<std::uint8_t>(Next() >> 56);
    Report("noise-" + std::to_string(n), noise);
  }
  // Small alphabets give long chains, many matches and short distances.
  for (unsigned alphabet : {2u, 4u, 16u}) {
    Bytes data(400000);
    for (auto& b : data) b = static_cast<std::uint8_t>('a' + (Next() >> 33) % alphabet);
    Report("alphabet-" + std::to_string(alphabet), data);
  }
  // Repeats of random blocks at random distances, some far, some overlapping.
  {
    Bytes data;
    while (data.size() < 500000) {
      if (data.size() > 1000 && Next() % 3 != 0) {
        const std::size_t dist = 1 + Next() % std::min<std::size_t>(data.size(), 40000);
        const std::size_t len = 3 + Next() % 300;
        for (std::size_t i = 0; i < len; ++i) data.push_back(data[data.size() - dist]);
      } else {
        for (int i = 0; i < 20; ++i) data.push_back(static_cast<std::uint8_t>(Next() >> 56));
      }
    }
    Report("repeats", data);
  }
  return 0;
}
