// Block output of the Deflate compressor: Huffman tree construction, the choice between
// stored, fixed and dynamic blocks, and the coding of the recorded symbols.
#include <algorithm>

#include "zip/deflate_state.h"

namespace ov::zip::deflate {
namespace {

constexpr unsigned kStoredBlock = 0;
constexpr unsigned kFixedBlock = 1;
constexpr unsigned kDynamicBlock = 2;

// What tree construction needs to know about one of the three trees.
struct TreeView {
  std::uint32_t* freq;
  std::uint16_t* dad;
  std::uint16_t* len;
  std::uint16_t* code;
  int* maxCode;
  int elems;
  const std::uint8_t* fixedLen;  // null for the code-length tree, which has no fixed form
  const std::uint8_t* extraBits;
  int extraBase;
  int maxLength;
};

template <int N>
TreeView View(Tree<N>& t, int elems, const std::uint8_t* fixedLen, const std::uint8_t* extraBits,
              int extraBase, int maxLength) {
  return TreeView{t.freq, t.dad, t.len, t.code, &t.maxCode, elems, fixedLen, extraBits, extraBase,
                  maxLength};
}

TreeView LView(DeflateState& s) {
  return View(s.lTree, kLCodes, kTables.fixedLLen.data(), kExtraLBits.data(), kLiterals + 1,
              kMaxBits);
}
TreeView DView(DeflateState& s) {
  return View(s.dTree, kDCodes, kTables.fixedDLen.data(), kExtraDBits.data(), 0, kMaxBits);
}
TreeView BlView(DeflateState& s) {
  return View(s.blTree, kBlCodes, nullptr, kExtraBlBits.data(), 0, kMaxBlBits);
}

// Heap order: by frequency, then by subtree depth, so that among equal frequencies the
// shallower subtree is joined first and the code stays short.
bool Smaller(const std::uint32_t* freq, const std::uint8_t* depth, int n, int m) {
  return freq[n] < freq[m] || (freq[n] == freq[m] && depth[n] <= depth[m]);
}

void SiftDown(DeflateState& s, const std::uint32_t* freq, int k) {
  const int v = s.heap[k];
  int j = k << 1;
  while (j <= s.heapLen) {
    if (j < s.heapLen && Smaller(freq, s.depth, s.heap[j + 1], s.heap[j])) ++j;
    if (Smaller(freq, s.depth, v, s.heap[j])) break;
    s.heap[k] = s.heap[j];
    k = j;
    j <<= 1;
  }
  s.heap[k] = v;
}

// Gives every node its depth as code length, capped at the tree's maximum; when the cap
// cut the tree, re-balances the counts per length and hands them out again, longest to
// the rarest leaves. Keeps the dynamic and fixed bit estimates of the block up to date.
void GenBitLengths(DeflateState& s, const TreeView& t) {
  const int maxCode = *t.maxCode;
  int overflow = 0;
  std::fill(std::begin(s.blCount), std::end(s.blCount), 0);
  t.len[s.heap[s.heapMax]] = 0;  // the root

  int h = s.heapMax + 1;
  for (; h < static_cast<int>(kHeapSize); ++h) {
    const int n = s.heap[h];
    int bits = t.len[t.dad[n]] + 1;
    if (bits > t.maxLength) bits = t.maxLength, ++overflow;
    t.len[n] = static_cast<std::uint16_t>(bits);
    if (n > maxCode) continue;  // an inner node
    ++s.blCount[bits];
    const int xbits = n >= t.extraBase ? t.extraBits[n - t.extraBase] : 0;
    const std::uint64_t f = t.freq[n];
    s.optLen += f * static_cast<std::uint64_t>(bits + xbits);
    if (t.fixedLen != nullptr) s.staticLen += f * static_cast<std::uint64_t>(t.fixedLen[n] + xbits);
  }
  if (overflow == 0) return;

  do {
    int bits = t.maxLength - 1;
    while (bits > 0 && s.blCount[bits] == 0) --bits;
    --s.blCount[bits];        // one leaf moves one level down,
    s.blCount[bits + 1] += 2;  // where an overflowed leaf becomes its brother,
    --s.blCount[t.maxLength];  // and leaves the capped level
    overflow -= 2;
  } while (overflow > 0);

  // h is kHeapSize here; walking the heap backwards visits the leaves rarest first.
  for (int bits = t.maxLength; bits != 0; --bits) {
    int n = s.blCount[bits];
    while (n != 0) {
      const int m = s.heap[--h];
      if (m > maxCode) continue;
      if (t.len[m] != bits) {
        const std::int64_t delta = (static_cast<std::int64_t>(bits) - t.len[m]) * t.freq[m];
        s.optLen += static_cast<std::uint64_t>(delta);
        t.len[m] = static_cast<std::uint16_t>(bits);
      }
      --n;
    }
  }
}

// Canonical codes from the counts per length (RFC 1951, 3.2.2), bit-reversed for sending.
void GenCodes(DeflateState& s, std::uint16_t* len, std::uint16_t* code, int maxCode) {
  unsigned nextCode[kMaxBits + 1];
  unsigned c = 0;
  for (int bits = 1; bits <= kMaxBits; ++bits) {
    c = (c + s.blCount[bits - 1]) << 1;
    nextCode[bits] = c;
  }
  if (c + s.blCount[kMaxBits] - 1 != (1u << kMaxBits) - 1) s.Fail("inconsistent bit counts");
  for (int n = 0; n <= maxCode; ++n) {
    const int l = len[n];
    if (l == 0) continue;
    code[n] = ReverseBits(nextCode[l]++ & 0xFFFF, l);
  }
}

void BuildTree(DeflateState& s, const TreeView& t) {
  int maxCode = -1;
  int node = t.elems;  // inner nodes are numbered after the symbols
  s.heapLen = 0;
  s.heapMax = kHeapSize;
  for (int n = 0; n < t.elems; ++n) {
    if (t.freq[n] != 0) {
      s.heap[++s.heapLen] = maxCode = n;
      s.depth[n] = 0;
    } else {
      t.len[n] = 0;
    }
  }
  // A decoder needs at least two codes; pad with symbols of frequency 1. Their cost is
  // taken off the estimates again since they are never sent.
  while (s.heapLen < 2) {
    const int added = maxCode < 2 ? ++maxCode : 0;
    s.heap[++s.heapLen] = added;
    t.freq[added] = 1;
    s.depth[added] = 0;
    --s.optLen;
    if (t.fixedLen != nullptr) s.staticLen -= t.fixedLen[added];
  }
  *t.maxCode = maxCode;

  for (int n = s.heapLen / 2; n >= 1; --n) SiftDown(s, t.freq, n);

  do {
    const int n = s.heap[1];  // the smallest leaves the heap
    s.heap[1] = s.heap[s.heapLen--];
    SiftDown(s, t.freq, 1);
    const int m = s.heap[1];  // the next smallest stays, its place taken by the join
    s.heap[--s.heapMax] = n;
    s.heap[--s.heapMax] = m;
    t.freq[node] = t.freq[n] + t.freq[m];
    s.depth[node] = static_cast<std::uint8_t>(std::max(s.depth[n], s.depth[m]) + 1);
    t.dad[n] = t.dad[m] = static_cast<std::uint16_t>(node);
    s.heap[1] = node++;
    SiftDown(s, t.freq, 1);
  } while (s.heapLen >= 2);
  s.heap[--s.heapMax] = s.heap[1];

  GenBitLengths(s, t);
  GenCodes(s, t.len, t.code, maxCode);
}

// Run-length shape of a code-length sequence, shared by counting and sending.
template <typename Emit>
void WalkLengths(const std::uint16_t* len, int maxCode, Emit&& emit) {
  int prevLen = -1;
  int nextLen = len[0];
  int count = 0;
  int maxCount = 7;
  int minCount = 4;
  if (nextLen == 0) maxCount = 138, minCount = 3;
  for (int n = 0; n <= maxCode; ++n) {
    const int curLen = nextLen;
    nextLen = n < maxCode ? len[n + 1] : 0xFFFF;  // past the end matches nothing
    if (++count < maxCount && curLen == nextLen) continue;
    emit(curLen, prevLen, count, minCount);
    count = 0;
    prevLen = curLen;
    if (nextLen == 0) {
      maxCount = 138, minCount = 3;
    } else if (curLen == nextLen) {
      maxCount = 6, minCount = 3;
    } else {
      maxCount = 7, minCount = 4;
    }
  }
}

void ScanTree(DeflateState& s, const std::uint16_t* len, int maxCode) {
  std::uint32_t* blFreq = s.blTree.freq;
  WalkLengths(len, maxCode, [&](int curLen, int prevLen, int count, int minCount) {
    if (count < minCount) {
      blFreq[curLen] += static_cast<std::uint32_t>(count);
    } else if (curLen != 0) {
      if (curLen != prevLen) ++blFreq[curLen];
      ++blFreq[kRep3To6];
    } else if (count <= 10) {
      ++blFreq[kRepZero3To10];
    } else {
      ++blFreq[kRepZero11To138];
    }
  });
}

void SendBlCode(DeflateState& s, int symbol) {
  SendBits(s, s.blTree.code[symbol], s.blTree.len[symbol]);
}

void SendTree(DeflateState& s, const std::uint16_t* len, int maxCode) {
  WalkLengths(len, maxCode, [&](int curLen, int prevLen, int count, int minCount) {
    if (count < minCount) {
      do SendBlCode(s, curLen);
      while (--count != 0);
    } else if (curLen != 0) {
      if (curLen != prevLen) {
        SendBlCode(s, curLen);
        --count;
      }
      if (count < 3 || count > 6) s.Fail(" 3_6?");
      SendBlCode(s, kRep3To6);
      SendBits(s, static_cast<unsigned>(count - 3), 2);
    } else if (count <= 10) {
      SendBlCode(s, kRepZero3To10);
      SendBits(s, static_cast<unsigned>(count - 3), 3);
    } else {
      SendBlCode(s, kRepZero11To138);
      SendBits(s, static_cast<unsigned>(count - 11), 7);
    }
  });
}

// Builds the code-length tree; returns the index in kBlOrder of the last code to send.
int BuildBlTree(DeflateState& s) {
  ScanTree(s, s.lTree.len, s.lTree.maxCode);
  ScanTree(s, s.dTree.len, s.dTree.maxCode);
  BuildTree(s, BlView(s));
  int maxBlIndex = kBlCodes - 1;
  for (; maxBlIndex >= 3; --maxBlIndex) {
    if (s.blTree.len[kBlOrder[maxBlIndex]] != 0) break;
  }
  s.optLen += 3 * static_cast<std::uint64_t>(maxBlIndex + 1) + 5 + 5 + 4;
  return maxBlIndex;
}

void SendAllTrees(DeflateState& s, int lcodes, int dcodes, int blcodes) {
  if (lcodes < 257 || dcodes < 1 || blcodes < 4) s.Fail("not enough codes");
  if (lcodes > kLCodes || dcodes > kDCodes || blcodes > kBlCodes) s.Fail("too many codes");
  SendBits(s, static_cast<unsigned>(lcodes - 257), 5);
  SendBits(s, static_cast<unsigned>(dcodes - 1), 5);
  SendBits(s, static_cast<unsigned>(blcodes - 4), 4);
  for (int rank = 0; rank < blcodes; ++rank) SendBits(s, s.blTree.len[kBlOrder[rank]], 3);
  SendTree(s, s.lTree.len, lcodes - 1);
  SendTree(s, s.dTree.len, dcodes - 1);
}

template <typename LenT>
void SendCode(DeflateState& s, unsigned code, LenT len) {
  if (static_cast<unsigned>(len) - 1u >= 15u) s.Fail("invalid length");
  AddBits(s, code, len);
}

template <typename LenT>
void CompressBlock(DeflateState& s, const std::uint16_t* lCode, const LenT* lLen,
                   const std::uint16_t* dCode, const LenT* dLen) {
  unsigned dx = 0;
  unsigned fx = 0;
  unsigned flag = 0;
  for (unsigned lx = 0; lx < s.lastLit; ++lx) {
    if ((lx & 7) == 0) flag = s.flagBuf[fx++];
    unsigned lc = s.lBuf[lx];
    if ((flag & 1) == 0) {
      SendCode(s, lCode[lc], lLen[lc]);
    } else {
      unsigned code = kTables.lengthCode[lc];
      SendCode(s, lCode[code + kLiterals + 1], lLen[code + kLiterals + 1]);
      unsigned extra = kExtraLBits[code];
      if (extra != 0) AddBits(s, lc - kTables.baseLength[code], extra);
      unsigned dist = s.dBuf[dx++];
      code = DistCode(dist);
      if (code >= static_cast<unsigned>(kDCodes)) {
        s.Fail("bad d_code");
        code = kDCodes - 1;
      }
      SendCode(s, dCode[code], dLen[code]);
      extra = kExtraDBits[code];
      if (extra != 0) AddBits(s, dist - kTables.baseDist[code], extra);
    }
    DrainBits(s);
    flag >>= 1;
  }
  SendCode(s, lCode[kEndBlock], lLen[kEndBlock]);
  DrainBits(s);
}

// Sends a stored block's length and copies its bytes straight from the window to the
// output writer, past the output buffer.
void CopyStored(DeflateState& s, const std::uint8_t* data, unsigned len) {
  WindUp(s);
  PutByte(s, len & 0xFF);
  PutByte(s, (len >> 8) & 0xFF);
  PutByte(s, ~len & 0xFF);
  PutByte(s, (~len >> 8) & 0xFF);
  FlushOutput(s);
  s.bytesOut += len;
  if (len == 0 || s.writeFailed) return;
  std::uint32_t fill = len;
  s.io->write(s.io->context, const_cast<std::uint8_t*>(data), &fill);
  if (fill != 0) {
    s.writeFailed = true;
  } else {
    s.bytesWritten += len;
  }
}

}  // namespace

void InitBlock(DeflateState& s) {
  std::fill_n(s.lTree.freq, kLCodes, 0u);
  std::fill_n(s.dTree.freq, kDCodes, 0u);
  std::fill_n(s.blTree.freq, kBlCodes, 0u);
  s.lTree.freq[kEndBlock] = 1;
  s.optLen = 0;
  s.staticLen = 0;
  s.lastLit = 0;
  s.lastDist = 0;
  s.lastFlags = 0;
  s.flags = 0;
  s.flagBit = 1;
}

void InitTrees(DeflateState& s) {
  if (kTables.lengthCovered != 256) s.Fail("ct_init: length != 256");
  if (kTables.distFirstHalf != 256) s.Fail("ct_init: dist != 256");
  if (kTables.distSecondHalfEnd != 512) s.Fail("ct_init: 256+dist != 512");
  s.compressedLen = 0;
  InitBlock(s);
}

void FlushBlock(DeflateState& s, bool eof) {
  s.flagBuf[s.lastFlags] = static_cast<std::uint8_t>(s.flags);  // the last, partial flag byte

  BuildTree(s, LView(s));
  BuildTree(s, DView(s));
  const int maxBlIndex = BuildBlTree(s);

  std::uint64_t optLenBytes = (s.optLen + 3 + 7) >> 3;
  const std::uint64_t staticLenBytes = (s.staticLen + 3 + 7) >> 3;
  if (staticLenBytes <= optLenBytes) optLenBytes = staticLenBytes;

  const std::uint64_t storedLen =
      static_cast<std::uint64_t>(static_cast<std::int64_t>(s.strStart) - s.blockStart);
  const unsigned last = eof ? 1u : 0u;
  // A stored block needs its input, which is gone once the block start slid out of the
  // window; its length field also limits it to 65535 bytes.
  if (storedLen + 4 <= optLenBytes && s.blockStart >= 0 && storedLen <= 0xFFFF) {
    SendBits(s, (kStoredBlock << 1) + last, 3);
    s.compressedLen = (s.compressedLen + 3 + 7) & ~std::uint64_t{7};
    s.compressedLen += (storedLen + 4) << 3;
    CopyStored(s, s.window + s.blockStart, static_cast<unsigned>(storedLen));
  } else if (staticLenBytes == optLenBytes) {
    SendBits(s, (kFixedBlock << 1) + last, 3);
    CompressBlock(s, kTables.fixedLCode.data(), kTables.fixedLLen.data(),
                  kTables.fixedDCode.data(), kTables.fixedDLen.data());
    s.compressedLen += 3 + s.staticLen;
  } else {
    SendBits(s, (kDynamicBlock << 1) + last, 3);
    SendAllTrees(s, s.lTree.maxCode + 1, s.dTree.maxCode + 1, maxBlIndex + 1);
    CompressBlock(s, s.lTree.code, s.lTree.len, s.dTree.code, s.dTree.len);
    s.compressedLen += 3 + s.optLen;
  }
  if (s.compressedLen != BitsSent(s)) s.Fail("bad compressed size");

  InitBlock(s);
  if (eof) {
    WindUp(s);
    s.compressedLen += 7;
  }
}

}  // namespace ov::zip::deflate
