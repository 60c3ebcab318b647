// The working state of one deflated member and the bit writer that produces its output.
#pragma once
#include <cstdint>
#include <cstring>

#include "zip/deflate.h"
#include "zip/deflate_tables.h"

namespace ov::zip::deflate {

inline constexpr unsigned kWSize = 32768;  // dictionary size
inline constexpr unsigned kWMask = kWSize - 1;
inline constexpr unsigned kWindowSize = 2 * kWSize;
inline constexpr unsigned kHashSize = 1u << 15;
inline constexpr unsigned kHashMask = kHashSize - 1;
inline constexpr unsigned kHashShift = 5;
inline constexpr unsigned kMinMatch = 3;
inline constexpr unsigned kMaxMatch = 258;
inline constexpr unsigned kMinLookahead = kMaxMatch + kMinMatch + 1;  // 262
inline constexpr unsigned kMaxDist = kWSize - kMinLookahead;          // 32506
inline constexpr unsigned kTooFar = 4096;
inline constexpr unsigned kLitBufSize = 32768;
inline constexpr unsigned kDistBufSize = 32768;
inline constexpr unsigned kHeapSize = 2 * kLCodes + 1;  // 573

// The one tuning level this compressor runs at.
inline constexpr int kLevel = 8;
inline constexpr unsigned kMaxChain = 1024;
inline constexpr unsigned kMaxLazy = 128;
inline constexpr unsigned kGoodMatch = 32;
inline constexpr unsigned kNiceMatch = 258;

// Search acceleration: besides the hash chains of 3-byte strings that define the
// candidates and the chain budget, every position is linked into a chain of the positions
// whose next kGramLength bytes (a gram) hash alike. Once the best match is m long, a
// candidate can only beat it by sharing the first m + 1 bytes; for every gram among them,
// at offset o, the candidate plus o is on that gram's chain, and every such chain holds
// the candidates in the same order as the 3-byte chain. The search walks whichever chain
// of these skips furthest back: on log text, the chain of the bytes where lines differ
// (the end of a time stamp, a thread id, a counter) holds a handful of lines where the
// 3-byte chain holds every line of the window, whatever the layout of the lines. Each
// candidate's rank in its 3-byte chain tells whether the 3-byte walk would have reached it
// within its budget. The result is the same, found sooner. Six bytes balance the two ends:
// longer grams pick lines out better, but the 3-byte walk must then go on until the best
// match is longer, which costs more on text and binary files.
inline constexpr unsigned kGramLength = 6;
// Fifteen bits of gram hash: with fourteen, positions of other grams that share a chain
// cost the walks more than the second 32 KiB of heads costs in cache.
inline constexpr unsigned kGramHashBits = 15;
inline constexpr unsigned kGramHashSize = 1u << kGramHashBits;

// One Huffman tree under construction: per node a frequency, its parent while the tree is
// built, and afterwards the code length and the bit-reversed code of each symbol.
template <int Nodes>
struct Tree {
  std::uint32_t freq[Nodes];
  std::uint16_t dad[Nodes];
  std::uint16_t len[Nodes];
  std::uint16_t code[Nodes];
  int maxCode;  // largest symbol with a code
};

struct DeflateState {
  // Window: positions fit 16 bits because the window is 64 KiB, so the hash tables stay
  // small enough to live in the second-level cache. The slack after it is never filled;
  // it only keeps a comparison that a broken state lets run past the end in bounds.
  std::uint8_t window[kWindowSize + kMaxMatch + 8];
  std::uint16_t head[kHashSize];  // 0 = empty
  std::uint16_t prev[kWSize];
  // Each position's rank in its chain: one more than the rank of the position before it
  // (modulo 2^16), so two positions of one chain are rank difference links apart. Only
  // positions within reach are ever compared, and every link between two of those was
  // made while both ranks were still in their slots.
  std::uint16_t rank[kWSize];
  std::uint16_t gramHead[kGramHashSize];
  std::uint16_t gramPrev[kWSize];
  unsigned gramPos;  // positions below it are linked into the gram chains

  unsigned insHash;
  unsigned strStart;
  std::int64_t blockStart;  // negative once the block's first bytes have slid out of the window
  unsigned matchStart;
  unsigned lookahead;
  bool inputEnded;
  unsigned prevLength;
  unsigned matchLength;
  unsigned prevMatch;
  bool matchAvailable;

  int level;
  unsigned maxChain;
  unsigned maxLazy;
  unsigned goodMatch;
  unsigned niceMatch;

  // Symbol buffers of the current block.
  std::uint8_t lBuf[kLitBufSize];
  std::uint16_t dBuf[kDistBufSize];
  std::uint8_t flagBuf[kLitBufSize / 8];
  unsigned lastLit;
  unsigned lastDist;
  unsigned lastFlags;
  unsigned flags;
  unsigned flagBit;

  Tree<kHeapSize> lTree;
  Tree<2 * kDCodes + 1> dTree;
  Tree<2 * kBlCodes + 1> blTree;
  int heap[kHeapSize];
  int heapLen;
  int heapMax;
  std::uint8_t depth[kHeapSize];
  std::uint16_t blCount[kMaxBits + 1];

  std::uint64_t optLen;     // bits of the block with the dynamic trees
  std::uint64_t staticLen;  // bits of the block with the fixed trees
  std::uint64_t compressedLen;  // bits accounted for so far

  // Bit writer. 64 bits of buffer let a whole match (at most 48 bits) go in before bytes
  // are taken out.
  std::uint64_t bitBuf;
  unsigned bitCount;
  std::uint64_t bytesOut;  // bytes placed in the output buffer or written directly
  std::uint8_t* out;
  std::uint32_t outFill;
  std::uint32_t outSize;
  std::uint64_t bytesWritten;  // bytes the output writer accepted
  bool writeFailed;

