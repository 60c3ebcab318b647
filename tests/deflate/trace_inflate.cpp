// Symbol-tracing Deflate decoder used to check the compressor's streams.
#include "tests/deflate/trace_inflate.h"

#include <array>
#include <stdexcept>

namespace ov::zip::test {
namespace {

constexpr std::array<std::uint16_t, 29> kLengthBase = {3,  4,  5,  6,  7,  8,  9,  10, 11, 13,
                                                       15, 17, 19, 23, 27, 31, 35, 43, 51, 59,
                                                       67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> kDistBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> kDistExtra = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                     6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::array<std::uint8_t, 19> kClOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                   11, 4,  12, 3, 13, 2, 14, 1, 15};

struct Bad : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class BitReader {
 public:
  explicit BitReader(const std::vector<std::uint8_t>& in) : in_(in) {}
  unsigned Bit() {
    if (pos_ >= in_.size()) throw Bad("stream ends early");
    const unsigned b = (in_[pos_] >> bit_) & 1;
    if (++bit_ == 8) bit_ = 0, ++pos_;
    return b;
  }
  unsigned Bits(int n) {
    unsigned v = 0;
    for (int i = 0; i < n; ++i) v |= Bit() << i;
    return v;
  }
  void AlignCheckingZero() {
    while (bit_ != 0) {
      if (Bit() != 0) throw Bad("padding bits are not zero");
    }
  }
  std::uint8_t Byte() {
    if (bit_ != 0 || pos_ >= in_.size()) throw Bad("stored data ends early");
    return in_[pos_++];
  }
  std::size_t Pos() const { return pos_; }

 private:
  const std::vector<std::uint8_t>& in_;
  std::size_t pos_ = 0;
  int bit_ = 0;
};

// Canonical Huffman code as counts per length and symbols in code order.
class Huffman {
 public:
  explicit Huffman(const std::vector<int>& lengths) : symbols_(lengths.size(), 0) {
    for (int len : lengths) ++count_[static_cast<std::size_t>(len)];
    count_[0] = 0;
    int left = 1;
    int used = 0;
    for (int len = 1; len <= 15; ++len) {
      left = left * 2 - count_[len];
      if (left < 0) throw Bad("over-subscribed code");
      used += count_[len];
    }
    // A lone code is the one incomplete set RFC 1951 allows.
    if (left != 0 && used != 1) throw Bad("incomplete code");
    std::array<int, 16> offs{};
    for (int len = 1; len < 15; ++len) offs[len + 1] = offs[len] + count_[len];
    for (std::size_t n = 0; n < lengths.size(); ++n) {
      if (lengths[n] != 0) symbols_[static_cast<std::size_t>(offs[lengths[n]]++)] = static_cast<int>(n);
    }
  }
  int Decode(BitReader& br) const {
    int code = 0;
    int first = 0;
    int index = 0;
    for (int len = 1; len <= 15; ++len) {
      code |= static_cast<int>(br.Bit());
      const int count = count_[len];
      if (code - first < count) return symbols_[static_cast<std::size_t>(index + code - first)];
      index += count;
      first = (first + count) << 1;
      code <<= 1;
    }
    throw Bad("invalid code");
  }

 private:
  std::array<int, 16> count_{};
  std::vector<int> symbols_;
};

void DecodeSymbols(BitReader& br, const Huffman& lit, const Huffman& dist, TracedStream& out,
                   TracedBlock& block) {
  for (;;) {
    const int sym = lit.Decode(br);
    if (sym < 256) {
      out.data.push_back(static_cast<std::uint8_t>(sym));
      block.symbols.push_back(TracedSymbol{0, 0, static_cast<std::uint8_t>(sym)});
      continue;
    }
    if (sym == 256) return;
    if (sym > 285) throw Bad("invalid length code");
    const int li = sym - 257;
    const unsigned len = kLengthBase[li] + br.Bits(kLengthExtra[li]);
    const int ds = dist.Decode(br);
    if (ds > 29) throw Bad("invalid distance code");
    const unsigned d = kDistBase[ds] + br.Bits(kDistExtra[ds]);
    if (d > out.data.size()) throw Bad("distance too far back");
    for (unsigned i = 0; i < len; ++i) out.data.push_back(out.data[out.data.size() - d]);
    block.symbols.push_back(
        TracedSymbol{static_cast<std::uint16_t>(len), static_cast<std::uint16_t>(d), 0});
  }
}

void DecodeDynamic(BitReader& br, TracedStream& out, TracedBlock& block) {
  const int nlen = static_cast<int>(br.Bits(5)) + 257;
  const int ndist = static_cast<int>(br.Bits(5)) + 1;
  const int ncode = static_cast<int>(br.Bits(4)) + 4;
  if (nlen > 286 || ndist > 30) throw Bad("too many length or distance codes");
  std::vector<int> clLengths(19, 0);
  for (int i = 0; i < ncode; ++i) clLengths[kClOrder[i]] = static_cast<int>(br.Bits(3));
  const Huffman cl(clLengths);
  std::vector<int> lengths;
  while (static_cast<int>(lengths.size()) < nlen + ndist) {
    const int sym = cl.Decode(br);
    if (sym < 16) {
      lengths.push_back(sym);
      continue;
    }
    int value = 0;
    unsigned repeat = 0;
    if (sym == 16) {
      if (lengths.empty()) throw Bad("repeat with no previous length");
      value = lengths.back();
      repeat = 3 + br.Bits(2);
    } else if (sym == 17) {
      repeat = 3 + br.Bits(3);
    } else {
      repeat = 11 + br.Bits(7);
    }
    if (lengths.size() + repeat > static_cast<std::size_t>(nlen + ndist)) throw Bad("repeat overruns");
    lengths.insert(lengths.end(), repeat, value);
  }
  if (lengths[256] == 0) throw Bad("no end-of-block code");
  const Huffman lit(std::vector<int>(lengths.begin(), lengths.begin() + nlen));
  const Huffman dist(std::vector<int>(lengths.begin() + nlen, lengths.end()));
  DecodeSymbols(br, lit, dist, out, block);
}

}  // namespace

TracedStream TraceInflate(const std::vector<std::uint8_t>& stream) {
  TracedStream out;
  BitReader br(stream);
  try {
    bool final = false;
    while (!final) {
      TracedBlock block;
      final = br.Bits(1) != 0;
      block.final = final;
      block.type = static_cast<int>(br.Bits(2));
      if (block.type == 0) {
        br.AlignCheckingZero();
        const unsigned len = br.Byte() | (br.Byte() << 8);
        const unsigned nlen = br.Byte() | (br.Byte() << 8);
        if ((len ^ 0xFFFF) != nlen) throw Bad("stored length and complement differ");
        block.storedLength = len;
        for (unsigned i = 0; i < len; ++i) out.data.push_back(br.Byte());
      } else if (block.type == 1) {
        std::vector<int> lit(288);
        for (int i = 0; i < 288; ++i) lit[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
        static const Huffman fixedLit(lit);
        static const Huffman fixedDist(std::vector<int>(32, 5));  // 30 and 31 never occur
        DecodeSymbols(br, fixedLit, fixedDist, out, block);
      } else if (block.type == 2) {
        DecodeDynamic(br, out, block);
      } else {
        throw Bad("reserved block type");
      }
      out.blocks.push_back(std::move(block));
    }
    br.AlignCheckingZero();
    if (br.Pos() != stream.size()) throw Bad("bytes after the final block");
    out.ok = true;
  } catch (const Bad& e) {
    out.error = e.what();
  }
  return out;
}

}  // namespace ov::zip::test
