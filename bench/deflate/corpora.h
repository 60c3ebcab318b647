// Test data for the compressor, shared by the benchmark, the output checker and the tests:
// one random generator, generated trace logs, the file corpora, and the digests that pin
// the compressor's output over them.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace ov::bench {

using Bytes = std::vector<std::uint8_t>;

// splitmix64: the same seed gives the same data on every compiler and platform. Seeds n
// and n + 1 give the same stream one draw apart (the trace corpora are pinned on this
// seeding); RandomBytes mixes its seed first, so any two seeds give unrelated bytes.
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : m_state(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
  std::uint64_t Next() {
    m_state += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = m_state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  unsigned Below(unsigned n) { return static_cast<unsigned>(Next() % n); }
  template <typename T, std::size_t N>
  const T& Pick(const std::array<T, N>& a) { return a[Below(N)]; }

 private:
  std::uint64_t m_state;
};

// n bytes drawn evenly from first .. first + span - 1 (span 256: incompressible noise).
Bytes RandomBytes(std::size_t n, std::uint64_t seed, unsigned first = 0, unsigned span = 256);

// Binary with structure: little-endian records with counters and repeating fields.
Bytes RecordBytes(std::size_t n, std::uint64_t seed);
// Mostly literals, yet compressing well (blocks end early): three fresh bytes, then a
// 30-byte copy of an earlier stretch, over and over.
Bytes LiteralsAndCopies(std::size_t n, std::uint64_t seed);

// The layouts of trace logs, the files the archive writer deflates most.
enum class TraceShape {
  kMillis,         // components' interleaved lines stamped to the millisecond ("trace")
  kSeconds,        // stamps to the second: many lines share the whole stamp
  kMicrosThreads,  // stamps to the microsecond with thread ids
  kCallReturn,     // nested call and return lines with 64-bit addresses
  kInterleaved,    // writers of these layouts taking turns, some turns ending mid-line
};
// Whole lines of one layout until at least `bytes`; a shorter run gives a prefix of a
// longer one.
std::string GenerateTrace(TraceShape shape, std::size_t bytes, std::uint64_t seed);
// Exactly n bytes of trace log ("trace" layout).
Bytes TraceBytes(std::size_t n, std::uint64_t seed = 2024);

Bytes ReadWholeFile(const std::filesystem::path& path);
struct NamedCorpus {
  std::string name;
  Bytes data;
};
// The generated trace logs, one per layout, of about `bytes` bytes each; "trace" first.
std::vector<NamedCorpus> TraceCorpora(std::size_t bytes);
// OV_BENCH_TEXT, or about 12 MB of the C++ library headers (real source text present
// wherever this builds), in sorted order.
Bytes TextCorpus();
// OV_BENCH_BINARY, or /usr/bin/cmake.
Bytes BinaryCorpus();

// 128-bit digest from two independent 64-bit FNV-1a-style mixes: enough to tell streams
// apart, and needs nothing beyond the standard library.
struct Digest {
  std::uint64_t a = 0xcbf29ce484222325ull;
  std::uint64_t b = 0x84222325cbf29ce4ull;
  std::uint64_t bytes = 0;
  void Add(const std::uint8_t* p, std::size_t n);
  std::string Hex() const;
};

// An input whose compressed stream is pinned: fed in reads of at most readChunk bytes (0:
// as much as asked) through an output buffer of outputSize bytes.
struct PinnedCase {
  std::string name;
  Bytes input;
  std::size_t readChunk = 0;
  std::uint32_t outputSize = 16384;
};
// The pinned inputs that are quick to compress even in a sanitised build: sizes around the
// lookahead, the window slide and the symbol buffer, runs, noise, small alphabets, far
// repeats, every trace layout, short reads and small output buffers.
std::vector<PinnedCase> PinnedCases();
// "<compressed bytes> <digest>" of the stream of the input so named, or empty for an input
// whose bytes depend on the machine (text, binary).
std::string ExpectedDigest(std::string_view name);

}  // namespace ov::bench
