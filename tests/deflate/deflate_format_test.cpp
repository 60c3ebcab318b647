// The compressor's streams: exact bytes where they can be worked out by hand, the block
// and symbol choices the tuning implies, buffer and reader independence, and what
// happens when a check or the output fails.
#include <gtest/gtest.h>

#include <memory>

#include "tests/deflate/deflate_support.h"
#include "tests/deflate/trace_inflate.h"
#include "zip/deflate_state.h"

namespace ov::zip::test {
namespace {

Bytes FromText(const char* text) { return Bytes(text, text + std::strlen(text)); }

TracedStream Decode(const Bytes& input, const DeflateRun& run) {
  EXPECT_EQ(run.result, 0u) << run.error;
  EXPECT_EQ(run.compressedBytes, run.output.size());
  TracedStream traced = TraceInflate(run.output);
  EXPECT_TRUE(traced.ok) << traced.error;
  EXPECT_TRUE(traced.data == input) << "decoded data differs from the input";
  for (const TracedBlock& block : traced.blocks) {
    for (const TracedSymbol& sym : block.symbols) {
      EXPECT_LE(sym.distance, 32506) << "a match reaches beyond the usable window";
      if (sym.length == 3) {
        EXPECT_LE(sym.distance, 4096) << "a far 3-byte match was taken";
      }
    }
  }
  return traced;
}

struct ExactCase {
  const char* name;
  Bytes input;
  Bytes expected;
};

TEST(DeflateFormat, SmallInputsGiveTheStreamsWorkedOutByHand) {
  const ExactCase cases[] = {
      // One final fixed block with only the end-of-block code.
      {"empty", {}, {0x03, 0x00}},
      // Header 1,01; literal 'a' as 0x91 in 8 bits; end of block.
      {"one byte", FromText("a"), {0x4B, 0x04, 0x00}},
      // Two literals (position 0 is never a match candidate), then length 8 at distance 1
      // as code 262 with distance code 0.
      {"ten equal bytes", FromText("aaaaaaaaaa"), {0x4B, 0x4C, 0x84, 0x01, 0x00}},
  };
  for (const ExactCase& c : cases) {
    SCOPED_TRACE(c.name);
    const DeflateRun run = RunDeflate(c.input);
    EXPECT_EQ(run.result, 0u) << run.error;
    EXPECT_EQ(run.output, c.expected);
    EXPECT_EQ(run.compressedBytes, c.expected.size());
  }
}

TEST(DeflateFormat, LongRunIsTwoLiteralsThenFullLengthMatchesAtDistanceOne) {
  const Bytes input = Repeated(100000, 'x');
  const TracedStream traced = Decode(input, RunDeflate(input));
  ASSERT_EQ(traced.blocks.size(), 1u);
  const auto& syms = traced.blocks[0].symbols;
  ASSERT_GE(syms.size(), 4u);
  EXPECT_EQ(syms[0].length, 0);
  EXPECT_EQ(syms[1].length, 0);
  for (std::size_t i = 2; i < syms.size(); ++i) {
    EXPECT_EQ(syms[i].distance, 1) << "symbol " << i;
    if (i + 1 < syms.size()) {
      EXPECT_EQ(syms[i].length, 258) << "symbol " << i;
    }
  }
  EXPECT_LT(syms.back().length, 258);
}

TEST(DeflateFormat, IncompressibleInputGoesIntoStoredBlocks) {
  for (std::size_t size : {300u, 5000u, 60000u}) {
    SCOPED_TRACE(size);
    const Bytes input = RandomBytes(size, size);
    const DeflateRun run = RunDeflate(input);
    const TracedStream traced = Decode(input, run);
    ASSERT_FALSE(traced.blocks.empty());
    std::size_t stored = 0;
    for (const TracedBlock& block : traced.blocks) {
      EXPECT_EQ(block.type, 0);
      stored += block.storedLength;
    }
    EXPECT_EQ(stored, size);
    // Header byte, length and complement per block, nothing else.
    EXPECT_EQ(run.output.size(), size + 5 * traced.blocks.size());
  }
}

TEST(DeflateFormat, BlocksEndAtTheSymbolLimitOrEarlyAtAMultipleOf4096) {
  struct Case {
    const char* name;
    Bytes input;
    bool early;
  };
  const Case cases[] = {
      {"random letters", RandomLetters(150000, 7), false},
      {"literals and long copies", LiteralsAndLongCopies(400000, 3), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TracedStream traced = Decode(c.input, RunDeflate(c.input));
    ASSERT_GE(traced.blocks.size(), 3u);
    for (std::size_t i = 0; i + 1 < traced.blocks.size(); ++i) {
      const std::size_t count = traced.blocks[i].symbols.size();
      EXPECT_NE(traced.blocks[i].type, 0);
      if (c.early) {
        EXPECT_EQ(count % 4096, 0u) << "block " << i;
        EXPECT_LT(count, 32767u) << "block " << i;
      } else {
        EXPECT_EQ(count, 32767u) << "block " << i;
      }
    }
  }
}

// A string of noise repeated exactly `gap` bytes later amid zeros; the hash head at the
// repeat points straight back at the original.
Bytes RepeatAfter(std::size_t gap) {
  Bytes input(gap + 8000, 0);
  const Bytes noise = RandomBytes(100, 99);
  std::copy(noise.begin(), noise.end(), input.begin() + 1000);
  std::copy(noise.begin(), noise.end(), input.begin() + 1000 + static_cast<std::ptrdiff_t>(gap));
  return input;
}

TEST(DeflateFormat, MatchesReachBack32506BytesAndNoFurther) {
  for (std::size_t gap : {32506u, 32507u}) {
    SCOPED_TRACE(gap);
    const Bytes input = RepeatAfter(gap);
    const TracedStream traced = Decode(input, RunDeflate(input));
    std::size_t farMatches = 0;
    for (const TracedBlock& block : traced.blocks) {
      for (const TracedSymbol& sym : block.symbols) farMatches += sym.distance == gap;
    }
    if (gap == 32506) {
      EXPECT_GT(farMatches, 0u);
    } else {
      EXPECT_EQ(farMatches, 0u);
    }
  }
}

TEST(DeflateFormat, ChainBudgetHidesOlderLongerMatches) {
  const Bytes input = BeyondTheChainBudget();
  const TracedStream traced = Decode(input, RunDeflate(input));
  std::size_t longest = 0;
  for (const TracedBlock& block : traced.blocks) {
    for (const TracedSymbol& sym : block.symbols) longest = std::max<std::size_t>(longest, sym.length);
  }
  // The prefix and its tail recur only behind 1500 newer copies of the prefix.
  EXPECT_GE(longest, 24u);
  EXPECT_LT(longest, 100u);
}

TEST(DeflateFormat, InputsBeyondTheWindowSlideAndDecode) {
  const Bytes mixed = [] {
    Bytes out = TraceText(150000, 1);
    const Bytes noise = RandomBytes(50000, 2);
    out.insert(out.begin() + 70000, noise.begin(), noise.end());
    return out;
  }();
  const Bytes inputs[] = {TraceText(65275, 4), TraceText(300000, 5), RandomBytes(200000, 6),
                          Repeated(200000, 0), mixed};
  for (const Bytes& input : inputs) {
    SCOPED_TRACE(input.size());
    Decode(input, RunDeflate(input));
  }
}

TEST(DeflateFormat, OutputDoesNotDependOnBufferSizeOrReadChunks) {
  Bytes input = TraceText(90000, 8);
  const Bytes noise = RandomBytes(40000, 9);
  input.insert(input.end(), noise.begin(), noise.end());
  const DeflateRun reference = RunDeflate(input);
  Decode(input, reference);
  for (std::uint32_t bufferSize : {1u, 2u, 3u, 7u, 8u, 9u, 100u, 65536u}) {
    SCOPED_TRACE(bufferSize);
    const DeflateRun run = RunDeflate(input, bufferSize);
    EXPECT_EQ(run.result, 0u);
    EXPECT_FALSE(run.overlongWrite);
    EXPECT_TRUE(run.output == reference.output);
  }
  for (std::size_t chunk : {1u, 7u, 261u, 262u, 5000u}) {
    SCOPED_TRACE(chunk);
    const DeflateRun run = RunDeflate(input, 16384, chunk);
    EXPECT_EQ(run.result, 0u);
    EXPECT_TRUE(run.output == reference.output);
  }
}

TEST(DeflateFormat, FailedCheckStillRunsTheMemberToItsEnd) {
  const Bytes input = TraceText(100000, 10);
  MemoryIo mem;
  mem.input = &input;
  Bytes buffer(16384);
  DeflateIo io;
  io.read = &MemoryIo::Read;
  io.write = &MemoryIo::Write;
  io.context = &mem;
  io.outputBuffer = buffer.data();
  io.outputSize = static_cast<std::uint32_t>(buffer.size());
  auto state = std::make_unique<deflate::DeflateState>();
  deflate::InitState(*state, io);
  state->level = 9;
  std::uint64_t compressed = 0;
  std::string error;
  EXPECT_EQ(deflate::CompressMember(*state, &compressed, &error), kDeflateFailed);
  EXPECT_EQ(error, "bad pack level");
  EXPECT_EQ(compressed, mem.output.size());
  const TracedStream traced = TraceInflate(mem.output);
  EXPECT_TRUE(traced.ok) << traced.error;
  EXPECT_TRUE(traced.data == input);
}

TEST(DeflateFormat, OnlyTheFirstFailedCheckIsKept) {
  Bytes buffer(64);
  DeflateIo io;
  io.outputBuffer = buffer.data();
  io.outputSize = static_cast<std::uint32_t>(buffer.size());
  auto state = std::make_unique<deflate::DeflateState>();
  deflate::InitState(*state, io);
  deflate::InitTrees(*state);
  deflate::Tally(*state, 32508, 0);  // distance - 1 = 32507: beyond the window's reach
  deflate::SendBits(*state, 0, 16);
  EXPECT_STREQ(state->error, "ct_tally: bad match");

  deflate::InitState(*state, io);
  deflate::SendBits(*state, 0, 0);
  EXPECT_STREQ(state->error, "invalid length");
}

TEST(DeflateFormat, RefusedWriteEndsTheMemberWithTheFailureCode) {
  const Bytes input = TraceText(400000, 11);  // several buffers of output
  for (int failing : {0, 1, 2}) {
    SCOPED_TRACE(failing);
    const DeflateRun run = RunDeflate(input, 16384, std::numeric_limits<std::size_t>::max(), failing);
    EXPECT_EQ(run.result, kDeflateFailed);
    EXPECT_EQ(run.writes, failing + 1) << "the writer was called again after refusing";
    EXPECT_EQ(run.compressedBytes, run.output.size());
  }
  // A refused stored block, which bypasses the buffer.
  const Bytes noise = RandomBytes(20000, 12);
  const DeflateRun run = RunDeflate(noise, 16384, std::numeric_limits<std::size_t>::max(), 1);
  EXPECT_EQ(run.result, kDeflateFailed);
  EXPECT_EQ(run.writes, 2);
}

TEST(DeflateFormat, MissingBufferOrCallbacksAreRefused) {
  std::uint64_t compressed = 99;
  std::string error;
  EXPECT_EQ(DeflateStream(DeflateIo{}, &compressed, &error), kDeflateFailed);
  EXPECT_EQ(compressed, 0u);
  EXPECT_FALSE(error.empty());
}

TEST(DeflateFormat, StateIsBoundedWhateverTheInput) {
  EXPECT_LT(DeflateStateBytes(), 1u << 20);
}

}  // namespace
}  // namespace ov::zip::test
