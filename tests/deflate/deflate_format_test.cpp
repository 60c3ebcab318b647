// The compressor's streams: exact bytes where they can be worked out by hand, the block
// and match choices its tuning implies, buffer and reader independence, and what happens
// when a check or the output fails.
#include <gtest/gtest.h>

#include <memory>

#include "tests/deflate/deflate_support.h"
#include "zip/deflate_state.h"

namespace ov::zip::test {
namespace {

// The stream must decode to the input, and no match may reach further than the compressor
// allows itself.
Traced Decode(const Bytes& input, const MemoryIo& run) {
  EXPECT_EQ(run.result, 0u) << run.error;
  EXPECT_EQ(run.compressedBytes, run.output.size());
  Traced traced = TraceInflate(run.output).Run();
  EXPECT_EQ(traced.error, "");
  EXPECT_TRUE(traced.data == input) << "decoded data differs from the input";
  for (const Block& block : traced.blocks) {
    for (const Symbol& sym : block.symbols) {
      EXPECT_LE(sym.distance, 32506) << "a match reaches beyond the usable window";
      EXPECT_TRUE(sym.length != 3 || sym.distance <= 4096) << "a far 3-byte match was taken";
    }
  }
  return traced;
}

std::size_t Longest(const Traced& traced, std::size_t distance = 0) {
  std::size_t longest = 0;
  for (const Block& block : traced.blocks) {
    for (const Symbol& sym : block.symbols) {
      if (distance == 0 || sym.distance == distance)
        longest = std::max<std::size_t>(longest, sym.length);
    }
  }
  return longest;
}

TEST(DeflateFormat, SmallInputsGiveTheStreamsWorkedOutByHand) {
  const struct {
    const char* input;
    Bytes expected;
  } cases[] = {
      {"", {0x03, 0x00}},         // one final fixed block with only the end-of-block code
      {"a", {0x4B, 0x04, 0x00}},  // header 1,01; literal 'a' as 0x91 in 8 bits; end of block
      // Two literals (position 0 is never a match candidate), then length 8 at distance 1
      // as code 262 with distance code 0.
      {"aaaaaaaaaa", {0x4B, 0x4C, 0x84, 0x01, 0x00}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    const MemoryIo run = RunDeflate(Bytes(c.input, c.input + std::strlen(c.input)));
    EXPECT_EQ(run.result, 0u) << run.error;
    EXPECT_EQ(run.output, c.expected);
    EXPECT_EQ(run.compressedBytes, c.expected.size());
  }
}

TEST(DeflateFormat, LongRunIsTwoLiteralsThenFullLengthMatchesAtDistanceOne) {
  const Bytes input(100000, 'x');
  const Traced traced = Decode(input, RunDeflate(input));
  ASSERT_EQ(traced.blocks.size(), 1u);
  const auto& syms = traced.blocks[0].symbols;
  ASSERT_GE(syms.size(), 4u);
  EXPECT_EQ(syms[0].length + syms[1].length, 0);
  for (std::size_t i = 2; i < syms.size(); ++i) {
    EXPECT_EQ(syms[i].distance, 1) << "symbol " << i;
    EXPECT_EQ(syms[i].length == 258, i + 1 < syms.size()) << "symbol " << i;
  }
}

// Incompressible data goes out stored, with five bytes of framing per block and nothing
// else; other blocks end at the symbol limit, or early at a multiple of 4096 symbols.
TEST(DeflateFormat, BlocksAreStoredOrEndAtTheSymbolLimitOrEarlyAtAMultipleOf4096) {
  enum Shape { kStored, kFull, kEarly };
  const struct {
    const char* name;
    Bytes input;
    Shape shape;
  } cases[] = {
      {"random 300", RandomBytes(300, 1), kStored},
      {"random 5000", RandomBytes(5000, 2), kStored},
      {"random 60000", RandomBytes(60000, 3), kStored},
      {"random letters", RandomBytes(150000, 7, 'a', 26), kFull},
      {"literals and long copies", LiteralsAndLongCopies(400000, 3), kEarly},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const MemoryIo run = RunDeflate(c.input);
    const Traced traced = Decode(c.input, run);
    ASSERT_GE(traced.blocks.size(), c.shape == kStored ? 1u : 3u);
    for (std::size_t i = 0; i < traced.blocks.size(); ++i) {
      SCOPED_TRACE(i);
      const std::size_t count = traced.blocks[i].symbols.size();
      EXPECT_EQ(traced.blocks[i].type == 0, c.shape == kStored);
      if (i + 1 == traced.blocks.size()) break;
      EXPECT_TRUE(c.shape != kFull || count == 32767u) << count;
      EXPECT_TRUE(c.shape != kEarly || (count % 4096 == 0 && count < 32767u)) << count;
    }
    if (c.shape == kStored) {
      EXPECT_EQ(run.output.size(), c.input.size() + 5 * traced.blocks.size());
    }
  }
}

TEST(DeflateFormat, MatchesReachBack32506BytesAndNoFurther) {
  for (std::size_t gap : {32506u, 32507u}) {
    SCOPED_TRACE(gap);
    // Noise repeated exactly gap bytes later amid zeros: the hash head at the repeat
    // points straight back at the original.
    Bytes input(gap + 8000, 0);
    const Bytes noise = RandomBytes(100, 99);
    std::copy(noise.begin(), noise.end(), input.begin() + 1000);
    std::copy(noise.begin(), noise.end(), input.begin() + 1000 + static_cast<std::ptrdiff_t>(gap));
    EXPECT_EQ(Longest(Decode(input, RunDeflate(input)), gap) > 0, gap == 32506);
  }
}

TEST(DeflateFormat, ChainBudgetHidesOlderLongerMatches) {
  const Bytes input = BeyondTheChainBudget();
  const std::size_t longest = Longest(Decode(input, RunDeflate(input)));
  // The prefix and its tail recur only behind 1500 newer copies of the prefix.
  EXPECT_GE(longest, 24u);
  EXPECT_LT(longest, 100u);
}

TEST(DeflateFormat, OutputDoesNotDependOnBufferSizeOrReadChunks) {
  Bytes input = TraceText(90000, 8);
  const Bytes noise = RandomBytes(40000, 9);
  input.insert(input.end(), noise.begin(), noise.end());
  const MemoryIo reference = RunDeflate(input);
  Decode(input, reference);
  for (std::uint32_t bufferSize : {1u, 2u, 3u, 7u, 8u, 9u, 100u, 65536u}) {
    SCOPED_TRACE(bufferSize);
    const MemoryIo run = RunDeflate(input, bufferSize);
    EXPECT_EQ(run.result, 0u);
    EXPECT_TRUE(run.output == reference.output);
  }
  for (std::size_t chunk : {1u, 7u, 261u, 262u, 5000u}) {
    SCOPED_TRACE(chunk);
    const MemoryIo run = RunDeflate(input, 16384, chunk);
    EXPECT_EQ(run.result, 0u);
    EXPECT_TRUE(run.output == reference.output);
  }
}

TEST(DeflateFormat, FailedCheckStillRunsTheMemberToItsEndAndKeepsTheFirstError) {
  const Bytes input = TraceText(100000, 10);
  MemoryIo mem{.input = &input};
  Bytes buffer(16384);
  const DeflateIo io = mem.Bind(buffer);
  auto state = std::make_unique<deflate::DeflateState>();
  deflate::InitState(*state, io);
  state->level = 9;
  EXPECT_EQ(deflate::CompressMember(*state, &mem.compressedBytes, &mem.error), kDeflateFailed);
  EXPECT_EQ(mem.error, "bad pack level");
  EXPECT_EQ(mem.compressedBytes, mem.output.size());
  const Traced traced = TraceInflate(mem.output).Run();
  EXPECT_EQ(traced.error, "");
  EXPECT_TRUE(traced.data == input);

  deflate::InitState(*state, io);
  deflate::InitTrees(*state);
  deflate::Tally(*state, 32508, 0);  // distance - 1 = 32507: beyond the window's reach
  deflate::SendBits(*state, 0, 0);   // a second failure
  EXPECT_STREQ(state->error, "ct_tally: bad match");
}

TEST(DeflateFormat, RefusedWriteOrMissingCallbacksEndTheMemberWithTheFailureCode) {
  // Several buffers of output; and a stored block, which bypasses the buffer.
  const Bytes text = TraceText(400000, 11), noise = RandomBytes(20000, 12);
  for (const auto& [input, failing] : {std::pair{&text, 0}, {&text, 1}, {&text, 2}, {&noise, 1}}) {
    SCOPED_TRACE(failing);
    const MemoryIo run = RunDeflate(*input, 16384, kWhole, failing);
    EXPECT_EQ(run.result, kDeflateFailed);
    EXPECT_EQ(run.writes, failing + 1) << "the writer was called again after refusing";
    EXPECT_EQ(run.compressedBytes, run.output.size());
  }
  // Nowhere to read from or write to.
  std::uint64_t compressed = 99;
  std::string error;
  EXPECT_EQ(DeflateStream(DeflateIo{}, &compressed, &error), kDeflateFailed);
  EXPECT_EQ(compressed, 0u);
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace ov::zip::test
