// Constant code tables of the Deflate format, built once at compile time.
#pragma once
#include <array>
#include <cstdint>

namespace ov::zip::deflate {

inline constexpr int kLengthCodes = 29;   // length codes, not counting the special codes
inline constexpr int kLiterals = 256;
inline constexpr int kEndBlock = 256;
inline constexpr int kLCodes = kLiterals + 1 + kLengthCodes;  // 286
inline constexpr int kDCodes = 30;
inline constexpr int kBlCodes = 19;
inline constexpr int kMaxBits = 15;
inline constexpr int kMaxBlBits = 7;
inline constexpr int kRep3To6 = 16;
inline constexpr int kRepZero3To10 = 17;
inline constexpr int kRepZero11To138 = 18;

inline constexpr std::array<std::uint8_t, kLengthCodes> kExtraLBits = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
inline constexpr std::array<std::uint8_t, kDCodes> kExtraDBits = {
    0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
inline constexpr std::array<std::uint8_t, kBlCodes> kExtraBlBits = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
// The order in which the code-length code lengths are sent: the likely ones first, so the
// trailing unused ones can be left out.
inline constexpr std::array<std::uint8_t, kBlCodes> kBlOrder = {
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

constexpr std::uint16_t ReverseBits(unsigned code, int len) {
  unsigned result = 0;
  for (int i = 0; i < len; ++i) {
    result = (result << 1) | (code & 1);
    code >>= 1;
  }
  return static_cast<std::uint16_t>(result);
}

struct CodeTables {
  std::array<std::uint8_t, 256> lengthCode{};  // match length - 3 -> length code
  std::array<std::uint8_t, 512> distCode{};    // see DistCode()
  std::array<std::uint16_t, kLengthCodes> baseLength{};
  std::array<std::uint16_t, kDCodes> baseDist{};
  // How far each construction loop got, so the start of a member can confirm that the
  // tables cover what the coding relies on.
  int lengthCovered = 0;
  int distFirstHalf = 0;
  int distSecondHalfEnd = 0;
  // The fixed trees, codes already bit-reversed for the LSB-first bit writer.
  std::array<std::uint16_t, kLCodes + 2> fixedLCode{};
  std::array<std::uint8_t, kLCodes + 2> fixedLLen{};
  std::array<std::uint16_t, kDCodes> fixedDCode{};
  std::array<std::uint8_t, kDCodes> fixedDLen{};
  bool fixedCodesConsistent = false;
};

constexpr CodeTables BuildCodeTables() {
  CodeTables t;
  int length = 0;
  int code = 0;
  for (code = 0; code < kLengthCodes - 1; ++code) {
    t.baseLength[code] = static_cast<std::uint16_t>(length);
    for (int n = 0; n < (1 << kExtraLBits[code]); ++n) {
      t.lengthCode[length++] = static_cast<std::uint8_t>(code);
    }
  }
  t.lengthCovered = length;
  // Length 258 (symbol 255) has a code of its own rather than the last slot of code 27.
  t.lengthCode[255] = static_cast<std::uint8_t>(code);
  t.baseLength[kLengthCodes - 1] = 0;

  int dist = 0;
  for (code = 0; code < 16; ++code) {
    t.baseDist[code] = static_cast<std::uint16_t>(dist);
    for (int n = 0; n < (1 << kExtraDBits[code]); ++n) {
      t.distCode[dist++] = static_cast<std::uint8_t>(code);
    }
  }
  t.distFirstHalf = dist;
  dist >>= 7;  // from now on, all distances are divided by 128
  for (; code < kDCodes; ++code) {
    t.baseDist[code] = static_cast<std::uint16_t>(dist << 7);
    for (int n = 0; n < (1 << (kExtraDBits[code] - 7)); ++n) {
      t.distCode[256 + dist++] = static_cast<std::uint8_t>(code);
    }
  }
  t.distSecondHalfEnd = 256 + dist;

  std::array<int, kMaxBits + 1> blCount{};
  int n = 0;
  while (n <= 143) t.fixedLLen[n++] = 8, ++blCount[8];
  while (n <= 255) t.fixedLLen[n++] = 9, ++blCount[9];
  while (n <= 279) t.fixedLLen[n++] = 7, ++blCount[7];
  while (n <= 287) t.fixedLLen[n++] = 8, ++blCount[8];
  std::array<unsigned, kMaxBits + 1> nextCode{};
  unsigned c = 0;
  for (int bits = 1; bits <= kMaxBits; ++bits) {
    c = (c + static_cast<unsigned>(blCount[bits - 1])) << 1;
    nextCode[bits] = c;
  }
  t.fixedCodesConsistent =
      c + static_cast<unsigned>(blCount[kMaxBits]) - 1 == (1u << kMaxBits) - 1;
  for (n = 0; n < kLCodes + 2; ++n) {
    const int len = t.fixedLLen[n];
    t.fixedLCode[n] = ReverseBits(nextCode[len]++, len);
  }
  for (n = 0; n < kDCodes; ++n) {
    t.fixedDLen[n] = 5;
    t.fixedDCode[n] = ReverseBits(static_cast<unsigned>(n), 5);
  }
  return t;
}

inline constexpr CodeTables kTables = BuildCodeTables();
static_assert(kTables.fixedCodesConsistent, "fixed literal/length codes must fill the code space");

// Distance code of a distance - 1: exact below 256, by 128-wide slices above.
inline unsigned DistCode(unsigned dist) {
  return dist < 256 ? kTables.distCode[dist] : kTables.distCode[256 + (dist >> 7)];
}

}  // namespace ov::zip::deflate
