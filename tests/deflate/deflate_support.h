// A memory reader and writer to drive the compressor, inputs of known character, and a
// strict RFC 1951 decoder that reports the blocks and symbols of a stream.
#pragma once
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "zip/deflate.h"

namespace ov::zip::test {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kWhole = std::numeric_limits<std::size_t>::max();

// Feeds the compressor its input in reads of at most readChunk bytes and keeps what it
// writes; the write call numbered failOnWrite refuses.
struct MemoryIo {
  const Bytes* input = nullptr;
  std::size_t readPos = 0, readChunk = kWhole;
  Bytes output{};
  int writes = 0, failOnWrite = -1;
  std::uint32_t result = 0;
  std::uint64_t compressedBytes = 0;
  std::string error{};

  DeflateIo Bind(Bytes& buffer) {
    return DeflateIo{&Read, &Write, this, buffer.data(), static_cast<std::uint32_t>(buffer.size())};
  }
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
    if (io->writes++ == io->failOnWrite) return;  // nothing written: *fill stays
    io->output.insert(io->output.end(), buffer, buffer + *fill);
    *fill = 0;
  }
};

inline MemoryIo RunDeflate(const Bytes& input, std::uint32_t bufferSize = 16384,
                           std::size_t readChunk = kWhole, int failOnWrite = -1) {
  MemoryIo run{.input = &input, .readChunk = readChunk, .failOnWrite = failOnWrite};
  Bytes buffer(bufferSize);
  run.result = DeflateStream(run.Bind(buffer), &run.compressedBytes, &run.error);
  return run;
}

// Deterministic noise (xorshift), so failures reproduce.
struct Noise {
  std::uint64_t state;
  explicit Noise(std::uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 1) {}
  std::uint32_t Below(std::uint32_t n) {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    return static_cast<std::uint32_t>(state >> 24) % n;
  }
};

inline Bytes RandomBytes(std::size_t n, std::uint64_t seed, unsigned first = 0,
                         unsigned span = 256) {
  Noise noise(seed);
  Bytes out(n);
  for (auto& b : out) b = static_cast<std::uint8_t>(first + noise.Below(span));
  return out;
}

// Log-like text: repeated line shapes with changing numbers and words.
inline Bytes TraceText(std::size_t n, std::uint64_t seed) {
  static const char* const kComponents[] = {"SharedEngine", "PopupManager", "MessageClient",
                                            "SpoolerHooks"};
  static const char* const kWords[] = {"job",    "queue", "printer", "session", "token", "spool",
                                       "render", "page",  "user",    "policy",  "port",  "driver"};
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
    for (int i = 0; i < 3; ++i) out.push_back(static_cast<std::uint8_t>(noise.Below(256)));
    const std::size_t from = noise.Below(1900);
    for (std::size_t i = 0; i < 30; ++i) out.push_back(out[from + i]);
  }
  out.resize(n);
  return out;
}

// A 24-byte prefix followed by a long unique tail, then 1500 copies of the prefix with
// different continuations, then prefix and tail again: the long match lies beyond the
// chain budget, so the search must stop at exactly its 1024th (or 256th) candidate.
inline Bytes BeyondTheChainBudget() {
  Bytes out = RandomBytes(10, 34);  // position 0 is never a candidate
  const auto add = [&out](const Bytes& b) { out.insert(out.end(), b.begin(), b.end()); };
  const Bytes prefix = RandomBytes(24, 31), tail = RandomBytes(200, 32);
  add(prefix), add(tail);
  for (int i = 0; i < 1500; ++i) add(prefix), add(RandomBytes(2, 100 + i));
  add(prefix), add(tail);
  return out;
}

struct Symbol {
  unsigned length = 0;  // 0 for a literal
  unsigned distance = 0;
  std::uint8_t literal = 0;
  Symbol(unsigned len, unsigned dist, int lit)
      : length(len), distance(dist), literal(static_cast<std::uint8_t>(lit)) {}
  bool operator==(const Symbol&) const = default;
};
struct Block {
  int type = 0;                 // 0 stored, 1 fixed, 2 dynamic
  std::vector<Symbol> symbols;  // without the end-of-block code
};
struct Traced {
  std::string error;  // empty when the stream is well formed
  Bytes data;
  std::vector<Block> blocks;
};

// Decodes a raw Deflate stream. Well formed means: every code set complete (but for a lone
// code), and the stream ends in the byte where its final block ends, padded with zero bits.
class TraceInflate {
 public:
  explicit TraceInflate(const Bytes& in) : in_(in) {}
  Traced Run() {
    try {
      for (bool final = false; !final;) {
        final = Bits(1) != 0;
        Block& block = out_.blocks.emplace_back();
        block.type = static_cast<int>(Bits(2));
        if (block.type == 0) {
          Align();
          const unsigned len = Bits(16), nlen = Bits(16);
          if ((len ^ 0xFFFF) != nlen) throw Bad("stored length and complement differ");
          for (unsigned i = 0; i < len; ++i)
            out_.data.push_back(static_cast<std::uint8_t>(Bits(8)));
        } else if (block.type == 1) {
          std::vector<int> lit(288, 8);
          std::fill(lit.begin() + 144, lit.begin() + 256, 9);
          std::fill(lit.begin() + 256, lit.begin() + 280, 7);
          Symbols(block, Huffman(lit), Huffman(std::vector<int>(32, 5)));  // 30, 31 invalid
        } else if (block.type == 2) {
          Dynamic(block);
        } else {
          throw Bad("reserved block type");
        }
      }
      Align();
      if (pos_ != in_.size()) throw Bad("bytes after the final block");
    } catch (const Bad& e) {
      out_.error = e.what();
    }
    return std::move(out_);
  }

