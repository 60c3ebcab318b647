// Throughput, compression ratio and per-member memory of our Deflate compressor against
// zlib levels 6 and 8 (level 8 is the same tuning: windowBits -15, memLevel 8, default
// strategy; level 6 is zlib's default) and libdeflate level 8, on the same bytes in the
// same run.
//
// Corpora: generated trace logs in five layouts (OV_BENCH_TRACE_MB each, default 64 MB), a
// text file and a binary file (OV_BENCH_TEXT / OV_BENCH_BINARY; defaults: the C++ library
// headers and the cmake executable). OV_BENCH_ROUNDS (default 5) rounds of one run each.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench/deflate/corpora.h"
#include "zip/deflate.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint32_t kTransferBuffer = 16384;  // the archive writer's buffer

// Allocation accounting for the peers' memory: current and peak bytes.
struct AllocCounter {
  std::size_t current = 0;
  std::size_t peak = 0;
  void Add(std::size_t n) {
    current += n;
    peak = std::max(peak, current);
  }
  void Reset() { current = peak = 0; }
};
AllocCounter g_alloc;

void* CountingMalloc(std::size_t n) {
  auto* p = static_cast<std::size_t*>(std::malloc(n + sizeof(std::max_align_t)));
  if (p == nullptr) return nullptr;
  *p = n;
  g_alloc.Add(n);
  return reinterpret_cast<char*>(p) + sizeof(std::max_align_t);
}
void CountingFree(void* q) {
  if (q == nullptr) return;
  auto* p = reinterpret_cast<std::size_t*>(static_cast<char*>(q) - sizeof(std::max_align_t));
  g_alloc.current -= *p;
  std::free(p);
}
voidpf ZAlloc(voidpf, uInt items, uInt size) {
  return CountingMalloc(static_cast<std::size_t>(items) * size);
}
void ZFree(voidpf, voidpf p) { CountingFree(p); }

// Ours -------------------------------------------------------------------------------

struct OurIo {
  const Bytes* input;
  std::size_t pos = 0;
  std::uint64_t written = 0;
};

std::size_t CompressOurs(const Bytes& input, std::size_t* peakMemory) {
  OurIo ctx{&input};
  std::uint8_t buffer[kTransferBuffer];
  ov::zip::DeflateIo io;
  io.read = [](void* c, std::uint8_t* buf, std::uint32_t size) -> std::uint32_t {
    auto* o = static_cast<OurIo*>(c);
    const std::size_t n = std::min<std::size_t>(size, o->input->size() - o->pos);
    std::memcpy(buf, o->input->data() + o->pos, n);
    o->pos += n;
    return static_cast<std::uint32_t>(n);
  };
  io.write = [](void* c, std::uint8_t*, std::uint32_t* fill) {
    static_cast<OurIo*>(c)->written += *fill;
    *fill = 0;
  };
  io.context = &ctx;
  io.outputBuffer = buffer;
  io.outputSize = kTransferBuffer;
  std::uint64_t compressed = 0;
  if (ov::zip::DeflateStream(io, &compressed) != 0) std::abort();
  // The compressor allocates its state and nothing else; the transfer buffer is the
  // caller's, counted here because a member needs it too.
  *peakMemory = ov::zip::DeflateStateBytes() + kTransferBuffer;
  return compressed;
}

// zlib, streaming through the same 16 KiB buffer ---------------------------------------

std::size_t CompressZlib(const Bytes& input, int level, std::size_t* peakMemory) {
  g_alloc.Reset();
  z_stream z{};
  z.zalloc = ZAlloc;
  z.zfree = ZFree;
  if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) std::abort();
  std::uint8_t buffer[kTransferBuffer];
  std::size_t total = 0;
  z.next_in = const_cast<Bytef*>(input.data());
  z.avail_in = static_cast<uInt>(input.size());
  int rc = Z_OK;
  do {
    z.next_out = buffer;
    z.avail_out = kTransferBuffer;
    rc = deflate(&z, Z_FINISH);
    total += kTransferBuffer - z.avail_out;
  } while (rc == Z_OK || rc == Z_BUF_ERROR);
  if (rc != Z_STREAM_END) std::abort();
  deflateEnd(&z);
  *peakMemory = g_alloc.peak + kTransferBuffer;
  return total;
}
std::size_t CompressZlib6(const Bytes& input, std::size_t* peakMemory) {
  return CompressZlib(input, 6, peakMemory);
}
std::size_t CompressZlib8(const Bytes& input, std::size_t* peakMemory) {
  return CompressZlib(input, 8, peakMemory);
}

// libdeflate, whole buffer in and out (its only mode) ---------------------------------

std::size_t CompressLibdeflate(const Bytes& input, std::size_t* peakMemory) {
  g_alloc.Reset();
  libdeflate_compressor* c = libdeflate_alloc_compressor(8);
  if (c == nullptr) std::abort();
  const std::size_t bound = libdeflate_deflate_compress_bound(c, input.size());
  static Bytes out;
  out.resize(bound);
  const std::size_t n = libdeflate_deflate_compress(c, input.data(), input.size(), out.data(), bound);
  libdeflate_free_compressor(c);
  if (n == 0) std::abort();
  // Its compressor state plus the whole output buffer it needs.
  *peakMemory = g_alloc.peak + bound;
  return n;
}

