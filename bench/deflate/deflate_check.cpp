// Prints a digest of our compressor's output for the benchmark corpora (every trace layout
// among them), the edge cases of the pinned list and the fuzz seed corpus, and checks each
// against its pinned digest. Two builds that print the same lines produce the same bytes,
// so a speed change can be checked for leaving the output alone; the deflate tests check
// the quick part of the list on every run.
//
// Usage: deflate_check [seed-corpus-dir]  (OV_BENCH_TRACE_MB, OV_BENCH_TEXT, OV_BENCH_BINARY
// as for deflate_bench). Exits 1 when a pinned digest differs.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/deflate/corpora.h"
#include "zip/deflate.h"

namespace {

using ov::bench::Bytes;

struct Io {
  const Bytes* input = nullptr;
  std::size_t pos = 0;
  std::size_t chunk = 0;  // reader's maximum per call (0: as much as asked)
  ov::bench::Digest digest;
};

ov::bench::Digest Compress(const Bytes& input, std::size_t chunk, std::uint32_t outSize) {
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

int g_differing = 0;

void Report(const std::string& name, const Bytes& input, std::size_t chunk = 0,
            std::uint32_t outSize = 16384, bool pinned = true) {
  const ov::bench::Digest d = Compress(input, chunk, outSize);
  const std::string hex = d.Hex();
  std::printf("%-28s %10zu -> %10llu  %s\n", name.c_str(), input.size(),
              static_cast<unsigned long long>(d.bytes), hex.substr(hex.find(' ') + 1).c_str());
  const std::string expected = ov::bench::ExpectedDigest(name);
  if (pinned && !expected.empty() && expected != hex) {
    std::printf("  differs from the pinned %s\n", expected.c_str());
    ++g_differing;
  }
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t traceMb = 64;
  if (const char* v = std::getenv("OV_BENCH_TRACE_MB")) traceMb = std::strtoul(v, nullptr, 10);
  const std::vector<ov::bench::NamedCorpus> traces = ov::bench::TraceCorpora(traceMb * 1000000);
  const bool pinnedSize = traceMb == 64;  // the trace corpora are pinned at their default size
  Report(traces.front().name, traces.front().data, 0, 16384, pinnedSize);
  Report("text", ov::bench::TextCorpus());
  Report("binary", ov::bench::BinaryCorpus());
  for (std::size_t i = 1; i < traces.size(); ++i) {
    Report(traces[i].name, traces[i].data, 0, 16384, pinnedSize);
  }
  for (const ov::bench::PinnedCase& c : ov::bench::PinnedCases()) {
    Report(c.name, c.input, c.readChunk, c.outputSize);
  }
  if (argc > 1) {
    std::vector<std::filesystem::path> seeds;
    for (const auto& e : std::filesystem::directory_iterator(argv[1])) seeds.push_back(e.path());
    std::sort(seeds.begin(), seeds.end());
    for (const auto& p : seeds) {
      Report("seed/" + p.filename().string(), ov::bench::ReadWholeFile(p));
    }
  }
  if (g_differing != 0) std::printf("%d pinned digests differ\n", g_differing);
  return g_differing == 0 ? 0 : 1;
}