 private:
  using Bad = std::runtime_error;
  struct Huffman {  // canonical code: counts per length, symbols in code order
    std::array<int, 16> count{};
    std::vector<int> symbols;
    explicit Huffman(const std::vector<int>& lengths) : symbols(lengths.size()) {
      for (int len : lengths) ++count[static_cast<std::size_t>(len)];
      count[0] = 0;
      int left = 1;
      std::array<int, 16> offs{};
      for (int len = 1; len <= 15; ++len) {
        left = left * 2 - count[len];
        if (left < 0) throw Bad("over-subscribed code");
        if (len < 15) offs[len + 1] = offs[len] + count[len];
      }
      if (left != 0 && offs[15] + count[15] != 1) throw Bad("incomplete code");
      for (std::size_t n = 0; n < lengths.size(); ++n) {
        if (lengths[n] != 0)
          symbols[static_cast<std::size_t>(offs[lengths[n]]++)] = static_cast<int>(n);
      }
    }
  };

  unsigned Bits(int n) {
    unsigned v = 0;
    for (int i = 0; i < n; ++i) {
      if (pos_ >= in_.size()) throw Bad("stream ends early");
      v |= ((in_[pos_] >> bit_) & 1u) << i;
      if (++bit_ == 8) bit_ = 0, ++pos_;
    }
    return v;
  }
  void Align() {
    while (bit_ != 0) {
      if (Bits(1) != 0) throw Bad("padding bits are not zero");
    }
  }
  int Decode(const Huffman& h) {
    for (int len = 1, code = 0, first = 0, index = 0; len <= 15; ++len, code <<= 1) {
      code |= static_cast<int>(Bits(1));
      if (code - first < h.count[len])
        return h.symbols[static_cast<std::size_t>(index + code - first)];
      index += h.count[len];
      first = (first + h.count[len]) << 1;
    }
    throw Bad("invalid code");
  }
  void Symbols(Block& block, const Huffman& lit, const Huffman& dist) {
    for (int sym; (sym = Decode(lit)) != 256;) {
      if (sym < 256) {
        out_.data.push_back(block.symbols.emplace_back(0, 0, sym).literal);
        continue;
      }
      if (sym > 285) throw Bad("invalid length code");
      // Lengths 3..258 and distances 1..32768 in groups with 0..5 and 0..13 extra bits.
      const int li = sym - 257;
      const int lenExtra = li < 8 || li == 28 ? 0 : li / 4 - 1;
      const unsigned len =
          li == 28 ? 258 : (li < 8 ? 3 + li : ((4 + li % 4) << lenExtra) + 3) + Bits(lenExtra);
      const int ds = Decode(dist);
      if (ds > 29) throw Bad("invalid distance code");
      const int distExtra = ds < 4 ? 0 : ds / 2 - 1;
      const unsigned d = (ds < 4 ? 1 + ds : ((2 + ds % 2) << distExtra) + 1) + Bits(distExtra);
      if (d > out_.data.size()) throw Bad("distance too far back");
      for (unsigned i = 0; i < len; ++i) out_.data.push_back(out_.data[out_.data.size() - d]);
      block.symbols.emplace_back(len, d, 0);
    }
  }
  void Dynamic(Block& block) {
    static constexpr int kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                       11, 4,  12, 3, 13, 2, 14, 1, 15};
    const std::size_t nlen = Bits(5) + 257, ndist = Bits(5) + 1, ncode = Bits(4) + 4;
    if (nlen > 286 || ndist > 30) throw Bad("too many length or distance codes");
    std::vector<int> clLengths(19, 0), lengths;
    lengths.reserve(nlen + ndist);
    for (std::size_t i = 0; i < ncode; ++i) clLengths[kOrder[i]] = static_cast<int>(Bits(3));
    const Huffman cl(clLengths);
    while (lengths.size() < nlen + ndist) {
      const int sym = Decode(cl);
      if (sym == 16 && lengths.empty()) throw Bad("repeat with no previous length");
      const int value = sym < 16 ? sym : sym == 16 ? lengths.back() : 0;
      const unsigned repeat = sym < 16    ? 1
                              : sym == 16 ? 3 + Bits(2)
                              : sym == 17 ? 3 + Bits(3)
                                          : 11 + Bits(7);
      if (lengths.size() + repeat > nlen + ndist) throw Bad("repeat overruns");
      lengths.insert(lengths.end(), repeat, value);
    }
    if (lengths[256] == 0) throw Bad("no end-of-block code");
    const auto split = lengths.begin() + static_cast<std::ptrdiff_t>(nlen);
    Symbols(block, Huffman(std::vector<int>(lengths.begin(), split)),
            Huffman(std::vector<int>(split, lengths.end())));
  }

  const Bytes& in_;
  std::size_t pos_ = 0;
  int bit_ = 0;
  Traced out_;
};

}  // namespace ov::zip::test