  const char* error;  // first failed consistency check
  const DeflateIo* io;

  // Cold: the checks that call it never fail in a sound state, so the compiler keeps their
  // calls out of the hot loops' way.
  [[gnu::cold]] void Fail(const char* text) {
    if (error == nullptr) error = text;
  }
};

// Bit output ---------------------------------------------------------------------------

inline void FlushOutput(DeflateState& s) {
  if (s.outFill == 0) return;
  if (s.writeFailed) {
    s.outFill = 0;
    return;
  }
  const std::uint32_t n = s.outFill;
  s.io->write(s.io->context, s.out, &s.outFill);
  if (s.outFill != 0) {
    // The writer refused the bytes: nothing further can make the member whole.
    s.writeFailed = true;
    s.outFill = 0;
  } else {
    s.bytesWritten += n;
  }
}

inline void PutByte(DeflateState& s, unsigned byte) {
  if (s.outFill >= s.outSize) FlushOutput(s);
  s.out[s.outFill++] = static_cast<std::uint8_t>(byte);
  ++s.bytesOut;
}

// Moves every whole byte of the bit buffer to the output buffer.
inline void DrainBits(DeflateState& s) {
  if (s.outSize - s.outFill >= 8) {
    std::uint64_t v = s.bitBuf;
    std::memcpy(s.out + s.outFill, &v, 8);  // little-endian targets only
    const unsigned n = s.bitCount >> 3;
    s.outFill += n;
    s.bytesOut += n;
    s.bitBuf >>= 8 * n;
    s.bitCount &= 7;
  } else {
    while (s.bitCount >= 8) {
      PutByte(s, static_cast<unsigned>(s.bitBuf & 0xFF));
      s.bitBuf >>= 8;
      s.bitCount -= 8;
    }
  }
}

// Adds bits without draining; callers add at most 48 bits between drains.
inline void AddBits(DeflateState& s, unsigned value, unsigned length) {
  s.bitBuf |= static_cast<std::uint64_t>(value) << s.bitCount;
  s.bitCount += length;
}

inline void SendBits(DeflateState& s, unsigned value, unsigned length) {
  if (length - 1u >= 15u) s.Fail("invalid length");
  AddBits(s, value, length);
  DrainBits(s);
}

// Flushes the bit buffer to a byte boundary.
inline void WindUp(DeflateState& s) {
  DrainBits(s);
  if (s.bitCount > 0) PutByte(s, static_cast<unsigned>(s.bitBuf & 0xFF));
  s.bitBuf = 0;
  s.bitCount = 0;
}

inline std::uint64_t BitsSent(const DeflateState& s) { return s.bytesOut * 8 + s.bitCount; }

// Block layer (deflate_trees.cpp) ------------------------------------------------------

void InitTrees(DeflateState& s);
void InitBlock(DeflateState& s);
// Ends the current block, covering the input from the block start to the current
// position; eof marks it as the last block.
void FlushBlock(DeflateState& s, bool eof);

// Records a literal (dist 0) or a match (dist >= 1, lc = length - 3); returns true when
// the block should end.
inline bool Tally(DeflateState& s, unsigned dist, unsigned lc) {
  s.lBuf[s.lastLit++] = static_cast<std::uint8_t>(lc);
  if (dist == 0) {
    ++s.lTree.freq[lc];
  } else {
    --dist;
    const unsigned dcode = DistCode(dist);
    if (dist >= kMaxDist || lc > 255 || dcode >= static_cast<unsigned>(kDCodes)) {
      s.Fail("ct_tally: bad match");
    }
    ++s.lTree.freq[kTables.lengthCode[lc & 0xFF] + kLiterals + 1];
    if (dcode < static_cast<unsigned>(kDCodes)) ++s.dTree.freq[dcode];
    s.dBuf[s.lastDist++] = static_cast<std::uint16_t>(dist);
    s.flags |= s.flagBit;
  }
  s.flagBit <<= 1;
  if ((s.lastLit & 7) == 0) {
    s.flagBuf[s.lastFlags++] = static_cast<std::uint8_t>(s.flags);
    s.flags = 0;
    s.flagBit = 1;
  }
  if ((s.lastLit & 0xFFF) == 0) {
    // Every 4096 symbols: end the block early when it is mostly literals yet already
    // compresses to less than half its input, so a new block can adapt its codes.
    std::uint64_t outLength = static_cast<std::uint64_t>(s.lastLit) * 8;
    const std::uint64_t inLength = static_cast<std::uint64_t>(static_cast<std::int64_t>(s.strStart) - s.blockStart);
    for (int d = 0; d < kDCodes; ++d) {
      outLength += static_cast<std::uint64_t>(s.dTree.freq[d]) * (5 + kExtraDBits[d]);
    }
    outLength >>= 3;
    if (s.lastDist < s.lastLit / 2 && outLength < inLength / 2) return true;
  }
  return s.lastLit == kLitBufSize - 1 || s.lastDist == kDistBufSize;
}

// Member driver (deflate.cpp) ----------------------------------------------------------

// Empties the state and sets the tuning; the first step of every member.
void InitState(DeflateState& s, const DeflateIo& io);
// Compresses the whole member with a state prepared by InitState; returns 0 or
// kDeflateFailed. Split from DeflateStream so a test can disturb the state in between.
std::uint32_t CompressMember(DeflateState& s, std::uint64_t* compressedBytes,
                             std::string* firstError);

}  // namespace ov::zip::deflate