// Corpora ------------------------------------------------------------------------------

using Corpus = ov::bench::NamedCorpus;

struct Result {
  double bestSeconds = 1e30;
  std::size_t compressed = 0;
  std::size_t memory = 0;
};
std::map<std::string, std::map<std::string, Result>> g_results;  // corpus -> compressor

using CompressFn = std::size_t (*)(const Bytes&, std::size_t*);

// CPU time of this thread: the work is single-threaded, and the machine may be shared.
double ThreadSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void RunOne(benchmark::State& state, const Corpus* corpus, const char* who, CompressFn fn) {
  Result& r = g_results[corpus->name][who];
  for (auto _ : state) {
    const double t0 = ThreadSeconds();
    std::size_t memory = 0;
    r.compressed = fn(corpus->data, &memory);
    const double s = ThreadSeconds() - t0;
    r.bestSeconds = std::min(r.bestSeconds, s);
    r.memory = memory;
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * corpus->data.size()));
  state.counters["ratio_%"] = 100.0 * static_cast<double>(r.compressed) /
                              static_cast<double>(corpus->data.size());
  state.counters["mem_KiB"] = static_cast<double>(r.memory) / 1024.0;
}

// The goal is a ratio to zlib-8 in the same run; zlib-6 and libdeflate-8 show the
// neighbours.
void PrintSummary(const std::vector<Corpus>& corpora) {
  std::printf("\nSummary (best thread CPU time of the rounds; MB = 10^6 bytes; size = compressed/input)\n");
  std::printf("%-11s %6s | %9s %9s %9s %9s | %7s %7s %7s %7s | %9s %8s %8s\n", "corpus", "MB",
              "ours MB/s", "zlib6", "zlib8", "libdefl8", "ours %", "zlib6", "zlib8", "libdefl",
              "ours/z8", "z6/z8", "size o/z8");
  for (const Corpus& c : corpora) {
    auto& m = g_results[c.name];
    const double mb = static_cast<double>(c.data.size()) / 1e6;
    auto speed = [&](const char* who) { return mb / m[who].bestSeconds; };
    auto pct = [&](const char* who) {
      return 100.0 * static_cast<double>(m[who].compressed) / static_cast<double>(c.data.size());
    };
    std::printf("%-11s %6.1f | %9.1f %9.1f %9.1f %9.1f | %7.3f %7.3f %7.3f %7.3f | %8.2fx %7.2fx %8.4f\n",
                c.name.c_str(), mb, speed("ours"), speed("zlib6"), speed("zlib8"), speed("libdeflate8"),
                pct("ours"), pct("zlib6"), pct("zlib8"), pct("libdeflate8"), speed("ours") / speed("zlib8"),
                speed("zlib6") / speed("zlib8"),
                static_cast<double>(m["ours"].compressed) / static_cast<double>(m["zlib8"].compressed));
  }
  auto& any = g_results[corpora.front().name];
  std::printf("Peak memory of one member: ours %zu bytes (state %zu + 16 KiB transfer buffer), "
              "zlib8 %zu, libdeflate8 %zu (state + whole output buffer of the first corpus)\n",
              any["ours"].memory, ov::zip::DeflateStateBytes(), any["zlib8"].memory,
              any["libdeflate8"].memory);
}

}  // namespace

int main(int argc, char** argv) {
  libdeflate_set_memory_allocator(CountingMalloc, CountingFree);
  std::size_t traceMb = 64;
  if (const char* v = std::getenv("OV_BENCH_TRACE_MB")) traceMb = std::strtoul(v, nullptr, 10);
  std::vector<Corpus> corpora = ov::bench::TraceCorpora(traceMb * 1000000);
  corpora.push_back({"text", ov::bench::TextCorpus()});
  corpora.push_back({"binary", ov::bench::BinaryCorpus()});
  corpora.erase(std::remove_if(corpora.begin(), corpora.end(),
                               [](const Corpus& c) { return c.data.empty(); }),
                corpora.end());
  if (corpora.empty()) return 1;

  const struct {
    const char* name;
    CompressFn fn;
  } compressors[] = {{"ours", CompressOurs},
                     {"zlib6", CompressZlib6},
                     {"zlib8", CompressZlib8},
                     {"libdeflate8", CompressLibdeflate}};
  // Rounds of one run of each compressor, best of them kept: a spell of load from elsewhere
  // on the machine then slows one run of each, not every run of one compressor.
  int rounds = 5;
  if (const char* v = std::getenv("OV_BENCH_ROUNDS")) rounds = std::max(1, std::atoi(v));
  for (int round = 1; round <= rounds; ++round) {
    for (const Corpus& c : corpora) {
      for (const auto& comp : compressors) {
        const std::string name = c.name + "/" + comp.name + "/round:" + std::to_string(round);
        benchmark::RegisterBenchmark(name.c_str(), RunOne, &c, comp.name, comp.fn)
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);
      }
    }
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  bool complete = true;
  for (const Corpus& c : corpora) complete = complete && g_results[c.name].size() == std::size(compressors);
  if (complete) PrintSummary(corpora);
  return 0;
}
