// Memory reader and writer for driving the compressor in tests, and generators of inputs
// with known character (runs, noise, text).
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "zip/deflate.h"

namespace ov::zip::test {

using Bytes = std::vector<std::uint8_t>;

struct MemoryIo {
  const Bytes* input = nullptr;
  std::size_t readPos = 0;
  std::size_t readChunk = std::numeric_limits<std::size_t>::max();  // most a read returns
  Bytes output;
  const std::uint8_t* ownBuffer = nullptr;  // the compressor's output buffer
  std::uint32_t bufferSize = 0;
  int writes = 0;
  int failOnWrite = -1;        // index of the write call that fails, or -1
  bool overlongWrite = false;  // the compressor handed more than its buffer holds

  static std::uint32_t Read(void* context, std::uint8_t* buffer, std::uint32_t size) {
    auto* io = static_cast<MemoryIo*>(context);
    const std::size_t n =
        std::min({static_cast<std::size_t>(size), io->readChunk, io->input->size() - io->readPos});
    if (n != 0) std::memcpy(buffer, io->input->data() + io->readPos, n);
    io->readPos += n;
    return static_cast<std::uint32_t>(n);
  }
  static void Write(void* context, std::uint8_t* buffer, std::uint32_t* fill) {
    auto* io = static_cast<MemoryIo*>(context);
    const int index = io->writes++;
    // Stored data comes straight from the window; only the buffer has a size to keep.
    if (buffer == io->ownBuffer && *fill > io->bufferSize) io->overlongWrite = true;
    if (index == io->failOnWrite) return;  // nothing written: *fill stays
    io->output.insert(io->output.end(), buffer, buffer + *fill);
    *fill = 0;
  }
};

struct DeflateRun {
  std::uint32_t result = 0;
  std::uint64_t compressedBytes = 0;
  std::string error;
  Bytes output;
  int writes = 0;
  bool overlongWrite = false;
};

inline DeflateRun RunDeflate(const Bytes& input, std::uint32_t bufferSize = 16384,
                             std::size_t readChunk = std::numeric_limits<std::size_t>::max(),
                             int failOnWrite = -1) {
  MemoryIo mem;
  mem.input = &input;
  mem.readChunk = readChunk;
  mem.failOnWrite = failOnWrite;
  Bytes buffer(bufferSize);
  mem.ownBuffer = buffer.data();
  mem.bufferSize = bufferSize;
  DeflateIo io;
  io.read = &MemoryIo::Read;
  io.write = &MemoryIo::Write;
  io.context = &mem;
  io.outputBuffer = buffer.data();
  io.outputSize = bufferSize;
  DeflateRun run;
  run.result = DeflateStream(io, &run.compressedBytes, &run.error);
  run.output = std::move(mem.output);
  run.writes = mem.writes;
  run.overlongWrite = mem.overlongWrite;
  return run;
}

// Deterministic noise (xorshift), so failures reproduce.
class Noise {
 public:
  explicit Noise(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  std::uint64_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }
  std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(Next() % n); }

 private:
  std::uint64_t state_;
};

inline Bytes RandomBytes(std::size_t n, std::uint64_t seed) {
  Noise noise(seed);
  Bytes out(n);
  for (auto& b : out) b = static_cast<std::uint8_t>(noise.Next() >> 24);
  return out;
}

inline Bytes Repeated(std::size_t n, std::uint8_t value) { return Bytes(n, value); }

// Log-like text: repeated line shapes with changing numbers and words.
inline Bytes TraceText(std::size_t n, std::uint64_t seed) {
  static const char* const kComponents[] = {"SharedEngine", "PopupManager", "MessageClient",
                                           "SpoolerHooks"};
  static const char* const kWords[] = {"job", "queue", "printer", "session", "token", "spool",
                                      "render", "page", "user", "policy", "port", "driver"};
  Noise noise(seed);
  std::string text;
  unsigned ms = 0;
  while (text.size() < n) {
    ms += noise.Below(900);
    char line[200];
    const int len = std::snprintf(
        line, sizeof line, "2024-03-%02u %02u:%02u:%02u.%03u [%5u] %s: %s %s=%u %s\r\n",
        1 + (ms / 86400000) % 28, (ms / 3600000) % 24, (ms / 60000) % 60, (ms / 1000) % 60,
        ms % 1000, 1000 + noise.Below(40), kComponents[noise.Below(4)], kWords[noise.Below(12)],
        kWords[noise.Below(12)], noise.Below(100000), kWords[noise.Below(12)]);
    text.append(line, static_cast<std::size_t>(len));
  }
  text.resize(n);
  return Bytes(text.begin(), text.end());
}

// Mostly literals, yet compressing well: three fresh bytes, then a 30-byte copy of an
// earlier stretch, over and over. Blocks of such data end early, at a multiple of 4096
// symbols.
inline Bytes LiteralsAndLongCopies(std::size_t n, std::uint64_t seed) {
  Noise noise(seed);
  Bytes out = RandomBytes(2000, seed + 1);
  while (out.size() < n) {
    for (int i = 0; i < 3; ++i) out.push_back(static_cast<std::uint8_t>(noise.Next() >> 24));
    const std::size_t from = noise.Below(1900);
    for (std::size_t i = 0; i < 30; ++i) out.push_back(out[from + i]);
  }
  out.resize(n);
  return out;
}

// Random letters: matches are short and rare enough that blocks run to the symbol limit.
inline Bytes RandomLetters(std::size_t n, std::uint64_t seed) {
  Noise noise(seed);
  Bytes out(n);
  for (auto& b : out) b = static_cast<std::uint8_t>('a' + noise.Below(26));
  return out;
}

// A 24-byte prefix followed by a long unique tail, then 1500 copies of the prefix with
// different continuations, then prefix and tail again: the long match lies beyond the
// chain budget, so the search must stop at exactly its 1024th (or 256th) candidate.
inline Bytes BeyondTheChainBudget() {
  const Bytes prefix = RandomBytes(24, 31);
  const Bytes tail = RandomBytes(200, 32);
  Noise noise(33);
  Bytes out = RandomBytes(10, 34);  // position 0 is never a candidate
  out.insert(out.end(), prefix.begin(), prefix.end());
  out.insert(out.end(), tail.begin(), tail.end());
  for (int i = 0; i < 1500; ++i) {
    out.insert(out.end(), prefix.begin(), prefix.end());
    out.push_back(static_cast<std::uint8_t>(noise.Next()));
    out.push_back(static_cast<std::uint8_t>(noise.Next()));
  }
  out.insert(out.end(), prefix.begin(), prefix.end());
  out.insert(out.end(), tail.begin(), tail.end());
  return out;
}

}  // namespace ov::zip::test
